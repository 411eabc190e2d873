#include "ProcessCensus.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace Qt::StringLiterals;

namespace {

const QString stub = QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE");
const QString talker = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker");

bool isRunning(const QString &marker) { return !ProcessCensus::running(marker).isEmpty(); }

} // namespace

/// STUB16.EXE on its own: the runner's tests see it only through RedirectDOSEXE.
class TestStub16 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        const QByteArray usage = "usage: STUB16.EXE <program> [<argument>...] <milliseconds>\n";
        QTest::newRow("exit-code-passed-on") << QStringList{talker, u"out:a"_s, u"err:b"_s, u"exit:7"_s, u"-1"_s} << 7
                                             << QByteArray("a") << QByteArray("b");
        QTest::newRow("output-through-relay") << QStringList{talker, u"out:a"_s, u"err:b"_s, u"fill:100000"_s, u"5000"_s}
                                              << 0 << "a" + QByteArray("0123456789").repeated(10000) << QByteArray("b");
        QTest::newRow("arguments-kept-whole") << QStringList{talker, u"out:two words"_s, u"1000"_s} << 0
                                              << QByteArray("two words") << QByteArray();
        QTest::newRow("silence-ends-the-command") << QStringList{talker, u"out:x"_s, u"sleep:30000"_s, u"300"_s}
                                                  << 128 + 15 << QByteArray("x") << QByteArray();
        QTest::newRow("output-keeps-it-running")
            << QStringList{talker, u"out:1"_s, u"sleep:150"_s, u"out:2"_s, u"sleep:150"_s, u"out:3"_s, u"sleep:150"_s,
                           u"out:4"_s, u"300"_s}
            << 0 << QByteArray("1234") << QByteArray();
        QTest::newRow("zero-ends-at-once") << QStringList{u"sleep"_s, u"30"_s, u"0"_s} << 128 + 15 << QByteArray()
                                           << QByteArray();
        QTest::newRow("missing-program") << QStringList{u"/nonexistent/x"_s, u"-1"_s} << 127 << QByteArray()
                                         << QByteArray("STUB16.EXE: cannot run /nonexistent/x: No such file or directory\n");
        QTest::newRow("no-time-out-word") << QStringList{talker} << 2 << QByteArray() << usage;
        QTest::newRow("time-out-not-a-number") << QStringList{talker, u"out:a"_s, u"10s"_s} << 2 << QByteArray() << usage;
    }
    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess process;
        QElapsedTimer elapsed;
        elapsed.start();
        process.start(stub, arguments);
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(elapsed.elapsed() < 5000);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(process.readAllStandardOutput(), out);
        QCOMPARE(process.readAllStandardError(), err);
    }

    void endsWhatTheCommandStarted_data()
    {
        QTest::addColumn<QString>("timeOut");
        QTest::addColumn<bool>("terminate");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("waited");
        // The shell leaves one sleeper behind and waits on another; both go with the command.
        QTest::newRow("at-the-time-out") << u"200"_s << false << u"sleep 31.5"_s << u"sleep 32.5"_s;
        QTest::newRow("on-a-termination-signal") << u"-1"_s << true << u"sleep 33.5"_s << u"sleep 34.5"_s;
    }
    void endsWhatTheCommandStarted()
    {
        QFETCH(QString, timeOut);
        QFETCH(bool, terminate);
        QFETCH(QString, left);
        QFETCH(QString, waited);
        QProcess process;
        process.start(stub, {u"sh"_s, u"-c"_s, left + u" & "_s + waited, timeOut});
        if (terminate) {
            QVERIFY(process.waitForStarted());
            QTRY_VERIFY(isRunning(waited));
            process.terminate();
        }
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 128 + 15);
        QTRY_VERIFY(!isRunning(left));
        QVERIFY(!isRunning(waited));
    }

    void endsWhileItsOutputIsNotRead()
    {
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
        // A time-out, so that the output goes through the stub's own relay.
        QByteArrayList words{stub.toUtf8(), talker.toUtf8(), "fill:1000000", "sleep:30000", "60000"};
        std::vector<char *> argv;
        for (QByteArray &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        QCOMPARE(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        // Once the pipe is full, the stub is blocked in passing the output on.
        int waiting = 0;
        QTRY_VERIFY(::ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting >= 65536);
        ::kill(pid, SIGTERM);
        int status = 0;
        QDeadlineTimer deadline(5000);
        pid_t reaped = 0;
        while ((reaped = ::waitpid(pid, &status, WNOHANG)) == 0 && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        if (reaped == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        ::close(ends[0]);
        QCOMPARE(reaped, pid);
        QCOMPARE(WEXITSTATUS(status), 128 + 15);
        QTRY_VERIFY(!isRunning(talker + u" fill:1000000"_s));
    }

    void cleanupTestCase() { QCOMPARE(ProcessCensus::children(), QStringList()); }
};

QTEST_GUILESS_MAIN(TestStub16)
#include "tst_stub16.moc"
