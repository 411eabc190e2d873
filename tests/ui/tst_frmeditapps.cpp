#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

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

namespace {

const QString kEditor = QStringLiteral("Editor");
const QString kTools = QStringLiteral("Tools");

QTreeWidget *tree() { return child<QTreeWidget>(frmEditApps::instance(), QStringLiteral("tvGroup")); }
QPushButton *button(const QString &name) { return child<QPushButton>(frmEditApps::instance(), name); }

// The tree as "Group: App, App" lines.
QStringList treeText()
{
    QStringList lines;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *group = tree()->topLevelItem(i);
        QStringList apps;
        for (int j = 0; j < group->childCount(); ++j)
            apps.append(group->child(j)->text(0));
        lines.append(group->text(0) + QStringLiteral(": ") + apps.join(QStringLiteral(", ")));
    }
    return lines;
}

QTreeWidgetItem *node(const QString &group, const QString &app = QString())
{
    const auto groups = tree()->findItems(group, Qt::MatchExactly);
    if (groups.isEmpty() || app.isEmpty())
        return groups.value(0);
    for (int j = 0; j < groups.first()->childCount(); ++j) {
        if (groups.first()->child(j)->text(0) == app)
            return groups.first()->child(j);
    }
    return nullptr;
}

void clickNode(QTreeWidgetItem *item)
{
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(item).center());
}

// Fills the dialog as a user would and leaves it by @p leave ("ok", "cancel", "escape", "close").
void fillDialog(QWidget *dialog, const frmNewApp::Fields &fields, const QString &leave)
{
    auto *group = dialog->findChild<QComboBox *>(QStringLiteral("cboGroup"));
    group->clearEditText();
    QTest::keyClicks(group, fields.group);
    for (const auto &[name, text] : {std::pair{"txtAppName", fields.name}, std::pair{"txtApp", fields.path},
                                     std::pair{"txtCmdLine", fields.cmdLine}}) {
        auto *edit = dialog->findChild<QLineEdit *>(QString::fromLatin1(name));
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    auto *isProtected = dialog->findChild<QCheckBox *>(QStringLiteral("cbProtected"));
    if (isProtected->isChecked() != fields.isProtected)
        QTest::mouseClick(isProtected, Qt::LeftButton, {}, QPoint(6, isProtected->height() / 2));
    if (leave == u"ok")
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    else if (leave == u"cancel")
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    else if (leave == u"escape")
        QTest::keyClick(dialog->findChild<QLineEdit *>(QStringLiteral("txtCmdLine")), Qt::Key_Escape);
    else
        dialog->close();
}

} // namespace

class tst_frmEditApps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void textsAndLayout();
    void emptyCatalogue();
    void fillShowsGroupsWithImages();
    void clickEnablesButtonsForApplications();
    void addProtectedApplication();
    void firstAddKeepsButtonsDisabled();
    void editMovesToOtherGroup();
    void cancelledEditLeavesRecord_data();
    void cancelledEditLeavesRecord();
    void editByKeyAndDoubleClick_data();
    void editByKeyAndDoubleClick();
    void deleteLastApplicationOfGroup();
    void escapeClosesModalWindow_data();
    void escapeClosesModalWindow();
    void closeBoxAndHideFormUnload();
    void showFormThroughSecondObject();
    void releaseClosesWindowOfOtherObject();
    void languageAppliesAtLoad();
    void componentErrorIsShownNotThrown();
    void ownerWindowAndModalArgument();

private:
    std::unique_ptr<ExternalApps> m_apps;
};

void tst_frmEditApps::init()
{
    m_apps = std::make_unique<ExternalApps>();
    m_apps->AddApp(kTools, kEditor, QStringLiteral("/usr/bin/nano"), QStringLiteral("%FILE%"), false);
    m_apps->AddApp(kTools, QStringLiteral("Shell"), QStringLiteral("/bin/sh"), QString(), true);
    m_apps->AddApp(QStringLiteral("Games"), QStringLiteral("Chess"), QStringLiteral("/usr/games/chess"), QString(), false);
}

void tst_frmEditApps::cleanup()
{
    frmEditApps::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_apps.reset();
    Captions::setLanguageOffset(0);
}

