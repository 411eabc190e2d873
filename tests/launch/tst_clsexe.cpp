#include "FastClock.h"
#include "ProcessCensus.h"
#include "launch/ProcessSpawn.h"
#include "runner/clsEXE.h"
#include "util/FileOps.h"

#include <Lanyard/ComponentError.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/wait.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QString talker = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker ");
const QString timeoutMessage = u"Timeout!\r\nProcess failed"_s;

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

    void names_data()
    {
        QTest::addColumn<bool>("dos");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("dos-path") << true << u"c:\\dos\\edit.com"_s << u"EDIT"_s;
        QTest::newRow("dos-command-com") << true << u"COMMAND.COM /C C:\\UTIL\\ZIP.EXE A.ZIP"_s << u"ZIP"_s;
        QTest::newRow("dos-cmd-exe-lower-case") << true << u"cmd.exe /c d:\\tools\\pkzip.exe -a x.zip"_s << u"PKZIP"_s;
        QTest::newRow("dos-interpreter-path-first") << true << u"C:\\DOS\\COMMAND.COM /C C:\\UTIL\\ARJ.EXE"_s << u"ARJ"_s;
        QTest::newRow("dos-second-drive-path-ignored") << true << u"COMMAND.COM /C E:\\A.BAT F:\\B.EXE"_s << u"A"_s;
        QTest::newRow("dos-unix-path") << true << u"/usr/bin/xterm"_s << u"XTERM"_s;
        QTest::newRow("dos-dot-in-folder-only") << true << u"C:\\MY.DIR\\TOOL"_s << QString();
        QTest::newRow("base-dos-path") << false << u"c:\\dos\\edit.com"_s << u"edit"_s;
        QTest::newRow("base-empty") << false << QString() << QString();
        QTest::newRow("base-no-extension") << false << u"C:\\UTIL\\ZIP"_s << u"ZIP"_s;
        QTest::newRow("base-tabs-trimmed") << false << u"C:\\UTIL\\\tZIP\t.EXE"_s << u"ZIP"_s;
        QTest::newRow("base-last-dot-counts") << false << u"/opt/a.b.c"_s << u"a.b"_s;
        QTest::newRow("base-dot-before-separator") << false << u"/opt/v1.2/tool"_s << QString();
    }
    void names()
    {
        QFETCH(bool, dos);
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(dos ? clsEXE::DosProgramName(text) : FileOps::FileBaseName(text), name);
    }

    void stubCommand_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("no-time-out") << u"sleep 2"_s << 0 << QStringList{u"sleep"_s, u"2"_s, u"-1000"_s};
        QTest::newRow("ten-seconds") << u"sleep 2"_s << 10 << QStringList{u"sleep"_s, u"2"_s, u"9000"_s};
        QTest::newRow("one-second") << u"true"_s << 1 << QStringList{u"true"_s, u"0"_s};
        QTest::newRow("negative") << u"true"_s << -1 << QStringList{u"true"_s, u"-2000"_s};
        QTest::newRow("quoted-words") << u"echo 'a  b' \"c\\\"d\""_s << 0
                                      << QStringList{u"echo"_s, u"a  b"_s, u"c\"d"_s, u"-1000"_s};
        QTest::newRow("largest-time-out") << u"true"_s << std::numeric_limits<qint32>::max()
                                          << QStringList{u"true"_s, u"2147483646000"_s};
    }
    void stubCommand()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, timeOut);
        QFETCH(QStringList, words);
        const std::optional<QStringList> command = clsEXE::StubCommand(commandLine, timeOut);
        QVERIFY(command);
        QCOMPARE(QFileInfo(command->first()).canonicalFilePath(),
                 QFileInfo(QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE")).canonicalFilePath());
        QCOMPARE(command->mid(1), words);
    }

    void killProcess_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("killed");
        QTest::newRow("running") << u"sleep"_s << true;
        QTest::newRow("ended-with-exit-code-0") << u"true"_s << false;
    }
    void killProcess()
    {
        QFETCH(QString, program);
        QFETCH(bool, killed);
        SpawnOptions options;
        options.searchPath = true;
        options.newProcessGroup = true;
        const pid_t pid = ProcessSpawn::start(program, {u"30"_s}, options).pid;
        QVERIFY(pid > 0);
        if (!killed) { // wait for the end, leaving the process unreaped
            siginfo_t info{};
            ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
            QCOMPARE(info.si_code, CLD_EXITED);
        }
        QCOMPARE(clsEXE::KillProcess(pid), killed);
        int status = 0;
        ::waitpid(pid, &status, 0);
        QCOMPARE(WIFSIGNALED(status), killed);
        QVERIFY(killed || WEXITSTATUS(status) == 0);
        // Reaped now: the identifier names no process any more.
        QVERIFY(!clsEXE::KillProcess(pid));
        QVERIFY(!clsEXE::KillProcess(0));
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
        // The clock runs 100 times fast: ten clock seconds are a tenth of a real one.
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
        const auto clock = std::make_shared<FastClock>(start, 100);
        runner.setClock(clock);
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
        if (dos && timeOut > 0) {
            const double deadline = std::fmod(std::nearbyint(start) + timeOut, 86400);
            QVERIFY2(clock->lastReading() > deadline && clock->lastReading() < deadline + 5,
                     qPrintable(QString::number(clock->lastReading())));
        }
    }

    void redirect_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<double>("start");
        const auto row = [](const char *name, const QString &command, const QString &startText, const QString &expected,
                            int timeOut = 0, double start = 1000) {
            QTest::newRow(name) << command << startText << expected << timeOut << start;
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
        // The command line reaches the command as UTF-8; each byte of output is one character.
        row("one-character-per-byte", u"'out:caf\u00e9' sleep:200"_s, {}, u"caf\u00c3\u00a9"_s);
        row("open-quote-is-quiet", u"'out:x"_s, {}, {});
        // With the clock 30 times fast: STUB16.EXE gets 9000 ms of real time, so the runner's own
        // time-out comes first; gaps of 150 ms are 4.5 clock seconds, the whole run over 10.
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
        clsEXE runner;
        runner.setClock(std::make_shared<FastClock>(start, 30));
        qsizetype pieces = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, talker + command, startText, timeOut, &pieces), expected);
        QCOMPARE(pieces == 0, expected.isEmpty());
        QVERIFY(elapsed.elapsed() < 5000);
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

    void cancel_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("stillRequested");
        QTest::newRow("from-handler") << u"handler"_s << talker + u"out:first sleep:20000 out:second"_s << u"first"_s
                                      << true;
        QTest::newRow("from-host-code") << u"timer"_s << u"sleep 20"_s << QString() << true;
        // A Cancel made before the call is cleared by it.
        QTest::newRow("before-the-call") << u"before"_s << talker + u"sleep:100 out:done"_s << u"done"_s << false;
    }
    void cancel()
    {
        QFETCH(QString, when);
        QFETCH(QString, command);
        QFETCH(QString, output);
        QFETCH(bool, stillRequested);
        clsEXE runner;
        if (when == u"handler")
            connect(&runner, &clsEXE::RedirOutput, &runner, &clsEXE::Cancel);
        else if (when == u"timer")
            QTimer::singleShot(100, &runner, &clsEXE::Cancel);
        else
            runner.Cancel();
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, command, QString(), 30), output);
        QVERIFY(elapsed.elapsed() < 5000);
        QCOMPARE(runner.CancelRequested(), stillRequested);
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
