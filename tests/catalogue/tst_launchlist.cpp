// SPDX-License-Identifier: MIT
// The launch list file: what is read from it, what is written back, and that the user's list
// survives what happens to it (files that cannot be read, other writers, full or read-only
// file systems, folders that take no new file).
#include "common/Catalogue.h"
#include "common/Files.h"

#include <QDate>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace Lanyard;

namespace {

const QByteArray header =
    "; Created by: x on 01-01-2026\r\n; Format: Group Label,Program label,Program Path,Command line\r\n";
const QByteArray original = "; mine, written by hand\r\nTools,Editor,/usr/bin/ed,-p,0\r\n";
const QString editor = QStringLiteral("Tools|Editor|/usr/bin/ed|-p|0");
const QString viewer = QStringLiteral("Tools|Viewer|/usr/bin/less||0");

QStringList loadedFrom(const QString &path, qint16 maxGroups = 20, qint16 maxApps = 20)
{
    ExternalApps apps;
    apps.setMaxGroups(maxGroups);
    apps.setMaxApps(maxApps);
    apps.setEXTFile(path);
    return dump(apps);
}

/// @p text with comment lines added until it is @p size bytes long; every line stays well
/// under the longest line the reader takes, and the last is long enough for its line end.
QByteArray withCommentsUpTo(QByteArray text, qsizetype size, const QByteArray &lineEnd)
{
    for (qsizetype room; (room = size - text.size()) > 0;) {
        const qsizetype line = room <= 60000 ? room : std::min<qsizetype>(60000, room - 4);
        text += ';' + QByteArray(line - 1 - lineEnd.size(), 'q') + lineEnd;
    }
    return text;
}

/// The file's lines after the two header lines.
QByteArray body(const QByteArray &file)
{
    const qsizetype second = file.indexOf("\r\n", file.indexOf("\r\n") + 2);
    return second < 0 ? QByteArray() : file.mid(second + 2);
}

mode_t fileType(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

/// Puts a file of @p kind at @p path: the list with the mode "mode-NNN", or a special file.
bool makeFile(const QString &kind, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (kind == u"fifo")
        return ::mkfifo(native.constData(), 0666) == 0;
    if (kind == u"device") // a null device of its own: a test must not risk the system's
        return ::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    if (kind == u"folder")
        return QDir().mkdir(path);
    if (kind == u"socket")
        return ::mknod(native.constData(), S_IFSOCK | 0666, 0) == 0;
    return TestFiles::write(path, original) && ::chmod(native.constData(), kind.mid(5).toUInt(nullptr, 8)) == 0;
}

/// Adds enough entries that the list would grow to about 200 KB.
void grow(ExternalApps &apps)
{
    apps.setMaxGroups(100);
    apps.setMaxApps(100);
    for (int g = 0; g < 40; ++g) {
        for (int a = 0; a < 50; ++a)
            apps.AddApp(QStringLiteral("Group %1").arg(g), QStringLiteral("Application %1").arg(a),
                        QStringLiteral("/usr/bin/program-with-a-long-name"),
                        QStringLiteral("--option=value \"%FILE%\""), false);
    }
}

/**
 * A failing save of a grown catalogue: save() and the release both fail, the list keeps its
 * bytes and nothing is left beside it. With --save-under-fault, the test program runs this in a
 * child, on a small file system of its own (see savesOnAFileSystemThatFails).
 */
QString failingSave(const QString &path)
{
    const QByteArray before = TestFiles::read(path);
    auto apps = std::make_unique<ExternalApps>();
    apps->setEXTFile(path);
    grow(*apps);
    const QStringList entries = dump(*apps);
    QSignalSpy failed(apps.get(), &ExternalApps::saveFailed);
    if (apps->save() || failed.count() != 1)
        return QStringLiteral("save() did not fail");
    if (dump(*apps) != entries)
        return QStringLiteral("the failed save changed the catalogue");
    apps.reset();
    if (failed.count() != 2)
        return QStringLiteral("the release did not fail");
    if (TestFiles::read(path) != before)
        return QStringLiteral("the list changed");
    QStringList left = QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral(".tools.lst.lock")); // the writers' lock file stays
    return left.size() <= 1 ? QString() : QStringLiteral("left beside the list: ") + left.join(u' ');
}

struct ReadRow
{
    QByteArray bytes;
    QStringList entries;
    qint16 maxGroups = 20, maxApps = 20;
};
/// writtenBack: the lines after "T,New,/n,,0" was added.
struct EncodingRow
{
    QByteArray lines;
    QString firstName;
    QByteArray writtenBack;
    bool latin1 = false;
};

using Change = std::function<void(ExternalApps &)>;
struct WritersRow
{
    Change ours;
    QByteArray theirs; ///< appended to the file after our change; or a whole new list beginning "="
    QStringList after;
    qint16 maxGroups = 5;
    QByteArray listed = {}; ///< more lines of the list when it is loaded
};

struct DriftRow
{
    QByteArray lines;
    Change ours;
    QByteArray theirs; ///< appended after our change; or a whole new list beginning "="
    QStringList after;
    QString program; ///< what our object starts for the entry it changed
};

struct LinesRow
{
    QByteArray unit, lineEnd;
    bool utf8 = false;
};
struct UnreadableRow
{
    QString kind;
    QByteArray bytes;
    int error = 0;
    QString what = {}; ///< what the refusal says the file is
};

} // namespace

Q_DECLARE_METATYPE(LinesRow)
Q_DECLARE_METATYPE(UnreadableRow)
Q_DECLARE_METATYPE(ReadRow)
Q_DECLARE_METATYPE(EncodingRow)
Q_DECLARE_METATYPE(WritersRow)
Q_DECLARE_METATYPE(DriftRow)

