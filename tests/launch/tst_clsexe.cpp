#include "FastClock.h"
#include "ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "launch/ProcessSpawn.h"
#include "runner/clsEXE.h"

#include <Lanyard/ComponentError.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <ctime>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QString talker = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker ");
const QString timeoutMessage = u"Timeout!\r\nProcess failed"_s;

double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

QString digits(int size)
{
    QString text;
    for (int i = 0; i < size; ++i)
        text += QChar(u'0' + i % 10);
    return text;
}

/// Runs RedirectDOSEXE; the RedirOutput pieces joined, each checked to be at most 256 long.
QString redirect(clsEXE &runner, const QString &command, const QString &startText = {}, qint32 timeOut = 0,
                 qsizetype *pieceCount = nullptr)
{
    QStringList pieces;
    QObject collector;
    QObject::connect(&runner, &clsEXE::RedirOutput, &collector, [&pieces](const QString &piece) {
        pieces << piece;
        QVERIFY(piece.size() <= 256);
    });
    // A runner that misses the command's end fails the test instead of hanging it.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &runner, &clsEXE::Cancel);
    watchdog.start(20000);
    runner.RedirectDOSEXE(command, startText, timeOut);
    if (pieceCount)
        *pieceCount = pieces.size();
    return pieces.join(QString());
}

} // namespace

class TestClsExe : public QObject
{
    Q_OBJECT

    int m_descriptorsAtStart = 0;

private Q_SLOTS:
    void initTestCase() { m_descriptorsAtStart = ProcessCensus::openDescriptors(); }

