// SPDX-License-Identifier: MIT
// A user with ordinary slips in each window: a group closed over the current entry, a key that
// bounces, a double click on empty space, a group typed that begins an existing one, a pasted
// character the launch list cannot hold. After every step the catalogue holds exactly what the
// user chose, nothing more and nothing less.
#include "ModalDriver.h"
#include "common/Catalogue.h"
#include "common/Files.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

using namespace Lanyard;
using namespace UiTest;

namespace {

const QStringList fixture{"Tools|Editor|/usr/bin/nano||0", "Tools|Shell|/bin/sh||0", "Games|Chess|/usr/games/chess||0",
                          "Games|Mines|/usr/games/mines||0"};

QWidget *window() { return frmEditApps::instance(); }
QTreeWidget *tree() { return window()->findChild<QTreeWidget *>("tvGroup"); }
QTreeWidgetItem *item(const QString &text) { return itemOf(tree(), text); }
QPushButton *button(const char *name) { return window()->findChild<QPushButton *>(name); }

/// Presses Tab until the focus is on @p name.
void tabTo(const QString &name)
{
    for (int i = 0; i < 12 && focusName() != name; ++i)
        press(Qt::Key_Tab);
}

/// Answers every message box with Return and keeps its text, while armed.
struct MessageAnswerer
{
    QStringList texts;
    void expect(const QString &objectName)
    {
        whenModalShown(objectName, [this](QWidget *box) {
            texts << static_cast<QMessageBox *>(box)->text();
            press(Qt::Key_Return);
        });
    }
};

} // namespace

class tst_Slips : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<ExternalApps> m_apps;
    QStringList m_expected;
    int m_checks = 0;

    /// Runs @p action, a step of the user's named @p what; the catalogue must then hold what
    /// the user chose so far, @p chosen applied to it.
    void step(const char *what, const std::function<void()> &action,
              const std::function<void(QStringList &)> &chosen = {})
    {
        action();
        if (chosen)
            chosen(m_expected);
        ++m_checks;
        QVERIFY2(
            dump(*m_apps) == m_expected,
            qPrintable(QStringLiteral("after \"%1\": %2").arg(QString::fromLatin1(what), dump(*m_apps).join(", "))));
    }

