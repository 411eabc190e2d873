// SPDX-License-Identifier: MIT
// The three windows as their users meet them. Each window has one scenario played with the
// keyboard alone: every key goes to the widget that has the focus (QApplication::focusWidget),
// the focus moves only as the keys move it. The other cases click, type into boxes, and check
// texts, limits, languages, fonts and the windows' lives.
#include "MemoryEntries.h"
#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/ColumnFit.h"
#include "ui/RefusedCharacter.h"
#include "ui/ScreenFit.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QToolTip>
#include <QVBoxLayout>

using namespace Lanyard;
using namespace UiTest;

namespace {

const QStringList fixture{"Tools|Editor|/usr/bin/nano|%FILE%|0", "Tools|Shell|/bin/sh||-1",
                          "Games|Chess|/usr/games/chess||0"};

QTreeWidget *tree() { return frmEditApps::instance()->findChild<QTreeWidget *>("tvGroup"); }
QTreeWidgetItem *item(const QString &text) { return itemOf(tree(), text); }
QPushButton *button(const char *name) { return frmEditApps::instance()->findChild<QPushButton *>(name); }
bool canEditOrDelete() { return button("cmdEdit")->isEnabled() && button("cmdRemoveApp")->isEnabled(); }
bool canNeither() { return !button("cmdEdit")->isEnabled() && !button("cmdRemoveApp")->isEnabled(); }

/// The tree as "Group: App, App" lines.
QStringList treeText()
{
    QStringList lines;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *group = tree()->topLevelItem(i);
        QStringList apps;
        for (int j = 0; j < group->childCount(); ++j)
            apps << group->child(j)->text(0);
        lines << group->text(0) + ": " + apps.join(", ");
    }
    return lines;
}

/// Presses Tab until the focus is on @p name; the names passed on the way, @p name last.
QStringList tabTo(const QString &name)
{
    QStringList passed;
    for (int i = 0; i < 12 && passed.value(passed.size() - 1) != name; ++i) {
        press(Qt::Key_Tab);
        passed << focusName();
    }
    return passed;
}

/// Replaces the text of the focused box by @p text and moves on with Tab.
void retype(const QString &text)
{
    press(QKeySequence::SelectAll);
    type(text);
    press(Qt::Key_Tab);
}

/// Fills the dialog as a user would with the mouse at hand and leaves it by @p leave.
void fillDialog(QWidget *dialog, const frmNewApp::Fields &fields, const QString &leave)
{
    QStringList steps;
    for (const auto &[name, text] : {std::pair{"cboGroup", fields.group},
                                     {"txtAppName", fields.name},
                                     {"txtApp", fields.path},
                                     {"txtCmdLine", fields.cmdLine}})
        steps << QStringLiteral("focus:") + name << "key:Ctrl+A"
              << "key:Delete"
              << "type:" + text;
    if (dialog->findChild<QCheckBox *>("cbProtected")->isChecked() != fields.isProtected)
        steps << "focus:cbProtected"
              << "key:Space";
    play(dialog, steps + QStringList{leave == u"ok" ? "click:cmdOK" : "close"});
}

/// The host's main window, over which the windows open.
QWidget *host()
{
    static QWidget *window = [] {
        auto *made = new QWidget;
        made->setWindowTitle("Host");
        made->show();
        return made;
    }();
    return window;
}

frmNewApp *loadDialog(LaunchEntries *apps, const frmNewApp::Fields &fields = {})
{
    frmNewApp *dialog = frmNewApp::Load(host());
    dialog->setLaunchAppClass(apps);
    dialog->setFields(fields);
    return dialog;
}

/// The names a file dialog lists in its current folder, sorted.
QStringList listedIn(const QFileDialog *browse)
{
    const auto *files = browse->findChild<QListView *>("listView");
    QStringList names;
    for (int row = 0; row < files->model()->rowCount(files->rootIndex()); ++row)
        names << files->model()->index(row, 0, files->rootIndex()).data().toString();
    names.sort();
    return names;
}

QStringList asList(const frmNewApp::Fields &f)
{
    return {f.group, f.name, f.path, f.cmdLine, QString::number(f.isProtected)};
}

// The classic room of each window and control, in twips (1/1440 inch): the least they get.
const QHash<QString, QSize> classicTwips{{"frmEditApps", {4545, 2820}},   {"tvGroup", {2535, 2535}},
                                         {"frmNewApp", {5535, 4305}},     {"txtApp", {5055, 285}},
                                         {"txtCmdLine", {5055, 285}},     {"frmPlaceholders", {5400, 3000}},
                                         {"lvPlaceholders", {5160, 2760}}};

QString describe(const QWidget *widget)
{
    return widget->objectName() + " (" + widget->property("text").toString() + ')';
}

/// Counts the paint events a widget gets: what the user sees drawn.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

/// Gives the style option a view's delegate paints an item with.
struct OptionProbe : QStyledItemDelegate
{
    using QStyledItemDelegate::initStyleOption;
};

QModelIndex indexOf(const QTreeWidget *view, QTreeWidgetItem *item, int column)
{
    if (!item->parent())
        return view->model()->index(view->indexOfTopLevelItem(item), column);
    return view->model()->index(item->parent()->indexOfChild(item), column, indexOf(view, item->parent(), 0));
}

/// Whether the style cuts the text of @p item in @p column, as it paints it where the view
/// puts it, or the view's viewport cuts it off at its right edge.
bool isCut(const QTreeWidget *view, QTreeWidgetItem *item, int column)
{
    const QModelIndex index = indexOf(view, item, column);
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.font = view->font();
    option.fontMetrics = QFontMetrics(view->font());
    option.decorationSize = view->iconSize();
    option.rect = view->visualRect(index);
    OptionProbe().initStyleOption(&option, index);
    // The style's room for the text: the cell less its image and the margins around both.
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const bool hasImage = option.features.testFlag(QStyleOptionViewItem::HasDecoration);
    const int needed = option.fontMetrics.horizontalAdvance(option.text) + 2 * margin
                       + (hasImage ? option.decorationSize.width() + 2 * margin : 0);
    return needed > option.rect.width() || option.rect.right() >= view->viewport()->width();
}

/// Every header and every row of @p view whole.
void checkWhole(const QTreeWidget *view)
{
    const QHeaderView *header = view->header();
    for (int column = 0; column < view->columnCount(); ++column) {
        QVERIFY2(header->isHidden() || header->sectionSize(column) >= header->sectionSizeHint(column),
                 qPrintable(view->headerItem()->text(column)));
        for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(view)); *it; ++it)
            QVERIFY2(!isCut(view, *it, column), qPrintable((*it)->text(column)));
    }
}

