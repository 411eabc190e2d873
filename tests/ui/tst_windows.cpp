// SPDX-License-Identifier: MIT
// The three windows as their users meet them: a seeded walk of slips against a plain model, a keyboard story, layouts.
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
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QToolTip>
#include <QVBoxLayout>

using namespace Lanyard;
using namespace UiTest;

namespace {

const QStringList fixture{"Tools|Editor|/usr/bin/nano|%FILE%|0", "Tools|Shell|/bin/sh||-1",
                          "Games|Chess|/bin/chess||0"};
const QStringList boxes{"cboGroup", "txtAppName", "txtApp", "txtCmdLine"};

QWidget *window() { return frmEditApps::instance(); }
QTreeWidget *tree() { return window()->findChild<QTreeWidget *>("tvGroup"); }
QPushButton *button(const char *name) { return window()->findChild<QPushButton *>(name); }
QStringList asList(const frmNewApp::Fields &f)
{
    return {f.group, f.name, f.path, f.cmdLine, f.isProtected ? "-1" : "0"};
}

QStringList treeText()
{
    QStringList rows;
    for (QTreeWidgetItemIterator it(tree()); *it; ++it)
        rows << ((*it)->parent() ? (*it)->parent()->text(0) + '|' : QString()) + (*it)->text(0);
    return rows;
}

/// Every header and cell whole: as wide as its delegate asks, inside the viewport.
void checkWhole(const QTreeView *view, const QModelIndex &parent = {})
{
    const QAbstractItemModel *model = view->model();
    for (int column = 0; !parent.isValid() && !view->header()->isHidden() && column < model->columnCount(); ++column)
        QVERIFY(view->header()->sectionSize(column) >= view->header()->sectionSizeHint(column));
    for (int row = 0; row < model->rowCount(parent); ++row) {
        for (int column = 0; column < model->columnCount(parent); ++column) {
            const QModelIndex index = model->index(row, column, parent);
            QVERIFY2(view->visualRect(index).width() >= view->sizeHintForIndex(index).width()
                         && view->visualRect(index).right() < view->viewport()->width(),
                     qPrintable(index.data().toString()));
        }
        checkWhole(view, model->index(row, 0, parent));
    }
}

/// Captions whole, text boxes high enough and named, no control below its classic room (twips) nor over another.
void checkLayout(QWidget *window, int points)
{
    const QHash<QString, QSize> twips{{"frmEditApps", {4545, 2820}},   {"tvGroup", {2535, 2535}},
                                      {"frmNewApp", {5535, 4305}},     {"txtApp", {5055, 285}},
                                      {"txtCmdLine", {5055, 285}},     {"frmPlaceholders", {5400, 3000}},
                                      {"lvPlaceholders", {5160, 2760}}};
    QList<QWidget *> controls, all = window->findChildren<QWidget *>() << window;
    for (QWidget *control : all) {
        // Not the controls of a dialog it owns, nor the line edit inside a combo box.
        if (control->window() != window || (control != window && control->parentWidget()->inherits("QComboBox"))
            || !control->isVisible())
            continue;
        const QString name = control->objectName() + " (" + control->property("text").toString() + ')';
        const bool isTextBox = control->inherits("QLineEdit") || control->inherits("QComboBox");
        const QSize least = (QSizeF(twips.value(control->objectName())) * control->logicalDpiX() / 1440.0).toSize();
        QVERIFY2(control->size().expandedTo(least) == control->size(), qPrintable(name));
        if (control->inherits("QAbstractButton") || control->inherits("QLabel")) {
            QCOMPARE(control->font().pointSize(), points);
            QVERIFY2(control->size().expandedTo(control->sizeHint()) == control->size(), qPrintable(name));
        } else if (isTextBox || control->inherits("QTreeWidget")) {
            const QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(control);
            QVERIFY2(!isTextBox || control->height() >= control->sizeHint().height(), qPrintable(name));
            QVERIFY2(!heard->text(QAccessible::Name).isEmpty(), qPrintable(name));
            QCOMPARE(heard->text(QAccessible::Description), control->toolTip());
            if (auto *view = qobject_cast<QTreeView *>(control))
                checkWhole(view);
        } else
            continue;
        for (const QWidget *other : controls)
            QVERIFY2(!QRect(control->mapTo(window, QPoint()), control->size())
                          .intersects({other->mapTo(window, QPoint()), other->size()}),
                     qPrintable(name + " overlaps " + other->objectName()));
        controls << control;
    }
}

} // namespace

class tst_Windows : public QObject
{
    Q_OBJECT

    std::unique_ptr<MemoryEntries> m_apps;
    // The walk: the model (as dump() lists it), the windows a step must show, the entry edited ("" adds).
    uint m_seed = 0;
    QRandomGenerator m_random;
    int m_maxApps = 4, m_fresh = 0;
    QStringList m_model, m_steps, m_expected;
    QString m_wrong, m_editing, m_picked;

