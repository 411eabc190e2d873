// SPDX-License-Identifier: MIT
// Launching an entry: the words the program gets, where it starts, what it inherits, and why it
// did not start. The recorder helper writes down how it was started.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "common/Recorder.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Lanyard;

namespace {

using Pairs = QList<std::pair<QString, QString>>;

const QString binDir = QStringLiteral(LANYARD_TEST_BIN_DIR);
const QString recorder = binDir + QStringLiteral("/recorder");

/// Copies the recorder to @p target (given as bytes: the name need not be UTF-8) in a new folder.
bool copyRecorder(const QByteArray &target)
{
    const QByteArray bytes = TestFiles::read(recorder);
    if (::mkdir(target.left(target.lastIndexOf('/')).constData(), 0755) != 0)
        return false;
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL, 0755);
    const bool written = out >= 0 && ::write(out, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return out >= 0 && ::close(out) == 0 && written;
}

/// Presses OK on each message box shown while it lives, keeping "title|text|icon".
class MessageBoxWatcher
{
public:
    MessageBoxWatcher()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << QStringLiteral("%1|%2|%3").arg(box->windowTitle(), box->text()).arg(box->icon());
                box->button(QMessageBox::Ok)->click();
            }
        });
        m_timer.start(10);
    }
    QStringList boxes;

private:
    QTimer m_timer;
};

struct ArgumentsRow
{
    Pairs placeholders;
    QString cmdLine;
    QStringList expected;
};
struct FolderRow
{
    QByteArray folder; ///< below the temporary folder; none: a name without a folder
    QString current;   ///< the host's current folder, "bin" for the test's own
    QString startsIn;
};

struct NotStartedRow
{
    QString kind; ///< what stands at the program's path
    QString cmdLine;
    QString reason; ///< %1: the path
    bool box = false;
    QString app = QStringLiteral("App");
};

} // namespace

Q_DECLARE_METATYPE(ArgumentsRow)
Q_DECLARE_METATYPE(FolderRow)
Q_DECLARE_METATYPE(NotStartedRow)
Q_DECLARE_METATYPE(Lanyard::LaunchCommand)

class tst_Launch : public QObject
{
    Q_OBJECT

    QString m_startDir = QDir::currentPath();
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_out;

