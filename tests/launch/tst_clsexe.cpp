#include "FastClock.h"
#include "ProcessCensus.h"
#include "launch/ProcessSpawn.h"
#include "launch/clsEXE.h"
#include "util/FileOps.h"
#include "util/LibraryLocation.h"

#include <Lanyard/ComponentError.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/wait.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QString talker = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker");
const QString timeoutMessage = u"Timeout!\r\nProcess failed"_s;

/// Collects RedirOutput pieces.
struct Output
{
    explicit Output(clsEXE &runner)
    {
        QObject::connect(&runner, &clsEXE::RedirOutput, [this](const QString &piece) { pieces << piece; });
    }
    QString joined() const { return pieces.join(QString()); }
    qsizetype longest() const
    {
        qsizetype size = 0;
        for (const QString &piece : pieces)
            size = std::max(size, piece.size());
        return size;
    }
    QStringList pieces;
};

QString digits(int size)
{
    QString text;
    for (int i = 0; i < size; ++i)
        text += QChar(u'0' + i % 10);
    return text;
}

pid_t spawn(const QString &program, const QStringList &arguments)
{
    SpawnOptions options;
    options.searchPath = true;
    options.newProcessGroup = true;
    return ProcessSpawn::start(program, arguments, options).pid;
}

/// Waits until @p pid has ended, leaving it unreaped; its exit status.
int waitUnreaped(pid_t pid)
{
    siginfo_t info {};
    ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
    return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

int reap(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace

class TestClsExe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dosProgramName_data();
    void dosProgramName();
    void dosProgramNameWithoutDrivePath();
    void fileBaseName_data();
    void fileBaseName();
    void stubCommand_data();
    void stubCommand();
    void killProcess_data();
    void killProcess();
    void shellAndWaitWaitsForTheEnd();
    void shellAndWaitTimeOutEndsTheProgram();
    void shellAndWaitStartErrors_data();
    void shellAndWaitStartErrors();
    void shellDosExeDeadline_data();
    void shellDosExeDeadline();
    void shellDosExeNegativeTimeOutStopsAtOnce();
    void redirectOutput_data();
    void redirectOutput();
    void redirectLeavesOutputOfAnEndedCommand();
    void redirectSilenceTimeOut_data();
    void redirectSilenceTimeOut();
    void redirectWithoutTimeOut_data();
    void redirectWithoutTimeOut();
    void cancelFromHandler();
    void cancelFromHostCode();
    void cancelBeforeTheCallIsCleared();
    void cleanupTestCase();

private:
    int m_descriptorsAtStart = 0;
};

void TestClsExe::initTestCase()
{
    QVERIFY2(QFileInfo(talker).isExecutable(), qPrintable(talker));
    QVERIFY(QFileInfo(LibraryLocation::folder() + u"STUB16.EXE"_s).isExecutable());
    m_descriptorsAtStart = ProcessCensus::openDescriptors();
}

void TestClsExe::dosProgramName_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("name");
    QTest::newRow("dos-path") << u"c:\\dos\\edit.com"_s << u"EDIT"_s;
    QTest::newRow("command-com-with-drive-path") << u"COMMAND.COM /C C:\\UTIL\\ZIP.EXE A.ZIP"_s << u"ZIP"_s;
    QTest::newRow("cmd-exe-lower-case") << u"cmd.exe /c d:\\tools\\pkzip.exe -a x.zip"_s << u"PKZIP"_s;
    QTest::newRow("interpreter-path-before-program") << u"C:\\DOS\\COMMAND.COM /C C:\\UTIL\\ARJ.EXE"_s << u"ARJ"_s;
    QTest::newRow("second-drive-path-ignored") << u"COMMAND.COM /C E:\\A.BAT F:\\B.EXE"_s << u"A"_s;
    QTest::newRow("unix-path") << u"/usr/bin/xterm"_s << u"XTERM"_s;
    QTest::newRow("dot-in-folder-only") << u"C:\\MY.DIR\\TOOL"_s << QString();
}

void TestClsExe::dosProgramName()
{
    QFETCH(QString, command);
    QFETCH(QString, name);
    QCOMPARE(clsEXE::DosProgramName(command), name);
}

