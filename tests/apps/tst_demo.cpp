// SPDX-License-Identifier: MIT
// The demo host at work, offscreen: its window, built from the same library as lanyard-demo.
#include "DemoFiles.h"
#include "DemoWindow.h"
#include "OutputModesMenu.h"
#include "TextView.h"
#include "common/Files.h"

#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QAction *actionNamed(const QObject *window, const QString &text)
{
    for (QAction *action : window->findChildren<QAction *>())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // First start: the sample's groups; text tools on a keyboard selection; a chosen output mode and the list kept.
    void firstStartFromTheSample()
    {
        using Mode = Lanyard::ToolsMenu::OutputMode;
        const QString list = m_dir.filePath(u"config/lanyard-demo/tools.lst"_s), text = m_dir.filePath(u"notes.txt"_s);
        QVERIFY(DemoFiles::ensureLaunchList(list) && DemoFiles::ensureSampleText(m_dir.filePath(u"sample.txt"_s)));
        QVERIFY(TestFiles::write(text, "keep this\npear\napple\n"));
        auto window = std::make_unique<DemoWindow>(list);
        QVERIFY(window->openFile(m_dir.filePath(u"sample.txt"_s)) && window->openFile(text));
        QStringList groups;
        for (const QAction *action : window->toolsMenuWidget()->actions())
            if (action->menu() && action->menu()->objectName().startsWith(u"lanyard-group/"_s))
                groups << action->menu()->title();
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
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