    void showForm(qint32 modal = 0, QWidget *owner = nullptr) { frmEditApps::ShowFor(m_apps.get(), modal, owner); }
    int pick(qsizetype n) { return int(m_random.bounded(int(n))); }
    QString any(const QStringList &list) { return list.at(pick(list.size())); }
    void expect(bool holds, const QString &what) { m_wrong = m_wrong.isEmpty() && !holds ? what : m_wrong; }
    QStringList entriesOf(const QString &prefix) const
    {
        return QStringList(m_model).filter(QRegularExpression('^' + QRegularExpression::escape(prefix)));
    }
    QStringList groups() const
    {
        QStringList names = QStringList(m_model).replaceInStrings(QRegularExpression("\\|.*"), "");
        return names.removeDuplicates(), names;
    }
    QString entryOf(const QTreeWidgetItem *row) const
    {
        return row && row->parent() ? entriesOf(row->parent()->text(0) + '|' + row->text(0) + '|').value(0) : QString();
    }
    static bool inSight()
    {
        return !tree()->currentItem()
               || tree()->viewport()->rect().contains(tree()->visualItemRect(tree()->currentItem()));
    }
    /// A message box's text about @p entry: %1 its name, %2 its group.
    static QString told(const QString &text, const QString &entry)
    {
        return "msgComponentError: " + QString(text).arg(entry.section('|', 1, 1), entry.section('|', 0, 0));
    }
    /// Puts OK's @p fields for m_editing into the model; the message the window then shows, or "".
    QString store(const QStringList &fields)
    {
        const QString entry = fields.join('|'), was = m_editing, group = fields[0];
        const QStringList in = entriesOf(group + '|');
        if (!was.isEmpty() && !m_model.contains(was))
            return told("“%1” no longer exists in “%2”.", was);
        if (m_apps->failing)
            return told(was.isEmpty() ? "“%1” was not added to “%2”: the disk is full."
                                      : "“%1” in “%2” was not changed: the disk is full.",
                        was.isEmpty() ? entry : was);
        if (!was.isEmpty() && was.section('|', 0, 0) == group)
            return m_model.replace(m_model.indexOf(was), entry), QString();
        if (in.isEmpty() ? groups().size() >= 3 : in.size() >= m_maxApps)
            return told(was.isEmpty() ? "“%1” was not added to “%2”: " : "“%1” was not moved to “%2”: ",
                        group + '|' + (was.isEmpty() ? entry : was).section('|', 1, 1))
                       .replace("msgComponentError", "msgLimitReached")
                   + (in.isEmpty() ? "the list already holds 3 groups"
                                   : QString("the group already holds %1 programs").arg(m_maxApps))
                   + ", as many as it may.";
        m_model.insert(in.isEmpty() ? m_model.size() : m_model.indexOf(in.last()) + 1, entry);
        m_model.removeOne(was);
        return {};
    }

    void step(const QString &steps, const std::function<void()> &before = {}, const std::function<void()> &after = {})
    {
        backTo(window()), m_steps << steps, m_expected.clear(), m_wrong.clear(), m_editing.clear();
        const QStringList shown = messagesDuring(
            [&] {
                before ? before() : void();
                play(window(), steps.split(','));
                after ? after() : void();
            },
            {{"frmNewApp", [this](QWidget *w) { walkDialog(w); }},
             {"frmPlaceholders", [this](QWidget *w) {
                  const int how = pick(4); // the first row chosen, or a double click below the rows and Escape
                  m_picked = how < 3 ? "%FILE%" : "";
                  play(w, QStringList{"key:Return", "key:Space", "dclick:lvPlaceholders/%FILE%",
                                      "dclick:lvPlaceholders/,key:Escape"}[how]
                              .split(','));
              }}});
        QStringList shows; // the model as treeText() shows it
        for (const QString &entry : m_model)
            shows << QStringList{entry.section('|', 0, 0)}.mid(shows.contains(entry.section('|', 0, 0)))
                  << entry.section('|', 0, 1);
        const QTreeWidgetItem *current = tree()->currentItem();
        const QList<QTreeWidgetItem *> selected = tree()->selectedItems();
        const bool acts = selected.size() == 1 && !entryOf(selected[0]).isEmpty()
                          && selected[0]->parent()->isExpanded();
        expect(shown == m_expected, "shown: " + shown.join(" / ") + "\nexpected: " + m_expected.join(" / "));
        expect(m_apps->dump() == m_model, "the catalogue holds " + m_apps->dump().join(", "));
        expect(treeText() == shows, "the tree shows " + treeText().join("; "));
        expect(!current || !current->parent() || current->parent()->isExpanded(),
               "the current row is in a closed group");
        expect(button("cmdEdit")->isEnabled() == acts && button("cmdRemoveApp")->isEnabled() == acts,
               "Edit and Delete do not follow the highlight");
        if (!m_wrong.isEmpty() || QTest::currentTestFailed()) // printed whole: a test's message is cut short
            qInfo().noquote() << m_wrong + QString("\nafter these steps (LANYARD_SEED=%1):\n").arg(m_seed)
                                     + m_steps.join('\n');
        QVERIFY2(m_wrong.isEmpty() && !QTest::currentTestFailed(), qPrintable(m_wrong.left(200)));
    }