void TestClsExe::dosProgramNameWithoutDrivePath()
{
    const QString command = u"COMMAND.COM /C ZIP.EXE A.ZIP"_s;
    try {
        clsEXE::DosProgramName(command);
        QFAIL("no error");
    } catch (const ComponentError &error) {
        QCOMPARE(error.code(), ErrorCode::InvalidArgument);
    }
    // ShellDOSEXE fails the same way before starting anything.
    clsEXE runner;
    QVERIFY_THROWS_EXCEPTION(ComponentError, runner.ShellDOSEXE(u"COMMAND.COM"_s, u" /C ZIP.EXE"_s));
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::fileBaseName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("baseName");
    QTest::newRow("dos-path") << u"c:\\dos\\edit.com"_s << u"edit"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("no-extension") << u"C:\\UTIL\\ZIP"_s << u"ZIP"_s;
    QTest::newRow("tabs-trimmed") << u"C:\\UTIL\\\tZIP\t.EXE"_s << u"ZIP"_s;
    QTest::newRow("last-dot-counts") << u"/opt/a.b.c"_s << u"a.b"_s;
    QTest::newRow("dot-before-separator") << u"/opt/v1.2/tool"_s << QString();
}

void TestClsExe::fileBaseName()
{
    QFETCH(QString, path);
    QFETCH(QString, baseName);
    QCOMPARE(FileOps::FileBaseName(path), baseName);
}

void TestClsExe::stubCommand_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<QStringList>("commandWords");
    QTest::newRow("no-time-out") << u"sleep 2"_s << 0 << QStringList {u"sleep"_s, u"2"_s, u"-1000"_s};
    QTest::newRow("ten-seconds") << u"sleep 2"_s << 10 << QStringList {u"sleep"_s, u"2"_s, u"9000"_s};
    QTest::newRow("one-second") << u"true"_s << 1 << QStringList {u"true"_s, u"0"_s};
    QTest::newRow("negative") << u"true"_s << -1 << QStringList {u"true"_s, u"-2000"_s};
    QTest::newRow("quoted-words") << u"echo 'a  b' \"c\\\"d\""_s << 0
                                  << QStringList {u"echo"_s, u"a  b"_s, u"c\"d"_s, u"-1000"_s};
    QTest::newRow("largest-time-out") << u"true"_s << std::numeric_limits<qint32>::max()
                                      << QStringList {u"true"_s, u"2147483646000"_s};
}

