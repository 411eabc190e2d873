#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Lanyard;
using namespace UiTest;

class tst_frmNewApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void loadAppliesTexts_data();
    void loadAppliesTexts();
    void layoutInPixels_data();
    void layoutInPixels();
    void tabOrder();
    void groupListFollowsCatalogue();
    void leaving_data();
    void leaving();
    void groupKeyRule();
    void typedLengthLimits();
    void insertKeywordTwice();
    void browseStartFolder_data();
    void browseStartFolder();
    void browseResult();
    void browseFiltersIgnoreCase();

private:
    frmNewApp *load(ExternalApps *apps);
    template<typename T>
    T *control(const QString &name) { return child<T>(frmNewApp::instance(), name); }
};

frmNewApp *tst_frmNewApp::load(ExternalApps *apps)
{
    frmNewApp *dialog = frmNewApp::Load(nullptr);
    dialog->setLaunchAppClass(apps);
    return dialog;
}

void tst_frmNewApp::cleanup()
{
    frmNewApp::Unload();
    frmPlaceholders::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Captions::setLanguageOffset(0);
}

void tst_frmNewApp::loadAppliesTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("english") << 0 << QString();
    QTest::newRow("german") << 1 << QStringLiteral("DEU:");
    QTest::newRow("french") << 2 << QStringLiteral("FRA:");
}

void tst_frmNewApp::loadAppliesTexts()
{
    QFETCH(int, language);
    QFETCH(QString, prefix);
    ExternalApps apps;
    apps.setLanguage(Language(language));
    load(&apps);
    QCOMPARE(control<QLabel>(QStringLiteral("lblProgGroup"))->text(), prefix + QStringLiteral("Program Group"));
    QCOMPARE(control<QLabel>(QStringLiteral("lblCmdLine"))->text(), prefix + QStringLiteral("Command Line"));
    QCOMPARE(control<QComboBox>(QStringLiteral("cboGroup"))->toolTip(),
             prefix + QStringLiteral("Select a group to add the program to or enter a new group"));
    QCOMPARE(control<QPushButton>(QStringLiteral("cmdBrowse"))->text(), prefix + QStringLiteral("&Browse"));
    QCOMPARE(control<QPushButton>(QStringLiteral("cmdCancel"))->toolTip(), prefix + QStringLiteral("Exit without saving changes"));
    QCOMPARE(control<QPushButton>(QStringLiteral("cmdOK"))->text(), prefix + QStringLiteral("&OK"));
    // The check box's texts are the same in every language.
    QCOMPARE(control<QCheckBox>(QStringLiteral("cbProtected"))->text(), QStringLiteral("&Protected"));
    QCOMPARE(control<QCheckBox>(QStringLiteral("cbProtected"))->toolTip(),
             QStringLiteral("Set to protected to allow this option to be hidden in Corvane"));
    QVERIFY(!control<QPushButton>(QStringLiteral("cmdOK"))->autoDefault());
    QCOMPARE(frmNewApp::instance()->imgApps().count(), 3);
    QCOMPARE(frmNewApp::instance()->imgApps().key(3), QStringLiteral("TEXT"));
}

void tst_frmNewApp::layoutInPixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    // Twips / 15 at 96 dots per inch, inside Frame1.
    QTest::newRow("Frame1") << "Frame1" << QRect(8, 0, 353, 281);
    QTest::newRow("cboGroup") << "cboGroup" << QRect(8, 32, 169, 21);
    QTest::newRow("txtApp") << "txtApp" << QRect(8, 128, 337, 19);
    QTest::newRow("cmdInsertKeyword") << "cmdInsertKeyword" << QRect(256, 209, 89, 17);
    QTest::newRow("cmdOK") << "cmdOK" << QRect(200, 248, 97, 25);
}

void tst_frmNewApp::layoutInPixels()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    frmNewApp *dialog = load(nullptr);
    QCOMPARE(dialog->logicalDpiX(), 96);
    QCOMPARE(dialog->size(), QSize(369, 287));
    QCOMPARE(control<QWidget>(name)->geometry(), geometry);
}

void tst_frmNewApp::tabOrder()
{
    frmNewApp *dialog = load(nullptr);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    auto *group = control<QComboBox>(QStringLiteral("cboGroup"));
    group->setFocus();
    const QStringList expected{"txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine",
                               "cmdInsertKeyword", "cmdOK", "cmdCancel", "cboGroup"};
    for (const QString &name : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        const QString focused = focus->objectName().isEmpty() ? focus->parentWidget()->objectName() : focus->objectName();
        QCOMPARE(focused, name);
    }
}

