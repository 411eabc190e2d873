#include "catalogue/LaunchListFile.h"
#include "common/CatalogueDump.h"
#include "util/LibraryLocation.h"

#include <Lanyard/ExternalApps.h>

#include <QDate>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>


using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "; Created by: x on 01-01-2026\r\n; Format: Group Label,Program label,Program Path,Command line\r\n";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList loaded(const QString &path, const QByteArray &bytes, qint16 maxApps = 5)
{
    if (!writeFile(path, bytes))
        return {u"<not written>"_s};
    ExternalApps apps;
    apps.setMaxApps(maxApps);
    apps.setEXTFile(path);
    return dump(apps);
}

/// The file's lines after the two header lines.
QByteArray body(const QByteArray &file)
{
    const qsizetype second = file.indexOf("\r\n", file.indexOf("\r\n") + 2);
    return second < 0 ? QByteArray() : file.mid(second + 2);
}

} // namespace

class tst_LaunchListFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void reader_data();
    void reader();
    void limitsWhileLoading();
    void loadingAddsToWhatIsThere();
    void saveWritesHeaderAndLines();
    void roundTrip();
    void encodingKeptByteForByte_data();
    void encodingKeptByteForByte();
    void characterBeyondLatin1Refused();
    void latin1ThatWouldReadAsUtf8SavedAsUtf8();
    void largeFileKeptAcrossReadChunks_data();
    void largeFileKeptAcrossReadChunks();
    void hostileFiles_data();
    void hostileFiles();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_path;
};

void tst_LaunchListFile::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_path = m_tmp->filePath(u"apps.lst"_s);
}

void tst_LaunchListFile::reader_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("empty-file") << QByteArray() << QStringList();
    QTest::newRow("header-only") << header << QStringList();
    QTest::newRow("blank-lines") << QByteArray("\r\n \t \r\n\t\r\nT,A,/a,,0\r\n\r\n") << QStringList{u"T|A|/a||0"_s};
    QTest::newRow("indented-comment") << QByteArray(" \t; T,A,/a,,0\r\n;T,B,/b,,0") << QStringList();
    QTest::newRow("names-only-ignored") << QByteArray("T,A\r\nT,B,,\r\nT,C, , ,") << QStringList();
    QTest::newRow("empty-group-or-name-ignored") << QByteArray(",A,/a,,0\r\nT,,/a,,0\r\n \t,A,/a") << QStringList();
    QTest::newRow("command-without-path") << QByteArray("T,A,,-x") << QStringList{u"T|A||-x|0"_s};
    QTest::newRow("three-fields") << QByteArray("T,A,/a") << QStringList{u"T|A|/a||0"_s};
    QTest::newRow("blanks-around-fields") << QByteArray("  \tT b \t,\t A ,  /a b ,\t-x y\t, \t-1 \t")
                                          << QStringList{u"T b|A|/a b|-x y|-1"_s};
    QTest::newRow("fifth-field-numbers")
        << QByteArray("T,1,/a,,1\nT,2,/a,,-1\nT,3,/a,, \t1\nT,4,/a,,TRUE\nT,5,/a,,0\nT,6,/a,,\nT,7,/a,,0.5\n"
                      "T,8,/a,,12abc\nT,9,/a,,abc1\nT,10,/a,,-0.00\nT,11,/a,,+.\nT,12,/a,,1,0")
        << QStringList{u"T|1|/a||-1"_s, u"T|2|/a||-1"_s, u"T|3|/a||-1"_s, u"T|4|/a||0"_s,
                       u"T|5|/a||0"_s,  u"T|6|/a||0"_s,  u"T|7|/a||-1"_s, u"T|8|/a||-1"_s,
                       u"T|9|/a||0"_s,  u"T|10|/a||0"_s, u"T|11|/a||0"_s, u"T|12|/a||-1"_s};
    QTest::newRow("comma-cuts-the-command") << QByteArray("T,A,/a,/a,/b,-1") << QStringList{u"T|A|/a|/a|0"_s};
    QTest::newRow("every-line-end") << QByteArray("T,A,/a,,0\r\nT,B,/b,,0\rT,C,/c,,0\nT,D,/d,,0\n\rT,E,/e,,0")
                                    << QStringList{u"T|A|/a||0"_s, u"T|B|/b||0"_s, u"T|C|/c||0"_s, u"T|D|/d||0"_s,
                                                   u"T|E|/e||0"_s};
    QTest::newRow("repeat-updates-path-and-command")
        << QByteArray("T,A,/a,x,0\r\nT,A,/b,y,-1") << QStringList{u"T|A|/b|y|0"_s};
    QTest::newRow("group-order-of-first-lines") << QByteArray("G2,A,/a,,0\nG1,B,/b,,0\nG2,C,/c,,0")
                                                << QStringList{u"G2|A|/a||0"_s, u"G2|C|/c||0"_s, u"G1|B|/b||0"_s};
    QTest::newRow("names-case-sensitive") << QByteArray("T,A,/a,,0\nt,a,/b,,0")
                                          << QStringList{u"T|A|/a||0"_s, u"t|a|/b||0"_s};
    QTest::newRow("utf8-byte-order-mark-skipped") << QByteArray("\xEF\xBB\xBFT,A,/a,,0")
                                                  << QStringList{u"T|A|/a||0"_s};
    QTest::newRow("later-byte-order-mark-kept") << QByteArray("T,A,/a,,0\r\n\xEF\xBB\xBFT,B,/b,,0")
                                                << QStringList{u"T|A|/a||0"_s, u"\uFEFFT|B|/b||0"_s};
}