void tst_frmEditApps::textsAndLayout()
{
    m_apps->ShowForm();
    frmEditApps *window = frmEditApps::instance();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Configure Launch Application"));
    QCOMPARE(button(QStringLiteral("cmdAddApp"))->text(), QStringLiteral("&Add Program"));
    QCOMPARE(button(QStringLiteral("cmdEdit"))->toolTip(), QStringLiteral("Edit the currently selected program in the list"));
    QCOMPARE(button(QStringLiteral("cmdRemoveApp"))->text(), QStringLiteral("&Delete Program"));
    QCOMPARE(tree()->toolTip(), QStringLiteral("Double click to edit the program"));
    QCOMPARE(window->size(), QSize(303, 188));
    QCOMPARE(tree()->geometry(), QRect(8, 8, 169, 169));
    QCOMPARE(button(QStringLiteral("cmdEdit"))->geometry(), QRect(184, 48, 105, 25));
    // Larger is allowed, for long names: the tree takes the room, the buttons stay at the right.
    window->resize(503, 288);
    QCOMPARE(tree()->geometry(), QRect(8, 8, 369, 269));
    QCOMPARE(button(QStringLiteral("cmdEdit"))->geometry(), QRect(384, 48, 105, 25));
    QCOMPARE(window->minimumSize(), QSize(303, 188));
    window->resize(303, 188);
    QVERIFY(QTest::qWaitForWindowActive(window));
    tree()->setFocus();
    for (const char *name : {"cmdAddApp", "cmdEdit", "cmdRemoveApp", "tvGroup"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    }
}

void tst_frmEditApps::emptyCatalogue()
{
    ExternalApps empty;
    empty.ShowForm();
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QVERIFY(button(QStringLiteral("cmdAddApp"))->isEnabled());
    QVERIFY(!button(QStringLiteral("cmdEdit"))->isEnabled());
    QVERIFY(!button(QStringLiteral("cmdRemoveApp"))->isEnabled());
    // Nothing to edit: no dialog may appear.
    QTest::keyClick(tree(), Qt::Key_Return);
    QTest::keyClick(tree(), Qt::Key_Space);
    doubleClick(tree()->viewport(), QPoint(20, 10));
    QVERIFY(!frmNewApp::instance());
    QVERIFY(frmEditApps::instance());
}

void tst_frmEditApps::fillShowsGroupsWithImages()
{
    m_apps->AddApp(QStringLiteral("Empty soon"), QStringLiteral("Gone"), QStringLiteral("/x"), QString(), false);
    m_apps->DeleteApp(QStringLiteral("Empty soon"), QStringLiteral("Gone"));
    m_apps->ShowForm();
    QCOMPARE(treeText(), (QStringList{"Tools: Editor, Shell", "Games: Chess"}));
    QTreeWidgetItem *tools = node(kTools);
    QCOMPARE(tools->data(0, frmEditApps::TagRole).toString(), QStringLiteral("ROOT"));
    QCOMPARE(tools->child(0)->data(0, frmEditApps::TagRole).toString(), QString());
    QVERIFY(tools->isExpanded() && node(QStringLiteral("Games"))->isExpanded());
    QCOMPARE(tree()->currentItem(), tools->child(0));

    // Image 1 is GROUP; then one image per application, a copy of APP when it has no icon.
    const ImageList &images = frmEditApps::instance()->imgExeIcons();
    QCOMPARE(images.count(), 4);
    QCOMPARE(images.key(1), QStringLiteral("GROUP"));
    for (int index = 2; index <= 4; ++index) {
        QCOMPARE(images.key(index), QString());
        QVERIFY(!images.icon(index).isNull());
    }
    QVERIFY(!tools->icon(0).isNull());
    QVERIFY(!tools->child(1)->icon(0).isNull());
}

void tst_frmEditApps::clickEnablesButtonsForApplications()
{
    m_apps->ShowForm();
    clickNode(node(kTools));
    QVERIFY(!button(QStringLiteral("cmdEdit"))->isEnabled());
    QVERIFY(!button(QStringLiteral("cmdRemoveApp"))->isEnabled());
    // With a group selected, edit and delete do nothing.
    QTest::keyClick(tree(), Qt::Key_Return);
    QVERIFY(!frmNewApp::instance());
    clickNode(node(QStringLiteral("Games"), QStringLiteral("Chess")));
    QVERIFY(button(QStringLiteral("cmdEdit"))->isEnabled());
    QVERIFY(button(QStringLiteral("cmdRemoveApp"))->isEnabled());
}

void tst_frmEditApps::addProtectedApplication()
{
    m_apps->ShowForm();
    QString caption;
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
        caption = dialog->windowTitle();
        // The add dialog starts with empty fields and the catalogue's groups.
        QCOMPARE(dialog->findChild<QComboBox *>(QStringLiteral("cboGroup"))->count(), 2);
        fillDialog(dialog, {QStringLiteral("Office"), QStringLiteral("Writer"), QStringLiteral("/usr/bin/lowriter"),
                            QStringLiteral("--norestore"), true},
                   QStringLiteral("ok"));
    });
    QTest::mouseClick(button(QStringLiteral("cmdAddApp")), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Add New Application"));
    QVERIFY(!frmNewApp::instance());
    QCOMPARE(m_apps->AppProtected(QStringLiteral("Office"), QStringLiteral("Writer")), qint16(-1));
    QCOMPARE(m_apps->AppPath(QStringLiteral("Office"), QStringLiteral("Writer")), QStringLiteral("/usr/bin/lowriter"));
    QCOMPARE(m_apps->CmdLine(QStringLiteral("Office"), QStringLiteral("Writer")), QStringLiteral("--norestore"));
    QCOMPARE(treeText(), (QStringList{"Tools: Editor, Shell", "Games: Chess", "Office: Writer"}));
    QCOMPARE(tree()->currentItem(), node(kTools, kEditor));
}

