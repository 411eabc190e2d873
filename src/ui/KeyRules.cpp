// SPDX-License-Identifier: MIT
#include "KeyRules.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace Lanyard::KeyRules {

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

bool clickButtonOnEnter(QObject *watched, const QKeyEvent *event)
{
    auto *button = qobject_cast<QPushButton *>(watched);
    if (!button || !isEnter(event->key()))
        return false;
    button->click();
    return true;
}

QString insertedText(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste))
        return QGuiApplication::clipboard()->text();
    // Qt's text boxes take Ctrl and Ctrl+Shift as commands, never as text (Ctrl+Alt may be AltGr).
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return QString();
    const QString text = event->text();
    return !text.isEmpty() && text.front().isPrint() ? text : QString();
}

} // namespace Lanyard::KeyRules