    Record launch(ExternalApps &apps, const QString &app = QStringLiteral("App"))
    {
        QFile::remove(m_out);
        QSignalSpy finished(&apps, &ExternalApps::AppFinished);
        const bool started = apps.ExecuteApp("Tools", app);
        [&] {
            QVERIFY(started);
            QCOMPARE(finished.count(), 1); // inside the call, before it returns
        }();
        return Record::waitFor(m_out);
    }

private Q_SLOTS:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_out = m_tmp->filePath("record");
        qputenv("LANYARD_RECORDER_OUT", QFile::encodeName(m_out));
    }
    void cleanup()
    {
        QDir::setCurrent(m_startDir);
        // The recorder wrote its record; its end and reaping follow.
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::children(), QStringList(), 10000);
    }

    void arguments_data();
    void arguments()
    {
        QFETCH(ArgumentsRow, row);
        ExternalApps apps;
        fill(apps, {"Tools|App|" + recorder + '|' + row.cmdLine});
        for (const auto &[search, replace] : row.placeholders)
            apps.AddPlaceHolder(search, replace);
        QCOMPARE(apps.launchCommand("Tools", "App").value(), (LaunchCommand{recorder, row.expected, binDir + u'/'}));
        QCOMPARE(launch(apps).texts(), row.expected);
        for (const char *name : {"pwned1", "pwned2", "pwned3"})
            QVERIFY(!QFile::exists(binDir + '/' + name));
    }

    // Placeholders in the stored path make the program, also where one ends the path or spans
    // the blank between path and command line; what they put in is never split into words. The
    // folder is the stored path's. (Only the preview gets this far: a launch first looks for the
    // stored path itself.)
    void programFromPlaceholders_data()
    {
        QTest::addColumn<Pairs>("placeholders");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cmdLine");
        QTest::addColumn<LaunchCommand>("command");
        const QString folder = binDir + u'/';
        QTest::newRow("path-is-a-placeholder") << Pairs{{"%REC%", recorder}} << "%REC%"
                                               << "-v" << LaunchCommand{recorder, {"-v"}, {}};
        QTest::newRow("placeholder-ends-the-path") << Pairs{{"%NAME%", "recorder"}} << folder + "%NAME%"
                                                   << "a b" << LaunchCommand{recorder, {"a", "b"}, folder};
        QTest::newRow("placeholder-spans-path-and-command") << Pairs{{"% X%", "er"}} << folder + "record%"
                                                            << "X% -v" << LaunchCommand{recorder, {"-v"}, folder};
        QTest::newRow("placeholder-takes-the-blank") << Pairs{{"% ", "order"}} << folder + "rec%"
                                                     << "-v" << LaunchCommand{recorder, {"-v"}, folder};
        QTest::newRow("placeholder-begins-at-the-blank")
            << Pairs{{" %A%", " x"}} << recorder << "%A% y" << LaunchCommand{recorder, {" x", "y"}, folder};
        QTest::newRow("placeholder-begins-the-command")
            << Pairs{{"%ARGS%", "1 2"}} << recorder << "%ARGS% 3" << LaunchCommand{recorder, {"1 2", "3"}, folder};
    }
    void programFromPlaceholders()
    {
        QFETCH(Pairs, placeholders);
        QFETCH(QString, path);
        QFETCH(QString, cmdLine);
        QFETCH(LaunchCommand, command);
        ExternalApps apps;
        QVERIFY(apps.AddApp("Tools", "App", path, cmdLine, false));
        for (const auto &[search, replace] : placeholders)
            apps.AddPlaceHolder(search, replace);
        QCOMPARE(apps.launchCommand("Tools", "App").value(), command);
    }

    // The program starts in its folder; the host's current folder stays its own.
    void startFolder_data()
    {
        QTest::addColumn<FolderRow>("row");
        QTest::newRow("folder-with-blanks-and-signs") << FolderRow{"a folder; with $(signs) [1]"};
        // A Latin-1 launch list naming a folder by its Latin-1 bytes: they reach the system as they are.
        QTest::newRow("latin-1-bytes") << FolderRow{"caf\xe9"};
        QTest::newRow("no-folder-found-in-current") << FolderRow{{}, "bin", "bin"};
        QTest::newRow("no-folder-found-on-path") << FolderRow{{}, "elsewhere", "elsewhere"};
    }
    void startFolder()
    {
        QFETCH(FolderRow, row);
        const auto &[folder, current, startsIn] = row;
        const auto place = [this](const QString &relative) {
            return relative == u"bin" ? binDir : m_tmp->filePath(relative);
        };
        const QByteArray folderPath = QFile::encodeName(m_tmp->path()) + '/' + folder;
        if (!folder.isEmpty())
            QVERIFY(copyRecorder(folderPath + "/my recorder"));
        if (!current.isEmpty())
            QVERIFY(QDir().mkpath(place(current)) && QDir::setCurrent(place(current)));
        const QByteArray searchPath = qgetenv("PATH");
        qputenv("PATH", binDir.toUtf8() + ":/usr/bin:/bin");
        QVERIFY(TestFiles::write(m_tmp->filePath("tools.lst"),
                                 "Tools,App," + (folder.isEmpty() ? "recorder" : folderPath + "/my recorder")
                                     + ",%V%,0\r\n"));
        ExternalApps apps;
        apps.setEXTFile(m_tmp->filePath("tools.lst"));
        apps.AddPlaceHolder("%V%", "one two");
        const Record record = launch(apps);
        qputenv("PATH", searchPath);
        QCOMPARE(record.texts(), QStringList{"one two"});
        QCOMPARE(record.fields["cwd"], folder.isEmpty() ? place(startsIn).toUtf8() : folderPath);
        QCOMPARE(QDir::currentPath(), current.isEmpty() ? m_startDir : place(current));
        if (!folder.isEmpty()) // QTemporaryDir cannot remove a name that is not UTF-8
            QCOMPARE(::unlink(folderPath + "/my recorder") | ::rmdir(folderPath.constData()), 0);
    }

    // Not started: a missing program gets the message box (unless the host shows failures its
    // own way); every failure reaches the host with its reason, and nothing runs.
    void notStarted_data()
    {
        QTest::addColumn<NotStartedRow>("row");
        const QString missing = QStringLiteral("Unable to find the file: %1");
        QTest::newRow("no-such-file") << NotStartedRow{"missing", "", missing, true};
        QTest::newRow("not-executable") << NotStartedRow{"text", "", "Permission denied"};
        QTest::newRow("script-without-interpreter") << NotStartedRow{"script", "", "Exec format error"};
        QTest::newRow("open-quote") << NotStartedRow{"recorder", "\"abc", "a quote in the command line is not closed"};
        QTest::newRow("quoted-stored-path")
            << NotStartedRow{"quoted", "", "cannot enter the program's folder: No such file or directory"};
        QTest::newRow("no-such-application") << NotStartedRow{"recorder", "", "no such application", false, "app"};
    }
    void notStarted()
    {
        QFETCH(NotStartedRow, row);
        QString path = m_tmp->filePath(row.kind);
        if (row.kind == u"recorder")
            path = recorder;
        else if (row.kind == u"quoted")
            path = '"' + recorder + '"';
        else if (row.kind != u"missing")
            QVERIFY(TestFiles::write(path, "touch pwned\n")
                    && QFile::setPermissions(
                        path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | (row.kind == u"script" ? QFileDevice::ExeOwner : QFileDevice::Permissions())));
        for (const bool box : {true, false}) {
            ExternalApps apps;
            apps.setShowMissingProgram(box);
            fill(apps, {"Tools|App|" + path + '|' + row.cmdLine});
            QSignalSpy failed(&apps, &ExternalApps::launchFailed);
            QSignalSpy finished(&apps, &ExternalApps::AppFinished);
            MessageBoxWatcher watcher;
            QVERIFY(!apps.ExecuteApp("Tools", row.app));
            const QString shown =
                QStringLiteral("Lanyard|Unable to find the file: \r\n\r\n%1|%2").arg(path).arg(QMessageBox::Critical);
            QCOMPARE(watcher.boxes, box && row.box ? QStringList{shown} : QStringList());
            QCOMPARE(failed.count(), 1);
            QCOMPARE(failed.first(), (QVariantList{"Tools", row.app, QString(row.reason).replace("%1", path)}));
            QCOMPARE(finished.count(), 0);
        }
        QVERIFY(!QFile::exists(m_out));
        QVERIFY(!QFile::exists(m_tmp->filePath("pwned")));
    }

    // Launches leave nothing behind, also in a host that runs no event loop: the program gets
    // no descriptor but 0, 1 and 2 (not even one the host left inheritable), leads a session of
    // its own, and is reaped when it ends.
    void nothingInheritedNothingLeft()
    {
        const int inheritable = ::open("/dev/null", O_RDONLY);
        QVERIFY(inheritable > 2);
        const int before = ProcessCensus::openDescriptors();
        {
            ExternalApps apps;
            fill(apps, {"Tools|App|" + recorder});
            for (int i = 0; i < 20; ++i) {
                const Record record = launch(apps);
                QCOMPARE(record.fields["fds"], "0,1,2");
                QCOMPARE(record.fields["stdin"], "/dev/null");
                QCOMPARE(record.fields["session"], "1");
            }
        }
        QDeadlineTimer deadline(10000);
        while (!ProcessCensus::children().isEmpty() && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        QCOMPARE(ProcessCensus::children(), QStringList());
        QCOMPARE(ProcessCensus::openDescriptors(), before);
        ::close(inheritable);
    }
};