    void dosProgramName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("dos-path") << u"c:\\dos\\edit.com"_s << u"EDIT"_s;
        QTest::newRow("command-com") << u"COMMAND.COM /C C:\\UTIL\\ZIP.EXE A.ZIP"_s << u"ZIP"_s;
        QTest::newRow("cmd-exe-lower-case") << u"cmd.exe /c d:\\tools\\pkzip.exe -a x.zip"_s << u"PKZIP"_s;
        QTest::newRow("interpreter-path-first") << u"C:\\DOS\\COMMAND.COM /C C:\\UTIL\\ARJ.EXE"_s << u"ARJ"_s;
        QTest::newRow("second-drive-path-ignored") << u"COMMAND.COM /C E:\\A.BAT F:\\B.EXE"_s << u"A"_s;
        QTest::newRow("unix-path") << u"/usr/bin/xterm"_s << u"XTERM"_s;
        QTest::newRow("dot-in-a-folder") << u"/home/u/src/app-1.2/build/bin/finishedwindow"_s << u"FINISHEDWINDOW"_s;
    }
    void dosProgramName()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(clsEXE::DosProgramName(text), name);
    }

    void stubCommand_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("words");
        // The stub never gets a time-out of its own: the runner keeps it.
        QTest::newRow("plain") << u"sleep 2"_s << QStringList{u"sleep"_s, u"2"_s, u"-1000"_s};
        QTest::newRow("quoted-words") << u"echo 'a  b' \"c\\\"d\""_s
                                      << QStringList{u"echo"_s, u"a  b"_s, u"c\"d"_s, u"-1000"_s};
        QTest::newRow("ends-in-a-backslash") << u"echo a\\"_s << QStringList{u"echo"_s, u"a\\"_s, u"-1000"_s};
    }
    void stubCommand()
    {
        QFETCH(QString, commandLine);
        QFETCH(QStringList, words);
        const std::optional<QStringList> command = clsEXE::StubCommand(commandLine);
        QVERIFY(command);
        QCOMPARE(QFileInfo(command->first()).canonicalFilePath(),
                 QFileInfo(QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE")).canonicalFilePath());
        QCOMPARE(command->mid(1), words);
    }

    void killProcess_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("killed");
        QTest::newRow("program-the-runner-waits-for") << u"waited"_s << true;
        QTest::newRow("process-started-otherwise") << u"other"_s << false;
        QTest::newRow("init") << u"init"_s << false;
        QTest::newRow("the-host") << u"host"_s << false;
        QTest::newRow("zero") << u"zero"_s << false;
    }
    void killProcess()
    {
        QFETCH(QString, target);
        QFETCH(bool, killed);
        SpawnOptions options;
        options.searchPath = true;
        ChildProcess other(ProcessSpawn::start(u"sleep"_s, {u"30"_s}, options).pid);
        std::optional<bool> result;
        QTimer::singleShot(100, this, [&] {
            const QHash<QString, pid_t> pids{{u"waited"_s, ProcessCensus::running(u"sleep 1.2"_s).value(0)},
                                             {u"other"_s, other.pid()}, {u"init"_s, 1}, {u"host"_s, ::getpid()},
                                             {u"zero"_s, 0}};
            result = clsEXE::KillProcess(pids.value(target));
        });
        QElapsedTimer elapsed;
        elapsed.start();
        clsEXE().ShellAndWait(u"sleep"_s, u" 1.2"_s, 10);
        QCOMPARE(result, std::optional(killed));
        QCOMPARE(elapsed.elapsed() < 1100, killed);
        QVERIFY(!other.exitCode().has_value()); // nothing reached it
        QVERIFY(other.terminate(0));
        other.reap();
    }

    void anEndedProgramKeepsWhatItStarted_data()
    {
        QTest::addColumn<bool>("dos");
        QTest::newRow("shell-and-wait") << false;
        QTest::newRow("dos") << true;
    }
    void anEndedProgramKeepsWhatItStarted()
    {
        QFETCH(bool, dos);
        const QString left = u"sleep 47.%1"_s.arg(int(dos));
        const QString command = u" -c '%1 & exit 3'"_s.arg(left);
        clsEXE runner;
        dos ? runner.ShellDOSEXE(u"sh"_s, command, 10) : runner.ShellAndWait(u"sh"_s, command, 10);
        // The shell may end before its child has become the sleeper.
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(left).size(), 1, 2000);
        for (const pid_t pid : ProcessCensus::running(left))
            ::kill(pid, SIGKILL);
    }

    void startErrors_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<ErrorCode>("shellCode");
        QTest::addColumn<ErrorCode>("dosCode");
        const ErrorCode missing = ErrorCode::FileNotFound, invalid = ErrorCode::InvalidArgument;
        QTest::newRow("missing-program") << u"/nonexistent/program"_s << QString() << missing << missing;
        QTest::newRow("not-executable") << QStringLiteral(LANYARD_SOURCE_DIR "/CMakeLists.txt") << QString() << missing
                                        << missing;
        QTest::newRow("open-quote") << u"sleep"_s << u" '1"_s << invalid << invalid;
        QTest::newRow("empty") << QString() << QString() << invalid << invalid;
        // The DOS program name needs a drive path after the interpreter.
        QTest::newRow("interpreter-without-drive-path") << u"COMMAND.COM"_s << u" /C ZIP.EXE"_s << missing << invalid;
    }
    void startErrors()
    {
        QFETCH(QString, program);
        QFETCH(QString, commandLine);
        QFETCH(ErrorCode, shellCode);
        QFETCH(ErrorCode, dosCode);
        clsEXE runner;
        for (const bool dos : {false, true}) {
            try {
                dos ? runner.ShellDOSEXE(program, commandLine) : runner.ShellAndWait(program, commandLine);
                QFAIL("no error");
            } catch (const ComponentError &error) {
                QCOMPARE(error.code(), dos ? dosCode : shellCode);
            }
            }
    }

    void waitsForTheEndOrTheTimeOut_data()
    {
        QTest::addColumn<bool>("dos");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("minMs");
        // On the computer's clock:
        const double computerClock = std::nan("");
        QTest::newRow("shell-time-out-real-clock") << false << u" 30"_s << 1 << computerClock << 1000;
        QTest::newRow("dos-time-out-real-clock") << true << u" 30"_s << 1 << computerClock << 500;
        // On a clock 100 times fast: ten clock seconds are a tenth of a real one.
        QTest::newRow("shell-to-the-end") << false << u" 0.4"_s << 0 << 1000.0 << 390;
        QTest::newRow("shell-time-out") << false << u" 30"_s << 10 << 1000.0 << 90;
        QTest::newRow("dos-same-day") << true << u" 30"_s << 10 << 1000.0 << 85;
        QTest::newRow("dos-crossing-midnight") << true << u" 30"_s << 10 << 86395.0 << 85;
        QTest::newRow("dos-half-second-rounds-to-even") << true << u" 30"_s << 10 << 86394.5 << 85;
        QTest::newRow("dos-start-rounded-up-before-midnight") << true << u" 30"_s << 10 << 86395.6 << 85;
        QTest::newRow("dos-negative-stops-at-once") << true << u" 30"_s << -1 << 1000.0 << 0;
    }
    void waitsForTheEndOrTheTimeOut()
    {
        QFETCH(bool, dos);
        QFETCH(QString, commandLine);
        QFETCH(int, timeOut);
        QFETCH(double, start);
        QFETCH(int, minMs);
        clsEXE runner;
        std::shared_ptr<FastClock> clock;
        if (!std::isnan(start)) {
            clock = std::make_shared<FastClock>(start, 100);
            runner.setClock(clock);
        }
        int ticks = 0;
        QTimer host;
        connect(&host, &QTimer::timeout, [&ticks] { ++ticks; });
        host.start(10);
        QElapsedTimer elapsed;
        elapsed.start();
        dos ? runner.ShellDOSEXE(u"sleep"_s, commandLine, timeOut)
            : runner.ShellAndWait(u"sleep"_s, commandLine, timeOut);
        QVERIFY2(elapsed.elapsed() >= minMs && elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY2(ticks >= minMs / 40, "the host's timer runs while waiting");
        if (dos && timeOut > 0 && clock) {
            const double deadline = std::fmod(std::nearbyint(start) + timeOut, 86400);
            QVERIFY2(clock->lastReading() > deadline && clock->lastReading() < deadline + 5,
                     qPrintable(QString::number(clock->lastReading())));
        }
    }

    void waitsStayIdleWhileTheApplicationQuits_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("shell-and-wait") << u"shell"_s;
        QTest::newRow("dos") << u"dos"_s;
        QTest::newRow("redirect") << u"redirect"_s;
    }
    void waitsStayIdleWhileTheApplicationQuits()
    {
        QFETCH(QString, operation);
        clsEXE runner;
        QElapsedTimer elapsed;
        double cpuMs = -1;
        QTimer::singleShot(0, this, [&] {
            QCoreApplication::quit(); // as a host's last window closing during the wait
            const double cpuBefore = threadCpuMs();
            elapsed.start();
            if (operation == u"shell")
                runner.ShellAndWait(u"sleep"_s, u" 1"_s, 10);
            else if (operation == u"dos")
                runner.ShellDOSEXE(u"sleep"_s, u" 1"_s, 10);
            else
                runner.RedirectDOSEXE(talker + u"sleep:1000"_s, QString(), 10);
            cpuMs = threadCpuMs() - cpuBefore;
        });
        QCoreApplication::exec();
        QVERIFY2(elapsed.elapsed() >= 950 && elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY2(cpuMs >= 0 && cpuMs < 100, qPrintable(QString::number(cpuMs)));
    }

    void redirect_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<double>("start"); // NaN: the computer's clock
        QTest::addColumn<int>("minMs");
        const auto row = [](const char *name, const QString &command, const QString &startText, const QString &expected,
                            int timeOut = 0, double start = 1000, int minMs = 0) {
            QTest::newRow(name) << command << startText << expected << timeOut << start << minMs;
        };
        // Each command pauses at its end: output still in the pipe when it ends is not delivered.
        row("one-piece", u"'out:hello world' sleep:200"_s, {}, u"hello world"_s);
        row("many-pieces-in-order", u"fill:3000 sleep:50 fill:700 sleep:200"_s, {}, digits(3000) + digits(700));
        row("more-than-the-pipe-holds", u"fill:300000 sleep:300"_s, {}, digits(300000));
        row("stdout-and-stderr", u"out:one sleep:50 err:two sleep:50 out:three sleep:200"_s, {}, u"onetwothree"_s);
        row("start-text-other-case", u"'out:noise noise StArT here' sleep:200"_s, u"start"_s, u"StArT here"_s);
        row("start-text-across-reads", u"fill:600 sleep:100 out:ST sleep:100 'out:ART rest' sleep:100 out:START sleep:200"_s,
            u"start"_s, u"START restSTART"_s);
        row("start-text-after-many-reads", u"fill:2000 out:GO sleep:200"_s, u"go"_s, u"GO"_s);
        row("start-text-never-found", u"fill:2000 out:STAR sleep:200"_s, u"start"_s, {});
        row("start-text-after-4-mib", u"fill:4194304 out:GO sleep:300"_s, u"go"_s, u"GO"_s);
        // The command line reaches the command as UTF-8; each byte of output is one character.
        row("one-character-per-byte", u"'out:caf\u00e9' sleep:200"_s, {}, u"caf\u00c3\u00a9"_s);
        row("open-quote-is-quiet", u"'out:x"_s, {}, {});
        // A time-out of T ends a command silent for more than T seconds, and only then.
        const double computerClock = std::nan("");
        row("silence-real-clock", u"out:begin sleep:30000"_s, {}, u"begin"_s + timeoutMessage, 1, computerClock, 1000);
        row("one-second-lets-it-print-real-clock", u"sleep:400 out:late sleep:30000"_s, {}, u"late"_s + timeoutMessage, 1,
            computerClock, 1400);
        // With the clock 30 times fast: gaps of 150 ms are 4.5 clock seconds, the whole run over 10.
        const QString gaps = u"out:a sleep:150 out:b sleep:150 out:c sleep:150 out:d sleep:150 out:e sleep:200"_s;
        row("silence-same-day", u"out:begin sleep:30000"_s, {}, u"begin"_s + timeoutMessage, 10);
        row("silence-across-midnight", u"out:begin sleep:30000"_s, {}, u"begin"_s + timeoutMessage, 10, 86399.4);
        row("zero-never-times-out", gaps, {}, u"abcde"_s);
        row("output-keeps-it-alive", gaps, {}, u"abcde"_s, 10);
    }
    void redirect()
    {
        QFETCH(QString, command);
        QFETCH(QString, startText);
        QFETCH(QString, expected);
        QFETCH(int, timeOut);
        QFETCH(double, start);
        QFETCH(int, minMs);
        clsEXE runner;
        if (!std::isnan(start))
            runner.setClock(std::make_shared<FastClock>(start, 30));
        qsizetype pieces = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, talker + command, startText, timeOut, &pieces), expected);
        QCOMPARE(pieces == 0, expected.isEmpty());
        QVERIFY2(elapsed.elapsed() >= minMs && elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
    }

    void redirectLeavesOutputOfAnEndedCommand()
    {
        // 60000 bytes fit in the pipe, so the command writes them all and ends while the first
        // piece's handler keeps the runner busy; the pass that sees the end reads no more.
        clsEXE runner;
        connect(&runner, &clsEXE::RedirOutput, [] { QThread::msleep(800); });
        qsizetype pieces = 0;
        QCOMPARE(::redirect(runner, talker + u"fill:60000"_s, {}, 0, &pieces), digits(256));
        QCOMPARE(pieces, 1);
    }

    void endsTheCommandWithWhatItStarted_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("stillRequested");
        QTest::newRow("cancel-from-handler") << u"handler"_s << talker + u"out:first sleep:20000 out:second"_s << 30
                                             << u"first"_s << true;
        QTest::newRow("cancel-from-host-code") << u"timer"_s << u"sleep 20"_s << 30 << QString() << true;
        // A Cancel made before the call is cleared by it.
        QTest::newRow("cancel-before-the-call") << u"before"_s << talker + u"sleep:100 out:done"_s << 30 << u"done"_s
                                                << false;
        // The command is blocked on a full pipe, and has a child of its own.
        const QString fullPipe = u"sh -c 'sleep 45.5 & exec %1fill:1000000 sleep:30000'"_s.arg(talker);
        QTest::newRow("cancel-with-a-full-pipe") << u"handler"_s << fullPipe << 30 << digits(256) << true;
        QTest::newRow("time-out-with-a-full-pipe")
            << u"slow-handler"_s << fullPipe << 1 << digits(256) + timeoutMessage << false;
    }
    void endsTheCommandWithWhatItStarted()
    {
        QFETCH(QString, when);
        QFETCH(QString, command);
        QFETCH(int, timeOut);
        QFETCH(QString, output);
        QFETCH(bool, stillRequested);
        clsEXE runner;
        if (when == u"handler")
            connect(&runner, &clsEXE::RedirOutput, &runner, &clsEXE::Cancel);
        else if (when == u"slow-handler")
            connect(&runner, &clsEXE::RedirOutput, this, [] { QThread::msleep(1500); }, Qt::SingleShotConnection);
        else if (when == u"timer")
            QTimer::singleShot(100, &runner, &clsEXE::Cancel);
        else
            runner.Cancel();
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, command, QString(), timeOut), output);
        QVERIFY(elapsed.elapsed() < 5000);
        QCOMPARE(runner.CancelRequested(), stillRequested);
        const auto leftBehind = [] { return ProcessCensus::running(u"sleep 45.5"_s) + ProcessCensus::running(talker); };
        QTRY_COMPARE_WITH_TIMEOUT(leftBehind(), QList<pid_t>(), 1000);
    }

    void cleanup() { QVERIFY(ProcessCensus::children().isEmpty()); }
    void cleanupTestCase()
    {
        QCOMPARE(ProcessCensus::children(), QStringList());
        QCOMPARE(ProcessCensus::openDescriptors(), m_descriptorsAtStart);
    }
};

QTEST_GUILESS_MAIN(TestClsExe)
#include "tst_clsexe.moc"
