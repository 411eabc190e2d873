#include "ProcessCensus.h"
#include "launch/WindowFinder.h"
#include "launch/clsEXE.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QString finishedWindow = QStringLiteral(LANYARD_TEST_BIN_DIR "/finishedwindow");
const QString finishedTitle = u"Finished - FINISHEDWINDOW"_s;

/// A shown window of this test whose close request is seen.
class ClosableWindow : public QWidget
{
public:
    explicit ClosableWindow(const QString &title)
    {
        setWindowTitle(title);
        resize(160, 60);
        show();
    }
    bool closeRequested = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        closeRequested = true;
        QWidget::closeEvent(event);
    }
};

bool appears(const QString &title)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 10000) {
        if (WindowFinder().find(title))
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class TestWindowFinder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void find_data();
    void find();
    void closeAsksTheWindow();
    void noDisplayFindsNothing();
    void shellDosExeClosesTheFinishedWindow();
    void shellDosExeNegativeTimeOutEndsTheProgram();
    void cleanupTestCase();

private:
    int m_descriptorsAtStart = 0;
};

void TestWindowFinder::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (run under xvfb-run)");
    {
        // Qt opens some descriptors of its own with the first window; they are not ours.
        ClosableWindow warmUp(u"Lanyard warm-up"_s);
        QVERIFY(QTest::qWaitForWindowExposed(&warmUp));
    }
    QTest::qWait(50);
    m_descriptorsAtStart = ProcessCensus::openDescriptors();
}

void TestWindowFinder::find_data()
{
    QTest::addColumn<QString>("windowTitle");
    QTest::addColumn<QString>("searched");
    QTest::addColumn<bool>("found");
    QTest::newRow("exact") << u"Finished - EDIT"_s << u"Finished - EDIT"_s << true;
    QTest::newRow("non-latin-title") << u"Fertig – Größe ✓"_s << u"Fertig – Größe ✓"_s << true;
    QTest::newRow("other-case") << u"Finished - EDIT"_s << u"finished - edit"_s << false;
    QTest::newRow("prefix-only") << u"Finished - EDITOR"_s << u"Finished - EDIT"_s << false;
    QTest::newRow("trailing-space") << u"Finished - EDIT"_s << u"Finished - EDIT "_s << false;
}

void TestWindowFinder::find()
{
    QFETCH(QString, windowTitle);
    QFETCH(QString, searched);
    QFETCH(bool, found);
    ClosableWindow window(windowTitle);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(appears(windowTitle));
    QCOMPARE(WindowFinder().find(searched).has_value(), found);
}

void TestWindowFinder::closeAsksTheWindow()
{
    ClosableWindow window(u"Lanyard close me"_s);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(appears(window.windowTitle()));
    WindowFinder finder;
    const auto id = finder.find(window.windowTitle());
    QVERIFY(id);
    QVERIFY(finder.close(*id));
    QTRY_VERIFY(window.closeRequested);
    QTRY_VERIFY(!window.isVisible());
}

void TestWindowFinder::noDisplayFindsNothing()
{
    ClosableWindow window(u"Lanyard no display"_s);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(appears(window.windowTitle()));
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    WindowFinder finder;
    qputenv("DISPLAY", display);
    QVERIFY(!finder.find(window.windowTitle()));
    QVERIFY(!finder.close(1));
}

void TestWindowFinder::shellDosExeClosesTheFinishedWindow()
{
    // The helper never ends by itself: the call returns because it saw the window.
    clsEXE runner;
    QElapsedTimer elapsed;
    elapsed.start();
    runner.ShellDOSEXE(finishedWindow, QString());
    QVERIFY(elapsed.elapsed() < 60000);
    QVERIFY(ProcessCensus::children().isEmpty());
    QTRY_VERIFY(!WindowFinder().find(finishedTitle));
}

void TestWindowFinder::shellDosExeNegativeTimeOutEndsTheProgram()
{
    clsEXE runner;
    QElapsedTimer elapsed;
    elapsed.start();
    runner.ShellDOSEXE(finishedWindow, QString(), -1);
    QVERIFY(elapsed.elapsed() < 5000);
    QVERIFY(ProcessCensus::children().isEmpty());
    QTest::qWait(200);
    QVERIFY(!WindowFinder().find(finishedTitle));
}

void TestWindowFinder::cleanupTestCase()
{
    QCOMPARE(ProcessCensus::children(), QStringList());
    QCOMPARE(ProcessCensus::openDescriptors(), m_descriptorsAtStart);
}

QTEST_MAIN(TestWindowFinder)
#include "tst_windowfinder.moc"