void TestClsExe::stubCommand()
{
    QFETCH(QString, commandLine);
    QFETCH(int, timeOut);
    QFETCH(QStringList, commandWords);
    const std::optional<QStringList> words = clsEXE::StubCommand(commandLine, timeOut);
    QVERIFY(words);
    QCOMPARE(words->first(), LibraryLocation::folder() + u"STUB16.EXE"_s);
    QCOMPARE(QFileInfo(words->first()).canonicalFilePath(),
             QFileInfo(QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE")).canonicalFilePath());
    QCOMPARE(words->mid(1), commandWords);
}

void TestClsExe::killProcess_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<bool>("waitForEnd");
    QTest::addColumn<bool>("killed");
    QTest::newRow("running") << QStringList {u"sleep"_s, u"30"_s} << false << true;
    QTest::newRow("ended-with-exit-code-0") << QStringList {u"true"_s} << true << false;
}

void TestClsExe::killProcess()
{
    QFETCH(QStringList, command);
    QFETCH(bool, waitForEnd);
    QFETCH(bool, killed);
    const pid_t pid = spawn(command.first(), command.mid(1));
    QVERIFY(pid > 0);
    if (waitForEnd)
        QCOMPARE(waitUnreaped(pid), 0);
    QCOMPARE(clsEXE::KillProcess(pid), killed);
    const int status = reap(pid);
    if (killed)
        QVERIFY(WIFSIGNALED(status));
    else
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Reaped now: the identifier names no process any more.
    QVERIFY(!clsEXE::KillProcess(pid));
    QVERIFY(!clsEXE::KillProcess(0));
}

void TestClsExe::shellAndWaitWaitsForTheEnd()
{
    clsEXE runner;
    runner.setClock(std::make_shared<FastClock>(1000, 1000)); // no time-out: the clock does not matter
    int ticks = 0;
    QTimer host;
    connect(&host, &QTimer::timeout, [&ticks] { ++ticks; });
    host.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    runner.ShellAndWait(u"sleep"_s, u" 0.4"_s);
    QVERIFY(elapsed.elapsed() >= 390);
    QVERIFY2(ticks >= 5, "the host's timer ran while waiting");
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::shellAndWaitTimeOutEndsTheProgram()
{
    clsEXE runner;
    runner.setClock(std::make_shared<FastClock>(1000, 100)); // 10 s pass in 0.1 s
    QElapsedTimer elapsed;
    elapsed.start();
    runner.ShellAndWait(u"sleep"_s, u" 30"_s, 10);
    QVERIFY(elapsed.elapsed() >= 90);
    QVERIFY(elapsed.elapsed() < 5000);
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::shellAndWaitStartErrors_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<ErrorCode>("code");
    QTest::newRow("missing-program") << u"/nonexistent/program"_s << QString() << ErrorCode::FileNotFound;
    QTest::newRow("not-executable") << QStringLiteral(LANYARD_SOURCE_DIR "/CMakeLists.txt") << QString()
                                    << ErrorCode::FileNotFound;
    QTest::newRow("open-quote") << u"sleep"_s << u" '1"_s << ErrorCode::InvalidArgument;
    QTest::newRow("empty") << QString() << QString() << ErrorCode::InvalidArgument;
}

void TestClsExe::shellAndWaitStartErrors()
{
    QFETCH(QString, program);
    QFETCH(QString, commandLine);
    QFETCH(ErrorCode, code);
    clsEXE runner;
    for (const bool dos : {false, true}) {
        try {
            dos ? runner.ShellDOSEXE(program, commandLine) : runner.ShellAndWait(program, commandLine);
            QFAIL("no error");
        } catch (const ComponentError &error) {
            QCOMPARE(error.code(), code);
        }
    }
}

void TestClsExe::shellDosExeDeadline_data()
{
    QTest::addColumn<double>("start");
    QTest::newRow("same-day") << 1000.0;
    QTest::newRow("crossing-midnight") << 86395.0;
    QTest::newRow("half-second-rounds-to-even") << 86394.5;
    QTest::newRow("start-rounded-up-before-midnight") << 86395.6;
}

void TestClsExe::shellDosExeDeadline()
{
    QFETCH(double, start);
    clsEXE runner;
    const auto clock = std::make_shared<FastClock>(start, 100);
    runner.setClock(clock);
    QElapsedTimer elapsed;
    elapsed.start();
    runner.ShellDOSEXE(u"sleep"_s, u" 30"_s, 10);
    // Ten clock seconds are a tenth of a real one; the program is ended afterwards.
    QVERIFY2(elapsed.elapsed() >= 85, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(elapsed.elapsed() < 5000);
    const double deadline = std::fmod(std::nearbyint(start) + 10, 86400);
    QVERIFY2(clock->lastReading() > deadline && clock->lastReading() < deadline + 5,
             qPrintable(QString::number(clock->lastReading())));
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::shellDosExeNegativeTimeOutStopsAtOnce()
{
    clsEXE runner;
    QElapsedTimer elapsed;
    elapsed.start();
    runner.ShellDOSEXE(u"sleep"_s, u" 30"_s, -1);
    QVERIFY(elapsed.elapsed() < 3000);
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::redirectOutput_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("startText");
    QTest::addColumn<QString>("expected");
    // Each command pauses at its end: output still in the pipe when it ends is not delivered.
    QTest::newRow("one-piece") << u"'out:hello world' sleep:200"_s << QString() << u"hello world"_s;
    QTest::newRow("many-pieces-in-order") << u"fill:3000 sleep:50 fill:700 sleep:200"_s << QString() << digits(3000) + digits(700);
    QTest::newRow("more-than-the-pipe-holds") << u"fill:300000 sleep:300"_s << QString() << digits(300000);
    QTest::newRow("stdout-and-stderr") << u"out:one sleep:50 err:two sleep:50 out:three sleep:200"_s << QString()
                                       << u"onetwothree"_s;
    QTest::newRow("start-text-other-case") << u"'out:noise noise StArT here' sleep:200"_s << u"start"_s << u"StArT here"_s;
    QTest::newRow("start-text-across-reads")
        << u"fill:600 sleep:100 out:ST sleep:100 'out:ART rest' sleep:100 out:START sleep:200"_s << u"start"_s
        << u"START restSTART"_s;
    QTest::newRow("start-text-after-many-reads") << u"fill:2000 out:GO sleep:200"_s << u"go"_s << u"GO"_s;
    QTest::newRow("start-text-never-found") << u"fill:2000 out:STAR sleep:200"_s << u"start"_s << QString();
    // The command line reaches the command as UTF-8; each byte of output is one character.
    QTest::newRow("one-character-per-byte") << u"'out:caf\u00e9' sleep:200"_s << QString() << u"caf\u00c3\u00a9"_s;
    QTest::newRow("open-quote-is-quiet") << u"'out:x"_s << QString() << QString();
    QTest::newRow("missing-program-told-by-the-stub")
        << u"/nonexistent/x"_s << QString() << u"STUB16.EXE: cannot run /nonexistent/x: No such file or directory\n"_s;
}

void TestClsExe::redirectOutput()
{
    QFETCH(QString, arguments);
    QFETCH(QString, startText);
    QFETCH(QString, expected);
    clsEXE runner;
    Output output(runner);
    const QString program = arguments.startsWith(u'/') ? QString() : talker + u' ';
    runner.RedirectDOSEXE(program + arguments, startText);
    QCOMPARE(output.joined(), expected);
    QVERIFY(output.longest() <= 256);
    if (expected.isEmpty())
        QVERIFY(output.pieces.isEmpty());
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::redirectLeavesOutputOfAnEndedCommand()
{
    // 60000 bytes fit in the pipe, so the command writes them all and ends while the first
    // piece's handler keeps the runner busy; the pass that sees the end reads no more.
    clsEXE runner;
    Output output(runner);
    connect(&runner, &clsEXE::RedirOutput, [] { QThread::msleep(800); });
    runner.RedirectDOSEXE(talker + u" fill:60000"_s);
    QCOMPARE(output.pieces.size(), 1);
    QCOMPARE(output.joined(), digits(256));
}

void TestClsExe::redirectSilenceTimeOut_data()
{
    QTest::addColumn<double>("start");
    QTest::newRow("same-day") << 1000.0;
    QTest::newRow("across-midnight") << 86399.4;
}

void TestClsExe::redirectSilenceTimeOut()
{
    QFETCH(double, start);
    clsEXE runner;
    runner.setClock(std::make_shared<FastClock>(start, 100));
    Output output(runner);
    QElapsedTimer elapsed;
    elapsed.start();
    // STUB16.EXE gets 9000 ms real time: the runner's own time-out comes first.
    runner.RedirectDOSEXE(talker + u" out:begin sleep:30000"_s, QString(), 10);
    QVERIFY(elapsed.elapsed() >= 90);
    QVERIFY(elapsed.elapsed() < 5000);
    QCOMPARE(output.pieces, (QStringList {u"begin"_s, timeoutMessage}));
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::redirectWithoutTimeOut_data()
{
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<double>("speed");
    QTest::newRow("zero-never-times-out") << 0 << 10000.0;
    QTest::newRow("output-keeps-it-alive") << 10 << 30.0;
}

void TestClsExe::redirectWithoutTimeOut()
{
    QFETCH(int, timeOut);
    QFETCH(double, speed);
    clsEXE runner;
    runner.setClock(std::make_shared<FastClock>(1000, speed));
    Output output(runner);
    // Gaps of 150 ms are 4.5 clock seconds at 30 times the speed, under the time-out of 10;
    // the whole run, 18 clock seconds, is over it.
    runner.RedirectDOSEXE(talker + u" out:a sleep:150 out:b sleep:150 out:c sleep:150 out:d sleep:150 out:e sleep:200"_s,
                          QString(), timeOut);
    QCOMPARE(output.joined(), u"abcde"_s);
}

void TestClsExe::cancelFromHandler()
{
    clsEXE runner;
    Output output(runner);
    connect(&runner, &clsEXE::RedirOutput, &runner, &clsEXE::Cancel);
    QElapsedTimer elapsed;
    elapsed.start();
    runner.RedirectDOSEXE(talker + u" out:first sleep:20000 out:second"_s, QString(), 30);
    QVERIFY(elapsed.elapsed() < 5000);
    QCOMPARE(output.pieces, QStringList {u"first"_s});
    QVERIFY(runner.CancelRequested());
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::cancelFromHostCode()
{
    clsEXE runner;
    Output output(runner);
    QTimer::singleShot(100, &runner, &clsEXE::Cancel);
    QElapsedTimer elapsed;
    elapsed.start();
    runner.RedirectDOSEXE(u"sleep 20"_s);
    QVERIFY(elapsed.elapsed() < 5000);
    QVERIFY(output.pieces.isEmpty());
    QVERIFY(ProcessCensus::children().isEmpty());
}

void TestClsExe::cancelBeforeTheCallIsCleared()
{
    clsEXE runner;
    Output output(runner);
    runner.Cancel();
    runner.RedirectDOSEXE(talker + u" sleep:100 out:done"_s);
    QCOMPARE(output.joined(), u"done"_s);
    QVERIFY(!runner.CancelRequested());
}

void TestClsExe::cleanupTestCase()
{
    QCOMPARE(ProcessCensus::children(), QStringList());
    QCOMPARE(ProcessCensus::openDescriptors(), m_descriptorsAtStart);
}

QTEST_GUILESS_MAIN(TestClsExe)
#include "tst_clsexe.moc"
