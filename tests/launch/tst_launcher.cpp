#include "ProcessCensus.h"
#include "launch/ChildReaper.h"
#include "launch/Launcher.h"
#include "launch/PlaceholderTable.h"
#include "text/NativeText.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

using Pairs = QList<std::pair<QString, QString>>;

const QString binDir = QStringLiteral(LANYARD_TEST_BIN_DIR);
const QString recorder = binDir + u"/recorder"_s;

/// What the recorder helper wrote about how it was started.
struct Record
{
    QHash<QString, QString> fields;
    QStringList arguments;
};

/// Copies a program byte for byte to @p target in a new folder; the names keep their bytes.
bool copyProgram(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    if (::mkdir(NativeText::encode(target.left(target.lastIndexOf(u'/'))).constData(), 0755) != 0)
        return false;
    const int out = ::open(NativeText::encode(target).constData(), O_WRONLY | O_CREAT | O_EXCL, 0755);
    const bool written = out >= 0 && ::write(out, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return out >= 0 && ::close(out) == 0 && written;
}

/// Presses OK on each message box shown while it lives, keeping "title|text|icon|buttons".
class MessageBoxWatcher
{
public:
    MessageBoxWatcher()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << u"%1|%2|%3|%4"_s.arg(box->windowTitle(), box->text()).arg(box->icon()).arg(box->buttons().size());
                box->button(QMessageBox::Ok)->click();
            }
        });
        m_timer.start(20);
    }
    QStringList boxes;

private:
    QTimer m_timer;
};

} // namespace

Q_DECLARE_METATYPE(Pairs)

class tst_Launcher : public QObject
{
    Q_OBJECT

    QString m_startDir = QDir::currentPath();
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_out;
    bool m_inCall = false;

