#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"

#include <Lanyard/ExternalApps.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

using namespace Lanyard;
using namespace UiTest;
using namespace Qt::StringLiterals;

namespace {

const QStringList kFilled{u"Tools: Editor, Shell"_s, u"Games: Chess"_s};

QTreeWidget *tree() { return child<QTreeWidget>(frmEditApps::instance(), u"tvGroup"_s); }
QTreeWidgetItem *item(const QString &text)
{
    return tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
}
QPushButton *button(const char *name) { return child<QPushButton>(frmEditApps::instance(), QString::fromLatin1(name)); }
void clickButton(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
// The user's steps (see UiTest::play) in the program list window, made active as the window
// manager does when a dialog over it closes.
void playInWindow(const QStringList &steps)
{
    frmEditApps::instance()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frmEditApps::instance()));
    play(frmEditApps::instance(), steps);
}
bool canEditOrDelete() { return button("cmdEdit")->isEnabled() && button("cmdRemoveApp")->isEnabled(); }
bool canNeither() { return !button("cmdEdit")->isEnabled() && !button("cmdRemoveApp")->isEnabled(); }

// The tree as "Group: App, App" lines.
QStringList treeText()
{
    QStringList lines;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *group = tree()->topLevelItem(i);
        QStringList apps;
        for (int j = 0; j < group->childCount(); ++j)
            apps.append(group->child(j)->text(0));
        lines.append(group->text(0) + u": "_s + apps.join(u", "_s));
    }
    return lines;
}

// Path, command line and protected flag as "path|cmdLine|flag".
QString record(ExternalApps &apps, const QString &group, const QString &app)
{
    const QString flag = QString::number(apps.AppProtected(group, app));
    return QStringList{apps.AppPath(group, app), apps.CmdLine(group, app), flag}.join(u'|');
}

// Fills the dialog as a user would and leaves it by @p leave ("ok", "cancel", "escape", "close").
void fillDialog(QWidget *dialog, const frmNewApp::Fields &fields, const QString &leave)
{
    QStringList steps;
    for (const auto &[name, text] : {std::pair{u"cboGroup"_s, fields.group}, {u"txtAppName"_s, fields.name},
                                     {u"txtApp"_s, fields.path}, {u"txtCmdLine"_s, fields.cmdLine}})
        steps << u"focus:"_s + name << u"key:Ctrl+A"_s << u"key:Delete"_s << u"type:"_s + text;
    if (dialog->findChild<QCheckBox *>(u"cbProtected"_s)->isChecked() != fields.isProtected)
        steps << u"focus:cbProtected"_s << u"key:Space"_s;
    const QHash<QString, QStringList> leaving{{u"ok"_s, {u"click:cmdOK"_s}},
                                              {u"cancel"_s, {u"click:cmdCancel"_s}},
                                              {u"escape"_s, {u"focus:txtCmdLine"_s, u"key:Esc"_s}},
                                              {u"close"_s, {u"close"_s}}};
    play(dialog, steps + leaving.value(leave));
}

} // namespace

