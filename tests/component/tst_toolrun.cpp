// SPDX-License-Identifier: MIT
// The run that talks back, through the public interface: startTool and ToolRun, with real
// programs (the shell, cat, tr) and a real event loop. Nothing here depends on how the kernel
// cut the streams into pieces.
#include "common/Files.h"
#include "common/ProcessCensus.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr int Bound = 20000; // ms: no wait of this test is longer; none decides by its length
constexpr qsizetype MiB = 1024 * 1024;

/// What a run delivered, collected until it has finished.
struct Collected
{
    QByteArray output;
    QByteArray error;
    qsizetype outputSize = 0;
    bool keepOutput = true;
    QString outputText;
    QStringList textPieces;
    int finished = 0;
    int exitCode = -2;

    void follow(ToolRun *run, bool withText = false)
    {
        QObject::connect(run, &ToolRun::standardOutput, run, [this](const QByteArray &bytes) {
            outputSize += bytes.size();
            if (keepOutput)
                output += bytes;
            else
                output = (output + bytes).right(64); // the tail is enough
        });
        QObject::connect(run, &ToolRun::standardError, run, [this](const QByteArray &bytes) { error += bytes; });
        if (withText) {
            QObject::connect(run, &ToolRun::standardOutputText, run, [this](const QString &text) {
                outputText += text;
                textPieces << text;
            });
        }
        QObject::connect(run, &ToolRun::finished, run, [this](int code) {
            ++finished;
            exitCode = code;
        });
    }
};

/// @p bytes as octal escapes for the shell's printf.
QString octal(const QByteArray &bytes)
{
    QString escaped;
    for (const char byte : bytes)
        escaped += u'\\' + QString::number(static_cast<unsigned char>(byte), 8).rightJustified(3, u'0');
    return escaped;
}

QByteArray hostileBytes()
{
    QByteArray bytes(MiB, Qt::Uninitialized);
    QRandomGenerator random(24);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    // Runs of NULs and lone continuation bytes, whatever the generator gave.
    for (qsizetype at = 0; at < bytes.size(); at += 4099)
        bytes[at] = '\0';
    bytes.replace(100, 5, QByteArray("\0\0\0\x80\xff", 5));
    return bytes;
}

} // namespace

class tst_ToolRun : public QObject
{
    Q_OBJECT

    std::unique_ptr<ExternalApps> m_apps;

    void add(const QString &app, const QString &path, const QString &cmdLine)
    {
        QVERIFY(m_apps->AddApp(u"T"_s, app, path, cmdLine, false));
    }
    void addScript(const QString &app, const QString &script) { add(app, u"/bin/sh"_s, u"-c '"_s + script + u'\''); }

private Q_SLOTS:
    void init()
    {
        m_apps = std::make_unique<ExternalApps>();
        m_apps->setMaxApps(50);
        m_apps->setShowMissingProgram(false);
    }
    void cleanup() { m_apps.reset(); }

