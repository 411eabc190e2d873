#include "ProcessCensus.h"
#include "runner/WindowFinder.h"
#include "runner/clsEXE.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

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

} // namespace

class TestWindowFinder : public QObject
{
    Q_OBJECT

    int m_descriptorsAtStart = 0;

private Q_SLOTS:
    void initTestCase()
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

    void findAndClose_data()
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
    void findAndClose()
    {
        QFETCH(QString, windowTitle);
        QFETCH(QString, searched);
        QFETCH(bool, found);
        ClosableWindow window(windowTitle);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(WindowFinder().find(windowTitle), 10000);
        WindowFinder finder;
        const auto id = finder.find(searched);
        QCOMPARE(id.has_value(), found);
        if (found) {
            QVERIFY(finder.close(*id));
            QTRY_VERIFY(window.closeRequested);
            QTRY_VERIFY(!window.isVisible());
        }
    }

    void noDisplayFindsNothing()
    {
        ClosableWindow window(u"Lanyard no display"_s);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(WindowFinder().find(window.windowTitle()), 10000);
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        WindowFinder finder;
        qputenv("DISPLAY", display);
        QVERIFY(!finder.find(window.windowTitle()));
        QVERIFY(!finder.close(1));
    }

    void shellDosExeEndsTheFinishedProgram_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<int>("maxMs");
        // The helper never ends by itself; the time-out only keeps a fault from hanging the test:
        // the call returns long before it because it saw the window.
        QTest::newRow("window-seen-and-closed") << QString() << QString() << 60 << 30000;
        QTest::newRow("title-changes-later") << QString() << u" --late"_s << 60 << 30000;
        QTest::newRow("dots-in-folder-names") << u"app-1.2/.local/bin"_s << QString() << 60 << 30000;
        QTest::newRow("negative-time-out-stops-in-first-pass") << QString() << QString() << -1 << 5000;
    }
    void shellDosExeEndsTheFinishedProgram()
    {
        QFETCH(QString, folder);
        QFETCH(QString, arguments);
        QFETCH(int, timeOut);
        QFETCH(int, maxMs);
        QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/finishedwindow");
        QTemporaryDir dir;
        if (!folder.isEmpty()) {
            const QString copy = dir.filePath(folder + u"/finishedwindow"_s);
            QVERIFY(QDir().mkpath(dir.filePath(folder)) && QFile::copy(program, copy));
            program = copy;
        }
        clsEXE runner;
        QElapsedTimer elapsed;
        elapsed.start();
        runner.ShellDOSEXE(program, arguments, timeOut);
        QVERIFY2(elapsed.elapsed() < maxMs, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(ProcessCensus::children().isEmpty());
        QTRY_VERIFY(!WindowFinder().find(u"Finished - FINISHEDWINDOW"_s));
    }

    void cleanupTestCase()
    {
        QCOMPARE(ProcessCensus::children(), QStringList());
        QCOMPARE(ProcessCensus::openDescriptors(), m_descriptorsAtStart);
    }
};

QTEST_MAIN(TestWindowFinder)
#include "tst_windowfinder.moc"
