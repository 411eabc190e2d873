// SPDX-License-Identifier: MIT
#include "LateBinding.h"

#include "ByNameValue.h"
#include "util/Attempt.h"

#include <Lanyard/ExternalApps.h>

#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <QVarLengthArray>

#include <optional>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

enum class Kind { Get, Let, Call };

std::optional<Kind> parseKind(const QString &kind)
{
    if (kind.compare(u"get", Qt::CaseInsensitive) == 0)
        return Kind::Get;
    if (kind.compare(u"let", Qt::CaseInsensitive) == 0)
        return Kind::Let;
    if (kind.compare(u"call", Qt::CaseInsensitive) == 0)
        return Kind::Call;
    return std::nullopt;
}

bool sameName(const char *declared, const QString &name)
{
    return name.compare(QLatin1StringView(declared), Qt::CaseInsensitive) == 0;
}

/// The tag that marks a method reached by @p kind (ExternalApps.h).
QByteArrayView tagOf(Kind kind)
{
    switch (kind) {
    case Kind::Get:
        return "LANYARD_GET";
    case Kind::Let:
        return "LANYARD_LET";
    case Kind::Call:
        break;
    }
    return "";
}

/// What a member's name and kind find on the meta-object: a property, or methods of each
/// number of arguments (EditApp, ShowForm and startTool have several).
struct Found
{
    std::optional<QMetaProperty> property;
    QList<QMetaMethod> methods;
    bool any() const { return property || !methods.isEmpty(); }
};

Found find(const QString &member, Kind kind)
{
    const QMetaObject &meta = ExternalApps::staticMetaObject;
    Found found;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        if (kind != Kind::Call && sameName(property.name(), member) && (kind == Kind::Get || property.isWritable()))
            found.property = property;
    }
    const QString name = kind == Kind::Let ? u"set"_s + member : member;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Slot && QByteArrayView(method.tag()) == tagOf(kind)
            && sameName(method.name().constData(), name))
            found.methods.append(method);
    }
    return found;
}

/// Calls @p method (a forwarder: QVariants in, a QVariant or nothing out) with @p arguments.
QVariant call(ExternalApps &apps, const QMetaMethod &method, QVariantList arguments)
{
    QVariant returned;
    QVarLengthArray<void *, 8> argv;
    argv.append(method.returnMetaType() == QMetaType::fromType<QVariant>() ? &returned : nullptr);
    for (QVariant &argument : arguments)
        argv.append(&argument);
    QMetaObject::metacall(&apps, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    return returned;
}

/// A late-binding client reads an enumeration (Language) as its number.
QVariant numberOfEnum(const QVariant &value)
{
    return value.metaType().flags().testFlag(QMetaType::IsEnumeration) ? QVariant(value.toInt()) : value;
}

QVariantMap result(const QVariant &value, int error = 0, const QString &description = QString(),
                   const QString &detail = QString())
{
    return {{u"value"_s, value}, {u"error"_s, error}, {u"description"_s, description}, {u"detail"_s, detail}};
}

QVariantMap failure(const ComponentError &error)
{
    return result(QVariant(), error.number(), error.description(), error.detail());
}

} // namespace

QVariantMap LateBinding::invoke(ExternalApps &apps, ErrorSink &errorSink, const QString &member, const QString &kind,
                                const QVariantList &arguments)
{
    const std::optional<Kind> parsed = parseKind(kind);
    const Found found = parsed ? find(member, *parsed) : Found();
    if (!found.any())
        return failure(ComponentError(ErrorCode::MemberNotFound));
    const qsizetype count = arguments.size();
    const bool asProperty = found.property && count == (*parsed == Kind::Let ? 1 : 0);
    const auto method = std::find_if(found.methods.cbegin(), found.methods.cend(),
                                     [&](const QMetaMethod &m) { return m.parameterCount() == count; });
    if (!asProperty && method == found.methods.cend())
        return failure(ComponentError(ErrorCode::WrongArgumentCount));

    // Every member here is a forwarder of ExternalApps::Private::byName, which hands its error
    // to this sink instead of emitting errorOccurred.
    std::optional<ComponentError> error;
    const QPointer<ExternalApps> alive(&apps);
    const Result<QVariant> value = attempt([&] {
        if (asProperty && *parsed == Kind::Get)
            return numberOfEnum(found.property->read(&apps));
        errorSink = &error;
        if (asProperty)
            found.property->write(&apps, ByNameValue::converted(arguments.first(), found.property->metaType()));
        return asProperty ? QVariant() : call(apps, *method, arguments);
    });
    if (alive)
        errorSink = nullptr;
    if (!value)
        return failure(value.error());
    if (error)
        return failure(*error);
    return result(value.value());
}

} // namespace Lanyard