void tst_frmNewApp::groupListFollowsCatalogue()
{
    ExternalApps apps;
    apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Editor"), QStringLiteral("/usr/bin/nano"), QString(), false);
    apps.AddApp(QStringLiteral("Games"), QStringLiteral("Chess"), QStringLiteral("/usr/games/chess"), QString(), false);
    frmNewApp *dialog = load(&apps);
    auto *group = control<QComboBox>(QStringLiteral("cboGroup"));
    QCOMPARE(group->count(), 2);
    QCOMPARE(group->itemText(0), QStringLiteral("Tools"));
    QCOMPARE(group->itemText(1), QStringLiteral("Games"));
    QCOMPARE(group->currentText(), QString());

    ExternalApps empty;
    dialog->setFields({QStringLiteral("Old"), {}, {}, {}, false});
    dialog->setLaunchAppClass(&empty);
    QCOMPARE(group->count(), 0);
    QCOMPARE(group->currentText(), QString());
}

void tst_frmNewApp::leaving_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("cancel");

    QTest::newRow("ok-button") << "click" << "cmdOK" << false;
    QTest::newRow("cancel-button") << "click" << "cmdCancel" << true;
    QTest::newRow("close-box") << "close" << "" << true;
    for (const char *name : {"cboGroup", "txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine",
                             "cmdInsertKeyword", "cmdOK", "cmdCancel"})
        QTest::addRow("escape-in-%s", name) << "escape" << QString::fromLatin1(name) << true;
    QTest::newRow("escape-in-dialog") << "escape" << "" << true;
}

void tst_frmNewApp::leaving()
{
    QFETCH(QString, action);
    QFETCH(QString, target);
    QFETCH(bool, cancel);

    frmNewApp *dialog = load(nullptr);
    const frmNewApp::Fields typed{QStringLiteral("Tools"), QStringLiteral("Editor"), QStringLiteral("/usr/bin/nano"),
                                  QStringLiteral("-w %FILE%"), true};
    dialog->setFields(typed);
    whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *shown) {
        QWidget *widget = target.isEmpty() ? shown : shown->findChild<QWidget *>(target);
        if (action == u"click")
            QTest::mouseClick(widget, Qt::LeftButton);
        else if (action == u"escape")
            QTest::keyClick(widget, Qt::Key_Escape);
        else
            shown->close();
    });
    dialog->exec();
    QCOMPARE(frmNewApp::instance(), dialog);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->Cancel(), cancel);
    const frmNewApp::Fields kept = dialog->fields();
    QCOMPARE(kept.group, typed.group);
    QCOMPARE(kept.name, typed.name);
    QCOMPARE(kept.path, typed.path);
    QCOMPARE(kept.cmdLine, typed.cmdLine);
    QCOMPARE(kept.isProtected, typed.isProtected);
}

void tst_frmNewApp::groupKeyRule()
{
    frmNewApp *dialog = load(nullptr);
    auto *group = control<QComboBox>(QStringLiteral("cboGroup"));
    dialog->show();
    QTest::keyClicks(group, QStringLiteral("abcdefghijklmnopqrst"));
    QCOMPARE(group->currentText(), QStringLiteral("abcdefghijklmnopqrst"));
    QTest::keyClick(group, Qt::Key_U);
    QCOMPARE(group->currentText(), QStringLiteral("abcdefghijklmnopqrst"));
    QTest::keyClick(group, Qt::Key_Backspace);
    QCOMPARE(group->currentText(), QStringLiteral("abcdefghijklmnopqrs"));
    QTest::keyClicks(group, QStringLiteral("XY"));
    QCOMPARE(group->currentText(), QStringLiteral("abcdefghijklmnopqrsX"));

    // A longer prefilled name is cut at the first key other than Backspace.
    dialog->setFields({QStringLiteral("A group name of 26 chars."), {}, {}, {}, false});
    QTest::keyClick(group, Qt::Key_Backspace);
    QCOMPARE(group->currentText(), QStringLiteral("A group name of 26 chars"));
    QTest::keyClick(group, Qt::Key_Z);
    QCOMPARE(group->currentText(), QStringLiteral("A group name of 26 c"));
}

void tst_frmNewApp::typedLengthLimits()
{
    frmNewApp *dialog = load(nullptr);
    dialog->show();
    auto *name = control<QLineEdit>(QStringLiteral("txtAppName"));
    QTest::keyClicks(name, QStringLiteral("123456789012345678901234"));
    QCOMPARE(name->text(), QStringLiteral("12345678901234567890"));
    // Only typing is limited: a longer stored name is shown whole.
    const QString longName(30, u'n');
    dialog->setFields({{}, longName, QString(300, u'p'), {}, false});
    QCOMPARE(name->text(), longName);
    QCOMPARE(dialog->fields().path.size(), 300);
    auto *cmdLine = control<QLineEdit>(QStringLiteral("txtCmdLine"));
    QTest::keyClicks(cmdLine, QString(260, u'c'));
    QCOMPARE(cmdLine->text().size(), 255);
}

