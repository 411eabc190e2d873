// SPDX-License-Identifier: MIT
#include "frmNewApp.h"

#include "Captions.h"
#include "EntryMessages.h"
#include "KeyRules.h"
#include "Notice.h"
#include "ProgramFileFilter.h"
#include "RefusedCharacter.h"
#include "ScreenFit.h"
#include "StorableTextValidator.h"
#include "Twips.h"
#include "frmPlaceholders.h"
#include "util/FileOps.h"
#include "util/LibraryLocation.h"
#include "util/StringOps.h"

#include "LaunchEntries.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

#include <optional>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

const QString programsFilter = u"Programs (*)"_s;

// Linux programs have no extension: the first filter lists the files the user may run. The
// Windows patterns stay for programs run through a compatibility layer; "*.*" is "*" here.
QStringList browseFilters()
{
    return {programsFilter, u"Application (*.EXE)"_s, u"DOS Application (*.COM)"_s, u"Batch File (*.BAT)"_s,
            u"All Files (*)"_s};
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

} // namespace

struct frmNewApp::Private
{
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
    ProgramFileFilter *programFiles = nullptr;
    Store store;

    /// A control named @p name, with @p caption and @p tip where given, of at least @p width by
    /// @p height twips or what its caption needs.
    template<typename Control>
    Control *add(const QString &name, const QString &caption, const QString &tip, int width, int height)
    {
        auto *control = new Control(Frame1);
        control->setObjectName(name);
        if constexpr (requires { control->setText(caption); })
            control->setText(caption);
        control->setToolTip(tip);
        Twips::setMinimumSize(control, width, height);
        return control;
    }

    QLabel *addLabel(const QString &name, TextId caption, int width, int height)
    {
        return add<QLabel>(name, Captions::text(caption), QString(), width, height);
    }

    template<typename Input>
    Input *addInput(const QString &name, TextId tip, int width, int height)
    {
        return add<Input>(name, QString(), Captions::text(tip), width, height);
    }

    QPushButton *addButton(const QString &name, TextId caption, TextId tip, int width, int height)
    {
        auto *button = add<QPushButton>(name, Captions::text(caption), Captions::text(tip), width, height);
        button->setAutoDefault(false);
        return button;
    }

    void createControls(QWidget *window);
    void layOut(QWidget *window);
    QFileDialog *browseDialog(QWidget *window);
    /// The typed-length limit of @p watched, or 0 for a control without one.
    int typedLimit(const QObject *watched) const;
    /// The text boxes in the order of the fields, with their labels.
    QList<std::pair<QLabel *, QWidget *>> boxes() const
    {
        return {{lblProgGroup, cboGroup}, {lblProgName, txtAppName}, {lblProgPath, txtApp}, {lblCmdLine, txtCmdLine}};
    }
    /// The line edit that holds the text of the text box @p input.
    QLineEdit *editOf(QObject *input) const
    {
        return input == cboGroup ? cboGroup->lineEdit() : qobject_cast<QLineEdit *>(input);
    }
};

void frmNewApp::Private::createControls(QWidget *window)
{
    Frame1 = new QFrame(window);
    Frame1->setObjectName(u"Frame1"_s);
    Frame1->setFrameShape(QFrame::NoFrame);

    // Texts in the language of the moment, applied once: the dialog is loaded for each use.
    lblProgGroup = addLabel(u"lblProgGroup"_s, TextId::GroupLabel, 2415, 255);
    cboGroup = addInput<QComboBox>(u"cboGroup"_s, TextId::GroupTip, 2535, 315);
    cboGroup->setEditable(true);
    cboGroup->setInsertPolicy(QComboBox::NoInsert);
    // What the user types is the group: no completion turns "Game" into "Games". The list
    // offers the groups there are.
    cboGroup->setCompleter(nullptr);
    lblProgName = addLabel(u"lblProgName"_s, TextId::NameLabel, 2175, 255);
    txtAppName = addInput<QLineEdit>(u"txtAppName"_s, TextId::NameTip, 2535, 285);
    cbProtected = add<QCheckBox>(u"cbProtected"_s, u"&Protected"_s,
                                 u"Set to protected to allow this option to be hidden in Corvane"_s, 2175, 255);
    lblProgPath = addLabel(u"lblProgPath"_s, TextId::PathLabel, 4335, 255);
    txtApp = addInput<QLineEdit>(u"txtApp"_s, TextId::PathTip, 5055, 285);
    cmdBrowse = addButton(u"cmdBrowse"_s, TextId::Browse, TextId::BrowseTip, 1335, 255);
    lblCmdLine = addLabel(u"lblCmdLine"_s, TextId::CmdLineLabel, 2415, 255);
    txtCmdLine = addInput<QLineEdit>(u"txtCmdLine"_s, TextId::CmdLineTip, 5055, 285);
    cmdInsertKeyword = addButton(u"cmdInsertKeyword"_s, TextId::InsertKeyword, TextId::InsertKeywordTip, 1335, 255);
    cmdCancel = addButton(u"cmdCancel"_s, TextId::Cancel, TextId::CancelTip, 1455, 375);
    cmdOK = addButton(u"cmdOK"_s, TextId::OK, TextId::OKTip, 1455, 375);

    // The labels name their boxes for screen readers; no box takes what a launch list line cannot hold.
    auto *storable = new StorableTextValidator(window);
    for (auto [label, input] : boxes()) {
        label->setBuddy(input);
        editOf(input)->setValidator(storable);
    }
    // The text field inside the group box is what has the focus once the user types or picks:
    // it is named too, or a screen reader's "where am I" says only "editable combo box".
    cboGroup->lineEdit()->setAccessibleName(QString(lblProgGroup->text()).remove(u'&'));

    const QList<QWidget *> tabOrder{cboGroup,   txtAppName,       cbProtected, txtApp,   cmdBrowse,
                                    txtCmdLine, cmdInsertKeyword, cmdOK,       cmdCancel};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
    layOut(window);
}

