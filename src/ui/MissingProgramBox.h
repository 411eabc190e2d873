// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// The message of a launch whose program file does not exist.
namespace Lanyard::MissingProgramBox {

/**
 * Shows "Unable to find the file: " with the stored @p path in a modal QMessageBox (critical
 * icon, one OK button, title "Lanyard", objectName "lanyardMissingProgram") run with exec(),
 * so a test finds it through QApplication::activeModalWidget(). Without a QApplication the
 * text goes to standard error as one line.
 */
void show(const QString &path);

} // namespace Lanyard::MissingProgramBox
