// SPDX-License-Identifier: MIT
#include "frmAskValue.h"

#include "Captions.h"
#include "ScreenFit.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Lanyard::frmAskValue {

std::optional<QString> ask(QWidget *owner, const QString &tool, const QString &prompt, const QStringList &history)
{
    QDialog window(owner);
    window.setObjectName(u"frmAskValue"_s);
    window.setWindowTitle(Captions::text(TextId::AskCaption).arg(tool));
    window.setWindowModality(Qt::ApplicationModal);
    auto *value = new QComboBox(&window);
    value->setObjectName(u"cboValue"_s);
    value->setEditable(true);
    value->setInsertPolicy(QComboBox::NoInsert);
    value->setCompleter(nullptr);
    value->addItems(history);
    value->setCurrentIndex(history.isEmpty() ? -1 : 0);
    value->lineEdit()->selectAll();
    value->setToolTip(Captions::text(TextId::AskTip));
    auto *label = new QLabel(prompt.isEmpty() ? Captions::text(TextId::AskPrompt) : prompt, &window);
    label->setBuddy(value);
    label->setTextFormat(Qt::PlainText);
    // The field typed into is what a screen reader finds focused: it carries the prompt too.
    value->lineEdit()->setAccessibleName(label->text().remove(u'&'));
    auto *buttons = new QDialogButtonBox(&window);
    QPushButton *ok = buttons->addButton(Captions::text(TextId::OK), QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"cmdOK"_s);
    QPushButton *cancel = buttons->addButton(Captions::text(TextId::Cancel), QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"cmdCancel"_s);
    // One field: Return in it is the answer.
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(label);
    layout->addWidget(value);
    layout->addWidget(buttons);
    ScreenFit::resizeWithin(&window,
                            window.sizeHint().expandedTo(QSize(value->fontMetrics().averageCharWidth() * 50, 0)));
    if (owner)
        ScreenFit::centreOver(&window, owner);
    value->setFocus();
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return value->currentText();
}

} // namespace Lanyard::frmAskValue