// The designed arrangement, its twips as the least room: labels above their boxes, the check
// box beside the name, Browse and Insert Keyword at the right under their boxes, Cancel and OK
// centred at the bottom. Longer texts widen the columns; the dialog grows with them.
void frmNewApp::Private::layOut(QWidget *window)
{
    auto *grid = new QGridLayout(Frame1);
    grid->setContentsMargins(Twips::margins(Frame1, 120, 240, 120, 120));
    grid->setHorizontalSpacing(Twips::toPixelsX(Frame1, 225));
    grid->setVerticalSpacing(0);
    grid->setColumnStretch(0, 2535);
    grid->setColumnStretch(1, 2295);
    int row = 0;
    const auto gap = [&](int twips) { grid->setRowMinimumHeight(row++, Twips::toPixelsY(Frame1, twips)); };
    const auto line = [&](QWidget *control, Qt::Alignment alignment = {}) {
        grid->addWidget(control, row++, 0, 1, 2, alignment);
    };
    line(lblProgGroup);
    grid->addWidget(cboGroup, row++, 0);
    gap(165);
    line(lblProgName);
    grid->addWidget(txtAppName, row, 0);
    grid->addWidget(cbProtected, row++, 1);
    gap(195);
    line(lblProgPath);
    line(txtApp);
    gap(75);
    line(cmdBrowse, Qt::AlignRight);
    line(lblCmdLine);
    line(txtCmdLine);
    gap(90);
    line(cmdInsertKeyword, Qt::AlignRight);
    grid->setRowStretch(row, 1);
    gap(330);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    buttons->addSpacing(Twips::toPixelsX(Frame1, 705));
    buttons->addWidget(cmdOK);
    buttons->addStretch();
    grid->addLayout(buttons, row, 0, 1, 2);

    auto *frame = new QVBoxLayout(window);
    frame->setContentsMargins(Twips::margins(window, 120, 0, 120, 90));
    frame->addWidget(ScreenFit::scrolling(Frame1));
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
    programFiles = new ProgramFileFilter(cdlgBrowse);
    cdlgBrowse->setProxyModel(programFiles);
    QObject::connect(cdlgBrowse, &QFileDialog::filterSelected, programFiles,
                     [this](const QString &filter) { programFiles->setProgramsOnly(filter == programsFilter); });
    return cdlgBrowse;
}

int frmNewApp::Private::typedLimit(const QObject *watched) const
{
    if (watched == cboGroup || watched == txtAppName)
        return 20;
    if (watched == txtApp || watched == txtCmdLine)
        return 255;
    return 0;
}