void tst_frmEditApps::firstAddKeepsButtonsDisabled()
{
    ExternalApps empty;
    empty.ShowForm();
    whenModalShown(QStringLiteral("frmNewApp"), [](QWidget *dialog) {
        fillDialog(dialog, {QStringLiteral("New"), QStringLiteral("First"), QStringLiteral("/bin/true"), {}, false},
                   QStringLiteral("ok"));
    });
    QTest::mouseClick(button(QStringLiteral("cmdAddApp")), Qt::LeftButton);
    QCOMPARE(treeText(), QStringList{"New: First"});
    QCOMPARE(tree()->currentItem()->text(0), QStringLiteral("First"));
    QVERIFY(!button(QStringLiteral("cmdEdit"))->isEnabled());
    QVERIFY(!button(QStringLiteral("cmdRemoveApp"))->isEnabled());
    clickNode(tree()->currentItem());
    QVERIFY(button(QStringLiteral("cmdEdit"))->isEnabled());
}

void tst_frmEditApps::editMovesToOtherGroup()
{
    m_apps->ShowForm();
    clickNode(node(kTools, kEditor));
    frmNewApp::Fields prefilled;
    QString caption;
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
        caption = dialog->windowTitle();
        prefilled = static_cast<frmNewApp *>(dialog)->fields();
        fillDialog(dialog, {QStringLiteral("Writing"), QStringLiteral("Nano"), QStringLiteral("/bin/nano"),
                            QStringLiteral("-w %FILE%"), true},
                   QStringLiteral("ok"));
    });
    QTest::mouseClick(button(QStringLiteral("cmdEdit")), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Edit Application"));
    QCOMPARE(prefilled.group, kTools);
    QCOMPARE(prefilled.name, kEditor);
    QCOMPARE(prefilled.path, QStringLiteral("/usr/bin/nano"));
    QCOMPARE(prefilled.cmdLine, QStringLiteral("%FILE%"));
    QCOMPARE(prefilled.isProtected, false);
    QCOMPARE(treeText(), (QStringList{"Tools: Shell", "Games: Chess", "Writing: Nano"}));
    QCOMPARE(m_apps->CmdLine(QStringLiteral("Writing"), QStringLiteral("Nano")), QStringLiteral("-w %FILE%"));
    QCOMPARE(m_apps->AppProtected(QStringLiteral("Writing"), QStringLiteral("Nano")), qint16(-1));
}

void tst_frmEditApps::cancelledEditLeavesRecord_data()
{
    QTest::addColumn<QString>("leave");
    QTest::newRow("cancel-button") << "cancel";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close-box") << "close";
}

