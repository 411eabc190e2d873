#include "frmNewApp.h"

#include "Captions.h"
#include "FitText.h"
#include "Twips.h"
#include "frmPlaceholders.h"
#include "util/FileOps.h"
#include "util/LibraryLocation.h"

#include <Lanyard/ExternalApps.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr qsizetype groupNameLimit = 20;
constexpr int appNameLimit = 20;
constexpr int pathLimit = 255;

// Windows' filter pairs, as Qt name filters; "*.*" means every file there, "*" here.
QStringList browseFilters()
{
    return {u"Application (*.EXE)"_s, u"DOS Application (*.COM)"_s, u"Batch File (*.BAT)"_s, u"All Files (*)"_s};
}

// The folder of the path in the box without its final separator; the library's own folder
// for a path without one.
QString browseStartFolder(const QString &path)
{
    QString folder = FileOps::FolderOfPath(path);
    if (folder.isEmpty())
        return LibraryLocation::folder();
    folder.chop(1);
    return folder.isEmpty() ? u"/"_s : folder;
}

// Whether a key press would insert text into a line edit (control characters do not).
bool insertsText(const QKeyEvent *event)
{
    const QString text = event->text();
    return !text.isEmpty() && text.front().isPrint();
}

} // namespace

struct frmNewApp::Private
{
    QPointer<ExternalApps> apps;
    bool cancel = false;
    ImageList imgApps = ImageList::ofResources({u"EXE"_s, u"GROUP"_s, u"TEXT"_s});

    QFrame *Frame1 = nullptr;
    QLabel *lblProgGroup = nullptr;
    QComboBox *cboGroup = nullptr;
    QLabel *lblProgName = nullptr;
    QLineEdit *txtAppName = nullptr;
    QCheckBox *cbProtected = nullptr;
    QLabel *lblProgPath = nullptr;
    QLineEdit *txtApp = nullptr;
    QPushButton *cmdBrowse = nullptr;
    QLabel *lblCmdLine = nullptr;
    QLineEdit *txtCmdLine = nullptr;
    QPushButton *cmdInsertKeyword = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QFileDialog *cdlgBrowse = nullptr;

    template<typename Control>
    Control *add(const QString &name, int left, int top, int width, int height)
    {
        auto *control = new Control(Frame1);
        control->setObjectName(name);
        Twips::place(control, left, top, width, height);
        return control;
    }

    QPushButton *addButton(const QString &name, int left, int top, int width, int height)
    {
        auto *button = add<QPushButton>(name, left, top, width, height);
        button->setAutoDefault(false);
        return button;
    }

    QLabel *addLabel(const QString &name, int left, int top, int width, int height)
    {
        auto *label = add<QLabel>(name, left, top, width, height);
        label->setText(u"-"_s);
        return label;
    }

    void createControls(QWidget *window);
    void applyTexts();
    QFileDialog *browseDialog(QWidget *window);
    /// The typed-length limit of @p watched, or 0 for a control without one.
    int typedLimit(const QObject *watched) const;
};

