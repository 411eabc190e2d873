#include "ProcessCensus.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

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

    void cleanupTestCase() { QCOMPARE(ProcessCensus::children(), QStringList()); }
};

QTEST_GUILESS_MAIN(TestStub16)
#include "tst_stub16.moc"
