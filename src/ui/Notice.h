// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

/// The library's message box: critical icon, one OK button, title "Lanyard".
namespace Lanyard::Notice {

/// Shows @p text modally over @p parent (none: the application) and returns when the user has
/// read it. The box is named @p objectName, so a test finds it through
/// QApplication::activeModalWidget().
void show(QWidget *parent, const QString &objectName, const QString &text);

} // namespace Lanyard::Notice
