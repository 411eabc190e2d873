// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace Lanyard {

/**
 * Asks the user for a value a tool's command line leaves open (%ASK% or %ASK:Prompt%), right
 * before the tool starts: a small modal window named after the tool, the prompt as the label
 * of an editable combo box (cboValue) that offers the values given before, most recent first,
 * and OK (cmdOK) and Cancel (cmdCancel). Escape and the close box cancel.
 */
namespace frmAskValue {

/// The value the user gave, or nothing when the launch was cancelled.
std::optional<QString> ask(QWidget *owner, const QString &tool, const QString &prompt, const QStringList &history);

} // namespace frmAskValue

} // namespace Lanyard