/// Every caption shows whole at the window's font size, every input is as high as its text and
/// named for screen readers, no control is smaller than its classic room, and none overlap.
void checkLayout(QWidget *window, int points)
{
    QList<QWidget *> controls;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        // Not the controls of a dialog it owns, nor the line edit inside a combo box.
        if (control->window() != window || control->parentWidget()->inherits("QComboBox"))
            continue;
        const bool hasCaption = control->inherits("QAbstractButton") || control->inherits("QLabel");
        const bool isTextBox = control->inherits("QLineEdit") || control->inherits("QComboBox");
        if (hasCaption) {
            QCOMPARE(control->font().pointSize(), points);
            const QSize needed = control->sizeHint();
            QVERIFY2(control->width() >= needed.width() && control->height() >= needed.height(),
                     qPrintable(QStringLiteral("%1 is %2x%3, its text needs %4x%5")
                                    .arg(describe(control))
                                    .arg(control->width())
                                    .arg(control->height())
                                    .arg(needed.width())
                                    .arg(needed.height())));
        } else if (isTextBox || control->inherits("QTreeWidget")) {
            QVERIFY2(!isTextBox || control->height() >= control->sizeHint().height(), qPrintable(describe(control)));
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), qPrintable(describe(control)));
            QCOMPARE(accessible->text(QAccessible::Description), control->toolTip());
        } else {
            continue;
        }
        if (control->isVisible())
            controls << control;
    }
    for (const QTreeWidget *view : window->findChildren<QTreeWidget *>()) {
        if (view->window() == window)
            checkWhole(view);
    }
    const QSize room = window->screen()->availableSize();
    QVERIFY2(window->frameGeometry().width() <= room.width() && window->frameGeometry().height() <= room.height(),
             qPrintable(QStringLiteral("%1 opens at %2x%3 on %4x%5")
                            .arg(window->objectName())
                            .arg(window->width())
                            .arg(window->height())
                            .arg(room.width())
                            .arg(room.height())));
    for (QWidget *widget : controls + QList<QWidget *>{window}) {
        const QSize least =
            (QSizeF(classicTwips.value(widget->objectName())) * widget->logicalDpiX() / 1440.0).toSize();
        QVERIFY2(widget->width() >= least.width() && widget->height() >= least.height(), qPrintable(describe(widget)));
    }
    for (qsizetype i = 0; i < controls.size(); ++i) {
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QRect one(controls[i]->mapTo(window, QPoint()), controls[i]->size());
            const QRect other(controls[j]->mapTo(window, QPoint()), controls[j]->size());
            QVERIFY2(!one.intersects(other), qPrintable(describe(controls[i]) + " overlaps " + describe(controls[j])));
        }
    }
}

/// entry: the application edited (none: one is added); typed: "group|name|path"; happening:
/// "host-deletes" while the dialog is open, "stale" before.
/// keys: how the second press comes after the first one deleted the current entry.
struct BounceRow
{
    QString how;
};

struct RefusalRow
{
    qint16 maxGroups = 5, maxApps = 5;
    QString entry, typed, happening, message;
    QStringList tree;
};

struct TypingRow
{
    QString box, stored, steps, text;
};
/// missing: the lines of the message; taken: the fields OK took.
struct OkRow
{
    frmNewApp::Fields typed;
    QStringList missing;
    QString taken;
};

} // namespace

Q_DECLARE_METATYPE(BounceRow)
Q_DECLARE_METATYPE(RefusalRow)
Q_DECLARE_METATYPE(TypingRow)
Q_DECLARE_METATYPE(OkRow)

namespace {

/// ShowForm with an owner: how it is shown, where the owner stands, and the control that has
/// the focus when Escape is pressed ("" for the window itself).
struct OwnedRow
{
    bool modal = false;
    QRect owner;
    QString focus;
    bool openBefore = false; ///< shown modeless without an owner first
};

} // namespace

Q_DECLARE_METATYPE(OwnedRow)

class tst_Windows : public QObject
{
    Q_OBJECT

    std::unique_ptr<MemoryEntries> m_apps;

    /// Shows the program list for m_apps, as the component's ShowForm does.
    void showForm(qint32 modal = 0, QWidget *owner = nullptr) { frmEditApps::ShowFor(m_apps.get(), modal, owner); }

private Q_SLOTS:
    void init()
    {
        m_apps = std::make_unique<MemoryEntries>();
        m_apps->fill(fixture);
        m_apps->placeholders = {{"%FILE%", "/home/ann/report.txt"}, {"%USER%", "ann"}, {"%DATE%", "2024-05-01"}};
    }
    void cleanup()
    {
        const QStringList waiting = disarmAll();
        QVERIFY2(waiting.isEmpty(), qPrintable(waiting.join(", ")));
        frmEditApps::Unload();
        frmNewApp::Unload();
        frmPlaceholders::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_apps.reset();
        Captions::setLanguage(Language::lEnglish);
    }

    // A host that reads Cancel before the user has left either dialog finds nothing cancelled.
    // First of all tests: the picker's answer lives as long as the process.
    void nothingCancelledBeforeShown()
    {
        QCOMPARE(frmPlaceholders::Cancel(), false);
        QCOMPARE(loadDialog(m_apps.get())->Cancel(), false);
    }

    // The program list, modal, with the keyboard alone: walk the tree, edit, add, delete, leave.
    void programListByKeyboard()
    {
        QStringList seen;
        whenModalShown("frmEditApps", [&](QWidget *window) {
            seen << focusName() << tree()->currentItem()->text(0);
            press(Qt::Key_Up); // onto the group: nothing to edit
            seen << QString::number(canNeither());
            press(Qt::Key_Return);
            press(Qt::Key_Down);
            whenModalShown("frmNewApp", [&](QWidget *dialog) {
                seen << dialog->windowTitle() << focusName();
                retype("Writing");
                retype("Nano");
                press(Qt::Key_Space); // protected
                tabTo("cmdOK");
                press(Qt::Key_Return);
            });
            press(Qt::Key_Return); // edits Editor
            backTo(window);
            seen << tabTo("tvGroup") << tabTo("cmdAddApp");
            whenModalShown("frmNewApp", [&](QWidget *dialog) {
                seen << dialog->windowTitle();
                retype("Office");
                retype("Writer");
                press(Qt::Key_Tab);
                retype("/usr/bin/lowriter");
                tabTo("txtCmdLine");
                type("--norestore");
                tabTo("cmdOK");
                press(Qt::Key_Space);
            });
            press(Qt::Key_Space);
            backTo(window);
            tabTo("tvGroup");
            press(Qt::Key_End); // the last application, Office's Writer
            tabTo("cmdRemoveApp");
            press(Qt::Key_Return);
            backTo(window);
            seen << QString::number(tree()->topLevelItemCount());
            press(Qt::Key_Escape);
        });
        showForm(1);
        QCOMPARE(seen, (QStringList{"tvGroup", "Editor", "1", "Edit Application", "cboGroup", "cmdAddApp", "cmdEdit",
                                    "cmdRemoveApp", "tvGroup", "cmdAddApp", "Add New Application", "3"}));
        QVERIFY(!frmEditApps::instance());
        QCOMPARE(m_apps->dump(), (QStringList{fixture[1], fixture[2], "Writing|Nano|/usr/bin/nano|%FILE%|-1"}));
    }

