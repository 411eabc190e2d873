// SPDX-License-Identifier: MIT
// The demo host at work: its window, built from the same library as lanyard-demo, offscreen.
#include "DemoFiles.h"
#include "DemoWindow.h"
#include "OutputModesMenu.h"
#include "TextView.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/Recorder.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
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
        if (action->menu() && action->menu()->objectName().startsWith(u"lanyard-group/"_s))
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
    void textToolsTalkBack();
    void headlessScriptLeavesTheCheckoutAlone();

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
        QCOMPARE(groupTitles(window.toolsMenuWidget()), (QStringList{u"Files"_s, u"Text"_s, u"Terminal"_s, u"Web"_s}));
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
    QCOMPARE(window->log()->item(window->log()->count() - 1)->text().section(u"   "_s, 1),
             u"Could not start Tools \u203a Broken"_s);

    // Closing the demo releases the object; nothing changed, so the list stays as it was.
    window.reset();
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("Tools,Record,"));
}

// The sample's text tools read the selection the user made with the keyboard and put their
// output back; a mode chosen in Tools > Tool output is kept for the next start.
void TestDemo::textToolsTalkBack()
{
    const QString list = m_dir->filePath(u"tools.lst"_s);
    const QString text = m_dir->filePath(u"notes.txt"_s);
    QVERIFY(DemoFiles::ensureLaunchList(list));
    QVERIFY(TestFiles::write(text, "keep this\npear\napple\n"));
    auto window = std::make_unique<DemoWindow>(list);
    QVERIFY(window->openFile(text));
    window->show();
    TextView *view = window->textView();
    view->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy finished(window->toolsMenu(), &Lanyard::ToolsMenu::runFinished);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    actionNamed(window.get(), u"Upper case"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    QCOMPARE(view->toPlainText(), u"keep this\nPEAR\nAPPLE\n"_s);

    // Word count: from the pane to a new document, with nothing selected (the whole text).
    window->outputModesMenu()->refresh();
    auto *modes = window->findChild<QMenu *>(u"outputModes/Text/Word count"_s);
    QVERIFY(modes);
    QCOMPARE(actionNamed(modes, u"Show in output &pane"_s)->isChecked(), true);
    actionNamed(modes, u"&New document"_s)->trigger();
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    actionNamed(window.get(), u"Word count"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
    QCOMPARE(window->newDocuments().size(), 1);
    QCOMPARE(window->newDocuments().constFirst()->toPlainText().simplified(), u"3 4 21"_s);
    QCOMPARE(window->outputPane()->toPlainText(), QString());

    window = std::make_unique<DemoWindow>(list);
    QCOMPARE(window->toolsMenu()->outputMode(u"Text"_s, u"Word count"_s), Lanyard::ToolsMenu::OutputMode::NewDocument);
    QVERIFY(window->toolsMenu()->selectionAsInput(u"Text"_s, u"Word count"_s));
    QCOMPARE(window->toolsMenu()->outputMode(u"Text"_s, u"Sort lines"_s),
             Lanyard::ToolsMenu::OutputMode::ReplaceSelection);
}

// Without a display scripts/demo writes its screenshots into the build folder: the pictures that
// README shows stay as they are, unless they are asked for (--docs).
void TestDemo::headlessScriptLeavesTheCheckoutAlone()
{
    const QStringList docs{QStringLiteral(LANYARD_SOURCE_DIR "/docs/demo-main.png"),
                           QStringLiteral(LANYARD_SOURCE_DIR "/docs/demo-configure.png"),
                           QStringLiteral(LANYARD_SOURCE_DIR "/docs/demo-output.png")};
    const auto changeTimes = [&docs] {
        QList<QDateTime> times;
        for (const QString &picture : docs)
            times << QFileInfo(picture).fileTime(QFileDevice::FileMetadataChangeTime);
        return times;
    };
    const QList<QDateTime> before = changeTimes();
    const QString shots = QStringLiteral(LANYARD_BUILD_DIR "/screenshots");
    QDir(shots).removeRecursively();

    QProcess script;
    script.setProcessEnvironment(LanyardProcess::headless({u"LANYARD_DEMO_BUILD=" LANYARD_BUILD_DIR ""_s,
                                                           u"XDG_CONFIG_HOME="_s + m_dir->filePath(u"config"_s),
                                                           u"XDG_DATA_HOME="_s + m_dir->filePath(u"data"_s)}));
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(u"bash"_s, {QStringLiteral(LANYARD_SOURCE_DIR "/scripts/demo")});
    QVERIFY(script.waitForFinished(120000));
    QVERIFY2(script.exitCode() == 0, script.readAll().constData());
    for (const QString &picture : {u"demo-main.png"_s, u"demo-configure.png"_s, u"demo-output.png"_s}) {
        QImage image(shots + u'/' + picture);
        QVERIFY2(!image.isNull() && image.width() > 100, qPrintable(picture));
    }
    QCOMPARE(changeTimes(), before);
    // The user's own files are left alone too.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"config"_s)));
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
