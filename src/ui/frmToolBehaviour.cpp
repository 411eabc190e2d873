// SPDX-License-Identifier: MIT
#include "frmToolBehaviour.h"

#include "Captions.h"
#include "LaunchEntries.h"
#include "Notice.h"
#include "ScreenFit.h"
#include "TreeAnnouncer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

using Tool = std::pair<QString, QString>;

/// A combo box offering @p count texts from @p first on, in the enumeration's order.
QComboBox *choices(QWidget *parent, const QString &name, TextId first, int count)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    for (int i = 0; i < count; ++i)
        box->addItem(Captions::text(TextId(int(first) + i)));
    return box;
}

QString withoutMnemonic(const QString &text)
{
    QString plain = text;
    return plain.remove(u'&');
}

} // namespace

struct frmToolBehaviour::Private
{
    LaunchEntries &apps;
    TakenShortcuts taken;
    std::map<Tool, ToolBehaviour> edited; // every tool, as the window holds it
    bool showing = false;                 // fields are being filled, not typed

    QTreeWidget *tvTools = nullptr;
    QComboBox *cboOutput = nullptr;
    QComboBox *cboInput = nullptr;
    QComboBox *cboSave = nullptr;
    QCheckBox *cbReload = nullptr;
    QCheckBox *cbNeedsSelection = nullptr;
    QLineEdit *txtFileTypes = nullptr;
    QKeySequenceEdit *kseShortcut = nullptr;
    QLineEdit *txtFolder = nullptr;
    QWidget *form = nullptr;

    std::optional<Tool> currentTool() const
    {
        const QTreeWidgetItem *item = tvTools->currentItem();
        if (!item || !item->parent())
            return std::nullopt;
        return Tool{item->parent()->text(0), item->text(0)};
    }
};