    Record launchAndRecord(ExternalApps &apps, const QString &app)
    {
        QFile::remove(m_out);
        [&] {
            m_inCall = true;
            const bool started = apps.ExecuteApp(u"Tools"_s, app);
            m_inCall = false;
            QVERIFY(started);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_out), 10000);
        }();
        QFile file(m_out);
        Record record;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &entry : file.readAll().split('\0')) {
                const qsizetype eq = entry.indexOf('=');
                const QString key = QString::fromUtf8(entry.left(eq)), value = NativeText::decode(entry.mid(eq + 1));
                if (key == u"arg")
                    record.arguments << value;
                else if (eq > 0)
                    record.fields.insert(key, value);
            }
        }
        return record;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QFileInfo(recorder).isExecutable(), qPrintable(recorder)); }
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_out = m_tmp->filePath(u"record"_s);
        qputenv("LANYARD_RECORDER_OUT", QFile::encodeName(m_out));
    }
    void cleanup()
    {
        QDir::setCurrent(m_startDir);
        m_tmp.reset();
    }

    void arguments_data();
    void arguments()
    {
        QFETCH(Pairs, placeholders);
        QFETCH(QString, cmdLine);
        QFETCH(QStringList, expected);
        ExternalApps apps;
        QVERIFY(apps.AddApp(u"Tools"_s, u"Recorder"_s, recorder, cmdLine, false));
        for (const auto &[search, replace] : placeholders)
            apps.AddPlaceHolder(search, replace);
        QCOMPARE(apps.launchCommand(u"Tools"_s, u"Recorder"_s), std::optional(LaunchCommand{recorder, expected, binDir + u'/'}));
        // AppFinished comes inside the call, before it returns.
        QStringList finished;
        connect(&apps, &ExternalApps::AppFinished, this, [&](const QString &group, const QString &app) {
            finished << group << app << (m_inCall ? u"inside"_s : u"after"_s);
        });
        const Record record = launchAndRecord(apps, u"Recorder"_s);
        QCOMPARE(finished, (QStringList{u"Tools"_s, u"Recorder"_s, u"inside"_s}));
        QCOMPARE(record.arguments, expected);
        QCOMPARE(record.fields[u"cwd"_s], binDir);
        QCOMPARE(QDir::currentPath(), m_startDir); // the host's own stays

        for (const QString &name : {u"pwned1"_s, u"pwned2"_s, u"pwned3"_s})
            QVERIFY(!QFile::exists(binDir + u'/' + name));
    }

    void programLocation_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("startsIn");
        // Folders relative to the temporary folder; "bin" stands for the test's own folder.
        QTest::newRow("path-with-spaces") << u"a folder; with $(spaces)"_s << u"my recorder"_s << QString()
                                          << u"a folder; with $(spaces)"_s;
        // A Latin-1 launch list naming a folder by its Latin-1 bytes: they reach the system as they are.
        QTest::newRow("latin-1-bytes-from-a-latin-1-list")
            << QStringView(u"caf\xdce9 [1]").toString() << u"recorder"_s << QString()
            << QStringView(u"caf\xdce9 [1]").toString();
        QTest::newRow("no-folder-part-from-current") << QString() << u"recorder"_s << u"bin"_s << u"bin"_s;
        QTest::newRow("no-folder-part-found-on-path") << QString() << u"recorder"_s << u"elsewhere"_s
                                                      << u"elsewhere"_s;
    }
    void programLocation()
    {
        QFETCH(QString, folder);
        QFETCH(QString, program);
        QFETCH(QString, current);
        QFETCH(QString, startsIn);
        const auto place = [this](const QString &relative) { return relative == u"bin" ? binDir : m_tmp->filePath(relative); };
        QString path = program;
        if (!folder.isEmpty()) {
            path = place(folder) + u'/' + program;
            QVERIFY(copyProgram(recorder, path));
        }
        if (!current.isEmpty()) {
            QVERIFY(QDir().mkpath(place(current)) && QDir::setCurrent(place(current)));
        }
        const QByteArray searchPath = qgetenv("PATH");
        qputenv("PATH", binDir.toUtf8() + ":/usr/bin:/bin");
        ExternalApps apps;
        apps.AddPlaceHolder(u"%V%"_s, u"one two"_s);
        if (NativeText::encode(path) == path.toUtf8()) {
            QVERIFY(apps.AddApp(u"Tools"_s, u"App"_s, path, u"%V%"_s, false));
        } else {
            QFile list(m_tmp->filePath(u"latin1.lst"_s));
            QVERIFY(list.open(QIODevice::WriteOnly) && list.write("Tools,App," + NativeText::encode(path) + ",%V%,0\r\n") > 0);
            list.close();
            apps.setEXTFile(list.fileName());
            QVERIFY(apps.AppPath(u"Tools"_s, u"App"_s).contains(QChar(0xE9))); // read as Latin-1
        }
        const Record record = launchAndRecord(apps, u"App"_s);
        qputenv("PATH", searchPath);
        QCOMPARE(record.arguments, QStringList{u"one two"_s});
        QCOMPARE(record.fields[u"cwd"_s], place(startsIn));
        if (!folder.isEmpty()) // QTemporaryDir cannot remove a name that is not UTF-8
            QCOMPARE(::unlink(NativeText::encode(path).constData()) | ::rmdir(NativeText::encode(place(folder)).constData()), 0);
    }

    void notStarted_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("cmdLine");
        QTest::addColumn<bool>("message");
        QTest::addColumn<QString>("reason"); // %1: the path; empty: the entry is not found
        const QString missing = u"Unable to find the file: %1"_s;
        // Not found: the message box, closed here.
        QTest::newRow("no-such-file") << u"missing"_s << u"Tools"_s << QString() << true << missing;
        QTest::newRow("folder") << u"folder"_s << u"Tools"_s << QString() << true << missing;
        QTest::newRow("hidden-file") << u".hidden"_s << u"Tools"_s << QString() << true << missing;
        // Found but not startable, or no such entry: false without a message.
        QTest::newRow("not-executable") << u"plain-file"_s << u"Tools"_s << QString() << false << u"Permission denied"_s;
        QTest::newRow("text-without-interpreter") << u"script"_s << u"Tools"_s << QString() << false
                                                  << u"Exec format error"_s;
        QTest::newRow("unbalanced-quote") << u"recorder"_s << u"Tools"_s << u"\"abc"_s << false
                                          << u"a quote in the command line is not closed"_s;
        QTest::newRow("quoted-stored-path") << u"quoted"_s << u"Tools"_s << QString() << false
                                            << u"cannot enter the program's folder: No such file or directory"_s;
        QTest::newRow("group-in-other-case") << u"recorder"_s << u"tools"_s << QString() << false << QString();
        QTest::newRow("unknown-application") << u"recorder"_s << u"Tools/other"_s << QString() << false << QString();
    }
    void notStarted()
    {
        QFETCH(QString, kind);
        QFETCH(QString, group);
        QFETCH(QString, cmdLine);
        QFETCH(bool, message);
        QFETCH(QString, reason);
        QString path = m_tmp->filePath(kind);
        if (kind == u"recorder")
            path = recorder;
        else if (kind == u"quoted")
            path = u'"' + recorder + u'"';
        else if (kind == u"folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == u".hidden")
            QVERIFY(QFile::copy(recorder, path));
        else if (kind != u"missing") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("touch pwned\n") > 0);
            file.close();
            if (kind == u"script")
                QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        }
        ExternalApps apps;
        QVERIFY(apps.AddApp(u"Tools"_s, u"App"_s, path, cmdLine, false));
        QSignalSpy finished(&apps, &ExternalApps::AppFinished);
        MessageBoxWatcher watcher;
        const bool other = group.endsWith(u"/other"_s);
        QVERIFY(!apps.ExecuteApp(other ? u"Tools"_s : group, other ? u"Other"_s : u"App"_s));
        const QString box = u"Lanyard|Unable to find the file: \r\n\r\n%1|%2|1"_s.arg(path).arg(QMessageBox::Critical);
        QCOMPARE(watcher.boxes, message ? QStringList{box} : QStringList());
        QCOMPARE(finished.count(), 0);
        if (!reason.isEmpty()) {
            const LaunchResult result = Launcher::execute(path, cmdLine, PlaceholderTable(), {});
            QCOMPARE(result.started, false);
            QCOMPARE(result.reason, QString(reason).replace(u"%1"_s, path));
        }
        QVERIFY(!QFile::exists(m_out));
        QVERIFY(!QFile::exists(m_tmp->filePath(u"pwned"_s)));
    }

    // A host that shows launch failures its own way gets each reason, and no box.
    void failureReachesTheHost()
    {
        ExternalApps apps;
        apps.setShowMissingProgram(false);
        QVERIFY(apps.AddApp(u"Tools"_s, u"Ghost"_s, m_tmp->filePath(u"missing"_s), QString(), false));
        QSignalSpy failed(&apps, &ExternalApps::launchFailed);
        MessageBoxWatcher watcher;
        QVERIFY(!apps.ExecuteApp(u"Tools"_s, u"Ghost"_s));
        QVERIFY(!apps.ExecuteApp(u"Tools"_s, u"Nobody"_s));
        QCOMPARE(watcher.boxes, QStringList());
        QCOMPARE(failed.count(), 2);
        QCOMPARE(failed.at(0), (QVariantList{u"Tools"_s, u"Ghost"_s, u"Unable to find the file: "_s + m_tmp->filePath(u"missing"_s)}));
        QCOMPARE(failed.at(1).at(2).toString(), u"no such application"_s);
    }

    void noZombieAndNoLeakedDescriptor()
    {
        // A descriptor the host left inheritable must still not reach the program.
        const int inheritable = ::open("/dev/null", O_RDONLY);
        QVERIFY(inheritable > 2);
        const int before = ProcessCensus::openDescriptors();
        ExternalApps apps;
        QVERIFY(apps.AddApp(u"Tools"_s, u"Recorder"_s, recorder, QString(), false));
        for (int i = 0; i < 20; ++i) {
            const Record record = launchAndRecord(apps, u"Recorder"_s);
            QCOMPARE(record.fields[u"fds"_s], u"0,1,2"_s);
            QCOMPARE(record.fields[u"stdin"_s], u"/dev/null"_s);
            QCOMPARE(record.fields[u"session"_s], u"1"_s);
        }
        // Reaped without any event processing, as in a host that runs no event loop.
        QDeadlineTimer deadline(10000);
        while (!ProcessCensus::children().isEmpty() && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        QCOMPARE(ProcessCensus::children(), QStringList());
        QCOMPARE(ChildReaper::instance().pending(), 0);
        QTRY_COMPARE(ProcessCensus::openDescriptors(), before);
        ::close(inheritable);
    }
};

