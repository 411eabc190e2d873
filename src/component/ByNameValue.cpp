// SPDX-License-Identifier: MIT
#include "ByNameValue.h"

#include "util/Raise.h"
#include "util/VariantOps.h"

#include <QMetaEnum>
#include <QMetaProperty>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace Lanyard::ByNameValue {

namespace {

/// The enumerator of @p E named by @p value, or numbered by it; @p what names the kind in the
/// error.
template<typename E>
E enumerator(const QVariant &value, ErrorCode unknown, const QString &what)
{
    const QMetaEnum values = QMetaEnum::fromType<E>();
    if (!VariantOps::holdsName(value))
        return static_cast<E>(VariantOps::toInt32(value));
    bool known = false;
    const int number = values.keyToValue(VariantOps::toText(value).toUtf8().constData(), &known);
    if (!known)
        raiseError(unknown, u"no "_s + what + u" is named \""_s + VariantOps::toText(value) + u'"');
    return static_cast<E>(number);
}

} // namespace

template<>
QVariant argument(const QVariant &value)
{
    return value;
}

template<>
qint16 argument(const QVariant &value)
{
    return VariantOps::toInt16(value);
}

/// The modal flag of ShowForm: left off (an invalid value) is 0.
template<>
qint32 argument(const QVariant &value)
{
    return value.isValid() ? VariantOps::toInt32(value) : 0;
}

template<>
QString argument(const QVariant &value)
{
    return VariantOps::toText(value);
}

template<>
bool argument(const QVariant &value)
{
    return VariantOps::toBool(value);
}

/// A Language by its number or its name ("lGerman"); a number outside the enumeration is
/// English, as setLanguage makes it.
template<>
Language argument(const QVariant &value)
{
    return enumerator<Language>(value, ErrorCode::TypeMismatch, u"language"_s);
}

/// A run's input: bytes as they are, any other value as its text in UTF-8.
template<>
QByteArray argument(const QVariant &value)
{
    if (!value.isValid())
        return QByteArray();
    if (value.metaType().id() == QMetaType::QByteArray)
        return value.toByteArray();
    return VariantOps::toText(value).toUtf8();
}

/// Where a run's input comes from, by its number or its name ("HostStandardInput").
template<>
ToolRun::Input argument(const QVariant &value)
{
    const ToolRun::Input input = enumerator<ToolRun::Input>(value, ErrorCode::InvalidArgument, u"input"_s);
    if (!QMetaEnum::fromType<ToolRun::Input>().valueToKey(int(input)))
        raiseError(ErrorCode::InvalidArgument, u"no input is numbered "_s + QString::number(int(input)));
    return input;
}

/// A window to own the program list window: nothing, or a QWidget.
template<>
QWidget *argument(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return nullptr;
    if (!value.canConvert<QObject *>())
        raiseError(ErrorCode::TypeMismatch);
    QObject *object = value.value<QObject *>();
    QWidget *widget = qobject_cast<QWidget *>(object);
    if (object && !widget)
        raiseError(ErrorCode::TypeMismatch);
    return widget;
}

/// A tool behaviour from a map of its fields by name ({"output": "Pane", "fileTypes": [...]});
/// fields left out keep their defaults, enumerators go by name or number.
template<>
ToolBehaviour argument(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<ToolBehaviour>())
        return value.value<ToolBehaviour>();
    if (value.isValid() && !value.canConvert<QVariantMap>())
        raiseError(ErrorCode::TypeMismatch);
    const QVariantMap fields = value.toMap();
    const QMetaObject &meta = ToolBehaviour::staticMetaObject;
    ToolBehaviour behaviour;
    for (auto field = fields.cbegin(); field != fields.cend(); ++field) {
        const QMetaProperty property = meta.property(meta.indexOfProperty(field.key().toUtf8().constData()));
        if (!property.isValid())
            raiseError(ErrorCode::InvalidArgument, u"a tool behaviour has no field \""_s + field.key() + u'"');
        QVariant given = *field;
        if (property.isEnumType()) {
            const QMetaEnum values = property.enumerator();
            bool known = !VariantOps::holdsName(given);
            int number = known ? VariantOps::toInt32(given)
                               : values.keyToValue(VariantOps::toText(given).toUtf8().constData(), &known);
            if (!known || !values.valueToKey(number))
                raiseError(ErrorCode::InvalidArgument,
                           u"no "_s + field.key() + u" is \""_s + VariantOps::toText(given) + u'"');
            given = QVariant(property.metaType(), &number);
        } else if (property.metaType().id() == QMetaType::Bool) {
            given = argument<bool>(given);
        } else if (property.metaType().id() == QMetaType::QString) {
            given = argument<QString>(given);
        } else if (!given.convert(property.metaType())) {
            raiseError(ErrorCode::TypeMismatch, u"the tool behaviour's "_s + field.key() + u" is of another type"_s);
        }
        property.writeOnGadget(&behaviour, given);
    }
    return behaviour;
}

/// A launch's options from a map: "values", a map of labels to values, and "folder".
template<>
LaunchOptions argument(const QVariant &value)
{
    if (value.isValid() && !value.canConvert<QVariantMap>())
        raiseError(ErrorCode::TypeMismatch);
    const QVariantMap fields = value.toMap();
    LaunchOptions options;
    const QVariantMap values = fields.value(u"values"_s).toMap();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        options.values.append({it.key(), argument<QString>(*it)});
    options.folder = argument<QString>(fields.value(u"folder"_s));
    return options;
}

QVariant converted(const QVariant &value, QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Int:
        return QVariant::fromValue(VariantOps::toInt32(value));
    case QMetaType::QString:
        return QVariant::fromValue(argument<QString>(value));
    case QMetaType::Bool:
        return QVariant::fromValue(argument<bool>(value));
    default:
        break;
    }
    if (type != QMetaType::fromType<Language>())
        raiseError(ErrorCode::TypeMismatch,
                   u"no writable property is of the type "_s + QString::fromLatin1(type.name()));
    return QVariant::fromValue(argument<Language>(value));
}

QVariant result(qint16 value) { return QVariant::fromValue(value); }

QVariant result(bool value) { return QVariant(value); }

QVariant result(const QString &value) { return QVariant(value); }

QVariant result(const QIcon &value) { return QVariant::fromValue(value); }

QVariant result(ToolRun *value) { return QVariant::fromValue(value); }

QVariant result(const ToolBehaviour &value)
{
    QVariantMap fields;
    const QMetaObject &meta = ToolBehaviour::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const QVariant field = property.readOnGadget(&value);
        fields.insert(QString::fromLatin1(property.name()),
                      property.isEnumType() ? QVariant(QString::fromLatin1(
                          property.enumerator().valueToKey(*static_cast<const int *>(field.constData()))))
                                            : field);
    }
    return fields;
}

QVariant result(const Result<LaunchCommand> &value)
{
    const LaunchCommand &command = value.value();
    return QVariantMap{{u"program"_s, command.program},
                       {u"arguments"_s, command.arguments},
                       {u"folder"_s, command.folder}};
}

} // namespace Lanyard::ByNameValue