frmToolBehaviour::frmToolBehaviour(LaunchEntries &apps, QWidget *owner, const TakenShortcuts &taken)
    : QDialog(owner)
    , d(std::make_unique<Private>(Private{apps, taken, {}}))
{
    setObjectName(u"frmToolBehaviour"_s);
    setWindowTitle(Captions::text(TextId::BehaviourCaption));

    d->tvTools = new QTreeWidget(this);
    d->tvTools->setObjectName(u"tvTools"_s);
    d->tvTools->setHeaderHidden(true);
    d->tvTools->setUniformRowHeights(true);
    d->tvTools->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *toolsLabel = new QLabel(Captions::text(TextId::ToolsLabel), this);
    toolsLabel->setBuddy(d->tvTools);
    new TreeAnnouncer(d->tvTools);

    d->form = new QWidget(this);
    d->cboOutput = choices(d->form, u"cboOutput"_s, TextId::OutputIgnore, 6);
    d->cboInput = choices(d->form, u"cboInput"_s, TextId::InputNone, 3);
    d->cboSave = choices(d->form, u"cboSave"_s, TextId::SaveNothing, 3);
    d->cbReload = new QCheckBox(Captions::text(TextId::ReloadAfter), d->form);
    d->cbReload->setObjectName(u"cbReload"_s);
    d->cbNeedsSelection = new QCheckBox(Captions::text(TextId::NeedsSelection), d->form);
    d->cbNeedsSelection->setObjectName(u"cbNeedsSelection"_s);
    d->txtFileTypes = new QLineEdit(d->form);
    d->txtFileTypes->setObjectName(u"txtFileTypes"_s);
    d->kseShortcut = new QKeySequenceEdit(d->form);
    d->kseShortcut->setObjectName(u"kseShortcut"_s);
    d->kseShortcut->setClearButtonEnabled(true);
    d->txtFolder = new QLineEdit(d->form);
    d->txtFolder->setObjectName(u"txtFolder"_s);

    auto *fields = new QFormLayout(d->form);
    fields->setContentsMargins(0, 0, 0, 0);
    const auto row = [&](TextId label, TextId tip, QWidget *field) {
        auto *caption = new QLabel(Captions::text(label), d->form);
        caption->setBuddy(field);
        field->setToolTip(Captions::text(tip));
        field->setAccessibleDescription(field->toolTip());
        fields->addRow(caption, field);
    };
    row(TextId::OutputLabel, TextId::OutputTip, d->cboOutput);
    row(TextId::InputLabel, TextId::InputTip, d->cboInput);
    row(TextId::SaveLabel, TextId::SaveTip, d->cboSave);
    fields->addRow(d->cbReload);
    row(TextId::FileTypesLabel, TextId::FileTypesTip, d->txtFileTypes);
    fields->addRow(d->cbNeedsSelection);
    row(TextId::ShortcutLabel, TextId::ShortcutTip, d->kseShortcut);
    row(TextId::FolderLabel, TextId::FolderTip, d->txtFolder);
    // The keys go to the text field inside: it is what a screen reader finds focused.
    if (auto *keys = d->kseShortcut->findChild<QLineEdit *>())
        keys->setAccessibleName(withoutMnemonic(Captions::text(TextId::ShortcutLabel)));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(Captions::text(TextId::OK), QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"cmdOK"_s);
    ok->setToolTip(Captions::text(TextId::OKTip));
    QPushButton *cancel = buttons->addButton(Captions::text(TextId::Cancel), QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"cmdCancel"_s);
    cancel->setToolTip(Captions::text(TextId::CancelTip));
    // Return in a text box presses nothing, as in the other windows: no default button.
    for (QPushButton *button : {ok, cancel})
        button->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        store();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *tools = new QVBoxLayout;
    tools->addWidget(toolsLabel);
    tools->addWidget(d->tvTools, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(tools, 1);
    columns->addWidget(d->form, 2, Qt::AlignTop);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(buttons);
    setTabOrder(d->tvTools, d->cboOutput);

    connect(d->tvTools, &QTreeWidget::currentItemChanged, this, &frmToolBehaviour::showTool);
    for (QComboBox *box : {d->cboOutput, d->cboInput, d->cboSave})
        connect(box, &QComboBox::currentIndexChanged, this, &frmToolBehaviour::takeField);
    for (QCheckBox *box : {d->cbReload, d->cbNeedsSelection})
        connect(box, &QCheckBox::toggled, this, &frmToolBehaviour::takeField);
    for (QLineEdit *text : {d->txtFileTypes, d->txtFolder})
        connect(text, &QLineEdit::textEdited, this, &frmToolBehaviour::takeField);
    connect(d->kseShortcut, &QKeySequenceEdit::keySequenceChanged, this, &frmToolBehaviour::checkShortcut);
}

frmToolBehaviour::~frmToolBehaviour() = default;

bool frmToolBehaviour::edit(LaunchEntries &apps, QWidget *owner, const TakenShortcuts &taken,
                            const std::pair<QString, QString> &current)
{
    frmToolBehaviour window(apps, owner, taken);
    window.fill(current);
    window.setWindowModality(Qt::ApplicationModal);
    ScreenFit::resizeWithin(&window, window.sizeHint());
    if (owner)
        ScreenFit::centreOver(&window, owner);
    return window.exec() == QDialog::Accepted;
}

frmToolBehaviour::TakenShortcuts frmToolBehaviour::shortcutsOf(const QWidget *window)
{
    TakenShortcuts taken;
    for (const QAction *action : window ? window->findChildren<QAction *>() : QList<QAction *>()) {
        if (!action->objectName().startsWith(u"lanyard-tool/"))
            for (const QKeySequence &keys : action->shortcuts())
                taken.append({keys, action->text()});
    }
    return taken;
}

void frmToolBehaviour::fill(const std::pair<QString, QString> &current)
{
    QTreeWidgetItem *chosen = nullptr;
    for (const LaunchEntries::Group &group : d->apps.groups()) {
        if (group.apps.isEmpty())
            continue;
        auto *groupItem = new QTreeWidgetItem(d->tvTools, {group.name});
        for (const LaunchEntries::App &app : group.apps) {
            auto *item = new QTreeWidgetItem(groupItem, {app.name});
            item->setIcon(0, app.icon);
            item->setData(0, Qt::AccessibleDescriptionRole, app.path);
            d->edited.emplace(Tool{group.name, app.name}, d->apps.behaviour(group.name, app.name));
            if (!chosen || Tool{group.name, app.name} == current)
                chosen = item;
        }
        groupItem->setExpanded(true);
    }
    if (chosen)
        d->tvTools->setCurrentItem(chosen);
    showTool();
    d->tvTools->setFocus();
}

void frmToolBehaviour::showTool()
{
    const std::optional<Tool> tool = d->currentTool();
    d->form->setEnabled(tool.has_value());
    const ToolBehaviour shown = tool ? d->edited[*tool] : ToolBehaviour();
    d->showing = true;
    d->cboOutput->setCurrentIndex(int(shown.output));
    d->cboInput->setCurrentIndex(int(shown.input));
    d->cboSave->setCurrentIndex(int(shown.saveBefore));
    d->cbReload->setChecked(shown.reloadAfter);
    d->cbNeedsSelection->setChecked(shown.needsSelection);
    d->txtFileTypes->setText(shown.fileTypes.join(u"; "_s));
    d->kseShortcut->setKeySequence(QKeySequence(shown.shortcut, QKeySequence::PortableText));
    d->txtFolder->setText(shown.folder);
    d->showing = false;
}

void frmToolBehaviour::takeField()
{
    const std::optional<Tool> tool = d->currentTool();
    if (d->showing || !tool)
        return;
    ToolBehaviour &behaviour = d->edited[*tool];
    behaviour.output = ToolBehaviour::Output(d->cboOutput->currentIndex());
    behaviour.input = ToolBehaviour::Input(d->cboInput->currentIndex());
    behaviour.saveBefore = ToolBehaviour::Save(d->cboSave->currentIndex());
    behaviour.reloadAfter = d->cbReload->isChecked();
    behaviour.needsSelection = d->cbNeedsSelection->isChecked();
    behaviour.fileTypes.clear();
    for (const QString &type : d->txtFileTypes->text().split(u';', Qt::SkipEmptyParts)) {
        if (!type.trimmed().isEmpty())
            behaviour.fileTypes << type.trimmed();
    }
    // A line break would end the behaviour file's line: a folder is one line.
    behaviour.folder = d->txtFolder->text().trimmed();
}

void frmToolBehaviour::checkShortcut()
{
    const std::optional<Tool> tool = d->currentTool();
    if (d->showing || !tool)
        return;
    const QKeySequence keys = d->kseShortcut->keySequence();
    QString owner;
    for (const auto &[taken, what] : d->taken) {
        if (!keys.isEmpty() && taken.matches(keys) == QKeySequence::ExactMatch)
            owner = what;
    }
    for (const auto &[other, behaviour] : d->edited) {
        if (other != *tool && !keys.isEmpty() && QKeySequence(behaviour.shortcut, QKeySequence::PortableText) == keys)
            owner = other.second;
    }
    if (owner.isEmpty()) {
        d->edited[*tool].shortcut = keys.toString(QKeySequence::PortableText);
        return;
    }
    Notice::show(
        this, u"shortcutTaken"_s,
        Captions::text(TextId::ShortcutTaken).arg(keys.toString(QKeySequence::NativeText), withoutMnemonic(owner)));
    d->showing = true;
    d->kseShortcut->setKeySequence(QKeySequence(d->edited[*tool].shortcut, QKeySequence::PortableText));
    d->showing = false;
}

void frmToolBehaviour::store()
{
    for (const auto &[tool, behaviour] : d->edited) {
        if (d->apps.behaviour(tool.first, tool.second) != behaviour)
            d->apps.setBehaviour(tool.first, tool.second, behaviour);
    }
}

} // namespace Lanyard