void tst_LaunchListFile::reader()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QCOMPARE(loaded(m_path, content, 20), entries);
}

void tst_LaunchListFile::limitsWhileLoading()
{
    QByteArray content;
    for (int g = 1; g <= 6; ++g)
        content += "G" + QByteArray::number(g) + ",A,/a,,0\n";
    for (int a = 1; a <= 6; ++a)
        content += "G1,App" + QByteArray::number(a) + ",/a,,0\n";
    content += "G6,B,/b,,0\nG2,B,/b,,0\nG1,App2,/changed,,0\n";
    const QStringList entries = loaded(m_path, content);
    QCOMPARE(entries,
             (QStringList{u"G1|A|/a||0"_s, u"G1|App1|/a||0"_s, u"G1|App2|/changed||0"_s, u"G1|App3|/a||0"_s,
                          u"G1|App4|/a||0"_s, u"G2|A|/a||0"_s, u"G2|B|/b||0"_s, u"G3|A|/a||0"_s, u"G4|A|/a||0"_s,
                          u"G5|A|/a||0"_s}));
}

void tst_LaunchListFile::loadingAddsToWhatIsThere()
{
    QVERIFY(writeFile(m_path, "T,A,/a,,-1\nU,B,/b,x,0\n"));
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"U"_s, u"Z"_s, u"/z"_s, QString(), false));
    apps.setEXTFile(m_path);
    apps.setEXTFile(m_path);
    QCOMPARE(dump(apps), (QStringList{u"U|Z|/z||0"_s, u"U|B|/b|x|0"_s, u"T|A|/a||-1"_s}));
}