// Outside the class: moc does not read raw string literals.
void tst_Launch::arguments_data()
{
    QTest::addColumn<ArgumentsRow>("row");
    const QString hostile = R"(a  b 'c" "d' ; $(touch pwned1) `touch pwned2` \ | & > pwned3 *)";
    const Pairs withHostile{{"%V%", hostile}};
    QTest::newRow("none") << ArgumentsRow{};
    QTest::newRow("stored-quoting") << ArgumentsRow{{}, R"(-a 'b c' "d \"e\"" f\ g)", {"-a", "b c", R"(d "e")", "f g"}};
    QTest::newRow("value-with-blanks-one-word")
        << ArgumentsRow{{{"%FILE%", "/tmp/my file.txt"}}, "--file=%FILE% -v", {"--file=/tmp/my file.txt", "-v"}};
    QTest::newRow("hostile-value") << ArgumentsRow{withHostile, "%V%", {hostile}};
    QTest::newRow("hostile-value-in-a-word") << ArgumentsRow{withHostile, "x%V%y z", {'x' + hostile + 'y', "z"}};
    QTest::newRow("earlier-replacement-seen-by-later")
        << ArgumentsRow{{{"%A%", "[%B%]"}, {"%B%", "b"}}, "%A% %B%", {"[b]", "b"}};
    QTest::newRow("later-replacement-not-seen-by-earlier")
        << ArgumentsRow{{{"%A%", "a"}, {"%B%", "%A%"}}, "%B%", {"%A%"}};
    QTest::newRow("no-rescan-of-a-replacement") << ArgumentsRow{{{"%A%", "%A%%A%"}}, "%A%", {"%A%%A%"}};
    QTest::newRow("empty-value-quoted-is-a-word") << ArgumentsRow{{{"%E%", ""}}, "a \"%E%\" b", {"a", "", "b"}};
    QTest::newRow("empty-value-unquoted-vanishes") << ArgumentsRow{{{"%E%", ""}}, "a %E% b", {"a", "b"}};
    QTest::newRow("trailing-blanks-trimmed") << ArgumentsRow{{{"%V%", "v  "}}, "-x %V%", {"-x", "v"}};
}

QTEST_MAIN(tst_Launch)
#include "tst_launch.moc"