    // The add/edit dialog with the keyboard alone, through every control in tab order: a full
    // box lets Tab go on, a comma is refused, the picker inserts, OK names what is missing.
    void dialogByKeyboard()
    {
        frmNewApp *dialog = loadDialog(m_apps.get());
        QStringList seen;
        whenModalShown("frmNewApp", [&](QWidget *shown) {
            type("abcdefghijklmnopqrstU"); // one more than a group name holds
            seen << tabTo("cboGroup");
            press(Qt::Key_Tab);
            press(Qt::Key_Tab);
            press(Qt::Key_Space);
            press(Qt::Key_Tab);
            type("/bin/sh");
            tabTo("txtCmdLine");
            type("-w_a,b");
            press(Qt::Key_Tab);
            whenModalShown("frmPlaceholders", [](QWidget *) {
                press(Qt::Key_Down);
                press(Qt::Key_Return);
            });
            press(Qt::Key_Return);
            backTo(shown);
            seen << tabTo("cmdOK");
            whenModalShown("msgIncompleteEntry", [&](QWidget *box) {
                seen << static_cast<QMessageBox *>(box)->text().section('\n', 1);
                press(Qt::Key_Return);
            });
            press(Qt::Key_Return);
            backTo(shown);
            seen << focusName();
            type("Editor");
            tabTo("cmdOK");
            press(Qt::Key_Return);
        });
        dialog->exec();
        QCOMPARE(seen,
                 (QStringList{"txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine", "cmdInsertKeyword",
                              "cmdOK", "cmdCancel", "cboGroup", "cmdOK", "• “Program Name”", "txtAppName"}));
        QVERIFY(!dialog->Cancel());
        QCOMPARE(asList(dialog->fields()),
                 (QStringList{"abcdefghijklmnopqrst", "Editor", "/bin/sh", "-w_ab%USER%", "1"}));
        // Escape leaves it from any control; the fields stay for the caller to read.
        whenModalShown("frmNewApp", [](QWidget *) {
            tabTo("txtApp");
            press(Qt::Key_Escape);
        });
        dialog->exec();
        QVERIFY(dialog->Cancel());
        QCOMPARE(dialog->fields().name, "Editor");
    }

    // The picker with the keyboard alone: it opens on the first row; Return and Space choose the
    // current row; Escape keeps the row last made current without choosing it.
    void pickerByKeyboard()
    {
        const auto show = [this](const QList<QKeySequence> &keys) {
            frmPlaceholders *picker = frmPlaceholders::Load(host());
            picker->setLaunchAppClass(m_apps.get());
            whenModalShown("frmPlaceholders", [keys](QWidget *shown) {
                QVERIFY(!shown->findChild<QTreeWidget *>()->topLevelItem(0)->icon(0).isNull()); // the text image
                for (const QKeySequence &key : keys)
                    press(key);
            });
            picker->exec();
            return QStringList{QString::number(frmPlaceholders::Cancel()), frmPlaceholders::SearchString(),
                               frmPlaceholders::ReplaceString()};
        };
        QCOMPARE(show({Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return}), (QStringList{"0", "%USER%", "ann"}));
        QCOMPARE(show({Qt::Key_Space}), (QStringList{"0", "%FILE%", "/home/ann/report.txt"}));
        QCOMPARE(show({Qt::Key_Down, Qt::Key_Escape}), (QStringList{"1", "%USER%", "ann"}));
        // The choice belongs to the process: unloading clears only Cancel.
        frmPlaceholders::Unload();
        QCOMPARE(frmPlaceholders::Cancel(), false);
        QCOMPARE(frmPlaceholders::SearchString(), "%USER%");
    }

    // The tree as the catalogue fills it, and what the mouse does in it.
    void programListFill()
    {
        m_apps->fill({"Empty soon|Gone|/x"});
        QVERIFY(m_apps->remove("Empty soon", "Gone"));
        showForm();
        QCOMPARE(treeText(), (QStringList{"Tools: Editor, Shell", "Games: Chess"}));
        QVERIFY(item("Tools")->isExpanded() && item("Games")->isExpanded());
        QCOMPARE(tree()->currentItem(), item("Editor"));
        QVERIFY(!item("Tools")->icon(0).isNull() && !item("Shell")->icon(0).isNull());
        // Hidden, the column's header still names it for screen readers.
        QCOMPARE(tree()->headerItem()->text(0), frmEditApps::instance()->windowTitle());
        clickItem(item("Tools"));
        QVERIFY(canNeither());
        clickItem(item("Chess"));
        QVERIFY(canEditOrDelete());
        // A double click edits; the close box cancels.
        QString shown;
        whenModalShown("frmNewApp", [&](QWidget *dialog) {
            shown = asList(static_cast<frmNewApp *>(dialog)->fields()).join('|');
            fillDialog(dialog, {"Writing", "Nano", "/bin/nano", "-w", true}, "close");
        });
        doubleClick(tree()->viewport(), centerOf(item("Editor")));
        QCOMPARE(shown, "Tools|Editor|/usr/bin/nano|%FILE%|0");
        QCOMPARE(m_apps->dump(), fixture);
        // A name the tree cuts shows whole as tooltip; elsewhere the tree's own tooltip shows.
        const QString longName(20, u'W');
        m_apps->fill({"Games|" + longName + "|/bin/true"});
        PaintCounter drawn;
        tree()->viewport()->installEventFilter(&drawn);
        frmEditApps::instance()->FillTree();
        // Filled again while shown, the list is drawn again.
        QTRY_VERIFY_WITH_TIMEOUT(drawn.paints > 0, 5000);
        tree()->viewport()->removeEventFilter(&drawn);
        const auto tipOver = [](const QString &name) {
            const QPoint pos = centerOf(item(name));
            QHelpEvent event(QEvent::ToolTip, pos, tree()->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(tree()->viewport(), &event);
            return QToolTip::text();
        };
        QCOMPARE(tipOver(longName), longName);
        QCOMPARE(tipOver("Shell"), "Double click to edit the program");
        // A name that just fits is not cut; one pixel less and it is.
        tree()->setCurrentItem(item("Shell"));
        const int needed = tree()->sizeHintForIndex(tree()->currentIndex()).width();
        tree()->header()->setStretchLastSection(false);
        for (const int less : {0, 1}) {
            const int width = tree()->visualItemRect(item("Shell")).width();
            tree()->setColumnWidth(0, tree()->columnWidth(0) + needed - less - width);
            QCOMPARE(tree()->visualItemRect(item("Shell")).width(), needed - less);
            QCOMPARE(tipOver("Shell"), less ? "Shell" : "Double click to edit the program");
        }
    }

    // A group without applications (the interface may report one whose applications were all
    // deleted) is not shown, wherever it stands: those after it are.
    void emptyGroupNotShown()
    {
        m_apps->emptyGroups = {"Deleted"};
        showForm();
        QCOMPARE(treeText(), (QStringList{"Tools: Editor, Shell", "Games: Chess"}));
        QCOMPARE(tree()->currentItem(), item("Editor"));
    }

    // Edit and Delete act only on an application the user sees selected: closing its group
    // over it, with the arrow or the keyboard, leaves them nothing to act on.
    void actsOnlyOnWhatTheUserSees()
    {
        showForm();
        QCOMPARE(tree()->currentItem(), item("Editor"));
        clickArrowOf(item("Tools"));
        QVERIFY(!item("Tools")->isExpanded());
        QVERIFY(canNeither());
        QCOMPARE(modalsDuring([] {
                     QTest::mouseClick(button("cmdRemoveApp"), Qt::LeftButton);
                     QTest::mouseClick(button("cmdEdit"), Qt::LeftButton);
                 }),
                 QStringList{});
        // Chess selected, then cleared with Ctrl+click: nothing is highlighted.
        clickItem(item("Chess"));
        QVERIFY(canEditOrDelete());
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, centerOf(item("Chess")));
        QVERIFY(!item("Chess")->isSelected());
        QVERIFY(canNeither());
        QCOMPARE(m_apps->dump(), fixture);
    }