void tst_LaunchListFile::saveWritesHeaderAndLines()
{
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        QVERIFY(apps.AddApp(u"Tools"_s, u"Editor"_s, u"/bin/ed"_s, u"/n"_s, false));
        QVERIFY(apps.AddApp(u"Tools"_s, u"Empty"_s, QString(), QString(), false));
        QVERIFY(apps.AddApp(u"Tools"_s, u"Viewer"_s, u"/bin/view"_s, QString(), true));
        QVERIFY(apps.AddApp(u"Other"_s, u"Cmd"_s, QString(), u"only"_s, false));
        QVERIFY(apps.AddApp(u"Dup"_s, u"X"_s, u"/x"_s, QString(), false));
        // Two groups of one name: both written with the first one's count.
        apps.setGroupName(2, u"Other"_s);
    }
    const QByteArray expected = "; Created by: " + LibraryLocation::baseName().toUtf8() + " on "
        + QDate::currentDate().toString(u"dd-MM-yyyy"_s).toUtf8()
        + "\r\n; Format: Group Label,Program label,Program Path,Command line\r\n"
          "Tools,Editor,/bin/ed,/n,0\r\nTools,Viewer,/bin/view,,-1\r\nOther,Cmd,,only,0\r\nOther,X,/x,,0\r\n";
    QCOMPARE(readFile(m_path), expected);
}

void tst_LaunchListFile::roundTrip()
{
    const QStringList entries{u"Tools|Editor|/usr/bin/ed|-p \"%FILE%\" 'x y' $HOME|0"_s,
                              u"Tools|Viewer; rm|/opt/my apps/view|--a=%A% `b`|-1"_s,
                              u"Ünïcode 日本|名前 😀|/ü/ß|«»|0"_s, u"Last|Only command||cmd|-1"_s};
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        for (const QString &entry : entries) {
            const QStringList f = entry.split(u'|');
            QVERIFY(apps.AddApp(f[0], f[1], f[2], f[3], f[4] != u"0"_s));
        }
    }
    ExternalApps again;
    again.setEXTFile(m_path);
    QCOMPARE(dump(again), entries);
}

void tst_LaunchListFile::encodingKeptByteForByte_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("firstName");

    QTest::newRow("latin1") << QByteArray("Caf\xE9,R\xE9sum\xE9,/opt/\xFC\xDF\xFF,-t \xA9\xB5,0\r\n") << u"Résumé"_s;
    QTest::newRow("utf8-multibyte") << QByteArray("\xE6\x97\xA5\xE6\x9C\xAC,\xF0\x9F\x98\x80 x,/\xC3\xBC,\xE2\x82\xAC,-1\r\n")
                                    << u"😀 x"_s;
    QTest::newRow("invalid-utf8-is-latin1") << QByteArray("T,\xC3\xA9\xC3,/a,\xED\xA0\x80,0\r\n") << u"Ã©Ã"_s;
    QTest::newRow("overlong-utf8-is-latin1") << QByteArray("T,\xC0\xAF,/a,,0\r\n") << u"À¯"_s;
}

void tst_LaunchListFile::encodingKeptByteForByte()
{
    QFETCH(QByteArray, lines);
    QFETCH(QString, firstName);
    QVERIFY(writeFile(m_path, header + lines));
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        QCOMPARE(apps.ApplicationName(QVariant(0), 0), firstName);
    }
    QCOMPARE(body(readFile(m_path)), lines);
}

// A Latin-1 list's other values keep their bytes: a character it cannot hold is refused.
void tst_LaunchListFile::characterBeyondLatin1Refused()
{
    QVERIFY(writeFile(m_path, "Caf\xE9,A,/a,,0\r\n"));
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        QVERIFY_THROWS_EXCEPTION(ComponentError, apps.AddApp(u"Café"_s, u"Euro €"_s, u"/e"_s, QString(), false));
        QVERIFY(apps.AddApp(u"Café"_s, u"Thé"_s, u"/t"_s, QString(), false));
    }
    QCOMPARE(body(readFile(m_path)), QByteArray("Caf\xE9,A,/a,,0\r\nCaf\xE9,Th\xE9,/t,,0\r\n"));
}