void tst_frmEditApps::cancelledEditLeavesRecord()
{
    QFETCH(QString, leave);
    m_apps->ShowForm();
    clickNode(node(kTools, QStringLiteral("Shell")));
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
        fillDialog(dialog, {QStringLiteral("Other"), QStringLiteral("Changed"), QStringLiteral("/changed"),
                            QStringLiteral("changed"), false},
                   leave);
    });
    QTest::mouseClick(button(QStringLiteral("cmdEdit")), Qt::LeftButton);
    QVERIFY(!frmNewApp::instance());
    QCOMPARE(treeText(), (QStringList{"Tools: Editor, Shell", "Games: Chess"}));
    QCOMPARE(m_apps->AppPath(kTools, QStringLiteral("Shell")), QStringLiteral("/bin/sh"));
    QCOMPARE(m_apps->CmdLine(kTools, QStringLiteral("Shell")), QString());
    QCOMPARE(m_apps->AppProtected(kTools, QStringLiteral("Shell")), qint16(-1));
}

void tst_frmEditApps::editByKeyAndDoubleClick_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::newRow("enter") << "enter";
    QTest::newRow("space") << "space";
    QTest::newRow("double-click") << "double-click";
}

void tst_frmEditApps::editByKeyAndDoubleClick()
{
    QFETCH(QString, gesture);
    m_apps->ShowForm();
    QTreeWidgetItem *chess = node(QStringLiteral("Games"), QStringLiteral("Chess"));
    clickNode(chess);
    QString editedName;
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
        editedName = static_cast<frmNewApp *>(dialog)->fields().name;
        fillDialog(dialog, {QStringLiteral("Games"), QStringLiteral("Chess 2"), QStringLiteral("/usr/games/chess"), {}, false},
                   QStringLiteral("ok"));
    });
    if (gesture == u"enter")
        QTest::keyClick(tree(), Qt::Key_Return);
    else if (gesture == u"space")
        QTest::keyClick(tree(), Qt::Key_Space);
    else
        doubleClick(tree()->viewport(), tree()->visualItemRect(chess).center());
    QCOMPARE(editedName, QStringLiteral("Chess"));
    QCOMPARE(treeText(), (QStringList{"Tools: Editor, Shell", "Games: Chess 2"}));
}

void tst_frmEditApps::deleteLastApplicationOfGroup()
{
    m_apps->ShowForm();
    clickNode(node(QStringLiteral("Games"), QStringLiteral("Chess")));
    QTest::mouseClick(button(QStringLiteral("cmdRemoveApp")), Qt::LeftButton);
    QCOMPARE(treeText(), QStringList{"Tools: Editor, Shell"});
    QCOMPARE(m_apps->GroupCount(), qint16(1));
    QCOMPARE(tree()->currentItem(), node(kTools, kEditor));
    QCOMPARE(frmEditApps::instance()->imgExeIcons().count(), 3);
}