    // A list longer than the tree's room: the row the keyboard reaches stays in sight, as the
    // window opens and after it was filled again while the focus was on a button.
    void keyboardRowInSight()
    {
        m_apps->catalogue.setMaxApps(80);
        QStringList many;
        for (int i = 0; i < 80; ++i)
            many << QString("Many|Tool %1|/bin/true").arg(i, 2, 10, QChar('0'));
        m_apps->fill(many);
        showForm();
        QVERIFY(QTest::qWaitForWindowExposed(frmEditApps::instance()));
        const auto walk = [] {
            focusOn(tree());
            for (const Qt::Key key : {Qt::Key_End, Qt::Key_Home}) {
                press(key);
                QCOMPARE(tree()->currentItem()->text(0), key == Qt::Key_End ? "Tool 79" : "Tools");
                QVERIFY(tree()->viewport()->rect().contains(tree()->visualItemRect(tree()->currentItem())));
            }
        };
        walk();
        focusOn(button("cmdAddApp"));
        frmEditApps::instance()->FillTree();
        walk();
    }

    // After a delete the focus is where a second press, a bounce, or a double click deletes
    // nothing more.
    void secondPressDeletesNothing_data()
    {
        QTest::addColumn<BounceRow>("row");
        QTest::newRow("return-twice") << BounceRow{"return"};
        QTest::newRow("space-twice") << BounceRow{"space"};
        QTest::newRow("double-click") << BounceRow{"mouse"};
    }
    void secondPressDeletesNothing()
    {
        QFETCH(BounceRow, row);
        showForm();
        focusOn(tree());
        if (row.how == u"mouse") {
            doubleClick(button("cmdRemoveApp"), button("cmdRemoveApp")->rect().center());
        } else {
            tabTo("cmdRemoveApp");
            const Qt::Key key = row.how == u"return" ? Qt::Key_Return : Qt::Key_Space;
            QCOMPARE(modalsDuring([key] {
                         press(key);
                         press(key);
                     }),
                     QStringList{});
            QCOMPARE(focusName(), "tvGroup");
        }
        QCOMPARE(m_apps->dump(), (QStringList{fixture[1], fixture[2]}));
        QCOMPARE(tree()->currentItem(), item("Tools"));
        QVERIFY(canNeither());
    }

    // No button is the dialog's default: Return in a box presses none (no file dialog, no
    // picker, no OK), and the box keeps the focus; Escape still cancels.
    void returnInABoxPressesNoButton_data()
    {
        QTest::addColumn<QString>("box");
        for (const char *box : {"cboGroup", "txtAppName", "txtApp", "txtCmdLine"})
            QTest::newRow(box) << QString::fromLatin1(box);
    }
    void returnInABoxPressesNoButton()
    {
        QFETCH(QString, box);
        frmNewApp *dialog = loadDialog(m_apps.get(), {"Tools", "Vi", "/bin/vi", "-R", false});
        QStringList seen;
        whenModalShown("frmNewApp", [&](QWidget *shown) {
            play(shown, {"focus:" + box});
            seen << modalsDuring([] { press(Qt::Key_Return); });
            seen << QString::number(shown->isVisible()) << focusName();
            press(Qt::Key_Escape);
        });
        dialog->exec();
        QCOMPARE(seen, (QStringList{"1", box}));
        QVERIFY(dialog->Cancel());
    }

