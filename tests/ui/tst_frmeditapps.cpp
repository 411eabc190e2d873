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
void press(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
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
    auto *group = dialog->findChild<QComboBox *>(u"cboGroup"_s);
    group->clearEditText();
    QTest::keyClicks(group, fields.group);
    for (const auto &[name, text] :
         {std::pair{u"txtAppName"_s, fields.name}, {u"txtApp"_s, fields.path}, {u"txtCmdLine"_s, fields.cmdLine}}) {
        dialog->findChild<QLineEdit *>(name)->clear();
        QTest::keyClicks(dialog->findChild<QLineEdit *>(name), text);
    }
    auto *isProtected = dialog->findChild<QCheckBox *>(u"cbProtected"_s);
    if (isProtected->isChecked() != fields.isProtected)
        QTest::mouseClick(isProtected, Qt::LeftButton, {}, QPoint(6, isProtected->height() / 2));
    if (leave == u"escape")
        QTest::keyClick(dialog->findChild<QLineEdit *>(u"txtCmdLine"_s), Qt::Key_Escape);
    else if (leave == u"close")
        dialog->close();
    else
        QTest::mouseClick(child<QPushButton>(dialog, leave == u"ok" ? u"cmdOK"_s : u"cmdCancel"_s), Qt::LeftButton);
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

    void layoutAndTabOrder()
    {
        m_apps->ShowForm();
        frmEditApps *window = frmEditApps::instance();
        QCOMPARE(window->size(), QSize(303, 188));
        QCOMPARE(tree()->geometry(), QRect(8, 8, 169, 169));
        QCOMPARE(button("cmdEdit")->geometry(), QRect(184, 48, 105, 25));
        // Larger is allowed, for long names: the tree takes the room, the buttons stay at the right.
        window->resize(503, 288);
        QCOMPARE(tree()->geometry(), QRect(8, 8, 369, 269));
        QCOMPARE(button("cmdEdit")->geometry(), QRect(384, 48, 105, 25));
        QCOMPARE(window->minimumSize(), QSize(303, 188));
        QVERIFY(QTest::qWaitForWindowActive(window));
        tree()->setFocus();
        for (const char *name : {"cmdAddApp", "cmdEdit", "cmdRemoveApp", "tvGroup"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
        }
    }

    void emptyCatalogueThenFirstAdd()
    {
        ExternalApps empty;
        empty.ShowForm();
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(button("cmdAddApp")->isEnabled() && canNeither());
        // Nothing to edit: no dialog may appear.
        QTest::keyClick(tree(), Qt::Key_Return);
        QTest::keyClick(tree(), Qt::Key_Space);
        doubleClick(tree()->viewport(), QPoint(20, 10));
        QVERIFY(!frmNewApp::instance());

        // The first application becomes current, but the buttons wait for a click.
        whenModalShown(u"frmNewApp"_s, [](QWidget *dialog) {
            fillDialog(dialog, {u"New"_s, u"First"_s, u"/bin/true"_s, {}, false}, u"ok"_s);
        });
        press("cmdAddApp");
        QCOMPARE(treeText(), QStringList{u"New: First"_s});
        QCOMPARE(tree()->currentItem(), item(u"First"_s));
        QVERIFY(canNeither());
        clickItem(item(u"First"_s));
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
        clickItem(item(u"Tools"_s));
        QVERIFY(canNeither());
        QTest::keyClick(tree(), Qt::Key_Return);
        QVERIFY(!frmNewApp::instance());
        clickItem(item(u"Chess"_s));
        QVERIFY(canEditOrDelete());
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
        press("cmdAddApp");
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
        for (const char *gesture : {"button", "enter", "space", "double-click"})
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
        if (gesture == u"button")
            press("cmdEdit");
        else if (gesture == u"double-click")
            doubleClick(tree()->viewport(), centerOf(item(u"Editor"_s)));
        else
            QTest::keyClick(tree(), gesture == u"enter" ? Qt::Key_Return : Qt::Key_Space);
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
        press("cmdRemoveApp");
        QCOMPARE(treeText(), QStringList{u"Tools: Editor, Shell"_s});
        QCOMPARE(m_apps->GroupCount(), qint16(1));
        QCOMPARE(tree()->currentItem(), item(u"Editor"_s));
    }

    void escapeClosesModalWindow_data()
    {
        QTest::addColumn<QString>("target");
        for (const char *name : {"tvGroup", "cmdAddApp", "cmdEdit", "cmdRemoveApp", "frmEditApps"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void escapeClosesModalWindow()
    {
        QFETCH(QString, target);
        bool sawModal = false;
        whenModalShown(u"frmEditApps"_s, [&](QWidget *window) {
            sawModal = true;
            QTest::keyClick(window->objectName() == target ? window : child(window, target), Qt::Key_Escape);
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
        press("cmdRemoveApp");
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
        press("cmdAddApp");
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

    void componentErrorIsShownNotThrown()
    {
        m_apps->ShowForm();
        QStringList messages;
        const auto answerError = [&messages](QWidget *box) {
            messages.append(static_cast<QMessageBox *>(box)->text());
            QTest::keyClick(box, Qt::Key_Return);
        };
        // The host removes the record while the user edits it: EditApp raises error 9.
        clickItem(item(u"Editor"_s));
        whenModalShown(u"frmNewApp"_s, [&](QWidget *dialog) {
            m_apps->DeleteApp(u"Tools"_s, u"Editor"_s);
            whenModalShown(u"msgComponentError"_s, answerError);
            fillDialog(dialog, {u"Tools"_s, u"Editor"_s, u"/bin/vi"_s, {}, false}, u"ok"_s);
        });
        press("cmdEdit");
        QCOMPARE(treeText(), (QStringList{u"Tools: Shell"_s, u"Games: Chess"_s}));

        // A stale node: the host deleted the record after the last fill.
        m_apps->DeleteApp(u"Games"_s, u"Chess"_s);
        clickItem(item(u"Chess"_s));
        whenModalShown(u"msgComponentError"_s, answerError);
        QTest::keyClick(tree(), Qt::Key_Return);
        QCOMPARE(messages, QStringList(2, u"Index out of range (error 9)"_s));
        QVERIFY(frmEditApps::instance() && !frmNewApp::instance());
        QCOMPARE(treeText(), QStringList{u"Tools: Shell"_s});
    }

private:
    std::unique_ptr<ExternalApps> m_apps;
};

QTEST_MAIN(tst_frmEditApps)
#include "tst_frmeditapps.moc"
