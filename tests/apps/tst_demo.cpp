// SPDX-License-Identifier: MIT
// The demo host at work, offscreen: its window, built from the same library as lanyard-demo; and
// scripts/demo without a display.
#include "DemoFiles.h"
#include "DemoWindow.h"
#include "OutputModesMenu.h"
#include "TextView.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/Recorder.h"

#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

QAction *actionNamed(const QObject *window, const QString &text)
{
    const QList<QAction *> actions = window->findChildren<QAction *>();
    const auto found = std::find_if(actions.cbegin(), actions.cend(), [&](QAction *a) { return a->text() == text; });
    return found == actions.cend() ? nullptr : *found;
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

    QTemporaryDir m_dir;

private Q_SLOTS:
    // A first start from the sample: its groups; its text tools read the selection the user made
    // with the keyboard and put their output back; a mode chosen in Tools > Tool output is kept
    // for the next start, and so is the list once it is the user's.
    void firstStartFromTheSample()
    {
        using Mode = Lanyard::ToolsMenu::OutputMode;
        const QString list = m_dir.filePath(u"config/lanyard-demo/tools.lst"_s), text = m_dir.filePath(u"notes.txt"_s);
        QVERIFY(DemoFiles::ensureLaunchList(list) && DemoFiles::ensureSampleText(m_dir.filePath(u"sample.txt"_s)));
        QVERIFY(TestFiles::write(text, "keep this\npear\napple\n"));
        auto window = std::make_unique<DemoWindow>(list);
        QVERIFY(window->openFile(m_dir.filePath(u"sample.txt"_s)) && window->openFile(text));
        QStringList groups;
        for (const QAction *action : window->toolsMenuWidget()->actions()) {
            if (action->menu() && action->menu()->objectName().startsWith(u"lanyard-group/"_s))
                groups << action->menu()->title();
        }
        QCOMPARE(groups, (QStringList{u"Files"_s, u"Text"_s, u"Terminal"_s, u"Web"_s}));
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
        QVERIFY(modes && actionNamed(modes, u"Show in output &pane"_s)->isChecked());
        actionNamed(modes, u"&New document"_s)->trigger();
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        actionNamed(window.get(), u"Word count"_s)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(window->newDocuments().size(), 1);
        QCOMPARE(window->newDocuments().constFirst()->toPlainText().simplified(), u"3 4 21"_s);
        QCOMPARE(window->outputPane()->toPlainText(), QString());

        window = std::make_unique<DemoWindow>(list);
        QCOMPARE(window->toolsMenu()->outputMode(u"Text"_s, u"Word count"_s), Mode::NewDocument);
        QVERIFY(window->toolsMenu()->selectionAsInput(u"Text"_s, u"Word count"_s));
        QCOMPARE(window->toolsMenu()->outputMode(u"Text"_s, u"Sort lines"_s), Mode::ReplaceSelection);
        window.reset();
        QVERIFY(TestFiles::write(list, "Mine,Only,/bin/true,,0\r\n") && DemoFiles::ensureLaunchList(list));
        QCOMPARE(TestFiles::read(list), "Mine,Only,/bin/true,,0\r\n");
    }

    // The values are taken again right before every launch; one that does not start is logged.
    void launchGetsCurrentValues()
    {
        const QString list = m_dir.filePath(u"tools.lst"_s), record = m_dir.filePath(u"record"_s);
        const QString text = m_dir.filePath(u"my notes; $(x).txt"_s);
        QVERIFY(TestFiles::write(list, "Tools,Record," LANYARD_TEST_BIN_DIR "/recorder,\"%FILE%\" %LINE%,0\r\n"
                                       "Tools,Broken,/bin/true,\"%FILE%,0\r\n"));
        QVERIFY(TestFiles::write(text, "one\ntwo\nthree\nfour\n"));
        qputenv("LANYARD_RECORDER_OUT", record.toLocal8Bit());
        auto window = std::make_unique<DemoWindow>(list);
        QVERIFY(window->openFile(text));
        window->show();
        for (int line : {3, 1}) {
            QFile::remove(record);
            moveCursor(window->textView(), line, 2);
            actionNamed(window.get(), u"Record"_s)->trigger();
            QCOMPARE(Record::waitFor(record).texts(), (QStringList{text, QString::number(line)}));
        }
        qunsetenv("LANYARD_RECORDER_OUT");
        actionNamed(window.get(), u"Broken"_s)->trigger();
        QCOMPARE(window->log()->item(window->log()->count() - 1)->text().section(u"   "_s, 1),
                 u"Could not start Tools \u203a Broken"_s);
        // Closing the demo releases the object; nothing changed, so the list stays as it was.
        window.reset();
        QVERIFY(TestFiles::read(list).startsWith("Tools,Record,"));
    }

    // Without a display scripts/demo writes its screenshots into the build folder: the pictures
    // README shows stay as they are (unless --docs asks for them), and so do the user's files.
    void headlessScriptLeavesTheCheckoutAlone()
    {
        const QStringList pictures{u"demo-main.png"_s, u"demo-configure.png"_s, u"demo-output.png"_s};
        const auto changeTimes = [&pictures] {
            QList<QDateTime> times;
            for (const QString &picture : pictures)
                times << QFileInfo(LANYARD_SOURCE_DIR "/docs/" + picture).fileTime(QFileDevice::FileMetadataChangeTime);
            return times;
        };
        const QList<QDateTime> before = changeTimes();
        const QString shots = QStringLiteral(LANYARD_BUILD_DIR "/screenshots");
        QDir(shots).removeRecursively();
        QProcess script;
        script.setProcessEnvironment(LanyardProcess::headless({u"LANYARD_DEMO_BUILD=" LANYARD_BUILD_DIR ""_s,
                                                               u"XDG_CONFIG_HOME="_s + m_dir.filePath(u"config2"_s),
                                                               u"XDG_DATA_HOME="_s + m_dir.filePath(u"data"_s)}));
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start(u"bash"_s, {QStringLiteral(LANYARD_SOURCE_DIR "/scripts/demo")});
        QVERIFY(script.waitForFinished(120000));
        QVERIFY2(script.exitCode() == 0, script.readAll().constData());
        for (const QString &picture : pictures)
            QVERIFY2(QImage(shots + u'/' + picture).width() > 100, qPrintable(picture));
        QCOMPARE(changeTimes(), before);
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"config2"_s)));
    }
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