void frmNewApp::Private::createControls(QWidget *window)
{
    Frame1 = new QFrame(window);
    Frame1->setObjectName(u"Frame1"_s);
    Frame1->setFrameShape(QFrame::NoFrame);
    Twips::place(Frame1, 120, 0, 5295, 4215);

    lblProgGroup = addLabel(u"lblProgGroup"_s, 120, 240, 2415, 255);
    cboGroup = add<QComboBox>(u"cboGroup"_s, 120, 480, 2535, 315);
    cboGroup->setEditable(true);
    cboGroup->setInsertPolicy(QComboBox::NoInsert);
    lblProgName = addLabel(u"lblProgName"_s, 120, 960, 2175, 255);
    txtAppName = add<QLineEdit>(u"txtAppName"_s, 120, 1200, 2535, 285);
    cbProtected = add<QCheckBox>(u"cbProtected"_s, 2880, 1200, 2175, 255);
    cbProtected->setText(u"&Protected"_s);
    cbProtected->setToolTip(u"Set to protected to allow this option to be hidden in Corvane"_s);
    lblProgPath = addLabel(u"lblProgPath"_s, 120, 1680, 4335, 255);
    txtApp = add<QLineEdit>(u"txtApp"_s, 120, 1920, 5055, 285);
    cmdBrowse = addButton(u"cmdBrowse"_s, 3840, 2280, 1335, 255);
    lblCmdLine = addLabel(u"lblCmdLine"_s, 120, 2520, 2415, 255);
    txtCmdLine = add<QLineEdit>(u"txtCmdLine"_s, 120, 2760, 5055, 285);
    cmdInsertKeyword = addButton(u"cmdInsertKeyword"_s, 3840, 3135, 1335, 255);
    cmdCancel = addButton(u"cmdCancel"_s, 840, 3720, 1455, 375);
    cmdOK = addButton(u"cmdOK"_s, 3000, 3720, 1455, 375);

    QWidget::setTabOrder(cboGroup, txtAppName);
    QWidget::setTabOrder(txtAppName, cbProtected);
    QWidget::setTabOrder(cbProtected, txtApp);
    QWidget::setTabOrder(txtApp, cmdBrowse);
    QWidget::setTabOrder(cmdBrowse, txtCmdLine);
    QWidget::setTabOrder(txtCmdLine, cmdInsertKeyword);
    QWidget::setTabOrder(cmdInsertKeyword, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdCancel);
}

void frmNewApp::Private::applyTexts()
{
    lblProgGroup->setText(Captions::text(TextId::GroupLabel));
    cboGroup->setToolTip(Captions::text(TextId::GroupTip));
    lblProgName->setText(Captions::text(TextId::NameLabel));
    txtAppName->setToolTip(Captions::text(TextId::NameTip));
    lblProgPath->setText(Captions::text(TextId::PathLabel));
    txtApp->setToolTip(Captions::text(TextId::PathTip));
    cmdBrowse->setText(Captions::text(TextId::Browse));
    cmdBrowse->setToolTip(Captions::text(TextId::BrowseTip));
    lblCmdLine->setText(Captions::text(TextId::CmdLineLabel));
    txtCmdLine->setToolTip(Captions::text(TextId::CmdLineTip));
    cmdInsertKeyword->setText(Captions::text(TextId::InsertKeyword));
    cmdInsertKeyword->setToolTip(Captions::text(TextId::InsertKeywordTip));
    cmdOK->setText(Captions::text(TextId::OK));
    cmdOK->setToolTip(Captions::text(TextId::OKTip));
    cmdCancel->setText(Captions::text(TextId::Cancel));
    cmdCancel->setToolTip(Captions::text(TextId::CancelTip));
    for (QPushButton *button : {cmdBrowse, cmdInsertKeyword, cmdOK, cmdCancel})
        FitText::shrinkToFit(button);
}

QFileDialog *frmNewApp::Private::browseDialog(QWidget *window)
{
    if (cdlgBrowse)
        return cdlgBrowse;
    // Qt's own dialog, so that it is the same everywhere and a test can drive it.
    cdlgBrowse = new QFileDialog(window);
    cdlgBrowse->setObjectName(u"cdlgBrowse"_s);
    cdlgBrowse->setOption(QFileDialog::DontUseNativeDialog);
    cdlgBrowse->setAcceptMode(QFileDialog::AcceptOpen);
    cdlgBrowse->setFileMode(QFileDialog::ExistingFile);
    // Program names are matched without regard to case, as "*.EXE" meant on Windows.
    cdlgBrowse->setFilter(cdlgBrowse->filter() & ~QDir::CaseSensitive);
    return cdlgBrowse;
}

int frmNewApp::Private::typedLimit(const QObject *watched) const
{
    if (watched == txtAppName)
        return appNameLimit;
    if (watched == txtApp || watched == txtCmdLine)
        return pathLimit;
    return 0;
}

