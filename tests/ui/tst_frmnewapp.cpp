#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Lanyard;
using namespace UiTest;
using namespace Qt::StringLiterals;

namespace {

frmNewApp *load(ExternalApps *apps = nullptr, const frmNewApp::Fields &fields = {})
{
    frmNewApp *dialog = frmNewApp::Load(nullptr);
    dialog->setLaunchAppClass(apps);
    dialog->setFields(fields);
    return dialog;
}

template<typename T = QWidget>
T *control(const QString &name) { return child<T>(frmNewApp::instance(), name); }

QStringList asList(const frmNewApp::Fields &f)
{
    return {f.group, f.name, f.path, f.cmdLine, QString::number(f.isProtected)};
}

// Clicks Browse and runs @p action on the file dialog, which it must close.
void browse(std::function<void(QFileDialog *)> action)
{
    frmNewApp::instance()->show();
    whenModalShown(u"cdlgBrowse"_s, [&](QWidget *shown) { action(qobject_cast<QFileDialog *>(shown)); });
    QTest::mouseClick(control(u"cmdBrowse"_s), Qt::LeftButton);
}

} // namespace

class tst_frmNewApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        frmNewApp::Unload();
        frmPlaceholders::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Captions::setLanguage(Language::lEnglish);
    }

    void loadAppliesTexts()
    {
        ExternalApps apps;
        apps.setLanguage(Language::lGerman);
        load(&apps);
        for (auto [name, property, text] :
             {std::tuple{"lblCmdLine", "text", "Command Line"}, {"cmdBrowse", "text", "&Browse"},
              {"cboGroup", "toolTip", "Select a group to add the program to or enter a new group"},
              {"cmdCancel", "toolTip", "Exit without saving changes"}})
            QCOMPARE(control(QString::fromLatin1(name))->property(property).toString(),
                     u"DEU:"_s + QString::fromLatin1(text));
        // The check box's text is the same in every language.
        QCOMPARE(control(u"cbProtected"_s)->property("text").toString(), u"&Protected"_s);
        QCOMPARE(frmNewApp::instance()->imgApps().key(3), u"TEXT"_s);
    }

    void layoutAndTabOrder()
    {
        frmNewApp *dialog = load();
        QCOMPARE(dialog->logicalDpiX(), 96);
        QCOMPARE(dialog->size(), QSize(369, 287));
        // Twips / 15 at 96 dots per inch, inside Frame1.
        for (auto [name, geometry] : {std::pair{"Frame1", QRect(8, 0, 353, 281)}, {"cboGroup", QRect(8, 32, 169, 21)},
                                      {"txtApp", QRect(8, 128, 337, 19)}, {"cmdInsertKeyword", QRect(256, 209, 89, 17)},
                                      {"cmdOK", QRect(200, 248, 97, 25)}})
            QCOMPARE(control(QString::fromLatin1(name))->geometry(), geometry);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        control(u"cboGroup"_s)->setFocus();
        for (const char *name : {"txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine", "cmdInsertKeyword",
                                 "cmdOK", "cmdCancel", "cboGroup"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QCOMPARE(focus->objectName().isEmpty() ? focus->parentWidget()->objectName() : focus->objectName(),
                     QString::fromLatin1(name));
        }
        QVERIFY(!control<QPushButton>(u"cmdOK"_s)->autoDefault());
    }

    void leaving_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("ok-button") << u"click"_s << u"cmdOK"_s << false;
        QTest::newRow("cancel-button") << u"click"_s << u"cmdCancel"_s << true;
        QTest::newRow("close-box") << u"close"_s << QString() << true;
        for (const char *name : {"cboGroup", "txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine",
                                 "cmdInsertKeyword", "cmdOK", "cmdCancel", ""})
            QTest::addRow("escape-in-%s", *name ? name : "dialog") << u"escape"_s << QString::fromLatin1(name) << true;
    }

    void leaving()
    {
        QFETCH(QString, action);
        QFETCH(QString, target);
        QFETCH(bool, cancel);
        const frmNewApp::Fields typed{u"Tools"_s, u"Editor"_s, u"/usr/bin/nano"_s, u"-w %FILE%"_s, true};
        frmNewApp *dialog = load(nullptr, typed);
        whenModalShown(u"frmNewApp"_s, [&](QWidget *shown) {
            QWidget *widget = target.isEmpty() ? shown : shown->findChild<QWidget *>(target);
            if (action == u"click")
                QTest::mouseClick(widget, Qt::LeftButton);
            else if (action == u"escape")
                QTest::keyClick(widget, Qt::Key_Escape);
            else
                shown->close();
        });
        dialog->exec();
        // Leaving only hides the dialog: the caller still reads the fields.
        QVERIFY(frmNewApp::instance() == dialog && !dialog->isVisible());
        QCOMPARE(dialog->Cancel(), cancel);
        QCOMPARE(asList(dialog->fields()), asList(typed));
    }

    void typedLengthLimits()
    {
        frmNewApp *dialog = load();
        dialog->show();
        auto *group = control<QComboBox>(u"cboGroup"_s);
        QTest::keyClicks(group, u"abcdefghijklmnopqrstU"_s);
        QCOMPARE(group->currentText(), u"abcdefghijklmnopqrst"_s);
        QTest::keyClick(group, Qt::Key_Backspace);
        QTest::keyClicks(group, u"XY"_s);
        QCOMPARE(group->currentText(), u"abcdefghijklmnopqrsX"_s);
        auto *name = control<QLineEdit>(u"txtAppName"_s);
        QTest::keyClicks(name, u"123456789012345678901234"_s);
        QCOMPARE(name->text(), u"12345678901234567890"_s);
        auto *cmdLine = control<QLineEdit>(u"txtCmdLine"_s);
        QTest::keyClicks(cmdLine, QString(260, u'c'));
        QCOMPARE(cmdLine->text().size(), 255);

        // Only typing is limited: longer stored texts are shown whole, and a long group name is
        // cut at the first key other than Backspace.
        dialog->setFields({u"A group name of 26 chars."_s, QString(30, u'n'), QString(300, u'p'), {}, false});
        QCOMPARE(name->text().size(), 30);
        QCOMPARE(dialog->fields().path.size(), 300);
        QTest::keyClick(group, Qt::Key_Backspace);
        QCOMPARE(group->currentText(), u"A group name of 26 chars"_s);
        QTest::keyClick(group, Qt::Key_Z);
        QCOMPARE(group->currentText(), u"A group name of 26 c"_s);
    }

    void insertKeywordTwice()
    {
        ExternalApps apps;
        apps.AddPlaceHolder(u"%FILE%"_s, u"/tmp/a.txt"_s);
        apps.AddPlaceHolder(u"%USER%"_s, u"ann"_s);
        frmNewApp *dialog = load(&apps, {{}, {}, {}, u"--user="_s, false});
        dialog->show();
        const auto insertKeyword = [](std::function<void(QTreeWidget *)> action) {
            whenModalShown(u"frmPlaceholders"_s, [action](QWidget *picker) {
                action(child<QTreeWidget>(picker, u"lvPlaceholders"_s));
            });
            QTest::mouseClick(control(u"cmdInsertKeyword"_s), Qt::LeftButton);
            QVERIFY(!frmPlaceholders::instance());
        };
        // The second entry by click and Enter, then Enter alone: the held choice again.
        insertKeyword([](QTreeWidget *list) {
            clickItem(list->topLevelItem(1));
            QTest::keyClick(list, Qt::Key_Return);
        });
        insertKeyword([](QTreeWidget *list) { QTest::keyClick(list, Qt::Key_Return); });
        insertKeyword([](QTreeWidget *list) { list->window()->close(); }); // changes nothing
        QCOMPARE(dialog->fields().cmdLine, u"--user=%USER%%USER%"_s);
    }

    void browseStartFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("empty-path-library-folder") << QString() << LANYARD_LIB_DIR;
        QTest::newRow("program-in-subfolder") << u"<tmp>/tools/X.EXE"_s << u"<tmp>/tools"_s;
        QTest::newRow("name-without-folder") << u"X.EXE"_s << LANYARD_LIB_DIR;
    }

    void browseStartFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"tools"_s));
        path.replace(u"<tmp>"_s, dir.path());
        folder.replace(u"<tmp>"_s, dir.path());
        frmNewApp *dialog = load(nullptr, {{}, {}, path, {}, false});
        QStringList seen;
        browse([&](QFileDialog *browser) {
            seen = {browser->windowTitle(), browser->directory().canonicalPath()};
            QCOMPARE(browser->parent(), dialog);
            browser->reject();
        });
        QCOMPARE(seen, (QStringList{u"Select a program to start"_s, QDir(folder).canonicalPath()}));
        QCOMPARE(dialog->fields().path, path); // cancelled: unchanged
    }

    void browseListsProgramsAndTakesChoice()
    {
        QTemporaryDir dir;
        for (const char *name : {"upper.EXE", "lower.exe", "notes.txt", "run.COM"})
            QVERIFY(QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
        frmNewApp *dialog = load(nullptr, {{}, {}, dir.filePath(u"old.exe"_s), {}, false});
        QStringList filters;
        QStringList listed;
        browse([&](QFileDialog *browser) {
            filters = browser->nameFilters();
            auto *view = browser->findChild<QListView *>(u"listView"_s);
            const auto rows = [view] { return view->model()->rowCount(view->rootIndex()); };
            // The folder is read in the background; the user clicks the first program and confirms.
            if (QTest::qWaitFor([&] { return rows() == 2; }, 5000)) {
                for (int row = 0; row < rows(); ++row)
                    listed.append(view->model()->index(row, 0, view->rootIndex()).data().toString());
                const QModelIndex first = view->model()->index(0, 0, view->rootIndex());
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(first).center());
                static_cast<QDialog *>(browser)->accept();
            }
            if (browser->isVisible())
                browser->reject();
        });
        QCOMPARE(filters.join(u'|'),
                 u"Application (*.EXE)|DOS Application (*.COM)|Batch File (*.BAT)|All Files (*)"_s);
        QCOMPARE(QSet<QString>(listed.cbegin(), listed.cend()), (QSet<QString>{u"lower.exe"_s, u"upper.EXE"_s}));
        QCOMPARE(dialog->fields().path, dir.filePath(listed.value(0)));
        QCOMPARE(dialog->fields().name, QString());
    }

};

QTEST_MAIN(tst_frmNewApp)
#include "tst_frmnewapp.moc"