private Q_SLOTS:
    void init()
    {
        m_apps = std::make_unique<ExternalApps>();
        fill(*m_apps, fixture);
        for (const auto &[search, replace] : {std::pair{"%FILE%", "/home/ann/report.txt"}, {"%USER%", "ann"}})
            m_apps->AddPlaceHolder(search, replace);
        m_expected = fixture;
    }
    void cleanup()
    {
        const QStringList waiting = disarmAll();
        QVERIFY2(waiting.isEmpty(), qPrintable(waiting.join(", ")));
        frmEditApps::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_apps.reset();
    }
    void cleanupTestCase() { qInfo("%d catalogue checks after the user's steps", m_checks); }

    // The program list window, with the mouse and the keyboard.
    void programList()
    {
        m_apps->ShowForm();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        const auto remove = [](QStringList &list, const QString &entry) { list.removeAll(entry); };
        step("close Tools over Editor with the arrow, click Delete", [] {
            clickArrowOf(item("Tools"));
            QTest::mouseClick(button("cmdRemoveApp"), Qt::LeftButton);
        });
        step("open Tools, Down onto Editor, Left twice closes Tools, Return, Delete clicked", [] {
            focusOn(tree());
            press(Qt::Key_Right);
            press(Qt::Key_Down);
            press(Qt::Key_Left);
            press(Qt::Key_Left);
            press(Qt::Key_Return);
            QTest::mouseClick(button("cmdRemoveApp"), Qt::LeftButton);
        });
        step(
            "open Tools, select Shell, Tab to Delete, Return",
            [] {
                press(Qt::Key_Right);
                clickItem(item("Shell"));
                tabTo("cmdRemoveApp");
                press(Qt::Key_Return);
            },
            [&](QStringList &list) { remove(list, fixture[1]); });
        step("Return bounces", [] { press(Qt::Key_Return); });
        step("Return again, on the tree", [] { press(Qt::Key_Return); });
        step("double click below the rows", [] { doubleClick(tree()->viewport(), belowTheRows(tree())); });
        step("double click on the Games row closes it, another opens it", [] {
            QVERIFY(item("Games")->isExpanded());
            doubleClick(tree()->viewport(), centerOf(item("Games")));
            QVERIFY(!item("Games")->isExpanded());
            doubleClick(tree()->viewport(), centerOf(item("Games")));
            QVERIFY(item("Games")->isExpanded());
        });
        step(
            "select Chess, close Tools with the arrow, double click Delete",
            [] {
                clickItem(item("Chess"));
                QVERIFY(item("Tools")->isExpanded());
                clickArrowOf(item("Tools"));
                QVERIFY(!item("Tools")->isExpanded());
                doubleClick(button("cmdRemoveApp"), button("cmdRemoveApp")->rect().center());
            },
            [&](QStringList &list) { remove(list, fixture[2]); });
        step(
            "add under \"Game\", which begins \"Games\"",
            [] {
                whenModalShown("frmNewApp", [](QWidget *dialog) {
                    play(dialog, {"focus:cboGroup", "type:Game", "key:Tab", "type:Go", "focus:txtApp",
                                  "type:/usr/games/go", "click:cmdOK"});
                });
                QTest::mouseClick(button("cmdAddApp"), Qt::LeftButton);
            },
            [](QStringList &list) { list << "Game|Go|/usr/games/go||0"; });
        step("edit Mines: paste a line break into the name, then OK, then Cancel", [] {
            whenModalShown("frmNewApp", [](QWidget *dialog) {
                play(dialog, {"focus:txtAppName", "clip:Mi\\nnes", "key:Ctrl+V", "click:cmdOK"});
                play(dialog, {"close"});
            });
            doubleClick(tree()->viewport(), centerOf(item("Mines")));
        });
        step("Escape", [] {
            backTo(window());
            press(Qt::Key_Escape);
        });
        QVERIFY(!frmEditApps::instance());
    }

    // The application dialog over a Latin-1 list: a refused paste, then the fix.
    void applicationDialog()
    {
        const QString path = m_folder.filePath("tools.lst");
        QVERIFY(TestFiles::write(path, "Tools,Caf\xE9,/bin/true,,0\r\n"));
        m_apps = std::make_unique<ExternalApps>();
        m_apps->setEXTFile(path);
        m_expected = dump(*m_apps);
        m_apps->ShowForm();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        MessageAnswerer messages;
        step(
            "add with a name holding \u0153, OK refused, fix the name, OK",
            [&] {
                whenModalShown("frmNewApp", [&](QWidget *dialog) {
                    messages.expect("msgRefusedText");
                    play(dialog, {"focus:cboGroup", "type:Tool", "focus:txtAppName", "clip:C\u0153ur", "key:Ctrl+V",
                                  "focus:txtApp", "type:/bin/vi", "click:cmdOK"});
                    backTo(dialog);
                    QCOMPARE(dialog->findChild<QLineEdit *>("txtApp")->text(), "/bin/vi");
                    play(dialog, {"key:Ctrl+A", "type:Coeur", "click:cmdOK"});
                });
                QTest::mouseClick(button("cmdAddApp"), Qt::LeftButton);
            },
            [](QStringList &list) { list << "Tool|Coeur|/bin/vi||0"; });
        QCOMPARE(messages.texts.size(), 1);
        step("edit it, paste \u20AC into the name, OK refused, Escape", [&] {
            whenModalShown("frmNewApp", [&](QWidget *dialog) {
                messages.expect("msgRefusedText");
                play(dialog, {"focus:txtAppName", "key:Ctrl+A", "clip:C\u20ACur", "key:Ctrl+V", "click:cmdOK"});
                backTo(dialog);
                play(dialog, {"key:Escape"});
            });
            doubleClick(tree()->viewport(), centerOf(item("Coeur")));
        });
        QCOMPARE(messages.texts.size(), 2);
        QVERIFY(messages.texts.last().contains(u"\u201C\u20AC\u201D (U+20AC)"));
    }

    // The placeholder picker over the dialog: a double click below its rows, Escape, a choice.
    void placeholderPicker()
    {
        m_apps->ShowForm();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        step(
            "edit Editor: double click below the picker's rows, Escape, then choose %USER%, OK",
            [] {
                whenModalShown("frmNewApp", [](QWidget *dialog) {
                    whenModalShown("frmPlaceholders", [](QWidget *picker) {
                        auto *list = picker->findChild<QTreeWidget *>();
                        doubleClick(list->viewport(), belowTheRows(list));
                        press(Qt::Key_Escape);
                    });
                    play(dialog, {"click:cmdInsertKeyword"});
                    whenModalShown("frmPlaceholders", [](QWidget *picker) {
                        auto *list = picker->findChild<QTreeWidget *>();
                        doubleClick(list->viewport(), centerOf(list->topLevelItem(1)));
                    });
                    play(dialog, {"click:cmdInsertKeyword", "click:cmdOK"});
                });
                doubleClick(tree()->viewport(), centerOf(item("Editor")));
            },
            [](QStringList &list) { list[0] = "Tools|Editor|/usr/bin/nano|%USER%|0"; });
    }
};

QTEST_MAIN(tst_Slips)
#include "tst_slips.moc"