frmNewApp::frmNewApp(QWidget *owner)
    : QDialog(owner)
    , d(std::make_unique<Private>())
{
    setObjectName(u"frmNewApp"_s);
    Twips::setClientSize(this, 5535, 4305);
    d->createControls(this);
    d->applyTexts();

    connect(d->cmdOK, &QPushButton::clicked, this, [this] { leave(false); });
    connect(d->cmdCancel, &QPushButton::clicked, this, [this] { leave(true); });
    connect(d->cmdBrowse, &QPushButton::clicked, this, &frmNewApp::Browse);
    connect(d->cmdInsertKeyword, &QPushButton::clicked, this, &frmNewApp::InsertKeyword);

    for (QWidget *control : d->Frame1->findChildren<QWidget *>())
        control->installEventFilter(this);
}

frmNewApp::~frmNewApp() = default;

frmNewApp *frmNewApp::Load(QWidget *owner)
{
    return loadWith([&] { return new frmNewApp(owner); });
}

void frmNewApp::Unload() { deleteLoaded(); }

ExternalApps *frmNewApp::LaunchAppClass() const { return d->apps; }

void frmNewApp::setLaunchAppClass(ExternalApps *apps)
{
    d->apps = apps;
    FillGroups();
}

bool frmNewApp::Cancel() const { return d->cancel; }

frmNewApp::Fields frmNewApp::fields() const
{
    return Fields{d->cboGroup->currentText(), d->txtAppName->text(), d->txtApp->text(), d->txtCmdLine->text(),
                  d->cbProtected->isChecked()};
}

void frmNewApp::setFields(const Fields &fields)
{
    d->cboGroup->setEditText(fields.group);
    d->txtAppName->setText(fields.name);
    d->txtApp->setText(fields.path);
    d->txtCmdLine->setText(fields.cmdLine);
    d->cbProtected->setChecked(fields.isProtected);
}

const ImageList &frmNewApp::imgApps() const { return d->imgApps; }

void frmNewApp::FillGroups()
{
    d->cboGroup->clear();
    d->cboGroup->clearEditText();
    const qint16 count = d->apps ? d->apps->GroupCount() : 0;
    for (qint16 i = 0; i < count; ++i)
        d->cboGroup->addItem(d->apps->GroupName(i));
    d->cboGroup->clearEditText();
}

void frmNewApp::Browse()
{
    QFileDialog *dialog = d->browseDialog(this);
    dialog->setWindowTitle(u"Select a program to start"_s);
    dialog->setNameFilters(browseFilters());
    dialog->selectNameFilter(browseFilters().constFirst());
    dialog->setDirectory(browseStartFolder(d->txtApp->text()));
    dialog->selectFile(QString());

    const QPointer<frmNewApp> self(this);
    const int result = dialog->exec();
    if (!self || result != QDialog::Accepted)
        return;
    const QStringList files = dialog->selectedFiles();
    if (!files.isEmpty() && !files.constFirst().isEmpty())
        d->txtApp->setText(files.constFirst());
}

void frmNewApp::InsertKeyword()
{
    frmPlaceholders *picker = frmPlaceholders::Load(this, d->imgApps);
    picker->setLaunchAppClass(d->apps);

    const QPointer<frmNewApp> self(this);
    picker->exec();
    if (!self)
        return;
    if (!frmPlaceholders::Cancel())
        d->txtCmdLine->setText(d->txtCmdLine->text() + frmPlaceholders::SearchString());
    frmPlaceholders::Unload();
}

void frmNewApp::leave(bool cancel)
{
    d->cancel = cancel;
    hide();
}

void frmNewApp::reject() { leave(true); }

void frmNewApp::closeEvent(QCloseEvent *event)
{
    // Only the user closes the dialog; the program unloads it by deleting it. The dialog
    // stays loaded so that its opener can still read it.
    event->ignore();
    leave(true);
}

bool frmNewApp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Escape) {
        leave(true);
        return true;
    }
    if (watched == d->cboGroup && !key->text().isEmpty() && key->key() != Qt::Key_Backspace
        && d->cboGroup->currentText().size() >= groupNameLimit) {
        d->cboGroup->setEditText(d->cboGroup->currentText().left(groupNameLimit));
        return true;
    }
    if (const int limit = d->typedLimit(watched); limit > 0 && insertsText(key)) {
        const auto *edit = static_cast<const QLineEdit *>(watched);
        if (edit->text().size() - edit->selectedText().size() + key->text().size() > limit)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace Lanyard