    // The group box takes the group as typed: no completion from the groups there are.
    void groupAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        for (const char *typed : {"Game", "games", "To", "Tools2", "Games"})
            QTest::newRow(typed) << QString::fromLatin1(typed);
    }
    void groupAsTyped()
    {
        QFETCH(QString, typed);
        frmNewApp *dialog = loadDialog(m_apps.get());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        play(dialog, {"focus:cboGroup", "type:" + typed, "key:Tab", "type:Vi", "key:Tab"});
        QCOMPARE(dialog->fields().group, typed);
        QCOMPARE(dialog->fields().name, "Vi");
    }

    // A host's image list without the text image: the rows go without an image.
    void pickerWithoutTheTextImage()
    {
        frmPlaceholders *picker = frmPlaceholders::Load(host(), ImageList());
        picker->setLaunchAppClass(m_apps.get());
        picker->show();
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        const QTreeWidgetItem *first = picker->findChild<QTreeWidget *>()->topLevelItem(0);
        QCOMPARE(first->text(0), "%FILE%");
        QVERIFY(first->icon(0).isNull());
    }

    // A list as large as its room needs no scroll bar; a pixel less, and the bar's room is added
    // across.
    void listThatJustFitsHasNoBar()
    {
        QTreeWidget list;
        list.setHeaderHidden(true);
        for (const char *name : {"Editor", "Shell", "Chess"})
            new QTreeWidgetItem(&list, QStringList{name});
        const QSize whole = ColumnFit::wholeSize(&list, QSize(10000, 10000));
        const int bar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
        QCOMPARE(ColumnFit::wholeSize(&list, QSize(10000, whole.height())), whole);
        QCOMPARE(ColumnFit::wholeSize(&list, QSize(10000, whole.height() - 1)),
                 QSize(whole.width() + bar, whole.height() - 1));
        QCOMPARE(ColumnFit::wholeSize(&list, QSize(whole.width(), 10000)), whole);
        QCOMPARE(ColumnFit::wholeSize(&list, QSize(whole.width() - 1, 10000)),
                 QSize(whole.width() - 1, whole.height() + bar));
    }

    // A double click below the rows does nothing: no dialog, no placeholder chosen.
    void doubleClickBelowTheRows()
    {
        showForm();
        QCOMPARE(modalsDuring([] { doubleClick(tree()->viewport(), belowTheRows(tree())); }), QStringList{});
        QCOMPARE(m_apps->dump(), fixture);

        frmPlaceholders *picker = frmPlaceholders::Load(host());
        picker->setLaunchAppClass(m_apps.get());
        picker->show();
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        auto *list = picker->findChild<QTreeWidget *>();
        // A flat list: its labels begin at its left edge, with no room kept for branches.
        QCOMPARE(list->visualItemRect(list->topLevelItem(0)).left(), 0);
        doubleClick(list->viewport(), belowTheRows(list));
        QVERIFY(picker->isVisible());
        // On a row it chooses that row.
        doubleClick(list->viewport(), centerOf(list->topLevelItem(1)));
        QVERIFY(!picker->isVisible());
        QCOMPARE(frmPlaceholders::SearchString(), "%USER%");
    }

    // Which character the message names: the first that ends a field or a line, opens a group
    // name as a comment or is a lone surrogate, in any box; only then one beyond Latin-1.
    void refusedCharacterNamed_data()
    {
        const QString high(QChar(0xD83D)), low(QChar(0xDE00)), pair = high + low;
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("found"); // "text:position:character", or nothing
        QTest::newRow("none") << QStringList{"Tools", "Caf\u00e9; Bar", "/bin/vi", "-x ;"} << QString();
        QTest::newRow("comma-after-a-pair") << QStringList{"Tools", pair + ",x"} << "1:2:,";
        QTest::newRow("line-break") << QStringList{"Tools", "Vi", "", "a\nb"} << "3:1:\n";
        QTest::newRow("null") << QStringList{"Tools", QString(QChar(0)) + "Vi"} << QString("1:0:") + QChar(0);
        QTest::newRow("comment-mark-after-blanks") << QStringList{" \t;Tools"} << "0:2:;";
        QTest::newRow("mark-after-a-letter") << QStringList{"T;ools"} << QString();
        QTest::newRow("field-end-before-latin-1") << QStringList{"C\u0153ur", "a,b"} << "1:1:,";
        QTest::newRow("beyond-latin-1") << QStringList{"Tools", "C\u0153ur"} << "1:1:\u0153";
        QTest::newRow("latin-1-to-its-end") << QStringList{"\u00ff\u0100"} << "0:1:\u0100";
        QTest::newRow("pair-beyond-latin-1") << QStringList{"Fun" + pair + "!"} << "0:3:" + pair;
        QTest::newRow("pair-at-the-end") << QStringList{"Fun" + pair} << "0:3:" + pair;
        QTest::newRow("high-at-the-end") << QStringList{"", "Vi" + high} << "1:2:" + high;
        QTest::newRow("high-before-a-letter") << QStringList{high + "a" + pair} << "0:0:" + high;
        QTest::newRow("two-highs") << QStringList{high + pair} << "0:0:" + high;
        QTest::newRow("low-at-the-start") << QStringList{low + "a"} << "0:0:" + low;
        QTest::newRow("low-after-a-letter") << QStringList{pair + "a" + low} << "0:3:" + low;
        QTest::newRow("low-after-a-pair") << QStringList{pair + low} << "0:2:" + low;
    }
    void refusedCharacterNamed()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, found);
        const std::optional<RefusedCharacter::Fault> fault = RefusedCharacter::find(texts);
        QCOMPARE(fault ? QString("%1:%2:%3").arg(fault->text).arg(fault->position).arg(fault->character) : QString(),
                 found);
    }

    // A text the launch list cannot hold is refused while the dialog is open: the message names
    // the character and its box, which gets the focus with the character selected; nothing
    // typed is lost, and the entry goes in once the user changed it.
    void refusedTextKeepsWhatWasTyped_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("caption");
        QTest::newRow("name-beyond-latin-1") << "txtAppName"
                                             << "C\u0153ur"
                                             << "\u0153 (U+0153)"
                                             << "Program Name";
        QTest::newRow("group-beyond-the-basic-plane") << "cboGroup"
                                                      << "Fun\U0001F600"
                                                      << "\U0001F600 (U+1F600)"
                                                      << "Program Group";
        QTest::newRow("group-opening-a-comment") << "cboGroup"
                                                 << ";Tools"
                                                 << "; (U+003B)"
                                                 << "Program Group";
        QTest::newRow("group-opening-a-comment-after-blanks") << "cboGroup"
                                                              << " \t;Tools"
                                                              << "; (U+003B)"
                                                              << "Program Group";
        // No comma can be typed, but a program chosen with Browse may have one in its path.
        QTest::newRow("browsed-path-with-a-comma") << "txtApp"
                                                   << "browse:a,b/tool"
                                                   << ", (U+002C)"
                                                   << "Program Path";
    }
    void refusedTextKeepsWhatWasTyped()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, character);
        QFETCH(QString, caption);
        QTemporaryDir folder;
        QStringList entered{"focus:" + box, "key:Ctrl+A", "clip:" + typed, "key:Ctrl+V"};
        if (typed.startsWith("browse:")) {
            typed = folder.filePath(typed.section(':', 1));
            QVERIFY(QDir().mkpath(QFileInfo(typed).path()) && QFile::copy("/bin/true", typed));
            entered = {"click:cmdBrowse"};
        }
        QStringList fields{"Tools", "Vi", "/bin/vi", "", "0"};
        fields[QStringList{"cboGroup", "txtAppName", "txtApp", "txtCmdLine"}.indexOf(box)] =
            typed.trimmed(); // as the dialog gives its fields
        const QString shownCharacter = character.section(' ', 0, 0);
        const QStringList expected{"The launch list cannot hold \u201C" + shownCharacter + "\u201D "
                                       + character.section(' ', 1) + " in \u201C" + caption
                                       + "\u201D. Please change it and choose OK again.",
                                   "1", box, shownCharacter, fields.join('|')};
        m_apps->latin1 = true;
        showForm();
        QStringList seen;
        whenModalShown("frmNewApp", [&](QWidget *dialog) {
            whenModalShown("msgRefusedText", [&](QWidget *box) {
                seen << static_cast<QMessageBox *>(box)->text();
                press(Qt::Key_Return);
            });
            if (entered == QStringList{"click:cmdBrowse"}) {
                whenModalShown("cdlgBrowse", [&](QWidget *shown) {
                    auto *name = shown->findChild<QLineEdit *>("fileNameEdit");
                    focusOn(name);
                    name->setText(typed);
                    press(Qt::Key_Return);
                });
            }
            play(dialog, QStringList{"focus:cboGroup", "type:Tools", "focus:txtAppName", "type:Vi", "focus:txtApp",
                                     "type:/bin/vi"}
                             + entered + QStringList{"click:cmdOK"});
            backTo(dialog);
            auto *combo = qobject_cast<QComboBox *>(focused());
            const QLineEdit *edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(focused());
            seen << QString::number(dialog->isVisible()) << focusName() << (edit ? edit->selectedText() : QString())
                 << asList(static_cast<frmNewApp *>(dialog)->fields()).join('|');
            if (seen != expected)
                return (void)dialog->close(); // the change below would go to another box
            play(dialog, {"key:Ctrl+A", "type:Fine", "click:cmdOK"});
        });
        QTest::mouseClick(button("cmdAddApp"), Qt::LeftButton);
        QCOMPARE(seen, expected);
        fields[QStringList{"cboGroup", "txtAppName", "txtApp", "txtCmdLine"}.indexOf(box)] = "Fine";
        QVERIFY2(m_apps->dump().contains(fields.join('|')), qPrintable(m_apps->dump().join(u'\n')));
    }

    // Our own texts follow the window language: the string table's German and French.
    void messagesInTheWindowLanguage_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<QString>("message");
        QTest::newRow("en") << Language::lEnglish
                            << "The program cannot be saved yet. Please fill in:\n• “Program Name”";
        QTest::newRow("de") << Language::lGerman
                            << "DEU:The program cannot be saved yet. Please fill in:\n• “DEU:Program Name”";
        QTest::newRow("fr") << Language::lFrench
                            << "FRA:The program cannot be saved yet. Please fill in:\n• “FRA:Program Name”";
    }
    void messagesInTheWindowLanguage()
    {
        QFETCH(Language, language);
        QFETCH(QString, message);
        Captions::setLanguage(language);
        frmNewApp *dialog = loadDialog(m_apps.get(), {"Tools", "", "/bin/vi", "", false});
        QString shown;
        whenModalShown("frmNewApp", [&](QWidget *window) {
            whenModalShown("msgIncompleteEntry", [&](QWidget *box) {
                shown = static_cast<QMessageBox *>(box)->text();
                press(Qt::Key_Return);
            });
            play(window, {"click:cmdOK", "close"});
        });
        dialog->exec();
        QCOMPARE(shown, message);
    }

    // Browse opens in the program's folder and lists the programs there (and folders); choosing
    // "All Files (*)" lists the other files too, and the chosen file goes into the box.
    void browseListsProgramsOrAllFiles()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::copy("/bin/true", folder.filePath("prog")) && QDir(folder.path()).mkdir("sub"));
        QFile notes(folder.filePath("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.close();
        frmNewApp *dialog = loadDialog(m_apps.get(), {"Tools", "Prog", folder.filePath("prog"), "", false});
        QStringList programs;
        QStringList all;
        whenModalShown("frmNewApp", [&](QWidget *window) {
            whenModalShown("cdlgBrowse", [&](QWidget *shown) {
                auto *browse = static_cast<QFileDialog *>(shown);
                QTRY_VERIFY_WITH_TIMEOUT(listedIn(browse).contains("prog"), 10000);
                programs = listedIn(browse);
                auto *types = browse->findChild<QComboBox *>("fileTypeCombo");
                focusOn(types);
                press(Qt::Key_End);
                QTRY_VERIFY_WITH_TIMEOUT(listedIn(browse).contains("notes.txt"), 10000);
                all = listedIn(browse);
                browse->selectFile(folder.filePath("notes.txt"));
                QMetaObject::invokeMethod(browse, "accept");
            });
            play(window, {"click:cmdBrowse", "close"});
        });
        dialog->exec();
        QCOMPARE(programs, (QStringList{"prog", "sub"}));
        QCOMPARE(all, (QStringList{"notes.txt", "prog", "sub"}));
        QCOMPARE(dialog->fields().path, folder.filePath("notes.txt"));
    }

    // What cannot be done is said in the user's words, and the tree shows what is.
    void refusalsInTheUsersWords_data()
    {
        QTest::addColumn<RefusalRow>("row");
        const QStringList all{"Tools: Editor, Shell", "Games: Chess"};
        QTest::newRow("list-full") << RefusalRow{
            2,  5,
            "", "Office|Writer|/usr/bin/lowriter",
            "", "“Writer” was not added to “Office”: the list already holds 2 groups, as many as it may.",
            all};
        QTest::newRow("group-full") << RefusalRow{
            5,  2,
            "", "Tools|Writer|/usr/bin/lowriter",
            "", "“Writer” was not added to “Tools”: the group already holds 2 programs, as many as it may.",
            all};
        QTest::newRow("move-into-full-group") << RefusalRow{
            5,       2,
            "Chess", "Tools|Chess|/usr/games/chess",
            "",      "“Chess” was not moved to “Tools”: the group already holds 2 programs, as many as it may.",
            all};
        QTest::newRow("deleted-by-the-host-meanwhile") << RefusalRow{5,
                                                                     5,
                                                                     "Editor",
                                                                     "Tools|Editor|/bin/vi",
                                                                     "host-deletes",
                                                                     "“Editor” no longer exists in “Tools”.",
                                                                     {"Tools: Shell", "Games: Chess"}};
        QTest::newRow("deleted-before-the-edit")
            << RefusalRow{5, 5, "Chess", "", "stale", "“Chess” no longer exists in “Games”.", {"Tools: Editor, Shell"}};
        QTest::newRow("edit-not-written") << RefusalRow{5,
                                                        5,
                                                        "Editor",
                                                        "Tools|Editor|/bin/vi",
                                                        "not-written",
                                                        "“Editor” in “Tools” was not changed: the disk is full.",
                                                        all};
        QTest::newRow("add-not-written") << RefusalRow{
            5, 5, "", "Tools|Vim|/bin/vim", "not-written", "“Vim” was not added to “Tools”: the disk is full.", all};
    }
    void refusalsInTheUsersWords()
    {
        QFETCH(RefusalRow, row);
        m_apps->catalogue.setMaxGroups(row.maxGroups);
        m_apps->catalogue.setMaxApps(row.maxApps);
        showForm();
        if (row.happening == u"stale")
            QVERIFY(m_apps->remove("Games", row.entry));
        if (row.happening == u"not-written")
            m_apps->failing = ComponentError(ErrorCode::DeviceIOError, QStringLiteral("the disk is full"));
        if (!row.typed.isEmpty()) {
            whenModalShown("frmNewApp", [&](QWidget *dialog) {
                if (row.happening == u"host-deletes")
                    QVERIFY(m_apps->remove("Tools", row.entry));
                const QStringList fields = row.typed.split('|');
                fillDialog(dialog, {fields[0], fields[1], fields[2], {}, false}, "ok");
            });
        }
        QStringList messages;
        const bool limit = row.message.contains("as many as it may");
        whenModalShown(limit ? "msgLimitReached" : "msgComponentError", [&](QWidget *box) {
            messages << static_cast<QMessageBox *>(box)->text();
            press(Qt::Key_Return);
        });
        frmEditApps::instance()->activateWindow();
        if (row.entry.isEmpty())
            QTest::mouseClick(button("cmdAddApp"), Qt::LeftButton);
        else
            doubleClick(tree()->viewport(), centerOf(item(row.entry)));
        QCOMPARE(messages, QStringList{row.message});
        QVERIFY(frmEditApps::instance() && !frmNewApp::instance());
        QCOMPARE(treeText(), row.tree);
    }

    // The window's life: the close box, an owner, unloading, a second catalogue, unloading
    // while the dialog is open.
    void programListLife()
    {
        showForm();
        QPointer<frmEditApps> window = frmEditApps::instance();
        QVERIFY(window->close());
        QVERIFY(!frmEditApps::instance());
        QTRY_VERIFY(!window);

        QWidget owner;
        owner.show();
        showForm(0, &owner);
        window = frmEditApps::instance();
        QVERIFY(window->parentWidget() == &owner && window->isWindow());
        QCOMPARE(window->windowModality(), Qt::NonModal);
        QCOMPARE(attempt([&] { showForm(2); }).error().code(), ErrorCode::InvalidArgument);
        // Another catalogue takes the window over: from now on it edits that one only.
        MemoryEntries other;
        other.fill({"Net|Browser|/usr/bin/firefox"});
        frmEditApps::ShowFor(&other, 0, nullptr);
        QCOMPARE(frmEditApps::instance(), window);
        QCOMPARE(treeText(), QStringList{"Net: Browser"});
        clickItem(item("Browser"));
        QTest::mouseClick(button("cmdRemoveApp"), Qt::LeftButton);
        QCOMPARE(other.catalogue.groupCount(), qint16(0));
        QCOMPARE(m_apps->catalogue.groupCount(), qint16(2));
        frmEditApps::Unload();
        QVERIFY(!window);
        frmEditApps::Unload();

        // Unloaded while the dialog is open (the release does that): the dialog goes first, the
        // open show returns.
        showForm();
        whenModalShown("frmNewApp", [&](QWidget *) { frmEditApps::Unload(); });
        QTest::mouseClick(button("cmdAddApp"), Qt::LeftButton);
        QVERIFY(!frmNewApp::instance() && !frmEditApps::instance());
    }

    // With an owner the program list is the owner's transient child, opens centred over it
    // (kept on the screen), and Escape closes it from whatever has the focus.
    void ownedWindow_data()
    {
        QTest::addColumn<OwnedRow>("row");
        const QRect middle(300, 200, 1000, 700);
        for (const bool modal : {false, true}) {
            for (const char *focus : {"tvGroup", "cmdAddApp", "cmdEdit", "cmdRemoveApp", ""}) {
                QTest::addRow("%s-%s", modal ? "modal" : "modeless", *focus ? focus : "window")
                    << OwnedRow{modal, middle, QString::fromLatin1(focus)};
            }
        }
        QTest::newRow("owner-at-the-screen-corner") << OwnedRow{false, QRect(1800, 1000, 300, 200), "tvGroup"};
        // The window already open, elsewhere, is given to an owner.
        QTest::newRow("open-window-given-an-owner") << OwnedRow{true, middle, "tvGroup", true};
    }
    void ownedWindow()
    {
        QFETCH(OwnedRow, row);
        QWidget owner;
        owner.setGeometry(row.owner);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        if (row.openBefore) {
            showForm();
            frmEditApps::instance()->move(0, 0);
        }
        QStringList seen;
        const auto check = [&](QWidget *window) {
            seen << QString::number(window->windowHandle()->transientParent() == owner.windowHandle());
            // A position the program gave, which an X11 window manager keeps (USPosition),
            // where one Qt chose by itself is the window manager's to change.
            seen << QString::number(window->testAttribute(Qt::WA_Moved));
            const QRect room = window->screen()->availableGeometry();
            const QRect frame = window->frameGeometry();
            if (room.contains(row.owner)) {
                const QPoint off = frame.center() - owner.frameGeometry().center();
                seen << QString::number(off.manhattanLength() <= 4);
            } else {
                seen << QString::number(room.contains(frame));
            }
            QWidget *focus = row.focus.isEmpty() ? window : window->findChild<QWidget *>(row.focus);
            focusOn(focus);
            press(Qt::Key_Escape);
        };
        if (row.modal) {
            whenModalShown("frmEditApps", check);
            showForm(1, &owner);
        } else {
            showForm(0, &owner);
            QVERIFY(QTest::qWaitForWindowActive(frmEditApps::instance()));
            check(frmEditApps::instance());
        }
        QCOMPARE(seen, (QStringList{"1", "1", "1"}));
        QVERIFY(!frmEditApps::instance());
    }

    // Texts come in the language of the moment a window is loaded.
    void languages()
    {
        Captions::setLanguage(Language::lGerman);
        showForm();
        QCOMPARE(frmEditApps::instance()->windowTitle(), "DEU:Configure Launch Application");
        // French from now on: the loaded window keeps its texts, the dialog loaded afterwards
        // is French.
        Captions::setLanguage(Language::lFrench);
        QCOMPARE(button("cmdAddApp")->text(), "DEU:&Add Program");
        QStringList texts;
        whenModalShown("frmNewApp", [&](QWidget *dialog) {
            texts << dialog->windowTitle() << dialog->findChild<QWidget *>("cboGroup")->toolTip();
            fillDialog(dialog, {}, "close");
        });
        QTest::mouseClick(button("cmdAddApp"), Qt::LeftButton);
        QCOMPARE(texts, (QStringList{"FRA:Add New Application",
                                     "FRA:Select a group to add the program to or enter a new group"}));
    }

    // What may be typed or pasted into a box: its length, and nothing a launch list cannot hold.
    void typing_data()
    {
        QTest::addColumn<TypingRow>("row");
        const QString full = "abcdefghijklmnopqrst";
        QTest::newRow("full-box-editing-keys") << TypingRow{
            "cboGroup", full, "key:Home type:Z key:Delete key:End key:Left key:Backspace", "bcdefghijklmnopqrt"};
        QTest::newRow("longer-stored-group-cut-when-typing")
            << TypingRow{"cboGroup", "A group name of 26 chars.", "key:Backspace type:Z", "A group name of 26 c"};
        QTest::newRow("paste-past-the-limit-refused") << TypingRow{
            "txtAppName", "0123456789012345", "clip:abcde key:Ctrl+V clip:abcd key:Ctrl+V", "0123456789012345abcd"};
        QTest::newRow("full-box-emptied") << TypingRow{"cboGroup", full, "key:Ctrl+A key:Delete", ""};
        // A program's path and its command line take 255 characters.
        const QString path(254, 'p');
        QTest::newRow("path-typed-to-its-limit") << TypingRow{"txtApp", path, "type:ab", path + 'a'};
        const QString command(250, 'c');
        QTest::newRow("command-pasted-to-its-limit")
            << TypingRow{"txtCmdLine", command, "clip:123456 key:Ctrl+V clip:12345 key:Ctrl+V", command + "12345"};
        QTest::newRow("comma-and-line-break-refused")
            << TypingRow{"txtCmdLine", "-w", "type:_a,b clip:c\\nd key:Ctrl+V clip:c;d key:Ctrl+V", "-w_abc;d"};
    }
    void typing()
    {
        QFETCH(TypingRow, row);
        frmNewApp *dialog = loadDialog(nullptr);
        if (auto *group = dialog->findChild<QComboBox *>(row.box))
            group->setEditText(row.stored);
        else
            dialog->findChild<QLineEdit *>(row.box)->setText(row.stored);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        play(dialog, ("focus:" + row.box + ' ' + row.steps).split(' '));
        const int field = QStringList{"cboGroup", "txtAppName", "txtApp", "txtCmdLine"}.indexOf(row.box);
        QCOMPARE(asList(dialog->fields()).value(field), row.text);
        QCOMPARE(focusName(), row.box);
    }

    // OK takes an entry with a group, a name and a path or a command line, blanks trimmed.
    void okNeedsGroupNameAndProgram_data()
    {
        QTest::addColumn<OkRow>("row");
        QTest::newRow("all-blank") << OkRow{
            {" ", "\t", "", "", false},
            {"• “Program Group”", "• “Program Name”", "• “Program Path” or “Command Line”"}};
        QTest::newRow("blanks-at-the-ends-dropped")
            << OkRow{{" Tools\t", "\tVi ", " /bin/vi ", " -R  ", false}, {}, "Tools|Vi|/bin/vi|-R"};
    }
    void okNeedsGroupNameAndProgram()
    {
        QFETCH(OkRow, row);
        const QStringList missing = row.missing;
        frmNewApp *dialog = loadDialog(nullptr, row.typed);
        QString message;
        whenModalShown("frmNewApp", [&](QWidget *shown) {
            if (!missing.isEmpty()) {
                whenModalShown("msgIncompleteEntry", [&](QWidget *box) {
                    message = static_cast<QMessageBox *>(box)->text();
                    press(Qt::Key_Return);
                });
            }
            play(shown, {"click:cmdOK"});
            if (shown->isVisible())
                shown->close();
        });
        dialog->exec();
        QCOMPARE(dialog->Cancel(), !missing.isEmpty());
        QCOMPARE(message.split('\n').mid(1), missing);
        if (!row.taken.isEmpty())
            QCOMPARE(asList(dialog->fields()).mid(0, 4).join('|'), row.taken);
    }

    // In every language, at 9 to 16 points (and, run again with QT_SCALE_FACTOR 1.5 and 2, at
    // 150 % and 200 %), on a full HD screen: every caption, header and row whole.
    void layout_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<int>("points");
        for (auto [language, name] :
             {std::pair{Language::lEnglish, "en"}, {Language::lGerman, "de"}, {Language::lFrench, "fr"}}) {
            for (int points : {9, 11, 14, 16})
                QTest::addRow("%s-%dpt", name, points) << language << points;
        }
    }
    // A window whose layout needs more than the screen has opens no larger than the screen's
    // room, and one that fits keeps the least size its layout gives.
    void resizedWithinTheScreen_data()
    {
        QTest::addColumn<double>("screens"); // the content's least size, in screens
        QTest::newRow("larger-than-the-screen") << 1.5;
        QTest::newRow("fits") << 0.25;
    }
    void resizedWithinTheScreen()
    {
        QFETCH(double, screens);
        QWidget window;
        const QSize room = ScreenFit::availableSize(&window);
        auto *layout = new QVBoxLayout(&window);
        auto *content = new QWidget;
        content->setMinimumSize(room * screens);
        layout->addWidget(content);
        ScreenFit::resizeWithin(&window, room * 2);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), room);
        if (screens > 1)
            return;
        content->setMinimumSize(room * screens / 2); // a smaller font: the window may shrink again
        layout->activate();
        window.resize(QSize(1, 1));
        QCOMPARE(window.size(), window.minimumSizeHint());
    }

    // The dialog made wider by the user: the text boxes take the room.
    void dialogFieldsTakeTheRoomGiven()
    {
        frmNewApp *dialog = loadDialog(m_apps.get());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const auto *path = dialog->findChild<QLineEdit *>("txtApp");
        const int before = path->width();
        dialog->resize(dialog->width() + 200, dialog->height());
        QTRY_VERIFY_WITH_TIMEOUT(path->width() >= before + 150, 5000);
    }

    // On a screen smaller than the windows at 16 points (run on 800x480 at 200 %): no window
    // opens larger than the screen, and the dialog scrolls to the buttons the keyboard reaches.
    void smallScreen()
    {
        QFont font = QApplication::font();
        font.setPointSize(16);
        QApplication::setFont(font);
        showForm();
        frmNewApp *dialog = frmNewApp::Load(frmEditApps::instance());
        dialog->setLaunchAppClass(m_apps.get());
        frmPlaceholders *picker = frmPlaceholders::Load(dialog);
        picker->setLaunchAppClass(m_apps.get());
        const QSize room = dialog->screen()->availableSize();
        for (QWidget *window : std::initializer_list<QWidget *>{frmEditApps::instance(), dialog, picker})
            QVERIFY2(window->width() <= room.width() && window->height() <= room.height(),
                     qPrintable(window->objectName()));
        if (qEnvironmentVariable("LANYARD_SCREEN") == u"small")
            QVERIFY2(dialog->findChild<QWidget *>("Frame1")->minimumSizeHint().height() > room.height(),
                     "the screen is not small");
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        for (const char *name : {"cmdOK", "cmdCancel"}) {
            tabTo(QString::fromLatin1(name));
            QVERIFY2(!dialog->findChild<QWidget *>(name)->visibleRegion().isEmpty(), name);
        }
    }

    void layout()
    {
        QFETCH(Language, language);
        QFETCH(int, points);
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        Captions::setLanguage(language);
        // A name past Latin-1 starting at its first character, U+0100, is measured whole too.
        m_apps->fill({"Tools|Open with default application|/usr/bin/xdg-open|%FILE%",
                      "Tools|\u0100dažu karte|/usr/bin/xdg-open|%FILE%"});
        m_apps->placeholders.append(
            LaunchEntries::Placeholder{"%SELECTION%", "the words the user marked in the report"});
        showForm();
        frmNewApp *dialog = frmNewApp::Load(frmEditApps::instance());
        dialog->setWindowTitle(Captions::text(TextId::EditCaption));
        dialog->setLaunchAppClass(m_apps.get());
        frmPlaceholders *picker = frmPlaceholders::Load(dialog);
        picker->setLaunchAppClass(m_apps.get());
        for (QWidget *window : std::initializer_list<QWidget *>{frmEditApps::instance(), dialog, picker}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCOMPARE(window->devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
            checkLayout(window, points);
        }
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_windows.moc"
