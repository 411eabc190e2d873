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
#include <QMessageBox>
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

void showActive(QWidget *window)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Presses Browse by keyboard and runs @p action on the file dialog, which it must close.
void browse(std::function<void(QFileDialog *)> action)
{
    showActive(frmNewApp::instance());
    whenModalShown(u"cdlgBrowse"_s, [&](QWidget *shown) { action(qobject_cast<QFileDialog *>(shown)); });
    play(frmNewApp::instance(), {u"focus:cmdBrowse"_s, u"key:Return"_s});
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
        QVERIFY(!frmNewApp::instance()->Cancel());
    }

    void tabOrder()
    {
        showActive(load());
        focusOn(control(u"cboGroup"_s));
        for (const char *name : {"txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine", "cmdInsertKeyword",
                                 "cmdOK", "cmdCancel", "cboGroup"}) {
            press(Qt::Key_Tab);
            QCOMPARE(focusName(), QString::fromLatin1(name));
        }
    }

    void leaving_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("ok-button") << "click:cmdOK" << false;
        QTest::newRow("cancel-button") << "click:cmdCancel" << true;
        QTest::newRow("close-box") << "close" << true;
        // A focused button answers Return; Return in a box or on the check box presses nothing.
        QTest::newRow("return-on-ok") << "focus:cmdOK key:Return" << false;
        QTest::newRow("return-on-cancel") << "focus:cmdCancel key:Return" << true;
        QTest::newRow("return-in-boxes-presses-nothing")
            << "focus:cboGroup key:Return focus:txtAppName key:Return focus:txtApp key:Enter focus:txtCmdLine "
               "key:Return focus:cbProtected key:Return key:Esc"
            << true;
        for (const char *name : {"cboGroup", "txtAppName", "cbProtected", "txtApp", "cmdBrowse", "txtCmdLine",
                                 "cmdInsertKeyword", "cmdOK", "cmdCancel"})
            QTest::addRow("escape-in-%s", name) << u"focus:%1 key:Esc"_s.arg(QString::fromLatin1(name)) << true;
    }

    void leaving()
    {
        QFETCH(QString, steps);
        QFETCH(bool, cancel);
        const frmNewApp::Fields typed{u"Tools"_s, u"Editor"_s, u"/usr/bin/nano"_s, u"-w %FILE%"_s, true};
        frmNewApp *dialog = load(nullptr, typed);
        whenModalShown(u"frmNewApp"_s, [&](QWidget *shown) { play(shown, steps.split(u' ')); });
        dialog->exec();
        // Leaving only hides the dialog: the caller still reads the fields.
        QVERIFY(frmNewApp::instance() == dialog && !dialog->isVisible());
        QCOMPARE(dialog->Cancel(), cancel);
        QCOMPARE(asList(dialog->fields()), asList(typed));
    }

    void okNeedsGroupNameAndProgram_data()
    {
        // Fields as "group|name|path|command line"; the lines of the message, none when OK takes
        // the entry; the box that has the focus after the message; the fields OK hands over.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("taken");
        QTest::newRow("all-empty") << "|||"
                                   << QStringList{u"• “Program Group”"_s, u"• “Program Name”"_s,
                                                  u"• “Program Path” or “Command Line”"_s}
                                   << "cboGroup" << QString();
        QTest::newRow("blank-name") << "Tools| \t|/bin/vi|" << QStringList{u"• “Program Name”"_s} << "txtAppName"
                                    << QString();
        QTest::newRow("no-program") << "Tools|Vi||" << QStringList{u"• “Program Path” or “Command Line”"_s}
                                    << "txtApp" << QString();
        QTest::newRow("command-line-only") << "Tools|Vi||vi %FILE%" << QStringList() << QString()
                                           << "Tools|Vi||vi %FILE%";
        QTest::newRow("blanks-at-the-ends-dropped") << " Tools\t|\tVi | /bin/vi | -R  " << QStringList() << QString()
                                                    << "Tools|Vi|/bin/vi|-R";
    }

    void okNeedsGroupNameAndProgram()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, missing);
        QFETCH(QString, focus);
        QFETCH(QString, taken);
        const QStringList parts = typed.split(u'|');
        frmNewApp *dialog = load(nullptr, {parts[0], parts[1], parts[2], parts[3], false});
        QString message;
        whenModalShown(u"frmNewApp"_s, [&](QWidget *shown) {
            if (!missing.isEmpty()) {
                whenModalShown(u"msgIncompleteEntry"_s, [&](QWidget *box) {
                    message = static_cast<QMessageBox *>(box)->text();
                    press(Qt::Key_Return);
                });
            }
            play(shown, {u"focus:cmdOK"_s, u"key:Return"_s});
            if (shown->isVisible()) {
                // The window manager's part: the dialog is active again once the box is gone.
                shown->activateWindow();
                QCOMPARE(focusName(), focus);
                press(Qt::Key_Escape);
            }
        });
        dialog->exec();
        QCOMPARE(dialog->Cancel(), !missing.isEmpty());
        QCOMPARE(message.split(u'\n').mid(1), missing);
        if (!taken.isEmpty())
            QCOMPARE(asList(dialog->fields()).mid(0, 4).join(u'|'), taken);
    }

    void typing_data()
    {
        // The box given the focus, its text as the program set it, the user's steps, the text of
        // the box and the control that has the focus afterwards.
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("focus");
        const QString full = u"abcdefghijklmnopqrst"_s;
        QTest::newRow("group-21st-char-refused") << "cboGroup" << "" << "type:" + full + "U" << full << "cboGroup";
        // Keys that insert nothing work in a full box, and a refused key leaves the caret.
        QTest::newRow("group-full-editing-keys")
            << "cboGroup" << full << "key:Home type:Z key:Delete key:End key:Left key:Backspace"
            << "bcdefghijklmnopqrt" << "cboGroup";
        QTest::newRow("group-full-select-all-delete") << "cboGroup" << full << "key:Ctrl+A key:Delete" << ""
                                                      << "cboGroup";
        QTest::newRow("group-full-tab-leaves") << "cboGroup" << full << "key:Tab" << full << "txtAppName";
        QTest::newRow("group-stored-longer-cut-when-typing")
            << "cboGroup" << "A group name of 26 chars." << "key:Backspace type:Z" << "A group name of 26 c"
            << "cboGroup";
        QTest::newRow("name-21st-char-refused") << "txtAppName" << "" << "type:123456789012345678901234"
                                                << "12345678901234567890" << "txtAppName";
        QTest::newRow("name-stored-longer-kept") << "txtAppName" << QString(30, u'n') << "type:x key:Backspace"
                                                 << QString(29, u'n') << "txtAppName";
        QTest::newRow("paste-past-limit-refused") << "txtAppName" << "0123456789012345"
                                                  << "clip:abcde key:Ctrl+V clip:abcd key:Ctrl+V"
                                                  << "0123456789012345abcd" << "txtAppName";
        QTest::newRow("path-256th-char-refused") << "txtApp" << QString(250, u'p') << "type:qqqqqqq"
                                                 << QString(250, u'p') + u"qqqqq"_s << "txtApp";
        // What a launch list line cannot hold is refused, typed or pasted.
        QTest::newRow("comma-and-line-break-refused")
            << "txtCmdLine" << "-w" << "type:_a,b clip:c\\nd key:Ctrl+V clip:c;d key:Ctrl+V" << "-w_abc;d"
            << "txtCmdLine";
        QTest::newRow("comma-in-group-refused") << "cboGroup" << "" << "type:A,B" << "AB" << "cboGroup";
    }

    void typing()
    {
        QFETCH(QString, box);
        QFETCH(QString, stored);
        QFETCH(QString, steps);
        QFETCH(QString, text);
        QFETCH(QString, focus);
        frmNewApp *dialog = load();
        if (auto *group = qobject_cast<QComboBox *>(control(box)))
            group->setEditText(stored);
        else
            control<QLineEdit>(box)->setText(stored);
        showActive(dialog);
        play(dialog, (u"focus:"_s + box + u' ' + steps).split(u' '));
        const int field = QStringList{u"cboGroup"_s, u"txtAppName"_s, u"txtApp"_s, u"txtCmdLine"_s}.indexOf(box);
        QCOMPARE(asList(dialog->fields()).value(field), text);
        QCOMPARE(focusName(), focus);
    }

    void insertKeywordTakesHighlightedRow()
    {
        ExternalApps apps;
        apps.AddPlaceHolder(u"%FILE%"_s, u"/tmp/a.txt"_s);
        apps.AddPlaceHolder(u"%USER%"_s, u"ann"_s);
        frmNewApp *dialog = load(&apps, {{}, {}, {}, u"--user="_s, false});
        showActive(dialog);
        const auto insertKeyword = [dialog](const QStringList &steps) {
            whenModalShown(u"frmPlaceholders"_s, [steps](QWidget *picker) { play(picker, steps); });
            play(dialog, {u"focus:cmdInsertKeyword"_s, u"key:Return"_s});
            QVERIFY(!frmPlaceholders::instance());
        };
        // The second row by arrow key; then Return at once: the row the picker opens on.
        insertKeyword({u"key:Down"_s, u"key:Return"_s});
        insertKeyword({u"key:Return"_s});
        insertKeyword({u"key:Down"_s, u"close"_s}); // changes nothing
        QCOMPARE(dialog->fields().cmdLine, u"--user=%USER%%FILE%"_s);
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

    void browseListsProgramsThenByPattern()
    {
        QTemporaryDir dir;
        for (const QString &name : {u"tool"_s, u"run.sh"_s, u"upper.EXE"_s, u"lower.exe"_s, u"notes.txt"_s}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (!name.contains(u'.') || name.endsWith(u".sh"))
                QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
        }
        frmNewApp *dialog = load(nullptr, {{}, {}, dir.filePath(u"old"_s), {}, false});
        QStringList filters;
        QList<QSet<QString>> listed;
        browse([&](QFileDialog *browser) {
            filters = browser->nameFilters();
            auto *view = browser->findChild<QListView *>(u"listView"_s);
            const auto names = [view] {
                QSet<QString> shown;
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    shown.insert(view->model()->index(row, 0, view->rootIndex()).data().toString());
                return shown;
            };
            // The folder is read in the background. The user picks the next filter, then a file;
            // a listing that never comes closes the dialog, and the comparisons below fail.
            const auto listing = [&](const QSet<QString> &expected) {
                const bool came = QTest::qWaitFor([&] { return names() == expected; }, 5000);
                listed.append(names());
                if (!came)
                    browser->reject();
                return came;
            };
            if (!listing({u"tool"_s, u"run.sh"_s}))
                return;
            play(browser, {u"focus:fileTypeCombo"_s, u"key:Down"_s});
            if (!listing({u"lower.exe"_s, u"upper.EXE"_s}))
                return;
            const QModelIndex first = view->model()->index(0, 0, view->rootIndex());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(first).center());
            static_cast<QDialog *>(browser)->accept();
        });
        QCOMPARE(filters.join(u'|'), u"Programs (*)|Application (*.EXE)|DOS Application (*.COM)|Batch File (*.BAT)|"
                                     "All Files (*)"_s);
        QCOMPARE(listed, (QList<QSet<QString>>{{u"tool"_s, u"run.sh"_s}, {u"lower.exe"_s, u"upper.EXE"_s}}));
        const QFileInfo chosen(dialog->fields().path);
        QVERIFY(chosen.absolutePath() == dir.path() && listed.constLast().contains(chosen.fileName()));
        QCOMPARE(dialog->fields().name, QString());
    }
};

QTEST_MAIN(tst_frmNewApp)
#include "tst_frmnewapp.moc"