void tst_frmNewApp::insertKeywordTwice()
{
    ExternalApps apps;
    apps.AddPlaceHolder(QStringLiteral("%FILE%"), QStringLiteral("/tmp/a.txt"));
    apps.AddPlaceHolder(QStringLiteral("%USER%"), QStringLiteral("ann"));
    frmNewApp *dialog = load(&apps);
    dialog->setFields({{}, {}, {}, QStringLiteral("--user="), false});
    auto *insert = control<QPushButton>(QStringLiteral("cmdInsertKeyword"));
    dialog->show();

    whenModalShown(QStringLiteral("frmPlaceholders"), [](QWidget *picker) {
        auto *list = picker->findChild<QTreeWidget *>(QStringLiteral("lvPlaceholders"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(1)).center());
        QTest::keyClick(list, Qt::Key_Return);
    });
    QTest::mouseClick(insert, Qt::LeftButton);
    QVERIFY(!frmPlaceholders::instance());
    whenModalShown(QStringLiteral("frmPlaceholders"), [](QWidget *picker) {
        QTest::keyClick(picker->findChild<QTreeWidget *>(QStringLiteral("lvPlaceholders")), Qt::Key_Return);
    });
    QTest::mouseClick(insert, Qt::LeftButton);
    QCOMPARE(dialog->fields().cmdLine, QStringLiteral("--user=%USER%%USER%"));

    whenModalShown(QStringLiteral("frmPlaceholders"), [](QWidget *picker) { picker->close(); });
    QTest::mouseClick(insert, Qt::LeftButton);
    QCOMPARE(dialog->fields().cmdLine, QStringLiteral("--user=%USER%%USER%"));
}

void tst_frmNewApp::browseStartFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::newRow("empty-path-library-folder") << "" << LANYARD_LIB_DIR;
    QTest::newRow("program-in-subfolder") << "<tmp>/tools/X.EXE" << "<tmp>/tools";
    QTest::newRow("name-without-folder") << "X.EXE" << LANYARD_LIB_DIR;
}

void tst_frmNewApp::browseStartFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("tools")));
    path.replace(QStringLiteral("<tmp>"), dir.path());
    folder.replace(QStringLiteral("<tmp>"), dir.path());

    frmNewApp *dialog = load(nullptr);
    dialog->setFields({{}, {}, path, {}, false});
    dialog->show();
    QString shownFolder;
    QString title;
    whenModalShown(QStringLiteral("cdlgBrowse"), [&](QWidget *shown) {
        auto *browse = qobject_cast<QFileDialog *>(shown);
        shownFolder = browse->directory().canonicalPath();
        title = browse->windowTitle();
        browse->reject();
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdBrowse")), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Select a program to start"));
    QCOMPARE(shownFolder, QDir(folder).canonicalPath());
    QCOMPARE(dialog->fields().path, path);
    QCOMPARE(dialog->findChild<QFileDialog *>(QStringLiteral("cdlgBrowse"))->parent(), dialog);
}

void tst_frmNewApp::browseResult()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("TOOL.EXE"));
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    frmNewApp *dialog = load(nullptr);
    dialog->setFields({{}, {}, QStringLiteral("/old/path/prog.exe"), {}, false});
    dialog->show();
    whenModalShown(QStringLiteral("cdlgBrowse"), [&](QWidget *shown) {
        auto *browse = qobject_cast<QFileDialog *>(shown);
        browse->setDirectory(dir.path());
        auto *view = browse->findChild<QListView *>(QStringLiteral("listView"));
        // The folder is read in the background; click the file once it is listed, then Open.
        if (QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) == 1; }, 5000)) {
            const QModelIndex file = view->model()->index(0, 0, view->rootIndex());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(file).center());
            static_cast<QDialog *>(browse)->accept();
        }
        if (browse->isVisible())
            browse->reject();
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdBrowse")), Qt::LeftButton);
    QCOMPARE(dialog->fields().path, program);
    QCOMPARE(dialog->fields().name, QString());
}

void tst_frmNewApp::browseFiltersIgnoreCase()
{
    QTemporaryDir dir;
    for (const char *name : {"upper.EXE", "lower.exe", "notes.txt", "run.COM"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    frmNewApp *dialog = load(nullptr);
    dialog->setFields({{}, {}, dir.filePath(QStringLiteral("x")), {}, false});
    dialog->show();
    QStringList filters;
    QStringList listed;
    whenModalShown(QStringLiteral("cdlgBrowse"), [&](QWidget *shown) {
        auto *browse = qobject_cast<QFileDialog *>(shown);
        filters = browse->nameFilters();
        auto *view = browse->findChild<QListView *>(QStringLiteral("listView"));
        const bool loaded = QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) == 2; }, 5000);
        Q_UNUSED(loaded);
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            listed.append(view->model()->index(row, 0, view->rootIndex()).data().toString());
        browse->reject();
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdBrowse")), Qt::LeftButton);
    QCOMPARE(filters, (QStringList{"Application (*.EXE)", "DOS Application (*.COM)", "Batch File (*.BAT)", "All Files (*)"}));
    listed.sort();
    QCOMPARE(listed, (QStringList{"lower.exe", "upper.EXE"}));
}

QTEST_MAIN(tst_frmNewApp)
#include "tst_frmnewapp.moc"