    /// A random step on what is highlighted, hidden or deleted meanwhile by the host; a fill elsewhere; a full disk.
    void walkStep()
    {
        QList<QTreeWidgetItem *> rows;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            if ((!(*it)->parent() || (*it)->parent()->isExpanded())
                && tree()->viewport()->rect().contains(centerOf(*it)))
                rows << *it;
        // The row clicked: a group's for the arrows and double clicks half the time, the current one with Ctrl.
        const int door = pick(20);
        QList<QTreeWidgetItem *> groupRows;
        QTreeWidgetItem *current = tree()->currentItem(), *row = rows.isEmpty() ? nullptr : rows.at(pick(rows.size()));
        for (QTreeWidgetItem *shown : rows) // the arrows: a group the current row is not in
            groupRows << (shown->parent() || (door == 7 && current && (current == shown || current->parent() == shown))
                              ? QList<QTreeWidgetItem *>()
                              : QList{shown});
        row = (door == 7 || door == 8) && !groupRows.isEmpty() && pick(2) ? groupRows.at(pick(groupRows.size())) : row;
        row = door == 6 && rows.contains(current) && pick(2) ? current : row;
        QTreeWidgetItem *group = row && row->parent() ? row->parent() : row,
                        *selected = tree()->selectedItems().value(0);
        const QString name = row ? row->text(0) : "", typed = name.left(1 + pick(name.size() + 1));
        const QString seen = selected && selected->parent() && selected->parent()->isExpanded() ? entryOf(selected)
                                                                                                : "";
        const QStringList doors =
            QString("focus:tvGroup,key:%1;focus:tvGroup,type:%2;key:%3;focus:%4,key:Escape;focus:cmdAddApp;"
                    "click:tvGroup/%5;ctrl:tvGroup/%5;arrow:tvGroup/%5;dclick:tvGroup/%5;dclick:tvGroup/;"
                    "click:cmdRemoveApp;dclick:cmdRemoveApp;focus:cmdRemoveApp,key:Return,key:Return;"
                    "focus:cmdRemoveApp,key:Space,key:Space;click:cmdEdit;focus:cmdEdit,key:Return;"
                    "focus:tvGroup,key:Return;focus:tvGroup,key:Space;click:cmdAddApp;focus:cmdAddApp,key:Space")
                .arg(any({"Up", "Down", "Home", "End", "Left", "Right", "PgUp", "PgDown"}),
                     pick(2) ? typed : typed.toLower(), any({"Tab", "Shift+Tab"}),
                     any({"frmEditApps", "tvGroup", "cmdAddApp"}), name)
                .split(';');
        const bool removes = door >= 10 && door < 14, edits = door >= 14 && door < 18, adds = door >= 18;
        const QPoint below(tree()->viewport()->width() / 2, tree()->viewport()->height() - 4);
        if ((!row && door >= 5 && door < 9) || (door == 9 && tree()->itemAt(below))
            || (door == 7 && !rows.contains(group)) || (seen.isEmpty() && (door == 12 || door == 13 || door == 15)))
            return; // nothing to click, or a button the keyboard does not reach while it is off
        const bool full = pick(5) == 0, stale = !full && !seen.isEmpty() && (removes || edits) && pick(3) == 0;
        const bool open = group && group->isExpanded(), onGroup = row == group,
                   hides = current && current->parent() == group && open;
        const QString target = door == 8 ? entryOf(row) : removes || edits ? seen : QString();
        step(
            doors[door],
            [=, this] {
                m_steps.last() += full ? " (the disk full)" : stale ? " (the host deleted the entry)" : "";
                if (stale)
                    QVERIFY((m_model.removeOne(target), m_expected << told("“%1” no longer exists in “%2”.", target),
                             m_apps->remove(target.section('|', 0, 0), target.section('|', 1, 1))));
                m_apps->failing = full ? std::optional(ComponentError(ErrorCode::DeviceIOError, "the disk is full"))
                                       : std::nullopt;
                if (removes && !target.isEmpty() && !stale)
                    full ? void(m_expected << told("“%1” was not deleted from “%2”: the disk is full.", target))
                         : void(m_model.removeOne(target));
                if (adds || (!target.isEmpty() && !stale && (edits || door == 8)))
                    m_editing = target, m_expected << "frmNewApp";
            },
            [=, this] {
                m_apps->failing.reset();
                door == 3 ? expect(!frmEditApps::instance(), "Escape left the window open"), showForm() : void();
                door == 4 ? frmEditApps::instance()->FillTree() : void(); // a fill while a button has the focus
                expect(door > 1 || inSight(), "the row the keyboard reached is out of sight");
                expect(door != 7 || tree()->currentItem() == (hides ? group : current),
                       "opening or closing a group moved the highlight");
                expect(door != 8 || !onGroup || group->isExpanded() != open,
                       "a double click on a group did not open or close it");
            });
    }