class tst_LaunchList : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // Open to anyone: permission cases run as nobody (FilePermissionsApply).
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
        m_path = m_dir->filePath(QStringLiteral("tools.lst"));
    }

    void reading_data()
    {
        QTest::addColumn<ReadRow>("row");
        QTest::newRow("empty-file") << ReadRow{"", {}};
        QTest::newRow("blank-lines-and-header")
            << ReadRow{header + "\r\n \t \r\n\t\r\nT,A,/a,,0\r\n\r\n", {"T|A|/a||0"}};
        QTest::newRow("indented-comment") << ReadRow{" \t; T,A,/a,,0\r\n;T,B,/b,,0", {}};
        QTest::newRow("names-only-ignored") << ReadRow{"T,A\r\nT,B,,\r\nT,C, , ,", {}};
        QTest::newRow("empty-group-or-name-ignored") << ReadRow{",A,/a,,0\r\nT,,/a,,0\r\n \t,A,/a", {}};
        QTest::newRow("blanks-around-fields")
            << ReadRow{"  \tT b \t,\t A ,  /a b ,\t-x y\t, \t-1 \t", {"T b|A|/a b|-x y|-1"}};
        QTest::newRow("flag-numbers") << ReadRow{
            "T,1,/a,,1\nT,2,/a,,-1\nT,3,/a,,TRUE\nT,4,/a,,\nT,5,/a,,0.5\nT,6,/a,,12abc\nT,7,/a,,abc1\nT,8,/a,,+."
            "\nT,9,/a,,9\nT,10,/a,,-0.09\nT,11,/a,,\v00\nT,12,/a,,\v3\nT,13,/a,,/1\nT,14,/a,,:1",
            {"T|1|/a||-1", "T|2|/a||-1", "T|3|/a||0", "T|4|/a||0", "T|5|/a||-1", "T|6|/a||-1", "T|7|/a||0", "T|8|/a||0",
             "T|9|/a||-1", "T|10|/a||-1", "T|11|/a||0", "T|12|/a||-1", "T|13|/a||0", "T|14|/a||0"}};
        QTest::newRow("comma-ends-the-command") << ReadRow{"T,A,/a,/a,/b,-1", {"T|A|/a|/a|0"}};
        QTest::newRow("every-line-end") << ReadRow{"T,A,/a,,0\r\nT,B,/b,,0\rT,C,/c,,0\nT,D,/d,,0\n\rT,E,/e,,0",
                                                   {"T|A|/a||0", "T|B|/b||0", "T|C|/c||0", "T|D|/d||0", "T|E|/e||0"}};
        QTest::newRow("repeat-updates-path-and-command") << ReadRow{"T,A,/a,x,0\r\nT,A,/b,y,-1", {"T|A|/b|y|0"}};
        QTest::newRow("byte-order-mark-skipped") << ReadRow{"\xEF\xBB\xBFT,A,/a,,0", {"T|A|/a||0"}};
        QTest::newRow("later-byte-order-mark-kept")
            << ReadRow{"T,A,/a,,0\r\n\xEF\xBB\xBFT,B,/b,,0", {"T|A|/a||0", QStringLiteral(u"\uFEFFT|B|/b||0")}};
        QTest::newRow("limits-while-loading")
            << ReadRow{"G1,A,/a,,0\nG2,A,/a,,0\nG3,A,/a,,0\nG1,B,/a,,0\nG1,C,/a,,0\nG2,B,/b,,0\nG1,A,/changed,,0",
                       {"G1|A|/changed||0", "G1|B|/a||0", "G2|A|/a||0", "G2|B|/b||0"},
                       2,
                       2};
    }
    void reading()
    {
        QFETCH(ReadRow, row);
        QVERIFY(TestFiles::write(m_path, row.bytes));
        QCOMPARE(loadedFrom(m_path, row.maxGroups, row.maxApps), row.entries);
    }

    // A relative path is made absolute when assigned: the release saves where it was meant.
    void relativePathMadeAbsolute()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        {
            ExternalApps apps;
            apps.setEXTFile(QStringLiteral("rel.lst"));
            QVERIFY(QDir::setCurrent(before)); // the host changes its folder while the object lives
            QCOMPARE(apps.EXTFile(), m_dir->filePath(QStringLiteral("rel.lst")));
            fill(apps, {viewer});
        }
        QCOMPARE(loadedFrom(m_dir->filePath(QStringLiteral("rel.lst"))), QStringList{viewer});
    }

    void writing()
    {
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            fill(apps, {"Tools|Editor|/bin/ed|/n", "Tools|Empty||", "Tools|Viewer|/bin/view||-1", "Other|Cmd||only",
                        "Dup|X|/x"});
            // Two groups of one name: both written with the first one's count.
            apps.setGroupName(2, QStringLiteral("Other"));
        }
        QCOMPARE(
            TestFiles::read(m_path),
            "; Created by: liblanyard on " + QDate::currentDate().toString(u"dd-MM-yyyy").toUtf8()
                + "\r\n; Format: Group Label,Program label,Program Path,Command line\r\n"
                  "Tools,Editor,/bin/ed,/n,0\r\nTools,Viewer,/bin/view,,-1\r\nOther,Cmd,,only,0\r\nOther,X,/x,,0\r\n");
    }

    // Slots beyond the counts hold values, but no entry: writing them changes nothing the list
    // holds, so the release leaves the file as it was.
    void slotsBeyondTheCountsWriteNothing()
    {
        const QByteArray handWritten = "Tools,Editor,/bin/ed,,0\n";
        QVERIFY(TestFiles::write(m_path, handWritten));
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            apps.setApplicationName(0, 1, QStringLiteral("Hidden"));
            apps.setAppPath(0, 2, QStringLiteral("/h"));
            apps.setCmdLine(1, 0, QStringLiteral("-x"));
        }
        QCOMPARE(TestFiles::read(m_path), handWritten);
        // Nor the slot a removed group vacated, which keeps a copy of the last group.
        QVERIFY(TestFiles::write(m_path, "A,x,/a,,0\nB,y,/b,,0\nC,z,/c,,0\n"));
        const QByteArray rewritten = "A,x,/a,,0\nC,z,/c,,0\n";
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            apps.DeleteApp("B", "y");
            QVERIFY(apps.save());
            QVERIFY(TestFiles::write(m_path, rewritten)); // by hand, the same entries
            apps.setCmdLine(2, 0, QStringLiteral("-x"));
        }
        QCOMPARE(TestFiles::read(m_path), rewritten);
    }

    // An application with a command line and no program path has its line like any other:
    // saved, then deleted after another writer's change, its line goes.
    void entryWithoutAPathHasItsLine()
    {
        QVERIFY(TestFiles::write(m_path, original));
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            QVERIFY(apps.AddApp("Tools", "Command", "", "run", false));
            QVERIFY(apps.save());
            QVERIFY(TestFiles::write(m_path, TestFiles::read(m_path) + "Games,Chess,/g,,0\r\n"));
            apps.DeleteApp("Tools", "Command");
        }
        const QByteArray file = TestFiles::read(m_path);
        QVERIFY2(!file.contains("Tools,Command") && file.contains("Games,Chess"), file.constData());
    }

    // Entries a host adds before it names the file are changes like any other: the file's
    // entries join them, in groups new or not, and the release saves them all.
    void entriesAddedBeforeTheFileIsNamed()
    {
        QVERIFY(TestFiles::write(m_path, "Other,y,/y,,0\nMine,z,/z,,0\n"));
        {
            ExternalApps apps;
            apps.AddApp("Mine", "x", "/x", "", false);
            apps.setEXTFile(m_path);
        }
        QCOMPARE(loadedFrom(m_path), (QStringList{"Other|y|/y||0", "Mine|x|/x||0", "Mine|z|/z||0"}));
    }

    // Every value the list holds reads back as it was stored.
    void roundTrip()
    {
        const QStringList entries{R"(Tools|Editor|/usr/bin/ed|-p "%FILE%" 'x y' $HOME|0)",
                                  "Tools|Viewer; rm|/opt/my apps/view|--a=%A% `b`|-1", "Ünïcode 日本|名前 😀|/ü/ß|«»|0",
                                  "Last|Only command||cmd|-1", "T;x|a ; b|/p;|;|0"};
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            fill(apps, entries);
        }
        QCOMPARE(loadedFrom(m_path), entries);
    }

    // A list keeps its encoding, byte for byte; a character a Latin-1 list cannot hold is refused.
    void encoding_data()
    {
        QTest::addColumn<EncodingRow>("row");
        QTest::newRow("latin-1") << EncodingRow{
            "Caf\xE9,R\xE9sum\xE9,/opt/\xFC\xDF\xFF,-t \xA9\xB5,0\r\n", "Résumé",
            "Caf\xE9,R\xE9sum\xE9,/opt/\xFC\xDF\xFF,-t \xA9\xB5,0\r\nT,New,/n,,0\r\n", true};
        QTest::newRow("utf-8") << EncodingRow{
            "\xE6\x97\xA5,\xF0\x9F\x98\x80 x,/\xC3\xBC,\xE2\x82\xAC,-1\r\n", "😀 x",
            "\xE6\x97\xA5,\xF0\x9F\x98\x80 x,/\xC3\xBC,\xE2\x82\xAC,-1\r\nT,New,/n,,0\r\n"};
        // A byte order mark inside a line is part of its value, also where bytes that are not
        // UTF-8 come before it.
        QTest::newRow("byte-order-marks-in-values")
            << EncodingRow{"G,\xEF\xBB\xBFN,\xEF\xBB\xBF/p,\xEF\xBB\xBF,0\r\n", QStringLiteral(u"\uFEFFN"),
                           "G,\xEF\xBB\xBFN,\xEF\xBB\xBF/p,\xEF\xBB\xBF,0\r\nT,New,/n,,0\r\n"};
        QTest::newRow("byte-order-mark-after-other-bytes")
            << EncodingRow{"G,N,/\xFF\xEF\xBB\xBFq,,0\r\n", "N", "G,N,/\xFF\xEF\xBB\xBFq,,0\r\nT,New,/n,,0\r\n", true};
        // U+07FF: the last lead byte of two-byte characters.
        QTest::newRow("utf-8-lead-df") << EncodingRow{"\xDF\xBF,x,/p,,0\r\n", "x",
                                                      "\xDF\xBF,x,/p,,0\r\nT,New,/n,,0\r\n"};
        // The first and last characters of three and four bytes, and those next to the surrogates.
        {
            const QByteArray edges = "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
            QTest::newRow("utf-8-edges") << EncodingRow{"G," + edges + ",/p,,0\r\n", QString::fromUtf8(edges),
                                                        "G," + edges + ",/p,,0\r\nT,New,/n,,0\r\n"};
        }
        // The first and the last surrogate written as if they were characters: no UTF-8, Latin-1.
        for (const char *surrogate : {"\xED\xA0\x80", "\xED\xBF\xBF"}) {
            const QByteArray line = "G," + QByteArray(surrogate) + ",/p,,0\r\n";
            QTest::addRow("surrogate-%s-is-latin-1", surrogate[1] == '\xA0' ? "d800" : "dfff")
                << EncodingRow{line, QString::fromLatin1(surrogate), line + "T,New,/n,,0\r\n", true};
        }
        // Only the comment made the file Latin-1: without it the same bytes would read as UTF-8.
        QTest::newRow("latin-1-that-would-read-as-utf-8") << EncodingRow{
            "; \xFF\r\nG,\xC3\xA9,/p,,0\r\n", "\u00C3\u00A9", "G,\xC3\x83\xC2\xA9,/p,,0\r\nT,New,/n,,0\r\n", true};
        // The same, where the file ends in the first byte of a character cut off: Latin-1 too.
        QTest::newRow("utf-8-cut-short-at-its-end") << EncodingRow{"G,\xC3\xA9,/p,,0\r\n; \xC3", "\u00C3\u00A9",
                                                                   "G,\xC3\x83\xC2\xA9,/p,,0\r\nT,New,/n,,0\r\n", true};
        // The same past the reader's first mebibyte: the second read is short, and the byte after
        // the cut character in the reader's buffer is the first read's, the end of a character.
        {
            const qsizetype end = (1 << 20) + header.size() + 10;
            const QByteArray start = "; qqqqqqq\xC3\xA9\r\nG,\xC3\xA9,/p,,0\r\n";
            QCOMPARE((header + start).at(end - (1 << 20)), '\xA9');
            const QByteArray lines = withCommentsUpTo(start, end - 3 - header.size(), "\r\n");
            QTest::newRow("utf-8-cut-short-after-a-mebibyte")
                << EncodingRow{lines + "; \xC3", "\u00C3\u00A9", "G,\xC3\x83\xC2\xA9,/p,,0\r\nT,New,/n,,0\r\n", true};
        }
        // The same name beside a path that is not UTF-8, which only Latin-1 holds: it stays Latin-1.
        QTest::newRow("latin-1-held-by-a-path")
            << EncodingRow{"G,\xC3\xA9,/p\xFF,,0\r\n", "\u00C3\u00A9", "G,\xC3\xA9,/p\xFF,,0\r\nT,New,/n,,0\r\n", true};
        // Or by a name: U+0080 alone is no UTF-8 either.
        QTest::newRow("latin-1-held-by-a-c1-control")
            << EncodingRow{"\xC3\xA9,x\x80,/p,,0\r\n", "x\u0080", "\xC3\xA9,x\x80,/p,,0\r\nT,New,/n,,0\r\n", true};
        // A byte that begins no UTF-8 character (84), before three that could follow a lead byte:
        // Latin-1.
        QTest::newRow("latin-1-lead-of-nothing")
            << EncodingRow{"G,x\x84\x80\x80\x80,/p,,0\r\n", "x\u0084\u0080\u0080\u0080",
                           "G,x\x84\x80\x80\x80,/p,,0\r\nT,New,/n,,0\r\n", true};
        // U+00FF, the last character Latin-1 holds, in a name.
        QTest::newRow("latin-1-up-to-its-last-character")
            << EncodingRow{"T,\xFF,/p,,0\r\n", "\u00FF", "T,\xFF,/p,,0\r\nT,New,/n,,0\r\n", true};
        // Latin-1 in the text alone, and plain ASCII after it.
        QTest::newRow("latin-1-text-then-ascii")
            << EncodingRow{"Caf\xE9,Edit,/p,,0\r\n", "Edit", "Caf\xE9,Edit,/p,,0\r\nT,New,/n,,0\r\n", true};
    }
    void encoding()
    {
        QFETCH(EncodingRow, row);
        QVERIFY(TestFiles::write(m_path, header + row.lines));
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            QCOMPARE(apps.ApplicationName(0, 0), row.firstName);
            QCOMPARE(errorOf([&] { apps.AddApp("T", "Euro €", "/e", "", false); }), row.latin1 ? 5 : 0);
            apps.DeleteApp("T", "Euro €");
            QVERIFY(apps.AddApp("T", "New", "/n", "", false));
        }
        QCOMPARE(body(TestFiles::read(m_path)), row.writtenBack);
    }

    // A stored value means one thing whatever the list's encoding, also when another writer
    // changes the encoding under us: names are text, paths and command lines the bytes given.
    void encodingOfOthers_data()
    {
        QTest::addColumn<DriftRow>("row");
        const QString cafePath = QStringLiteral("/opt/caf\u00e9/run"); // UTF-8 bytes
        QTest::newRow("utf-8-list-turned-latin-1-meanwhile")
            << DriftRow{"Tools,Caf\xC3\xA9,/opt/caf\xC3\xA9/run,--old,0\r\n",
                        [](ExternalApps &a) { a.setCmdLine("Tools", "Caf\u00e9", "--new"); },
                        "Tools,Th\xE9,/t,,0\r\n",
                        {"Tools|Caf\u00e9|" + cafePath + "|--new|0", "Tools|Th\u00e9|/t||0"},
                        cafePath};
        // A name Latin-1 cannot hold, from its first character: the save goes on in UTF-8.
        QTest::newRow("utf-8-name-beyond-latin-1-in-a-list-turned-latin-1")
            << DriftRow{"Tools,\xE2\x82\xACuro,/e,--old,0\r\n",
                        [](ExternalApps &a) { a.setCmdLine("Tools", "\u20ACuro", "--new"); },
                        "Tools,Th\xE9,/t,,0\r\n",
                        {"Tools|\u20ACuro|/e|--new|0", "Tools|Th\u00e9|/t||0"},
                        "/e"};
        // Paths are bytes, not text: a Latin-1 list holds any, whatever the characters they show
        // (UTF-8 within Latin-1, beyond it, or a byte that is no UTF-8).
        const std::pair<const char *, QString> pathsIntoLatin1[] = {
            {"utf-8-path-into-a-latin-1-list", cafePath},
            {"path-beyond-latin-1-into-a-latin-1-list", QStringLiteral("/opt/\u65E5\u672C/run")},
            {"path-byte-into-a-latin-1-list", QStringView(u"/opt/caf\xdce9/run").toString()}};
        for (const auto &[tag, path] : pathsIntoLatin1) {
            const QString added = path;
            QTest::newRow(tag) << DriftRow{"Tools,Th\xE9,/t,,0\r\n",
                                           [added](ExternalApps &a) { a.AddApp("Tools", "Cafe", added, "", false); },
                                           "",
                                           {"Tools|Th\u00e9|/t||0", "Tools|Cafe|" + added + "||0"},
                                           added};
        }
        QTest::newRow("latin-1-path-bytes-kept")
            << DriftRow{"Tools,Caf\xE9,/opt/caf\xE9/run,,0\r\n",
                        [](ExternalApps &a) { a.setCmdLine("Tools", "Caf\u00e9", "-x"); },
                        "",
                        {"Tools|Caf\u00e9|" + QStringView(u"/opt/caf\xdce9/run").toString() + "|-x|0"},
                        QStringView(u"/opt/caf\xdce9/run").toString()};
        // The lowest byte that is no ASCII, in a folder's name.
        QTest::newRow("latin-1-path-byte-80-kept")
            << DriftRow{"Tools,Caf\xE9,/opt/\x80/run,,0\r\n",
                        [](ExternalApps &a) { a.setCmdLine("Tools", "Caf\u00e9", "-x"); },
                        "",
                        {"Tools|Caf\u00e9|" + QStringView(u"/opt/\xdc80/run").toString() + "|-x|0"},
                        QStringView(u"/opt/\xdc80/run").toString()};
        QTest::newRow("latin-1-list-turned-utf-8-meanwhile")
            << DriftRow{"Tools,Caf\xE9,/opt/caf\xE9/run,,0\r\n",
                        [](ExternalApps &a) { a.AddApp("Tools", "New", "/n", "", false); },
                        "=Tools,Th\xC3\xA9,/t,,0\r\n",
                        {"Tools|Th\u00e9|/t||0", "Tools|New|/n||0"},
                        QStringView(u"/opt/caf\xdce9/run").toString()};
        // The same with a command line that begins with a byte that is no UTF-8: still Latin-1.
        const QString byteFirst = QStringView(u"\xdce9t\xdce9.txt").toString();
        QTest::newRow("byte-first-in-a-list-turned-utf-8-meanwhile")
            << DriftRow{"Tools,Caf\xE9,/opt/run,,0\r\n",
                        [=](ExternalApps &a) { a.AddApp("Tools", "New", "/n", byteFirst, false); },
                        "=Tools,Th\xC3\xA9,/t,,0\r\n",
                        {"Tools|Th\u00e9|/t||0", "Tools|New|/n|" + byteFirst + "|0"},
                        "/opt/run"};
        // A Latin-1 list whose entries are all ASCII (its comment is not) stays Latin-1 through a
        // save, though the file is ASCII then: it still refuses what Latin-1 cannot hold.
        QTest::newRow("latin-1-list-of-ascii-entries-saved-twice")
            << DriftRow{"; caf\xE9\r\nTools,A,/a,,0\r\n",
                        [](ExternalApps &a) {
                            a.AddApp("Tools", "New", "/n", "", false);
                            QVERIFY(a.save());
                            QCOMPARE(errorOf([&] { a.AddApp("Tools", "Euro \u20AC", "/e", "", false); }), 5);
                            a.AddApp("Tools", "Caf\u00e9", "/c", "", false);
                        },
                        "",
                        {"Tools|A|/a||0", "Tools|New|/n||0", "Tools|Caf\u00e9|/c||0"},
                        "/n"};
    }
    void encodingOfOthers()
    {
        QFETCH(DriftRow, row);
        QVERIFY(TestFiles::write(m_path, header + row.lines));
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            row.ours(apps);
            if (row.theirs.startsWith('='))
                QVERIFY(TestFiles::write(m_path, header + row.theirs.mid(1)));
            else if (!row.theirs.isEmpty())
                QVERIFY(TestFiles::write(m_path, TestFiles::read(m_path) + row.theirs));
            QVERIFY(apps.save());
            // What the object starts is what it stored, before and after the save.
            const qint16 app = row.after.size() > 1 && row.theirs.isEmpty() ? 1 : 0;
            const QString group = row.theirs.startsWith('=') ? QStringLiteral("Tools") : apps.GroupName(0);
            QCOMPARE(apps.launchCommand(group, apps.ApplicationName(0, row.theirs.startsWith('=') ? 0 : app))->program,
                     row.program);
        }
        QCOMPARE(loadedFrom(m_path), row.after);
    }

    // A value the list's encoding cannot hold is refused, naming the character.
    void refusedNamingTheCharacter_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("latin-1-name") << QByteArray("T,\xE9,/p,,0\r\n") << QStringLiteral("Man\u0153uvre")
                                      << QStringLiteral("/p") << QStringLiteral("cannot hold \u201C\u0153\u201D");
        QTest::newRow("utf-8-path-byte") << QByteArray("T,x,/p,,0\r\n") << QStringLiteral("x")
                                         << QStringView(u"/caf\xdce9").toString()
                                         << QStringLiteral("cannot hold the byte 0xE9");
        // The same where the character is the value's first.
        QTest::newRow("latin-1-name-first") << QByteArray("T,\xE9,/p,,0\r\n") << QStringLiteral("\u0153uvre")
                                            << QStringLiteral("/p") << QStringLiteral("cannot hold \u201C\u0153\u201D");
        QTest::newRow("utf-8-path-byte-first")
            << QByteArray("T,x,/p,,0\r\n") << QStringLiteral("x") << QStringView(u"\xdce9t\xdce9").toString()
            << QStringLiteral("cannot hold the byte 0xE9");
        QTest::newRow("name-byte-in-latin-1") << QByteArray("T,\xE9,/p,,0\r\n") << QStringView(u"caf\xdce9").toString()
                                              << QStringLiteral("/p") << QStringLiteral("names are text");
        // A character's second half with nothing before it, and its first half with nothing
        // after it.
        QTest::newRow("name-beginning-with-half-a-character")
            << QByteArray("T,x,/p,,0\r\n") << QStringView(u"\xdc00x").toString() << QStringLiteral("/p")
            << QStringLiteral("a broken character (U+DC00)");
        QTest::newRow("name-with-half-a-character-inside")
            << QByteArray("T,x,/p,,0\r\n") << QStringView(u"x\xd83dy").toString() << QStringLiteral("/p")
            << QStringLiteral("cannot hold a broken character (U+D83D)");
        QTest::newRow("name-ending-in-half-a-character")
            << QByteArray("T,x,/p,,0\r\n") << QStringView(u"x\xd83d").toString() << QStringLiteral("/p")
            << QStringLiteral("a broken character (U+D83D)");
    }
    void refusedNamingTheCharacter()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, refusal);
        QVERIFY(TestFiles::write(m_path, header + lines));
        ExternalApps apps;
        apps.setEXTFile(m_path);
        try {
            apps.AddApp("New", name, path, "", false);
            QFAIL("not refused");
        } catch (const ComponentError &error) {
            QCOMPARE(error.number(), 5);
            QVERIFY2(error.message().contains(refusal), qPrintable(error.message()));
        }
        QCOMPARE(apps.GroupCount(), qint16(1));
    }

    // Lines of every length, so that characters and line ends fall across the reader's chunks.
    void largeListKeptWhole_data()
    {
        QTest::addColumn<LinesRow>("row");
        QTest::newRow("utf-8-crlf") << LinesRow{"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x", "\r\n", true};
        QTest::newRow("utf-8-lone-cr") << LinesRow{"\xE2\x82\xAC\xC3\xA9", "\r", true};
    }
    void largeListKeptWhole()
    {
        QFETCH(LinesRow, row);
        const auto &[unit, lineEnd, utf8] = row;
        QByteArray lines;
        for (int i = 0; lines.size() < (2 << 20) + 4096; ++i)
            lines += "G,A" + QByteArray::number(i) + ',' + unit.repeated(1 + i % 97) + ",c,0" + lineEnd;
        // The longest line a list may hold: 65536 bytes before its end.
        QByteArray longest = unit.repeated((65536 - 20) / unit.size());
        longest += QByteArray(65536 - 10 - longest.size(), 'x');
        lines += "G,Long," + longest + ",,0" + lineEnd;
        const QByteArray name = "Caf\xC3\xA9"; // a name tells the encoding the list was read in
        lines += "G," + name + ",/c,,0" + lineEnd;
        // The reader's first chunk (1 MiB) ends after three bytes of a four-byte character: a
        // comment line first moves one there.
        QByteArray comment;
        const QByteArray fourBytes = "\xF0\x9F\x98\x80";
        const qsizetype cut = (1 << 20) - 3;
        if (const qsizetype at = (header + lines).lastIndexOf(fourBytes, cut - 16); unit.contains(fourBytes)) {
            QVERIFY(at > 0);
            comment = ';' + QByteArray(cut - at - 1 - lineEnd.size(), 'p') + lineEnd;
            QCOMPARE((header + comment + lines).mid(cut, 4), fourBytes);
        }
        QVERIFY(TestFiles::write(m_path, header + comment + lines));
        {
            ExternalApps apps;
            apps.setMaxApps(32767);
            apps.setEXTFile(m_path);
            QCOMPARE(apps.AppPath("G", "Long"), utf8 ? QString::fromUtf8(longest) : QString::fromLatin1(longest));
            QCOMPARE(apps.AppPath("G", utf8 ? QString::fromUtf8(name) : QString::fromLatin1(name)), "/c");
            QVERIFY(apps.AddApp("G", "New", "/n", "", false));
        }
        QCOMPARE(body(TestFiles::read(m_path)), QByteArray(lines + "G,New,/n,,0" + lineEnd).replace(lineEnd, "\r\n"));
    }

    // A list whose last line ends in a lone CR just past the reader's first mebibyte: the byte
    // behind that CR in the reader's buffer is left from the first read, an LF, and is no part
    // of the list.
    void loneCrAtTheEndPastAMebibyte()
    {
        const QByteArray tail = ';' + QByteArray(4000, 'q') + "\r\nG,Last,/l,,0\r";
        const QByteArray start = header + ';' + QByteArray(tail.size() - header.size() - 1, 'q') + '\n';
        QCOMPARE(start.at(tail.size()), '\n');
        const QByteArray first = withCommentsUpTo(start, 1 << 20, "\n");
        QCOMPARE(first.size(), 1 << 20);
        QVERIFY(TestFiles::write(m_path, first + tail));
        ExternalApps apps;
        apps.setEXTFile(m_path);
        QCOMPARE(dump(apps), QStringList{"G|Last|/l||0"});
    }

    // What is not a launch list, or not a file that can be read, fails the assignment and is
    // never written over: neither by save() nor by the release.
    void neverWrittenOver_data()
    {
        QTest::addColumn<UnreadableRow>("row");
        QByteArray junk(1 << 16, '\0');
        QRandomGenerator(4).fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
        QTest::newRow("binary") << UnreadableRow{"file", junk, 75};
        QTest::newRow("nul-in-a-value") << UnreadableRow{"file", QByteArrayLiteral("T,A\0B,/a,,0"), 75};
        QTest::newRow("line-over-64-kib") << UnreadableRow{"file", "T,A,/a,,0\n" + QByteArray(65537, ','), 75};
        QTest::newRow("unreadable") << UnreadableRow{"mode-200", original, 70};
        // Readable again by the time of the save: still not this object's to write.
        QTest::newRow("readable-at-the-save") << UnreadableRow{"mode-200", original, 70};
        QTest::newRow("fifo") << UnreadableRow{"fifo", {}, 75, "a FIFO"};
        QTest::newRow("device") << UnreadableRow{"device", {}, 75, "a device"};
        QTest::newRow("socket") << UnreadableRow{"socket", {}, 75, "a socket"};
        QTest::newRow("folder") << UnreadableRow{"folder", {}, 75, "a folder"};
    }
    void neverWrittenOver()
    {
        QFETCH(UnreadableRow, row);
        const auto &[kind, bytes, error, what] = row;
        if (kind == u"device" && ::geteuid() != 0)
            m_path = QStringLiteral("/dev/null"); // another user cannot harm it
        else
            QVERIFY(kind == u"file" ? TestFiles::write(m_path, bytes) : makeFile(kind, m_path));
        const mode_t type = fileType(m_path);
        {
            const FilePermissionsApply permissions;
            auto apps = std::make_unique<ExternalApps>();
            QString refusal;
            try {
                apps->setEXTFile(m_path);
            } catch (const ComponentError &refused) {
                QCOMPARE(refused.number(), error);
                refusal = refused.message();
            }
            QVERIFY(!refusal.isEmpty());
            if (!what.isEmpty())
                QVERIFY2(
                    refusal.contains(m_path + QStringLiteral(" is ") + what + QStringLiteral(", not a launch list")),
                    qPrintable(refusal));
            if (QByteArrayView(QTest::currentDataTag()) == "readable-at-the-save") {
                const int was = ::setfsuid(::geteuid()); // its owner gives reading back
                QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther
                                                          | QFile::WriteOther));
                ::setfsuid(was);
            }
            QCOMPARE(apps->EXTFile(), m_path);
            QCOMPARE(apps->GroupCount(), qint16(0));
            fill(*apps, {viewer});
            QSignalSpy failed(apps.get(), &ExternalApps::saveFailed);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
            QVERIFY(!apps->save());
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
            apps.reset();
            QCOMPARE(failed.count(), 2);
        }
        QCOMPARE(fileType(m_path), type);
        if (type == S_IFREG)
            QCOMPARE(TestFiles::read(m_path), bytes);
    }

    // Another program (or object) writes the list while we hold it: its entries survive ours, in
    // the file's order. (Several objects of one process, and renames onto names that are there,
    // run in tst_listwriters' seeded sequences.)
    void otherWritersChangesSurvive_data()
    {
        QTest::addColumn<WritersRow>("row");
        const QByteArray addsViewer = "Tools,Viewer,/usr/bin/less,,0\r\n";
        QTest::newRow("unchanged-object-writes-nothing")
            << WritersRow{[](ExternalApps &) {}, addsViewer, {editor, viewer}};
        QTest::newRow("both-add") << WritersRow{[](ExternalApps &a) { fill(a, {"Games|Chess|/g||-1"}); },
                                                addsViewer,
                                                {editor, viewer, "Games|Chess|/g||-1"}};
        QTest::newRow("we-delete-they-add")
            << WritersRow{[](ExternalApps &a) { a.DeleteApp("Tools", "Editor"); }, addsViewer, {viewer}};
        QTest::newRow("we-move-they-add")
            << WritersRow{[](ExternalApps &a) { a.EditApp("Tools", "Editor", "Edit", "ed", false); },
                          addsViewer,
                          {viewer, "Edit|ed|/usr/bin/ed|-p|0"}};
        QTest::newRow("our-changed-entry-wins-whole")
            << WritersRow{[](ExternalApps &a) { a.setCmdLine("Tools", "Editor", "-q"); },
                          "=Tools,Editor,/bin/ed,-x,0\r\n" + addsViewer,
                          {"Tools|Editor|/usr/bin/ed|-q|0", viewer}};
        // A changed entry keeps its own line's place, also when the other writer put a line
        // of the group before it.
        QTest::newRow("our-changed-entry-keeps-its-place") << WritersRow{
            [](ExternalApps &a) { a.setCmdLine("Tools", "Viewer", "-v"); },
            "=; mine, written by hand\r\nTools,Editor,/usr/bin/ed,-p,0\r\nTools,Theirs,/t,,0\r\n" + addsViewer,
            {editor, "Tools|Theirs|/t||0", "Tools|Viewer|/usr/bin/less|-v|0"},
            5,
            addsViewer};
        // Entries are found by their line, never by name: a rename onto a name that is there
        // keeps both entries' lines, as it does without another writer.
        QTest::newRow("we-rename-a-group-onto-one-that-is-there-they-add")
            << WritersRow{[](ExternalApps &a) { a.setGroupName(2, "Net"); },
                          addsViewer,
                          {editor, viewer, "Net|News|/n||0", "Net|Mail|/m||0"},
                          5,
                          "Net,News,/n,,0\r\nWeb,Mail,/m,,0\r\n"};
        // A group that moved down when the one before it went keeps no trace of its old lines
        // once saved: another writer that puts such a line back (a dotfiles checkout) keeps it.
        QTest::newRow("they-restore-a-line-we-saved-over-in-a-moved-group")
            << WritersRow{[](ExternalApps &a) {
                              a.setCmdLine("Net", "Mail", "-m");
                              a.DeleteApp("Tools", "Editor");
                              fill(a, {"Games|Chess|/g"});
                              QVERIFY(a.save());
                              fill(a, {"Web|Site|/w"});
                          },
                          "=Net,News,/n,,0\r\nNet,Mail,/m,,0\r\nGames,Chess,/g,,0\r\n",
                          {"Net|News|/n||0", "Net|Mail|/m||0", "Games|Chess|/g||0", "Web|Site|/w||0"},
                          5,
                          "Net,News,/n,,0\r\nNet,Mail,/m,,0\r\n"};
        // An application written twice is one entry, the later line's: deleted or changed, its
        // two lines go, also where the save takes another writer's line in.
        const QByteArray editorAgain = "Tools,Editor,/bin/ed,-e,0\r\n";
        QTest::newRow("we-delete-an-entry-written-twice-they-add")
            << WritersRow{[](ExternalApps &a) { a.DeleteApp("Tools", "Editor"); },
                          addsViewer,
                          {viewer},
                          5,
                          editorAgain};
        QTest::newRow("we-change-an-entry-written-twice-they-add")
            << WritersRow{[](ExternalApps &a) { a.setCmdLine("Tools", "Editor", "-q"); },
                          addsViewer,
                          {"Tools|Editor|/bin/ed|-q|0", viewer},
                          5,
                          editorAgain};
        // Saved, the changed entry's two lines are gone: another writer that puts the second one
        // back before we delete the entry keeps it.
        QTest::newRow("they-restore-a-line-of-an-entry-written-twice-we-saved")
            << WritersRow{[this, editorAgain](ExternalApps &a) {
                              a.setCmdLine("Tools", "Editor", "-q");
                              QVERIFY(a.save());
                              QVERIFY(TestFiles::write(m_path, TestFiles::read(m_path) + editorAgain));
                              a.DeleteApp("Tools", "Editor");
                          },
                          "",
                          {"Tools|Editor|/bin/ed|-e|0"},
                          5,
                          editorAgain};
        QTest::newRow("entries-beyond-our-limits-stay")
            << WritersRow{[](ExternalApps &a) { fill(a, {"Tools|New|/n"}); },
                          "",
                          {editor, "Tools|New|/n||0", "Six|x|/x||0"},
                          1};
    }
    void otherWritersChangesSurvive()
    {
        QFETCH(WritersRow, row);
        QVERIFY(TestFiles::write(m_path, (row.maxGroups == 1 ? original + "Six,x,/x,,0\r\n" : original) + row.listed));
        {
            ExternalApps apps;
            apps.setMaxGroups(row.maxGroups);
            apps.setEXTFile(m_path);
            row.ours(apps);
            if (row.theirs.startsWith('='))
                QVERIFY(TestFiles::write(m_path, row.theirs.mid(1)));
            else if (!row.theirs.isEmpty())
                QVERIFY(TestFiles::write(m_path, TestFiles::read(m_path) + row.theirs));
        }
        QCOMPARE(loadedFrom(m_path), row.after);
    }

    // A folder that takes no new file: the list is written in place when it may be, else kept.
    void folderWithoutRoomForANewFile_data()
    {
        QTest::addColumn<bool>("fileWritable");
        QTest::newRow("written-in-place") << true;
        QTest::newRow("read-only-file-kept") << false;
    }
    void folderWithoutRoomForANewFile()
    {
        QFETCH(bool, fileWritable);
        const QString folder = m_dir->filePath(QStringLiteral("locked"));
        const QString path = folder + QStringLiteral("/tools.lst");
        QVERIFY(QDir().mkdir(folder) && TestFiles::write(path, original));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(fileWritable ? 0x6666 : 0x4444)));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
        {
            const FilePermissionsApply permissions;
            ExternalApps apps;
            apps.setEXTFile(path);
            fill(apps, {viewer});
            QSignalSpy failed(&apps, &ExternalApps::saveFailed);
            if (!fileWritable)
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
            QCOMPARE(apps.save(), fileWritable);
            QCOMPARE(failed.count(), fileWritable ? 0 : 1);
            if (!fileWritable) {
                QVERIFY2(failed.first().first().toString().contains(path),
                         qPrintable(failed.first().first().toString()));
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved")); // the release tries again
            }
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"tools.lst"});
        QCOMPARE(loadedFrom(path), fileWritable ? (QStringList{editor, viewer}) : QStringList{editor});
    }

    // A save keeps the list's owner and mode, and a list reached through a link stays a link.
    void ownerModeAndLinkKept()
    {
        const QString target = m_dir->filePath(QStringLiteral("real.lst"));
        const QByteArray native = QFile::encodeName(target);
        QVERIFY(TestFiles::write(target, original) && ::chmod(native.constData(), 0640) == 0);
        if (::geteuid() == 0) // a user's list saved by root stays the user's
            QVERIFY(::chown(native.constData(), FilePermissionsApply::nobody, FilePermissionsApply::nobody) == 0);
        const QString before = TestFiles::ownership(target);
        QVERIFY(before.endsWith(u":0640"));
        QVERIFY(QFile::link(target, m_path));
        {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            fill(apps, {viewer});
        }
        QCOMPARE(TestFiles::ownership(target), before);
        QCOMPARE(fileType(m_path), mode_t(S_IFLNK));
        QCOMPARE(loadedFrom(m_path), (QStringList{editor, viewer}));
    }

    // The folder is gone: the list stays whole. (A write that fails part way: the full file
    // system below.)
    void folderGone()
    {
        QVERIFY(TestFiles::write(m_path, original));
        for (int i = 0; i < 2; ++i) // save() and the release
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
        QCOMPARE(failingSave(m_dir->filePath(QStringLiteral("no/such/folder/tools.lst"))), QString());
        QCOMPARE(TestFiles::read(m_path), original);
    }

    // On a file system of its own, made full or read-only, in a user namespace of the test's.
    void savesOnAFileSystemThatFails_data()
    {
        QTest::addColumn<QString>("options");
        QTest::newRow("full") << "size=64k";
        QTest::newRow("read-only") << "ro";
    }
    void savesOnAFileSystemThatFails()
    {
        QFETCH(QString, options);
        const QString mountPoint = m_dir->filePath(QStringLiteral("fs"));
        QVERIFY(QDir().mkdir(mountPoint) && TestFiles::write(m_path, original));
        QProcess child;
        child.start("unshare", {"-Urm", "sh", "-c",
                                R"(mount -t tmpfs -o size=64k tmpfs "$1" && cp "$2" "$1/tools.lst" &&
                                   { [ "$3" != ro ] || mount -o remount,ro "$1"; } && exec "$0" --save-under-fault "$1/tools.lst")",
                                QCoreApplication::applicationFilePath(), mountPoint, m_path, options});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitCode() == 0, child.readAllStandardError().constData());
        QCOMPARE(child.readAllStandardOutput(), "list kept\n");
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--save-under-fault") == 0) {
        QCoreApplication app(argc, argv);
        const QString failure = failingSave(QString::fromLocal8Bit(argv[2]));
        std::printf("%s\n", failure.isEmpty() ? "list kept" : qPrintable(failure));
        return failure.isEmpty() ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    tst_LaunchList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launchlist.moc"