    // What goes in comes back as the program made it, every byte kept.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cmdLine");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("selection-upper-cased") << u"tr"_s << u"a-z A-Z"_s << QByteArray("abc") << QByteArray("ABC");
        const QByteArray hostile = hostileBytes();
        QTest::newRow("mebibyte-not-utf8-with-nuls") << u"/bin/cat"_s << QString() << hostile << hostile;
        QTest::newRow("no-input-reads-end-of-file") << u"/bin/cat"_s << QString() << QByteArray() << QByteArray();
        // Input to a program that ends without reading it: the write meets a pipe with no
        // reader, which must not raise SIGPIPE in the host (this one keeps its default action).
        QTest::newRow("input-never-read") << u"/bin/true"_s << QString() << hostile << QByteArray();
        QTest::newRow("placeholder-replaced") << u"/bin/echo"_s << u"%WHO%"_s << QByteArray() << QByteArray("world\n");
    }
    void roundTrip()
    {
        QFETCH(QString, path);
        QFETCH(QString, cmdLine);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        const auto pipeAction = std::signal(SIGPIPE, SIG_DFL);
        const auto restorePipeAction = qScopeGuard([&] { std::signal(SIGPIPE, pipeAction); });
        m_apps->AddPlaceHolder(u"%WHO%"_s, u"world"_s);
        add(u"Tool"_s, path, cmdLine);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Tool"_s, input);
        QVERIFY(run);
        QCOMPARE(run->state(), ToolRun::State::Running);
        Collected got;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(got.output.size(), output.size());
        QVERIFY(got.output == output);
        QCOMPARE(got.exitCode, 0);
        QCOMPARE(run->state(), ToolRun::State::Finished);
        QCOMPARE(run->exitCode(), 0);
    }

    void outputAndErrorKeptApart()
    {
        addScript(u"Both"_s, u"for i in 1 2 3 4 5 6 7 8; do echo out$i; echo err$i >&2; done"_s);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Both"_s);
        Collected got;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(got.output, QByteArray("out1\nout2\nout3\nout4\nout5\nout6\nout7\nout8\n"));
        QCOMPARE(got.error, QByteArray("err1\nerr2\nerr3\nerr4\nerr5\nerr6\nerr7\nerr8\n"));
    }

    void exitStatus_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("success") << u"exit 0"_s << 0;
        QTest::newRow("failure-code") << u"echo no >&2; exit 3"_s << 3;
        QTest::newRow("code-255") << u"exit 255"_s << 255;
        QTest::newRow("killed-by-sigterm") << u"kill -TERM $$"_s << 128 + SIGTERM;
        QTest::newRow("killed-by-sigkill") << u"kill -KILL $$"_s << 128 + SIGKILL;
    }
    void exitStatus()
    {
        QFETCH(QString, script);
        QFETCH(int, exitCode);
        addScript(u"Ends"_s, script);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Ends"_s);
        QSignalSpy finished(run, &ToolRun::finished);
        QCOMPARE(run->exitCode(), -1);
        QVERIFY(finished.wait(Bound));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), exitCode);
        QCOMPARE(run->exitCode(), exitCode);
        QCOMPARE(run->state(), ToolRun::State::Finished);
        QVERIFY(!run->isRunning());
    }

    // startTool tells a launch that fails exactly as ExecuteApp does, and its run says why.
    void failsToStartAsExecuteAppFails_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cmdLine");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing-program") << u"/no/such/tool"_s << QString() << u"Tool"_s
                                         << u"Unable to find the file: /no/such/tool"_s;
        QTest::newRow("quote-left-open") << u"/bin/cat"_s << u"'open"_s << u"Tool"_s
                                         << u"a quote in the command line is not closed"_s;
        QTest::newRow("not-executable") << LANYARD_SOURCE_DIR u"/LICENSE"_s << QString() << u"Tool"_s
                                        << u"Permission denied"_s;
        QTest::newRow("no-such-entry") << u"/bin/cat"_s << QString() << u"Other"_s << u"no such application"_s;
    }
    void failsToStartAsExecuteAppFails()
    {
        QFETCH(QString, path);
        QFETCH(QString, cmdLine);
        QFETCH(QString, app);
        QFETCH(QString, reason);
        add(u"Tool"_s, path, cmdLine);
        QSignalSpy launchFailed(m_apps.get(), &ExternalApps::launchFailed);
        QVERIFY(!m_apps->ExecuteApp(u"T"_s, app));
        QCOMPARE(launchFailed.count(), 1);
        const QString executeReason = launchFailed.at(0).at(2).toString();
        QCOMPARE(executeReason, reason);

        ToolRun *run = m_apps->startTool(u"T"_s, app, "input");
        QVERIFY(run);
        QCOMPARE(run->state(), ToolRun::State::FailedToStart);
        QCOMPARE(run->failure(), executeReason);
        QCOMPARE(launchFailed.count(), 2);
        QCOMPARE(launchFailed.at(1), (QVariantList{u"T"_s, app, executeReason}));
        // Told from the event loop, after the host could connect.
        QSignalSpy failed(run, &ToolRun::failedToStart);
        QVERIFY(failed.wait(Bound));
        QCOMPARE(failed.at(0).at(0).toString(), executeReason);
        QCOMPARE(run->exitCode(), -1);
        run->cancel(); // nothing to end
        QCOMPARE(run->state(), ToolRun::State::FailedToStart);
    }

    // 100 MiB offered to a program that never reads it, or that writes 100 MiB before reading:
    // the host's loop goes on, and cancel() ends the program with all it started.
    void cancelEndsAProgramStuckEitherWay_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("marker");
        QTest::newRow("never-reads") << u"echo ready; sleep 987651"_s << u"sleep 987651"_s;
        QTest::newRow("writes-before-reading")
            << u"head -c 104857600 /dev/zero; sleep 987652; cat"_s << u"/bin/sh -c head -c 104857600"_s;
        QTest::newRow("ignores-sigterm") << u"trap \"\" TERM; echo ready; while :; do sleep 987653; done"_s
                                         << u"sleep 987653"_s;
    }
    void cancelEndsAProgramStuckEitherWay()
    {
        QFETCH(QString, script);
        QFETCH(QString, marker);
        addScript(u"Stuck"_s, script);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Stuck"_s, QByteArray(100 * MiB, 'x'));
        Collected got;
        got.keepOutput = false;
        got.follow(run);
        QTRY_VERIFY_WITH_TIMEOUT(got.outputSize > 0 && !ProcessCensus::running(marker).isEmpty(), Bound);
        QCOMPARE(run->state(), ToolRun::State::Running);
        QSignalSpy stateChanged(run, &ToolRun::stateChanged);
        run->cancel();
        QCOMPARE(run->state(), ToolRun::State::Cancelled);
        QCOMPARE(stateChanged.count(), 1);
        QCOMPARE(got.finished, 0); // told from the loop
        // The grace is half a second; what outlives it is killed, so the end comes within a second
        // on an idle machine. The bound leaves room for a loaded one (a sanitizer build beside
        // other jobs) without letting a cancel that never ends pass.
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, 3000);
        QCOMPARE(run->state(), ToolRun::State::Cancelled);
        QVERIFY(got.exitCode > 128);
        QCOMPARE(ProcessCensus::children(), QStringList());
        // What the program started was killed with it; its end is the kernel's to finish.
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(marker), QList<pid_t>(), Bound);
    }

    // cancel() asks all that the program started to end, not the program alone: SIGTERM goes
    // to its group. Here the program waits for its helper to tidy up before it ends.
    void cancelAsksTheHelpersToo()
    {
        QTemporaryDir dir;
        const QString mark = dir.filePath(u"tidied"_s);
        addScript(u"Helper"_s, QStringLiteral("trap \"while [ ! -e %1 ]; do sleep 0.01; done; exit 1\" TERM; "
                                              "sh -c \"trap \\\"echo tidied > %1; exit 0\\\" TERM; echo ready; "
                                              "while :; do sleep 0.05; done\" & wait")
                                   .arg(mark));
        ToolRun *run = m_apps->startTool(u"T"_s, u"Helper"_s);
        Collected got;
        got.follow(run);
        QTRY_VERIFY_WITH_TIMEOUT(got.output.contains("ready"), Bound);
        run->cancel();
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(TestFiles::read(mark), QByteArray("tidied\n"));
    }

    // cancel() after the program has ended but before the host's loop has seen it end: what the
    // program left in its group is ended too, while the program's number still holds the group.
    void cancelEndsWhatAnEndedProgramLeft()
    {
        addScript(u"Leaver"_s, u"sleep 987658 & echo ready"_s);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Leaver"_s);
        Collected got;
        got.follow(run);
        // Without the loop: it would see the end and finish the run before cancel().
        const QDeadlineTimer bound(Bound);
        while (!ProcessCensus::childEndedUnreaped(u"sh"_s) && !bound.hasExpired())
            QThread::msleep(5);
        QVERIFY(ProcessCensus::childEndedUnreaped(u"sh"_s));
        QVERIFY(!ProcessCensus::running(u"sleep 987658"_s).isEmpty());
        run->cancel();
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(run->state(), ToolRun::State::Cancelled);
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(u"sleep 987658"_s), QList<pid_t>(), Bound);
    }

    // The program writes 100 MiB before it reads its 100 MiB of input, and both go through.
    void writesBeforeReadingWithoutDeadlock()
    {
        addScript(u"Both"_s, u"head -c 104857600 /dev/zero; wc -c"_s);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Both"_s, QByteArray(100 * MiB, 'x'));
        Collected got;
        got.keepOutput = false;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, 60000);
        QCOMPARE(got.outputSize, 100 * MiB + 10);
        QVERIFY(got.output.endsWith("104857600\n"));
        QCOMPARE(got.exitCode, 0);
    }

    // A character split between two pieces comes whole in the text.
    void textJoinsSplitCharacters_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("text");
        QTest::newRow("euro-split-by-a-pause") << uR"(printf "\342\202"; sleep 0.2; printf "\254\n")"_s << u"€\n"_s;
        QTest::newRow("cut-short-by-the-end") << uR"(printf "ok\342\202")"_s << u"ok\uFFFD"_s;
        QTest::newRow("not-utf8-in-the-middle") << uR"(printf "a\377b")"_s << u"a\uFFFDb"_s;
        QTest::newRow("byte-order-mark-first") << uR"(printf "\357\273\277x")"_s << u"\uFEFFx"_s;
        QString many;
        for (int i = 0; i < 30000; ++i)
            many += u"é€😀"_s;
        QTest::newRow("many-pieces-of-multibyte-text")
            << uR"(i=0; while [ $i -lt 30000 ]; do printf "\303\251\342\202\254\360\237\230\200"; i=$((i+1)); done)"_s
            << many;
    }
    void textJoinsSplitCharacters()
    {
        QFETCH(QString, script);
        QFETCH(QString, text);
        addScript(u"Text"_s, script);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Text"_s);
        Collected got;
        got.follow(run, true);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, 60000);
        QCOMPARE(got.outputText.size(), text.size());
        QVERIFY(got.outputText == text);
        // No piece holds a character cut in two (as U+FFFD where the text has none).
        for (const QString &piece : std::as_const(got.textPieces))
            QVERIFY(!piece.contains(QChar::ReplacementCharacter) || text.contains(QChar::ReplacementCharacter));
    }

    // A host may keep the pieces themselves: each holds its bytes, not room for a larger read.
    void keptPiecesHoldTheirBytes()
    {
        addScript(u"Lines"_s, u"seq 1 30000"_s);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Lines"_s);
        QList<QByteArray> pieces;
        QObject::connect(run, &ToolRun::standardOutput, run, [&pieces](const QByteArray &bytes) { pieces << bytes; });
        QSignalSpy finished(run, &ToolRun::finished);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, Bound);
        qsizetype size = 0;
        qsizetype held = 0;
        for (const QByteArray &piece : std::as_const(pieces)) {
            size += piece.size();
            held += piece.capacity();
        }
        QCOMPARE(pieces.join().count('\n'), 30000);
        QVERIFY2(held <= 2 * size, qPrintable(u"%1 bytes held for %2"_s.arg(held).arg(size)));
    }

    // A host that begins to listen for text during a run gets the text from there on, with a
    // character that straddles that moment whole, and one cut short by the end as U+FFFD; also
    // after it stopped listening in the middle of a character.
    void textToALateListener_data()
    {
        QTest::addColumn<QByteArray>("listened"); // written while a first handler listens
        QTest::addColumn<QByteArray>("unheard");  // written while no handler listens
        QTest::addColumn<QByteArray>("heard");    // written while a second handler listens
        QTest::addColumn<QString>("text");        // what the second handler gets
        QTest::newRow("whole-characters") << QByteArray() << QByteArray("ab") << QByteArray("cd") << u"cd"_s;
        QTest::newRow("three-bytes-straddle")
            << QByteArray() << QByteArray("ab\342") << QByteArray("\202\254 cd") << u"€ cd"_s;
        QTest::newRow("four-bytes-straddle")
            << QByteArray() << QByteArray("\360\237") << QByteArray("\230\200") << u"😀"_s;
        // The first and last lead byte of each length, the character cut after its lead.
        for (const char32_t c : {0x80, 0x7FF, 0x800, 0xFFEE, 0x10000, 0x10FFFD}) {
            const QString character = QString::fromUcs4(&c, 1);
            const QByteArray bytes = character.toUtf8();
            QTest::addRow("lead-%x-straddles", quint8(bytes.at(0)))
                << QByteArray() << "a" + bytes.left(1) << bytes.mid(1) + 'b' << character + u'b';
        }
        QTest::newRow("cut-short-by-the-end")
            << QByteArray() << QByteArray("a\342\202") << QByteArray() << QString(QChar::ReplacementCharacter);
        QTest::newRow("left-mid-character")
            << QByteArray("a\342") << QByteArray("\202\254b") << QByteArray("cd") << u"cd"_s;
    }
    void textToALateListener()
    {
        QFETCH(QByteArray, listened);
        QFETCH(QByteArray, unheard);
        QFETCH(QByteArray, heard);
        QFETCH(QString, text);
        // The program waits on a named pipe for the host's word between its writes.
        QTemporaryDir folder;
        const QByteArray go = QFile::encodeName(folder.filePath(u"go"_s));
        QVERIFY(::mkfifo(go.constData(), 0600) == 0);
        const QString wait = u"; read word < \"%1\"; "_s.arg(QFile::decodeName(go));
        addScript(u"Late"_s, u"printf \""_s + octal(listened) + u'"' + wait + u"printf \""_s + octal(unheard) + u'"'
                                 + wait + u"printf \""_s + octal(heard) + u'"');
        const int word = ::open(go.constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(word >= 0);
        const auto closeWord = qScopeGuard([word] { ::close(word); });
        ToolRun *run = m_apps->startTool(u"T"_s, u"Late"_s);
        Collected got;
        got.follow(run);
        QString first;
        QString second;
        const QMetaObject::Connection firstHandler = QObject::connect(
            run, &ToolRun::standardOutputText, run, [&first](const QString &piece) { first += piece; });
        // Each change from the loop, once the pieces written before it have all been told.
        QTRY_COMPARE_WITH_TIMEOUT(got.output, listened, Bound);
        QObject::disconnect(firstHandler);
        QCOMPARE(::write(word, "\n", 1), 1);
        QTRY_COMPARE_WITH_TIMEOUT(got.output, listened + unheard, Bound);
        QObject::connect(run, &ToolRun::standardOutputText, run, [&second](const QString &piece) { second += piece; });
        QCOMPARE(::write(word, "\n", 1), 1);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(got.output, listened + unheard + heard);
        QCOMPARE(second, text);
    }

    // Deleting a running run, or the ExternalApps that owns it, ends its program; one that
    // ignores SIGTERM is killed once its grace is over.
    void deletingEndsTheProgram_data()
    {
        QTest::addColumn<bool>("deleteOwner");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("marker");
        QTest::newRow("run-deleted") << false << u"sleep 987654"_s << u"sleep 987654"_s;
        QTest::newRow("owner-deleted") << true << u"sleep 987654"_s << u"sleep 987654"_s;
        QTest::newRow("ignores-sigterm") << false << u"trap \"\" TERM; while :; do sleep 987655; done"_s
                                         << u"sleep 987655"_s;
    }
    void deletingEndsTheProgram()
    {
        QFETCH(bool, deleteOwner);
        QFETCH(QString, script);
        QFETCH(QString, marker);
        addScript(u"Sleeper"_s, script);
        QPointer<ToolRun> run = m_apps->startTool(u"T"_s, u"Sleeper"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!ProcessCensus::running(marker).isEmpty(), Bound);
        if (deleteOwner)
            m_apps.reset();
        else
            delete run;
        QVERIFY(!run);
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(marker), QList<pid_t>(), Bound);
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::children(), QStringList(), Bound);
    }

    // A handler may delete its run at once, also while the program still runs.
    void deletedInItsOwnHandler_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("script");
        QTest::newRow("on-output-while-running") << u"output"_s << u"echo first; sleep 987656"_s;
        QTest::newRow("on-finished") << u"finished"_s << u"echo only"_s;
        // The end of the text: a character the program's end cut short, told as U+FFFD.
        QTest::newRow("on-the-text-of-a-cut-character") << u"text"_s << uR"(printf "ok\342\202")"_s;
    }
    void deletedInItsOwnHandler()
    {
        QFETCH(QString, handler);
        QFETCH(QString, script);
        addScript(u"Talker"_s, script);
        QPointer<ToolRun> run = m_apps->startTool(u"T"_s, u"Talker"_s);
        if (handler == u"output")
            connect(run, &ToolRun::standardOutput, this, [run] { delete run; });
        else if (handler == u"finished")
            connect(run, &ToolRun::finished, this, [run] { delete run; });
        else
            connect(run, &ToolRun::standardOutputText, this, [run](const QString &text) {
                if (text.contains(QChar::ReplacementCharacter))
                    delete run;
            });
        QTRY_VERIFY_WITH_TIMEOUT(run.isNull(), Bound);
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(u"sleep 987656"_s), QList<pid_t>(), Bound);
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::children(), QStringList(), Bound);
    }

    // A finished run the host keeps leaves the host's loop asleep: nothing of the ended
    // program (its pidfd stays readable) wakes it again and again.
    void finishedRunLeavesTheLoopAsleep()
    {
        addScript(u"Ends"_s, u"echo done"_s);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Ends"_s);
        Collected got;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        int wakes = 0;
        const QMetaObject::Connection counting = connect(QAbstractEventDispatcher::instance(),
                                                         &QAbstractEventDispatcher::awake, this, [&] { ++wakes; });
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        disconnect(counting);
        QVERIFY2(wakes < 50, qPrintable(u"the loop woke %1 times in 300 ms"_s.arg(wakes)));
        QCOMPARE(run->state(), ToolRun::State::Finished);
    }

    // A run taken from its ExternalApps goes on after that object is gone.
    void runOutlivesItsOwner()
    {
        addScript(u"Late"_s, u"read line; echo got:$line"_s);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Late"_s, "hello\n");
        run->setParent(nullptr);
        const std::unique_ptr<ToolRun> owned(run);
        m_apps.reset();
        Collected got;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(got.output, QByteArray("got:hello\n"));
    }

    // A host that forks while a run writes its input: the fork's child holds no copy of the
    // pipe, so the program still sees the end of its input while that child lives.
    void forkedHostLeavesTheRunAlone()
    {
        add(u"Cat"_s, u"/bin/cat"_s, QString());
        ToolRun *run = m_apps->startTool(u"T"_s, u"Cat"_s, QByteArray(8 * MiB, 'y'));
        int hold[2];
        QCOMPARE(::pipe(hold), 0);
        const pid_t forked = ::fork();
        if (forked == 0) {
            ::close(hold[1]);
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(hold[0], &byte, 1); // until the test lets go
            ::_exit(0);
        }
        ::close(hold[0]);
        const auto letGo = qScopeGuard([&] {
            ::close(hold[1]);
            ::waitpid(forked, nullptr, 0);
        });
        Collected got;
        got.keepOutput = false;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(got.outputSize, 8 * MiB);
        QCOMPARE(::waitpid(forked, nullptr, WNOHANG), 0); // the fork's child was there all along
    }

    // A host that closed its standard descriptors: the run's pipes, which then take their
    // numbers, are moved out of the way of the program's standard streams. Nothing of ours keeps
    // those numbers (the program's pidfd, the reaper's, a followed list's watch), so the host
    // may open its standard streams again.
    void hostWithoutStandardDescriptors()
    {
        add(u"Cat"_s, u"/bin/cat"_s, QString());
        QTemporaryDir folder;
        QVERIFY(QFile(folder.filePath(u"tools.lst"_s)).open(QIODevice::WriteOnly));
        int saved[3];
        for (int fd = 0; fd < 3; ++fd)
            saved[fd] = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        bool restored = false;
        const auto restore = [&] {
            for (int fd = 0; fd < 3 && !restored; ++fd) {
                ::dup2(saved[fd], fd);
                ::close(saved[fd]);
            }
            restored = true;
        };
        const auto restoreOnFailure = qScopeGuard(restore);
        for (int fd = 0; fd < 3; ++fd)
            ::close(fd);
        ExternalApps following;
        following.setEXTFile(folder.filePath(u"tools.lst"_s));
        ToolRun *run = m_apps->startTool(u"T"_s, u"Cat"_s, "abc");
        Collected got;
        got.follow(run);
        QDeadlineTimer deadline(Bound);
        while (got.finished == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        QList<int> taken;
        for (int fd = 0; fd < 3; ++fd) {
            if (::fcntl(fd, F_GETFD) != -1)
                taken << fd;
        }
        restore();
        QCOMPARE(taken, QList<int>());
        QCOMPARE(got.finished, 1);
        QCOMPARE(got.output, QByteArray("abc"));
        QCOMPARE(got.exitCode, 0);
    }

    // A host that has used up its descriptors gets a run that did not start, and the reason;
    // also one that closed its standard input and output, where a pipe still fits below 3 but
    // cannot be moved above the standard descriptors.
    void hostWithoutDescriptors_data()
    {
        QTest::addColumn<bool>("standardClosed");
        QTest::newRow("descriptors-used-up") << false;
        QTest::newRow("standard-descriptors-closed") << true;
    }
    void hostWithoutDescriptors()
    {
        QFETCH(bool, standardClosed);
        add(u"Cat"_s, u"/bin/cat"_s, QString());
        QSignalSpy launchFailed(m_apps.get(), &ExternalApps::launchFailed);
        int highest = 0;
        for (const QString &fd : QDir(u"/proc/self/fd"_s).entryList(QDir::System | QDir::Files))
            highest = std::max(highest, fd.toInt());
        std::vector<int> taken; // every number from 3 to the highest, and the saved standard ones
        std::vector<std::pair<int, int>> saved;
        if (standardClosed) {
            for (const int fd : {STDIN_FILENO, STDOUT_FILENO}) {
                if (::fcntl(fd, F_GETFD) == -1)
                    continue; // closed already
                highest = ::fcntl(fd, F_DUPFD_CLOEXEC, highest + 1);
                QVERIFY(highest > 0);
                saved.emplace_back(fd, highest);
                ::close(fd);
            }
        }
        for (int fd = STDERR_FILENO + 1; fd <= highest; ++fd) {
            if (const int filler = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, fd); filler == fd)
                taken.push_back(filler);
            else if (filler >= 0)
                ::close(filler);
        }
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &before), 0);
        rlimit none = before;
        none.rlim_cur = rlim_t(highest + 1);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &none), 0);
        ToolRun *run = m_apps->startTool(u"T"_s, u"Cat"_s, "abc");
        ::setrlimit(RLIMIT_NOFILE, &before);
        for (const int fd : taken)
            ::close(fd);
        for (const auto &[standard, copy] : saved) {
            ::dup2(copy, standard);
            ::close(copy);
        }
        QCOMPARE(run->state(), ToolRun::State::FailedToStart);
        QCOMPARE(run->failure(), u"Too many open files"_s);
        QCOMPARE(launchFailed.count(), 1);
    }

    // The interface by name (QML, scripts) starts runs too.
    void lateBoundStart()
    {
        add(u"Upper"_s, u"tr"_s, u"a-z A-Z"_s);
        const QVariantMap result = m_apps->invoke(u"startTool"_s, u"call"_s, {u"T"_s, u"Upper"_s, u"abc"_s});
        QCOMPARE(result.value(u"error"_s).toInt(), 0);
        auto *run = result.value(u"value"_s).value<ToolRun *>();
        QVERIFY(run);
        Collected got;
        got.follow(run);
        QTRY_COMPARE_WITH_TIMEOUT(got.finished, 1, Bound);
        QCOMPARE(got.output, QByteArray("ABC"));
        const QVariantMap unknown = m_apps->invoke(u"startTool"_s, u"call"_s,
                                                   {u"T"_s, u"Upper"_s, u""_s, u"Keyboard"_s});
        QCOMPARE(unknown.value(u"error"_s).toInt(), 5);
        const QVariantMap unnumbered = m_apps->invoke(u"startTool"_s, u"call"_s, {u"T"_s, u"Upper"_s, u""_s, 9});
        QCOMPARE(unnumbered.value(u"error"_s).toInt(), 5);
        QCOMPARE(unnumbered.value(u"detail"_s).toString(), u"no input is numbered 9"_s);
        const QVariantMap byNumber = m_apps->invoke(u"startTool"_s, u"call"_s, {u"T"_s, u"Upper"_s, u"x"_s, 0});
        QCOMPARE(byNumber.value(u"error"_s).toInt(), 0);
        QVERIFY(byNumber.value(u"value"_s).value<ToolRun *>());
    }
};

QTEST_GUILESS_MAIN(tst_ToolRun)
#include "tst_toolrun.moc"