frmNewApp::frmNewApp(QWidget *owner)
    : HidingDialog(owner)
    , d(std::make_unique<Private>())
{
    setObjectName(u"frmNewApp"_s);
    d->createControls(this);
    // As large as its controls need, scrolling on a screen too small for that.
    const QMargins margins = layout()->contentsMargins();
    ScreenFit::resizeWithin(this, d->Frame1->minimumSizeHint().grownBy(margins));

    connect(d->cmdOK, &QPushButton::clicked, this, &frmNewApp::confirm);
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

bool frmNewApp::Cancel() const { return d->cancel; }

void frmNewApp::setCancel(bool cancel) { d->cancel = cancel; }

frmNewApp::Fields frmNewApp::fields() const
{
    return Fields{StringOps::TrimBlanks(d->cboGroup->currentText()), StringOps::TrimBlanks(d->txtAppName->text()),
                  StringOps::TrimBlanks(d->txtApp->text()), StringOps::TrimBlanks(d->txtCmdLine->text()),
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

void frmNewApp::setStore(Store store) { d->store = std::move(store); }

void frmNewApp::fill()
{
    d->cboGroup->clear();
    if (const LaunchEntries *apps = LaunchAppClass()) {
        for (const LaunchEntries::Group &group : apps->groups())
            d->cboGroup->addItem(group.name);
    }
    d->cboGroup->clearEditText();
}

void frmNewApp::confirm()
{
    const Fields entry = fields();
    QList<QStringList> missing;
    QWidget *firstMissing = nullptr;
    const auto need = [&](bool isMissing, QWidget *input, const QStringList &captions) {
        if (!isMissing)
            return;
        missing.append(captions);
        if (!firstMissing)
            firstMissing = input;
    };
    need(entry.group.isEmpty(), d->cboGroup, {d->lblProgGroup->text()});
    need(entry.name.isEmpty(), d->txtAppName, {d->lblProgName->text()});
    need(entry.path.isEmpty() && entry.cmdLine.isEmpty(), d->txtApp, {d->lblProgPath->text(), d->lblCmdLine->text()});
    if (missing.isEmpty()) {
        if (!refusedByStore(entry))
            leave(false);
        return;
    }
    const QPointer<QWidget> input(firstMissing);
    Notice::show(this, u"msgIncompleteEntry"_s, EntryMessages::incomplete(missing));
    if (input)
        input->setFocus();
}

bool frmNewApp::refusedByStore(const Fields &entry)
{
    if (!d->store)
        return false;
    const QPointer<frmNewApp> self(this);
    const Result<void> kept = d->store(entry);
    if (!self || kept)
        return false;
    showRefusal(kept.error().detail());
    return true;
}

void frmNewApp::showRefusal(const QString &detail)
{
    const auto boxes = d->boxes();
    QStringList texts;
    for (const auto &[label, input] : boxes)
        texts << d->editOf(input)->text();
    const std::optional<RefusedCharacter::Fault> fault = RefusedCharacter::find(texts);
    const auto [label, input] = boxes.value(fault ? fault->text : 0);
    const QPointer<QLineEdit> edit(d->editOf(input));
    Notice::show(this, u"msgRefusedText"_s,
                 fault ? EntryMessages::refusedCharacter(label->text(), fault->character)
                       : EntryMessages::refusedText(detail));
    if (!edit)
        return;
    edit->setFocus();
    if (fault)
        edit->setSelection(int(fault->position), int(fault->character.size()));
}

void frmNewApp::Browse()
{
    QFileDialog *dialog = d->browseDialog(this);
    dialog->setWindowTitle(u"Select a program to start"_s);
    dialog->setNameFilters(browseFilters());
    dialog->selectNameFilter(programsFilter);
    d->programFiles->setProgramsOnly(true);
    dialog->setDirectory(browseStartFolder(d->txtApp->text()));
    dialog->selectFile(QString());

    const QPointer<frmNewApp> self(this);
    const int result = dialog->exec();
    if (!self || result != QDialog::Accepted)
        return;
    if (const QString file = dialog->selectedFiles().value(0); !file.isEmpty())
        d->txtApp->setText(file);
}

void frmNewApp::InsertKeyword()
{
    frmPlaceholders *picker = frmPlaceholders::Load(this, d->imgApps);
    picker->setLaunchAppClass(LaunchAppClass());

    const QPointer<frmNewApp> self(this);
    picker->exec();
    if (!self)
        return;
    if (!frmPlaceholders::Cancel())
        d->txtCmdLine->setText(d->txtCmdLine->text() + frmPlaceholders::SearchString());
    frmPlaceholders::Unload();
}

bool frmNewApp::refusesKey(QObject *watched, const QKeyEvent *key)
{
    const int limit = d->typedLimit(watched);
    const QString inserted = KeyRules::insertedText(key);
    if (limit == 0 || inserted.isEmpty())
        return false;
    const QLineEdit *edit = d->editOf(watched);
    if (watched == d->cboGroup && edit->text().size() > limit) {
        // A longer stored group name is cut at the first key that would lengthen it.
        d->cboGroup->setEditText(edit->text().left(limit));
        return true;
    }
    return edit->text().size() - edit->selectedText().size() + inserted.size() > limit;
}

bool frmNewApp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (KeyRules::clickButtonOnEnter(watched, key) || refusesKey(watched, key))
            return true;
    }
    return HidingDialog::eventFilter(watched, event);
}

} // namespace Lanyard