    /// The dialog for m_editing: boxes retyped, typed or pasted past their limits; the picker; OK, Cancel or Escape.
    void walkDialog(QWidget *dialog)
    {
        QStringList raw = m_editing.isEmpty() ? QStringList{"", "", "", "", "0"} : m_editing.split('|'); // the boxes
        const auto trimmed = [&] { return QStringList(raw).replaceInStrings(QRegularExpression("^ +| +$"), ""); };
        expect(asList(static_cast<frmNewApp *>(dialog)->fields()) == raw, "the dialog opened with other fields");
        if (!m_editing.isEmpty() && !m_apps->failing && pick(8) == 0)
            QVERIFY((m_steps << "  the host deletes the entry", m_model.removeOne(m_editing),
                     m_apps->remove(raw[0], raw[1])));
        for (int round = 0; round < 8; ++round) {
            const bool filling = m_editing.isEmpty() && round < 3 && pick(4); // an add mostly fills its boxes first
            const int box = filling ? round : pick(4), action = round == 7 ? 7 : filling ? pick(2) : pick(8);
            const QString group = groups().value(pick(groups().size() + 1), "G"), fresh = QString::number(++m_fresh);
            const QString text = QStringList{any({group, group.chopped(1), group.toLower(), group + '2', 'G' + fresh}),
                                             'P' + fresh, "/bin/p" + fresh, "-x" + fresh}[box];
            const int limit = box < 2 ? 20 : 255; // a comma is refused as typed, a paste holding one or too long whole
            const QString typed = any({text, text + ",x", ' ' + text + ' ', "", text.leftJustified(limit + 4, 'y'),
                                       text.leftJustified(limit, 'y')});
            const QStringList steps =
                QString("focus:%1|key:Ctrl+A|key:Delete|type:%2;focus:%1|key:Ctrl+A|key:Delete|clip:%2|key:Ctrl+V;"
                        "focus:cbProtected|key:Space;focus:%1|key:Return;click:cmdInsertKeyword;click:cmdOK;"
                        "focus:cmdOK|key:%3;%4")
                    .arg(boxes[box], typed, any({"Return", "Space"}),
                         any({"focus:" + boxes[box] + "|key:Escape", "close", "click:cmdCancel"}))
                    .split(';');
            m_steps << "  " + QString(steps[action]).replace(QRegularExpression("y{9,}"), "yyyyyyyy…");
            const QStringList f = trimmed();
            QStringList missing{f[0].isEmpty() ? "• “Program Group”" : "", f[1].isEmpty() ? "• “Program Name”" : "",
                                f[2].isEmpty() && f[3].isEmpty() ? "• “Program Path” or “Command Line”" : ""};
            const QString first = boxes.value(missing.indexOf(QRegularExpression(".+")));
            missing.removeAll("");
            const bool ok = action == 5 || action == 6, stays = ok ? !first.isEmpty() : action < 7;
            const QString later = ok && first.isEmpty() ? store(f) : QString();
            if (action == 4)
                m_expected << "frmPlaceholders";
            if (ok && !first.isEmpty())
                m_expected << "msgIncompleteEntry: The program cannot be saved yet. Please fill in:\n"
                                  + missing.join('\n');
            m_picked.clear(), play(dialog, steps[action].split('|'));
            raw[box] = action == 0 ? QString(typed).remove(',').left(limit)
                       : action == 1 && !typed.contains(',') && typed.size() <= limit ? typed
                       : action == 1                                                  ? ""
                                                                                      : raw[box];
            raw[3] += m_picked, raw[4] = action == 2 ? QString(raw[4] == "0" ? "-1" : "0") : raw[4];
            expect(action != 3 || focusName() == boxes[box], "Return in a box moved the focus");
            expect(dialog->isVisible() == stays, stays ? "the dialog left" : "the dialog stayed");
            const QStringList holds = asList(static_cast<frmNewApp *>(dialog)->fields());
            expect(!stays || holds == trimmed(), "the boxes hold " + holds.join('|'));
            expect(!ok || !stays || (dialog->focusWidget() && dialog->focusWidget()->objectName() == first),
                   "the focus is not on " + first);
            if (!stays)
                return void(m_expected << QStringList{later}.filter(QRegularExpression(".")));
        }
    }

private Q_SLOTS:
    void init()
    {
        m_apps = std::make_unique<MemoryEntries>(), m_apps->fill(fixture);
        m_apps->placeholders = {{"%FILE%", "/home/ann/report.txt"}, {"%USER%", "ann"}, {"%DATE%", "2024-05-01"}};
    }
    void cleanup()
    {
        QVERIFY2(disarmAll().isEmpty(), "a modal window waited for did not show");
        const QPointer<QWidget> list = window(); // an idle one goes at once, not at a loop the host may not run
        QVERIFY2((frmEditApps::Unload(), frmNewApp::Unload(), frmPlaceholders::Unload(), !list), "list stayed");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete), Captions::setLanguage(Language::lEnglish);
    }

    // By keyboard alone over an owner: an edit, the picker left and used, OK naming what is missing, an add, a delete.
    void keyboardStory()
    {
        QCOMPARE(frmPlaceholders::Cancel() || frmNewApp::Load(nullptr)->Cancel(), false);
        frmNewApp::Unload();
        QCOMPARE(attempt([&] { showForm(2); }).error().code(), ErrorCode::InvalidArgument);
        QWidget owner;
        QVERIFY((owner.setGeometry(300, 200, 1000, 700), owner.show(), QTest::qWaitForWindowExposed(&owner)));
        QStringList seen;
        whenModalShown("frmEditApps", [&](QWidget *window) {
            seen << focusName() << tree()->currentItem()->text(0);
            QVERIFY(window->windowHandle()->transientParent() == owner.windowHandle()
                    && (window->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength() <= 4);
            whenModalShown("frmNewApp", [&](QWidget *dialog) {
                seen << dialog->windowTitle() << focusName() << tabTo("cboGroup");
                play(dialog, {"key:Ctrl+A", "type:Writing", "key:Tab", "key:Ctrl+A", "key:Delete", "key:Tab",
                              "key:Space", "key:Tab", "key:Tab", "key:Tab", "key:End", "type:_", "key:Tab"});
                whenModalShown("frmPlaceholders", [](QWidget *picker) { play(picker, {"key:Down", "key:Escape"}); });
                play(dialog, {"key:Return"});
                seen << QString::number(frmPlaceholders::Cancel()) + frmPlaceholders::SearchString();
                whenModalShown("frmPlaceholders", [](QWidget *picker) {
                    play(picker, {"key:Down", "key:Down", "key:Up", "key:Return"});
                });
                backTo(dialog), play(dialog, {"key:Return"}), backTo(dialog);
                seen << messagesDuring([] { tabTo("cmdOK"), press(Qt::Key_Return); });
                backTo(dialog), seen << focusName();
                play(dialog, {"type:Nano", "key:Shift+Tab", "key:Shift+Tab", "key:Shift+Tab", "key:Return"});
            });
            play(window, {"key:Up", "key:Return", "key:Down", "key:Return"}); // Return on a group edits nothing
            backTo(window), seen << tabTo("tvGroup") << tabTo("cmdAddApp");
            whenModalShown("frmNewApp", [&](QWidget *dialog) {
                play(dialog, {"type:Office", "key:Tab", "type:Writer", "key:Tab", "key:Tab", "type:/usr/bin/lowriter",
                              "key:Tab", "key:Tab", "type:-n"});
                tabTo("cmdOK"), press(Qt::Key_Space);
            });
            press(Qt::Key_Space), backTo(window), tabTo("tvGroup");
            press(Qt::Key_End), seen << tabTo("cmdRemoveApp"); // End: Office's Writer, the last program
            press(Qt::Key_Return), backTo(window);
            seen << focusName(), press(Qt::Key_Escape); // the focus where a second press deletes nothing more
        });
        showForm(1, &owner);
        QCOMPARE(seen.join('|'), "tvGroup|Editor|Edit Application|cboGroup|txtAppName|cbProtected|txtApp|cmdBrowse|"
                                 "txtCmdLine|cmdInsertKeyword|cmdOK|cmdCancel|cboGroup|0%USER%|msgIncompleteEntry: The "
                                 "program cannot be saved yet. Please fill in:\n• “Program Name”|txtAppName|cmdAddApp|"
                                 "cmdEdit|cmdRemoveApp|tvGroup|cmdAddApp|cmdAddApp|cmdEdit|cmdRemoveApp|tvGroup");
        QVERIFY(!frmEditApps::instance());
        QCOMPARE(m_apps->dump(), (QStringList{fixture[1], fixture[2], "Writing|Nano|/usr/bin/nano|%FILE%_%USER%|-1"}));
    }

    // The user's slips, seeded (LANYARD_SEED walks another way), on at most three groups, an empty one first.
    void slips_data()
    {
        QTest::addColumn<uint>("seed");
        QTest::addColumn<QStringList>("entries");
        QStringList many;
        for (int i = 0; i < 80; ++i)
            many << QString("Many|Tool%1|/bin/true").arg(i, 2, 10, QChar('0'));
        QTest::newRow("few") << 1u << fixture;
        QTest::newRow("at-the-limits") << 2u
                                       << fixture
                                              + QStringList{"Games|Go|/bin/go", "Games|Mines|/bin/mines",
                                                            "Games|Sudoku|/bin/sudoku", "Office|Writer|/bin/ow"};
        QTest::newRow("longer-than-the-tree") << 3u << many;
    }
    void slips()
    {
        QFETCH(uint, seed);
        QFETCH(QStringList, entries);
        m_random.seed(m_seed = qEnvironmentVariableIsSet("LANYARD_SEED") ? qEnvironmentVariableIntValue("LANYARD_SEED")
                                                                         : seed);
        m_apps = std::make_unique<MemoryEntries>();
        m_apps->placeholders = {{"%FILE%", "/home/ann/report.txt"}, {"%USER%", "ann"}};
        m_apps->catalogue.setMaxGroups(3),
            m_apps->catalogue.setMaxApps(qint16(m_maxApps = entries.size() > 10 ? 90 : 4));
        m_apps->fill(entries), m_apps->emptyGroups = {"Deleted"};
        m_model = m_apps->dump(), m_steps.clear(), showForm();
        step("focus:tvGroup,key:End", {},
             [this] { expect(inSight(), "the row the keyboard reached is out of sight"); });
        for (int i = 0; i < (m_maxApps > 4 ? 40 : 100) && !QTest::currentTestFailed(); ++i)
            walkStep();
    }

    // The character named when a list refuses an entry: one per class ("box:position:character").
    void refusedCharacter_data()
    {
        const QString high(QChar(0xD83D)), low(QChar(0xDE00)), pair = high + low;
        QTest::addColumn<QStringList>("texts"); // the boxes'
        QTest::addColumn<QString>("found");
        QTest::newRow("comma-after-a-pair") << QStringList{"", pair + ",x"} << "1:2:,";
        QTest::newRow("null") << QStringList{"", QString(QChar(0)) + "Vi"} << QString("1:0:") + QChar(0);
        QTest::newRow("beyond-latin-1") << QStringList{"", "C\u0153ur"} << "1:1:\u0153";
        QTest::newRow("latin-1-to-its-end") << QStringList{"\u00ff\u0100"} << "0:1:\u0100";
        QTest::newRow("high-at-the-end") << QStringList{"", "Vi" + high} << "1:2:" + high;
    }
    void refusedCharacter()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, found);
        const std::optional<RefusedCharacter::Fault> fault = RefusedCharacter::find(texts);
        QCOMPARE(fault ? QString("%1:%2:").arg(fault->text).arg(fault->position) + fault->character : QString(), found);
    }

    // Browse; refused texts named at OK, their box focused, the character selected, nothing typed lost.
    void refusedTexts()
    {
        QTemporaryDir temporary;
        const QString folder = temporary.filePath("a,b"), pair = QString(QChar(0xD83D)) + QChar(0xDE00);
        QVERIFY(QDir().mkpath(folder + "/sub") && QFile::copy("/bin/true", folder + "/prog")
                && QFile(folder + "/notes.txt").open(QIODevice::WriteOnly));
        const auto listed = [](QWidget *browse) {
            const auto *files = browse->findChild<QListView *>("listView");
            QStringList names;
            for (int row = 0; row < files->model()->rowCount(files->rootIndex()); ++row)
                names << files->model()->index(row, 0, files->rootIndex()).data().toString();
            return names.join(' ');
        };
        const auto choose = [&](QWidget *browse) {
            QTRY_COMPARE_WITH_TIMEOUT(listed(browse), "prog sub", 10000);
            play(browse, {"focus:fileTypeCombo", "key:End"});
            QTRY_COMPARE_WITH_TIMEOUT(listed(browse), "notes.txt prog sub", 10000);
            static_cast<QFileDialog *>(browse)->selectFile(folder + "/notes.txt"),
                QMetaObject::invokeMethod(browse, "accept");
        };
        QStringList seen;
        const auto refuse = [&](QWidget *dialog) { // OK until the entry goes in, each refused text changed
            static_cast<frmNewApp *>(dialog)->setFields({"Fun" + pair + "!", "C\u0153ur", folder + "/prog", "", false});
            play(dialog, {"click:cmdBrowse"});
            for (int tries = 0; tries < 4 && (backTo(dialog), play(dialog, {"click:cmdOK"}), dialog->isVisible());) {
                backTo(dialog);
                auto *combo = qobject_cast<QComboBox *>(focused());
                const QLineEdit *edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(focused());
                seen << focusName() + ':' + QString::number(edit->selectionStart()) + ':' + edit->selectedText()
                     << asList(static_cast<frmNewApp *>(dialog)->fields()).join('|');
                play(dialog, {"key:Ctrl+A", "type:Fine"}), ++tries;
            }
        };
        m_apps->latin1 = true, showForm();
        seen << messagesDuring([] { play(window(), {"click:cmdAddApp"}); },
                               {{"frmNewApp", refuse}, {"cdlgBrowse", choose}});
        const QString message = "msgRefusedText: The launch list cannot hold “%1” (U+%2) in “%3”. Please change it and "
                                "choose OK again.",
                      entry = "Fun" + pair + "!|C\u0153ur|" + folder + "/notes.txt||0";
        QCOMPARE(
            seen,
            (QStringList{"txtApp:" + QString::number(folder.size() - 2) + ":,", entry, "cboGroup:3:" + pair,
                         QString(entry).replace(folder + "/notes.txt", "Fine"), "txtAppName:1:\u0153",
                         "Fine|C\u0153ur|Fine||0", "frmNewApp", "cdlgBrowse", message.arg(",", "002C", "Program Path"),
                         message.arg(pair, "1F600", "Program Group"), message.arg("\u0153", "0153", "Program Name")}));
        QCOMPARE(m_apps->dump().filter("Fine|Fine|Fine").size(), 1);
    }

    // Every language at 9 to 16 points (also at 150 %, 200 %, small screen: CMakeLists.txt); tooltips of cut names.
    void layout_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<int>("points");
        for (auto [language, name] :
             {std::pair{Language::lEnglish, "en"}, {Language::lGerman, "de"}, {Language::lFrench, "fr"}})
            for (int points : {9, 11, 14, 16})
                QTest::addRow("%s-%dpt", name, points) << language << points;
    }
    void layout()
    {
        QFETCH(Language, language);
        QFETCH(int, points);
        QFont font = QApplication::font();
        font.setPointSize(points), QApplication::setFont(font), Captions::setLanguage(language);
        const bool small = qEnvironmentVariable("LANYARD_SCREEN") == u"small";
        // A name past Latin-1 starting at its first character, U+0100, is measured whole too.
        m_apps->fill({"Tools|Open with default application|/usr/bin/xdg-open|%FILE%",
                      "Tools|\u0100dažu karte|/usr/bin/xdg-open",
                      "Tools|Open the marked report with the desktop's own application|/usr/bin/xdg-open"});
        m_apps->placeholders.append(
            LaunchEntries::Placeholder{"%SELECTION%", "the words the user marked in the report"});
        showForm();
        QCOMPARE(window()->windowType(), Qt::Dialog);         // Qt's X11 backend sets WM_TRANSIENT_FOR only for dialogs
        for (QTreeWidgetItemIterator it(tree()); *it; ++it) { // only groups open: a program row never says "expanded"
            QCOMPARE((*it)->isExpanded(), (*it)->childCount() > 0);
            tree()->setCurrentItem(*it); // its name whole where the screen has room
            const QRect row = tree()->visualItemRect(*it);
            QVERIFY(small
                    || (row.width() >= tree()->sizeHintForIndex(tree()->currentIndex()).width()
                        && row.right() <= tree()->viewport()->width()));
        }
        frmNewApp *dialog = frmNewApp::Load(window());
        dialog->setWindowTitle(Captions::text(TextId::EditCaption)), dialog->setLaunchAppClass(m_apps.get());
        frmPlaceholders *picker = frmPlaceholders::Load(dialog);
        picker->setLaunchAppClass(m_apps.get());
        QSet<QString> english;
        for (int id = 101; id < 250; ++id)
            english << Captions::text(TextId(id), Language::lEnglish);
        for (QWidget *shown : std::initializer_list<QWidget *>{window(), dialog, picker}) {
            QVERIFY((shown->show(), QTest::qWaitForWindowExposed(shown)));
            QCOMPARE(shown->devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
            const QSize size = small ? shown->size() : shown->frameGeometry().size(); // scrolling if need be
            QVERIFY(size.boundedTo(shown->screen()->availableSize()) == size);
            if (!small)
                checkLayout(shown, points);
            QStringList texts{shown->windowTitle()};
            for (const QWidget *control : shown->findChildren<QWidget *>())
                if (control->objectName() != "cbProtected")
                    texts << control->property("text").toString() << control->toolTip();
            for (const QTreeWidget *view : shown->findChildren<QTreeWidget *>()) {
                texts << view->headerItem()->text(0) << view->headerItem()->text(view->columnCount() - 1);
                QVERIFY(!view->topLevelItem(0)->icon(0).isNull()
                        && !view->itemBelow(view->topLevelItem(0))->icon(0).isNull());
            }
            for (const QString &text : texts.filter(QRegularExpression(".")))
                QVERIFY2(english.contains(text) == (language == Language::lEnglish), qPrintable(text));
        }
        const QTreeWidget *list = picker->findChild<QTreeWidget *>();
        QCOMPARE(list->visualItemRect(list->topLevelItem(0)).left(), 0);
        QVERIFY(!small
                || dialog->findChild<QWidget *>("Frame1")->minimumSizeHint().height()
                       > dialog->screen()->availableSize().height());
        frmPlaceholders::Unload(), frmPlaceholders::Load(dialog, ImageList())->setLaunchAppClass(m_apps.get());
        QVERIFY(frmPlaceholders::instance()->findChild<QTreeWidget *>()->topLevelItem(0)->icon(0).isNull());
        backTo(dialog);
        for (const char *name : {"cmdOK", "cmdCancel"})
            QVERIFY2((tabTo(name), !dialog->findChild<QWidget *>(name)->visibleRegion().isEmpty()), name);
        QCOMPARE(dialog->findChild<QComboBox *>("cboGroup")->lineEdit()->accessibleName(),
                 dialog->findChild<QLabel *>("lblProgGroup")->text().remove('&'));
        dialog->setFields({"Tools", "", "/bin/vi", "", false});
        QCOMPARE(messagesDuring([&] { play(dialog, {"click:cmdOK"}); }),
                 QStringList{"msgIncompleteEntry: " + Captions::text(TextId::IncompleteEntry) + "\n• “"
                             + dialog->findChild<QLabel *>("lblProgName")->text() + "”"});
        const int width = dialog->findChild<QWidget *>("txtApp")->width();
        dialog->resize(dialog->width() + 200, dialog->height());
        QTRY_VERIFY_WITH_TIMEOUT(dialog->findChild<QWidget *>("txtApp")->width() >= width + 150, 5000);
        frmNewApp::Unload(),
            Captions::setLanguage(language == Language::lEnglish ? Language::lFrench : Language::lEnglish);
        QCOMPARE(button("cmdAddApp")->text(), Captions::text(TextId::AddProgram, language));
        QCOMPARE(frmNewApp::Load(window())->findChild<QLabel *>("lblProgGroup")->text(),
                 Captions::text(TextId::GroupLabel));
        frmNewApp::Unload(), m_apps->fill({"Games|" + QString(90, 'W') + "|/bin/true"}),
            frmEditApps::instance()->FillTree();
        QVERIFY(tree()->updatesEnabled());
        const auto tipOver = [](const QString &name) {
            const QPoint at = centerOf(itemOf(tree(), name));
            QHelpEvent event(QEvent::ToolTip, at, tree()->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree()->viewport(), &event);
            return QToolTip::text();
        };
        QCOMPARE(tipOver(QString(90, 'W')), QString(90, 'W'));
        tree()->setCurrentItem(itemOf(tree(), "Shell")), tree()->header()->setStretchLastSection(false);
        const int needed = tree()->sizeHintForIndex(tree()->currentIndex()).width();
        for (const int less : {0, 1}) {
            tree()->setColumnWidth(0, tree()->columnWidth(0) + needed - less
                                          - tree()->visualItemRect(itemOf(tree(), "Shell")).width());
            QCOMPARE(tipOver("Shell"), less ? "Shell" : Captions::text(TextId::TreeTip, language));
        }
    }

    // A list exactly as large as its room has no scroll bar; a window larger than the screen opens at its room.
    void fitting()
    {
        QTreeWidget list;
        list.setHeaderHidden(true);
        list.addTopLevelItems({new QTreeWidgetItem(QStringList{"Editor"}), new QTreeWidgetItem(QStringList{"Shell"})});
        const QSize whole = ColumnFit::wholeSize(&list, QSize(10000, 10000));
        const int bar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
        for (const QSize less : {QSize(0, 1), QSize(1, 0)}) { // a pixel less one way, and the bar's room the other
            const QSize room = less.height() ? QSize(10000, whole.height()) : QSize(whole.width(), 10000);
            QCOMPARE(ColumnFit::wholeSize(&list, room), whole);
            QCOMPARE(ColumnFit::wholeSize(&list, room - less), whole - less + less.transposed() * bar);
        }
        for (const double screens : {1.5, 0.25}) {
            QWidget window;
            const QSize room = ScreenFit::availableSize(&window);
            auto *content = new QWidget;
            content->setMinimumSize(room * screens), (new QVBoxLayout(&window))->addWidget(content);
            ScreenFit::resizeWithin(&window, room * 2), window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.size(), room);
            content->setMinimumSize(room * screens / 2); // a smaller font: the window may shrink again
            window.layout()->activate(), window.resize(QSize(1, 1));
            QVERIFY(screens > 1 || window.size() == window.minimumSizeHint());
        }
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_windows.moc"
