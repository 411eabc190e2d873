// The demo host at work: its window, built from the same library as lanyard-demo, offscreen.
#include "DemoFiles.h"
#include "DemoWindow.h"
#include "TextView.h"
#include "common/Files.h"
#include "common/Recorder.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

QAction *actionNamed(const QObject *window, const QString &text)
{
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList groupTitles(const QMenu *menu)
{
    QStringList titles;
    for (const QAction *action : menu->actions()) {
        if (action->menu())
            titles << action->menu()->title();
    }
    return titles;
}

void moveCursor(TextView *view, int line, int column)
{
    QTextCursor cursor(view->document()->findBlockByNumber(line - 1));
    cursor.setPosition(cursor.position() + column - 1);
    view->setTextCursor(cursor);
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstStartFromSample();
    void launchGetsCurrentValues();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDemo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestDemo::firstStartFromSample()
{
    const QString list = m_dir->filePath(u"config/lanyard-demo/tools.lst"_s);
    const QString sample = m_dir->filePath(u"sample.txt"_s);
    QVERIFY(DemoFiles::ensureLaunchList(list) && DemoFiles::ensureSampleText(sample));
    {
        DemoWindow window(list);
        QVERIFY(window.openFile(sample));
        QCOMPARE(groupTitles(window.toolsMenuWidget()), (QStringList{u"Files"_s, u"Terminal"_s, u"Web"_s}));
    }
    // The user's list is theirs from now on: a second start keeps it.
    QVERIFY(TestFiles::write(list, "Mine,Only,/bin/true,,0\r\n"));
    QVERIFY(DemoFiles::ensureLaunchList(list));
    DemoWindow window(list);
    QCOMPARE(groupTitles(window.toolsMenuWidget()), QStringList{u"Mine"_s});
}

void TestDemo::launchGetsCurrentValues()
{
    const QString list = m_dir->filePath(u"tools.lst"_s);
    const QString record = m_dir->filePath(u"record"_s);
    const QString text = m_dir->filePath(u"my notes; $(x).txt"_s);
    QVERIFY(TestFiles::write(list, "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE%,0\r\n"
                                   "Tools,Broken,/bin/true,\"%FILE%,0\r\n"));
    QVERIFY(TestFiles::write(text, "one\ntwo\nthree\nfour\n"));
    qputenv("LANYARD_RECORDER_OUT", record.toLocal8Bit());

    auto window = std::make_unique<DemoWindow>(list);
    QVERIFY(window->openFile(text));
    window->show();
    moveCursor(window->textView(), 3, 2);
    QAction *action = actionNamed(window.get(), u"Record"_s);
    QVERIFY(action);
    action->trigger();
    QCOMPARE(Record::waitFor(record).texts(), (QStringList{text, u"3"_s}));

    // The values are taken again right before every launch.
    QFile::remove(record);
    moveCursor(window->textView(), 1, 1);
    action->trigger();
    QCOMPARE(Record::waitFor(record).texts(), (QStringList{text, u"1"_s}));
    qunsetenv("LANYARD_RECORDER_OUT");
    actionNamed(window.get(), u"Broken"_s)->trigger();
    QCOMPARE(window->log()->item(window->log()->count() - 1)->text().section(u"   "_s, 1), u"Could not start Tools \u203a Broken"_s);

    // Closing the demo releases the object; nothing changed, so the list stays as it was.
    window.reset();
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("Tools,Record,"));
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