void tst_frmEditApps::escapeClosesModalWindow_data()
{
    QTest::addColumn<QString>("target");
    for (const char *name : {"tvGroup", "cmdAddApp", "cmdEdit", "cmdRemoveApp", "frmEditApps"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_frmEditApps::escapeClosesModalWindow()
{
    QFETCH(QString, target);
    bool sawModal = false;
    whenModalShown(QStringLiteral("frmEditApps"), [&](QWidget *window) {
        sawModal = true;
        QWidget *widget = window->objectName() == target ? window : window->findChild<QWidget *>(target);
        QTest::keyClick(widget, Qt::Key_Escape);
    });
    m_apps->ShowForm(1);
    QVERIFY(sawModal);
    QVERIFY(!frmEditApps::instance());
}

void tst_frmEditApps::closeBoxAndHideFormUnload()
{
    m_apps->ShowForm();
    QPointer<frmEditApps> window = frmEditApps::instance();
    QVERIFY(window->close());
    QVERIFY(!frmEditApps::instance());
    QTRY_VERIFY(!window);

    m_apps->ShowForm();
    window = frmEditApps::instance();
    QVERIFY(window);
    m_apps->HideForm();
    QVERIFY(!window);
    m_apps->HideForm();
}

void tst_frmEditApps::showFormThroughSecondObject()
{
    ExternalApps other;
    other.AddApp(QStringLiteral("Net"), QStringLiteral("Browser"), QStringLiteral("/usr/bin/firefox"), QString(), false);
    m_apps->ShowForm();
    frmEditApps *window = frmEditApps::instance();
    other.ShowForm();
    QCOMPARE(frmEditApps::instance(), window);
    QCOMPARE(window->LaunchAppClass(), &other);
    QCOMPARE(treeText(), QStringList{"Net: Browser"});

    // From now on the window edits the second object only.
    clickNode(node(QStringLiteral("Net"), QStringLiteral("Browser")));
    QTest::mouseClick(button(QStringLiteral("cmdRemoveApp")), Qt::LeftButton);
    QCOMPARE(other.GroupCount(), qint16(0));
    QCOMPARE(m_apps->GroupCount(), qint16(2));
    QVERIFY(!button(QStringLiteral("cmdEdit"))->isEnabled());
}

void tst_frmEditApps::releaseClosesWindowOfOtherObject()
{
    auto other = std::make_unique<ExternalApps>();
    m_apps->ShowForm();
    QPointer<frmEditApps> window = frmEditApps::instance();
    other.reset();
    QVERIFY(!window);
    QVERIFY(!frmEditApps::instance());

    // Released while the dialog is open: the dialog goes first, the open show returns.
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *) { m_apps.reset(); });
    m_apps->ShowForm();
    QTest::mouseClick(button(QStringLiteral("cmdAddApp")), Qt::LeftButton);
    QVERIFY(!frmNewApp::instance());
    QVERIFY(!frmEditApps::instance());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_frmEditApps::languageAppliesAtLoad()
{
    m_apps->setLanguage(Language::lGerman);
    m_apps->ShowForm();
    QCOMPARE(frmEditApps::instance()->windowTitle(), QStringLiteral("DEU:Configure Launch Application"));
    QPushButton *add = button(QStringLiteral("cmdAddApp"));
    QCOMPARE(add->text(), QStringLiteral("DEU:&Add Program"));

    // Another object chooses French while the window is loaded: the window keeps its texts,
    // the dialog loaded afterwards is French.
    ExternalApps other;
    other.setLanguage(Language::lFrench);
    QCOMPARE(m_apps->Language(), Language::lGerman);
    m_apps->ShowForm();
    QCOMPARE(add->text(), QStringLiteral("DEU:&Add Program"));
    QString caption;
    QString label;
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
        caption = dialog->windowTitle();
        label = dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->text();
        fillDialog(dialog, {}, QStringLiteral("cancel"));
    });
    QTest::keyClick(add, Qt::Key_Space);
    QCOMPARE(caption, QStringLiteral("FRA:Add New Application"));
    QCOMPARE(label, QStringLiteral("FRA:&OK"));

    m_apps->HideForm();
    m_apps->ShowForm();
    QCOMPARE(button(QStringLiteral("cmdRemoveApp"))->text(), QStringLiteral("FRA:&Delete Program"));
}

void tst_frmEditApps::componentErrorIsShownNotThrown()
{
    m_apps->ShowForm();
    clickNode(node(kTools, kEditor));
    // The host removes the record while the user edits it: EditApp raises error 9.
    QString message;
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
        m_apps->DeleteApp(kTools, kEditor);
        whenModalShown(QStringLiteral("msgComponentError"), [&](QWidget *box) {
            message = static_cast<QMessageBox *>(box)->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        fillDialog(dialog, {kTools, kEditor, QStringLiteral("/bin/vi"), {}, false}, QStringLiteral("ok"));
    });
    QTest::mouseClick(button(QStringLiteral("cmdEdit")), Qt::LeftButton);
    QCOMPARE(message, QStringLiteral("Index out of range (error 9)"));
    QVERIFY(frmEditApps::instance());
    QCOMPARE(treeText(), (QStringList{"Tools: Shell", "Games: Chess"}));

    // A stale node: the host deleted the record after the last fill.
    m_apps->DeleteApp(QStringLiteral("Games"), QStringLiteral("Chess"));
    clickNode(node(QStringLiteral("Games"), QStringLiteral("Chess")));
    message.clear();
    whenModalShown(QStringLiteral("msgComponentError"), [&](QWidget *box) {
        message = static_cast<QMessageBox *>(box)->text();
        box->close();
    });
    QTest::keyClick(tree(), Qt::Key_Return);
    QCOMPARE(message, QStringLiteral("Index out of range (error 9)"));
    QVERIFY(!frmNewApp::instance());
    QCOMPARE(treeText(), QStringList{"Tools: Shell"});
}

void tst_frmEditApps::ownerWindowAndModalArgument()
{
    QWidget owner;
    owner.show();
    m_apps->ShowForm(0, &owner);
    frmEditApps *window = frmEditApps::instance();
    QCOMPARE(window->parentWidget(), &owner);
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QVERIFY_THROWS_EXCEPTION(ComponentError, m_apps->ShowForm(2));
}

QTEST_MAIN(tst_frmEditApps)
#include "tst_frmeditapps.moc"
