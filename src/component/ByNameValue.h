// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Language.h>
#include <Lanyard/LaunchCommand.h>
#include <Lanyard/Result.h>
#include <Lanyard/ToolBehaviour.h>
#include <Lanyard/ToolRun.h>

#include <QIcon>
#include <QMetaType>
#include <QVariant>

class QWidget;

/**
 * The values of the interface by name: how a QVariant given by name becomes the typed
 * parameter of a member, and how a member's typed result becomes a QVariant. The rules go by
 * type, so every member taking a qint16 reads it the same way. A value that cannot be read
 * throws ComponentError (TypeMismatch, Overflow, InvalidArgument).
 */
namespace Lanyard::ByNameValue {

/// @p value as the parameter type @p T of a typed member.
template<typename T>
T argument(const QVariant &value);
template<>
QVariant argument(const QVariant &value);
template<>
qint16 argument(const QVariant &value);
template<>
qint32 argument(const QVariant &value);
template<>
QString argument(const QVariant &value);
template<>
bool argument(const QVariant &value);
template<>
Language argument(const QVariant &value);
template<>
QByteArray argument(const QVariant &value);
template<>
ToolRun::Input argument(const QVariant &value);
template<>
QWidget *argument(const QVariant &value);
template<>
ToolBehaviour argument(const QVariant &value);
template<>
LaunchOptions argument(const QVariant &value);

/// @p value as a value of @p type, by the rules of argument<T>: for the writable properties
/// that invoke() assigns (int, QString, bool, Language). A property of another type needs a
/// rule here first; until then its writes are refused.
QVariant converted(const QVariant &value, QMetaType type);

QVariant result(qint16 value);
QVariant result(bool value);
QVariant result(const QString &value);
QVariant result(const QIcon &value);
QVariant result(ToolRun *value);
/// The behaviour as a map of its fields by name, enumerators by their names.
QVariant result(const ToolBehaviour &value);
/// The command as a map of "program", "arguments" and "folder"; throws the held error.
QVariant result(const Result<LaunchCommand> &value);

} // namespace Lanyard::ByNameValue