// Outside the class: moc does not read raw string literals.
void tst_Launcher::arguments_data()
{
    QTest::addColumn<Pairs>("placeholders");
    QTest::addColumn<QString>("cmdLine");
    QTest::addColumn<QStringList>("expected");
    const QString hostile = uR"(a  b 'c" "d' ; $(touch pwned1) `touch pwned2` \ | & > pwned3 *)"_s;
    const Pairs withHostile{{u"%V%"_s, hostile}};
    QTest::newRow("empty-command-line") << Pairs{} << QString() << QStringList{};
    QTest::newRow("stored-quoting") << Pairs{} << uR"(-a 'b c' "d \"e\"" f\ g)"_s
                                    << QStringList{u"-a"_s, u"b c"_s, uR"(d "e")"_s, u"f g"_s};
    QTest::newRow("file-option-one-argument") << Pairs{{u"%FILE%"_s, u"/tmp/my file.txt"_s}} << u"--file=%FILE% -v"_s
                                              << QStringList{u"--file=/tmp/my file.txt"_s, u"-v"_s};
    QTest::newRow("hostile-value-unquoted") << withHostile << u"%V%"_s << QStringList{hostile};
    QTest::newRow("hostile-value-double-quoted") << withHostile << u"\"%V%\""_s << QStringList{hostile};
    QTest::newRow("hostile-value-single-quoted") << withHostile << u"'%V%'"_s << QStringList{hostile};
    QTest::newRow("hostile-value-beside-text") << withHostile << u"x%V%y z"_s
                                               << QStringList{u"x"_s + hostile + u"y"_s, u"z"_s};
    QTest::newRow("earlier-replacement-seen-by-later")
        << Pairs{{u"%A%"_s, u"[%B%]"_s}, {u"%B%"_s, u"b"_s}} << u"%A% %B%"_s << QStringList{u"[b]"_s, u"b"_s};
    QTest::newRow("later-replacement-not-seen-by-earlier")
        << Pairs{{u"%A%"_s, u"a"_s}, {u"%B%"_s, u"%A%"_s}} << u"%B%"_s << QStringList{u"%A%"_s};
    QTest::newRow("no-rescan-of-own-replacement") << Pairs{{u"%A%"_s, u"%A%%A%"_s}} << u"%A%"_s
                                                  << QStringList{u"%A%%A%"_s};
    QTest::newRow("case-sensitive-match") << Pairs{{u"%FILE%"_s, u"x"_s}} << u"%file% %FILE%"_s
                                          << QStringList{u"%file%"_s, u"x"_s};
    QTest::newRow("empty-value-quoted-is-empty-argument") << Pairs{{u"%E%"_s, QString()}} << u"a \"%E%\" b"_s
                                                          << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("empty-value-unquoted-vanishes") << Pairs{{u"%E%"_s, QString()}} << u"a %E% b"_s
                                                   << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("empty-search-string-changes-nothing") << Pairs{{QString(), u"x"_s}} << u"a"_s
                                                         << QStringList{u"a"_s};
    QTest::newRow("spaces-at-the-end-trimmed") << Pairs{{u"%V%"_s, u"v  "_s}} << u"-x %V%"_s
                                               << QStringList{u"-x"_s, u"v"_s};
}

QTEST_MAIN(tst_Launcher)
#include "tst_launcher.moc"