class tst_frmEditApps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_apps = std::make_unique<ExternalApps>();
        m_apps->AddApp(u"Tools"_s, u"Editor"_s, u"/usr/bin/nano"_s, u"%FILE%"_s, false);
        m_apps->AddApp(u"Tools"_s, u"Shell"_s, u"/bin/sh"_s, QString(), true);
        m_apps->AddApp(u"Games"_s, u"Chess"_s, u"/usr/games/chess"_s, QString(), false);
    }

    void cleanup()
    {
        frmEditApps::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_apps.reset();
        Captions::setLanguage(Language::lEnglish);
    }

    void resizeAndTabOrder()
    {
        m_apps->ShowForm();
        frmEditApps *window = frmEditApps::instance();
        const QRect treeAtFirst = tree()->geometry();
        const QRect editAtFirst = button("cmdEdit")->geometry();
        // Larger is allowed, for long names: the tree takes the room, the buttons stay at the right.
        window->resize(window->size() + QSize(200, 100));
        QCOMPARE(tree()->geometry(), treeAtFirst.adjusted(0, 0, 200, 100));
        QCOMPARE(button("cmdEdit")->geometry(), editAtFirst.translated(200, 0));
        playInWindow({u"focus:tvGroup"_s});
        for (const char *name : {"cmdAddApp", "cmdEdit", "cmdRemoveApp", "tvGroup"}) {
            press(Qt::Key_Tab);
            QCOMPARE(focusName(), QString::fromLatin1(name));
        }
    }

    void emptyCatalogueThenFirstAdd()
    {
        ExternalApps empty;
        empty.ShowForm();
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(button("cmdAddApp")->isEnabled() && canNeither());
        // Nothing to edit: no dialog may appear.
        playInWindow({u"focus:tvGroup"_s, u"key:Return"_s, u"key:Space"_s});
        doubleClick(tree()->viewport(), QPoint(20, 10));
        QVERIFY(!frmNewApp::instance());

        // The first application becomes current, and Edit and Delete follow the current node
        // whether the fill, the keyboard or the mouse made it current.
        whenModalShown(u"frmNewApp"_s, [](QWidget *dialog) {
            fillDialog(dialog, {u"New"_s, u"First"_s, u"/bin/true"_s, {}, false}, u"ok"_s);
        });
        playInWindow({u"focus:cmdAddApp"_s, u"key:Return"_s});
        QCOMPARE(treeText(), QStringList{u"New: First"_s});
        QCOMPARE(tree()->currentItem(), item(u"First"_s));
        QVERIFY(canEditOrDelete());
        playInWindow({u"focus:tvGroup"_s, u"key:Up"_s});
        QVERIFY(canNeither());
        press(Qt::Key_Down);
        QVERIFY(canEditOrDelete());
    }

    void fillAndSelection()
    {
        // A group emptied by the host is not shown.
        m_apps->AddApp(u"Empty soon"_s, u"Gone"_s, u"/x"_s, QString(), false);
        m_apps->DeleteApp(u"Empty soon"_s, u"Gone"_s);
        m_apps->ShowForm();
        QCOMPARE(treeText(), kFilled);
        QVERIFY(item(u"Tools"_s)->isExpanded() && item(u"Games"_s)->isExpanded());
        QCOMPARE(tree()->currentItem(), item(u"Editor"_s));
        // Image 1 is GROUP; then one image per application, a copy of APP when it has no icon.
        const ImageList &images = frmEditApps::instance()->imgExeIcons();
        QCOMPARE(images.count(), 4);
        QCOMPARE(images.key(1), u"GROUP"_s);
        QVERIFY(!images.icon(4).isNull() && !item(u"Tools"_s)->icon(0).isNull() && !item(u"Shell"_s)->icon(0).isNull());

        // A group node allows neither edit nor delete, not even by key.
        playInWindow({u"item:Tools"_s});
        QVERIFY(canNeither());
        press(Qt::Key_Return);
        QVERIFY(!frmNewApp::instance());
        playInWindow({u"item:Chess"_s});
        QVERIFY(canEditOrDelete());

        // A name cut by the tree shows whole as tooltip; elsewhere the tree's own tooltip shows.
        const QString longName = QString(20, u'W');
        m_apps->AddApp(u"Games"_s, longName, u"/bin/true"_s, QString(), false);
        frmEditApps::instance()->FillTree();
        const auto tipOver = [](const QString &name) {
            const QPoint pos = centerOf(item(name));
            QHelpEvent event(QEvent::ToolTip, pos, tree()->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(tree()->viewport(), &event);
            return QToolTip::text();
        };
        QCOMPARE(tipOver(longName), longName);
        QCOMPARE(tipOver(u"Shell"_s), u"Double click to edit the program"_s);
    }

    void addProtectedApplication()
    {
        m_apps->ShowForm();
        QStringList seen; // caption, the group list, the group text
        whenModalShown(u"frmNewApp"_s, [&](QWidget *dialog) {
            auto *group = dialog->findChild<QComboBox *>(u"cboGroup"_s);
            seen = {dialog->windowTitle(), group->itemText(0), group->itemText(1), group->currentText()};
            seen.append(QString::number(group->count()));
            fillDialog(dialog, {u"Office"_s, u"Writer"_s, u"/usr/bin/lowriter"_s, u"--norestore"_s, true}, u"ok"_s);
        });
        clickButton("cmdAddApp");
        QCOMPARE(seen, (QStringList{u"Add New Application"_s, u"Tools"_s, u"Games"_s, QString(), u"2"_s}));
        QVERIFY(!frmNewApp::instance());
        QCOMPARE(record(*m_apps, u"Office"_s, u"Writer"_s), u"/usr/bin/lowriter|--norestore|-1"_s);
        QCOMPARE(treeText(), kFilled + QStringList{u"Office: Writer"_s});
        QCOMPARE(tree()->currentItem(), item(u"Editor"_s));
    }

    void editOrCancel_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("leave");
        for (const char *gesture : {"button", "return-on-button", "enter", "space", "double-click"})
            QTest::addRow("%s-ok", gesture) << QString::fromLatin1(gesture) << u"ok"_s;
        for (const char *leave : {"cancel", "escape", "close"})
            QTest::addRow("button-%s", leave) << u"button"_s << QString::fromLatin1(leave);
    }

    void editOrCancel()
    {
        QFETCH(QString, gesture);
        QFETCH(QString, leave);
        m_apps->ShowForm();
        clickItem(item(u"Editor"_s));
        QString shown; // caption and fields
        whenModalShown(u"frmNewApp"_s, [&](QWidget *dialog) {
            const frmNewApp::Fields f = static_cast<frmNewApp *>(dialog)->fields();
            shown = QStringList{dialog->windowTitle(), f.group, f.name, f.path, f.cmdLine}.join(u'|') + u'|'
                    + QString::number(f.isProtected);
            // Moves the application to a new group, renamed and protected.
            fillDialog(dialog, {u"Writing"_s, u"Nano"_s, u"/bin/nano"_s, u"-w %FILE%"_s, true}, leave);
        });
        const QHash<QString, QStringList> steps{{u"button"_s, {u"click:cmdEdit"_s}},
                                                {u"return-on-button"_s, {u"focus:cmdEdit"_s, u"key:Return"_s}},
                                                {u"enter"_s, {u"focus:tvGroup"_s, u"key:Enter"_s}},
                                                {u"space"_s, {u"focus:tvGroup"_s, u"key:Space"_s}},
                                                {u"double-click"_s, {u"dclick:Editor"_s}}};
        playInWindow(steps.value(gesture));
        QCOMPARE(shown, u"Edit Application|Tools|Editor|/usr/bin/nano|%FILE%|0"_s);
        QVERIFY(!frmNewApp::instance());
        if (leave == u"ok") {
            QCOMPARE(treeText(), (QStringList{u"Tools: Shell"_s, u"Games: Chess"_s, u"Writing: Nano"_s}));
            QCOMPARE(record(*m_apps, u"Writing"_s, u"Nano"_s), u"/bin/nano|-w %FILE%|-1"_s);
        } else {
            QCOMPARE(treeText(), kFilled);
            QCOMPARE(record(*m_apps, u"Tools"_s, u"Editor"_s), u"/usr/bin/nano|%FILE%|0"_s);
        }
    }

    void deleteLastApplicationOfGroup()
    {
        m_apps->ShowForm();
        clickItem(item(u"Chess"_s));
        clickButton("cmdRemoveApp");
        QCOMPARE(treeText(), QStringList{u"Tools: Editor, Shell"_s});
        QCOMPARE(m_apps->GroupCount(), qint16(1));
        QCOMPARE(tree()->currentItem(), item(u"Editor"_s));
    }

    void escapeClosesModalWindow_data()
    {
        QTest::addColumn<QString>("target");
        for (const char *name : {"tvGroup", "cmdAddApp", "cmdEdit", "cmdRemoveApp"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void escapeClosesModalWindow()
    {
        QFETCH(QString, target);
        bool sawModal = false;
        whenModalShown(u"frmEditApps"_s, [&](QWidget *window) {
            sawModal = true;
            play(window, {u"focus:"_s + target, u"key:Esc"_s});
        });
        m_apps->ShowForm(1);
        QVERIFY(sawModal);
        QVERIFY(!frmEditApps::instance());
    }

    void closeBoxHideFormAndOwner()
    {
        m_apps->ShowForm();
        QPointer<frmEditApps> window = frmEditApps::instance();
        QVERIFY(window->close());
        QVERIFY(!frmEditApps::instance());
        QTRY_VERIFY(!window);

        QWidget owner;
        owner.show();
        m_apps->ShowForm(0, &owner);
        window = frmEditApps::instance();
        QVERIFY(window->parentWidget() == &owner && window->isWindow());
        QCOMPARE(window->windowModality(), Qt::NonModal);
        QVERIFY_THROWS_EXCEPTION(ComponentError, m_apps->ShowForm(2));
        m_apps->HideForm();
        QVERIFY(!window);
        m_apps->HideForm();
    }

    void showFormThroughSecondObject()
    {
        ExternalApps other;
        other.AddApp(u"Net"_s, u"Browser"_s, u"/usr/bin/firefox"_s, QString(), false);
        m_apps->ShowForm();
        frmEditApps *window = frmEditApps::instance();
        other.ShowForm();
        QCOMPARE(frmEditApps::instance(), window);
        QCOMPARE(window->LaunchAppClass(), &other);
        QCOMPARE(treeText(), QStringList{u"Net: Browser"_s});
        // From now on the window edits the second object only.
        clickItem(item(u"Browser"_s));
        clickButton("cmdRemoveApp");
        QCOMPARE(other.GroupCount(), qint16(0));
        QCOMPARE(m_apps->GroupCount(), qint16(2));
        QVERIFY(canNeither());
    }

    void releaseClosesWindowOfOtherObject()
    {
        auto other = std::make_unique<ExternalApps>();
        m_apps->ShowForm();
        QPointer<frmEditApps> window = frmEditApps::instance();
        other.reset();
        QVERIFY(!window && !frmEditApps::instance());

        // Released while the dialog is open: the dialog goes first, the open show returns.
        whenModalShown(u"frmNewApp"_s, [&](QWidget *) { m_apps.reset(); });
        m_apps->ShowForm();
        clickButton("cmdAddApp");
        QVERIFY(!frmNewApp::instance() && !frmEditApps::instance());
    }

    void languageAppliesAtLoad()
    {
        m_apps->setLanguage(Language::lGerman);
        m_apps->ShowForm();
        QCOMPARE(frmEditApps::instance()->windowTitle(), u"DEU:Configure Launch Application"_s);
        QCOMPARE(tree()->toolTip(), u"DEU:Double click to edit the program"_s);
        QCOMPARE(button("cmdAddApp")->text(), u"DEU:&Add Program"_s);

        // Another object chooses French while the window is loaded: the window keeps its texts,
        // the dialog loaded afterwards is French.
        ExternalApps other;
        other.setLanguage(Language::lFrench);
        QCOMPARE(m_apps->Language(), Language::lGerman);
        m_apps->ShowForm();
        QCOMPARE(button("cmdAddApp")->text(), u"DEU:&Add Program"_s);
        QStringList texts;
        whenModalShown(u"frmNewApp"_s, [&](QWidget *dialog) {
            texts = {dialog->windowTitle(), dialog->findChild<QPushButton *>(u"cmdOK"_s)->text()};
            fillDialog(dialog, {}, u"cancel"_s);
        });
        QTest::keyClick(button("cmdAddApp"), Qt::Key_Space);
        QCOMPARE(texts, (QStringList{u"FRA:Add New Application"_s, u"FRA:&OK"_s}));
        m_apps->HideForm();
        m_apps->ShowForm();
        QCOMPARE(button("cmdRemoveApp")->text(), u"FRA:&Delete Program"_s);
    }

    void refusalsInTheUsersWords_data()
    {
        // The limits set before the window opens; what the user does ("add" or "edit" of an
        // entry, with the fields typed as "group|name|path"); "host-deletes" when the host
        // deletes the entry while the dialog is open, "stale" when it did after the fill (the
        // user then presses Return on the node); the message and the tree afterwards.
        QTest::addColumn<QList<int>>("limits");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("list-holds-max-groups")
            << QList<int>{2, 5} << "add" << "Office|Writer|/usr/bin/lowriter"
            << "“Writer” was not added to “Office”: the list already holds 2 groups, as many as it may." << kFilled;
        QTest::newRow("group-holds-max-apps")
            << QList<int>{5, 2} << "add" << "Tools|Writer|/usr/bin/lowriter"
            << "“Writer” was not added to “Tools”: the group already holds 2 programs, as many as it may." << kFilled;
        QTest::newRow("move-into-full-group")
            << QList<int>{5, 2} << "edit Chess" << "Tools|Chess|/usr/games/chess"
            << "“Chess” was not moved to “Tools”: the group already holds 2 programs, as many as it may." << kFilled;
        QTest::newRow("host-deletes-while-editing")
            << QList<int>{5, 5} << "edit Editor host-deletes" << "Tools|Editor|/bin/vi"
            << "“Editor” no longer exists in “Tools”." << QStringList{u"Tools: Shell"_s, u"Games: Chess"_s};
        QTest::newRow("stale-node") << QList<int>{5, 5} << "edit Chess stale" << QString()
                                    << "“Chess” no longer exists in “Games”." << QStringList{u"Tools: Editor, Shell"_s};
    }

    void refusalsInTheUsersWords()
    {
        QFETCH(QList<int>, limits);
        QFETCH(QString, action);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, tree);
        m_apps->setMaxGroups(qint16(limits[0]));
        m_apps->setMaxApps(qint16(limits[1]));
        m_apps->ShowForm();
        const QString entry = action.section(u' ', 1, 1);
        if (action.contains(u"stale"))
            m_apps->DeleteApp(u"Games"_s, entry);
        QStringList shown;
        whenModalShown(u"frmNewApp"_s, [&](QWidget *dialog) {
            if (action.contains(u"host-deletes"))
                m_apps->DeleteApp(u"Tools"_s, entry);
            const QStringList fields = typed.split(u'|');
            fillDialog(dialog, {fields[0], fields[1], fields[2], {}, false}, u"ok"_s);
        });
        const auto answer = [&shown](QWidget *box) {
            shown.append(static_cast<QMessageBox *>(box)->text());
            press(Qt::Key_Return);
        };
        whenModalShown(message.contains(u"no longer") ? u"msgComponentError"_s : u"msgLimitReached"_s, answer);
        playInWindow(entry.isEmpty() ? QStringList{u"focus:cmdAddApp"_s, u"key:Return"_s}
                                     : QStringList{u"item:"_s + entry, u"key:Return"_s});
        QCOMPARE(shown, QStringList{message});
        QVERIFY(frmEditApps::instance() && !frmNewApp::instance());
        QCOMPARE(treeText(), tree);
    }

private:
    std::unique_ptr<ExternalApps> m_apps;
};

QTEST_MAIN(tst_frmEditApps)
#include "tst_frmeditapps.moc"