// Only the comment made the file Latin-1; written back without it, the same bytes would read
// as UTF-8, as other text. (Found by fuzzing the load-save-load round trip.)
void tst_LaunchListFile::latin1ThatWouldReadAsUtf8SavedAsUtf8()
{
    QVERIFY(writeFile(m_path, "; \xFF\r\nG,\xC3\xA9,/p,,0\r\n"));
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        QCOMPARE(apps.ApplicationName(QVariant(0), 0), u"\u00C3\u00A9"_s);
        apps.setCmdLine(0, 0, u"-x"_s);
    }
    ExternalApps again;
    again.setEXTFile(m_path);
    QCOMPARE(again.ApplicationName(QVariant(0), 0), u"\u00C3\u00A9"_s);
}

void tst_LaunchListFile::largeFileKeptAcrossReadChunks_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<bool>("utf8");

    // Line lengths that do not divide the reader's chunk size, so that multi-byte characters
    // and line ends fall across chunk boundaries somewhere in the file.
    QTest::newRow("utf8-crlf") << QByteArray("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x") << QByteArray("\r\n") << true;
    QTest::newRow("utf8-lone-cr") << QByteArray("\xE2\x82\xAC\xC3\xA9") << QByteArray("\r") << true;
    QTest::newRow("latin1-lf") << QByteArray("\xE9\xFCy") << QByteArray("\n") << false;
}

void tst_LaunchListFile::largeFileKeptAcrossReadChunks()
{
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, lineEnd);
    QFETCH(bool, utf8);
    QByteArray lines;
    for (int i = 0; lines.size() < (3 << 20); ++i)
        lines += "G,A" + QByteArray::number(i) + ',' + unit.repeated(1 + i % 97) + ",c,0" + lineEnd;
    // The longest line a launch list may hold.
    const QByteArray longPath = unit.repeated((LaunchListFile::maxLineLength - 20) / unit.size());
    lines += "G,Long," + longPath + ",,0" + lineEnd;
    QVERIFY(writeFile(m_path, header + lines));
    {
        ExternalApps apps;
        apps.setMaxApps(32767);
        apps.setEXTFile(m_path);
        QCOMPARE(apps.AppPath(u"G"_s, u"Long"_s), utf8 ? QString::fromUtf8(longPath) : QString::fromLatin1(longPath));
        QVERIFY(apps.AddApp(u"G"_s, u"New"_s, u"/n"_s, QString(), false)); // so that it is written
    }
    QByteArray expected = lines + "G,New,/n,,0" + lineEnd;
    expected.replace(lineEnd, "\r\n");
    QCOMPARE(body(readFile(m_path)), expected);
}

void tst_LaunchListFile::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("error");

    QByteArray junk(1 << 20, '\0');
    QRandomGenerator random(4);
    random.fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
    QTest::newRow("binary-junk") << junk << 75;
    QTest::newRow("nul-byte-in-a-value") << QByteArrayLiteral("T,A\0B,/a,,0") << 75;
    QTest::newRow("line-over-64-kib") << QByteArray(LaunchListFile::maxLineLength + 1, 'x') << 75;
    QTest::newRow("long-line-after-good-ones") << "T,A,/a,,0\n" + QByteArray(1 << 20, ',') << 75;
    QTest::newRow("million-lone-cr") << QByteArray(1'000'000, '\r') << 0;
}

// A file that is no launch list fails the load before anything of it is taken, and is never
// written over.
void tst_LaunchListFile::hostileFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(int, error);
    QVERIFY(writeFile(m_path, content));
    {
        ExternalApps apps;
        try {
            apps.setEXTFile(m_path);
            QCOMPARE(0, error);
        } catch (const ComponentError &e) {
            QCOMPARE(e.number(), error);
        }
        QCOMPARE(apps.GroupCount(), qint16(0));
        QVERIFY(apps.AddApp(u"T"_s, u"New"_s, u"/n"_s, QString(), false));
        if (error != 0) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s));
            QVERIFY(!apps.save());
        }
    }
    if (error != 0)
        QCOMPARE(readFile(m_path), content);
}

QTEST_GUILESS_MAIN(tst_LaunchListFile)
#include "tst_launchlistfile.moc"
