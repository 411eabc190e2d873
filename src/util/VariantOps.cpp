// SPDX-License-Identifier: MIT
#include "VariantOps.h"

#include "Raise.h"

#include <cmath>
#include <limits>

namespace Lanyard::VariantOps {

namespace {

double roundHalfToEven(double x)
{
    const double floor = std::floor(x);
    const double diff = x - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

double textAsNumber(const QString &text)
{
    bool ok; // set by the conversion
    const double number = text.trimmed().toDouble(&ok);
    if (!ok) {
        const QString lower = text.trimmed().toLower();
        if (lower == u"true")
            return -1.0;
        if (lower == u"false")
            return 0.0;
        raiseError(ErrorCode::TypeMismatch);
    }
    return number;
}

double asNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? -1.0 : 0.0;
    case QMetaType::QString:
        return textAsNumber(value.toString());
    case QMetaType::QByteArray:
        return textAsNumber(QString::fromUtf8(value.toByteArray()));
    case QMetaType::QChar:
        return textAsNumber(QString(value.toChar()));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Char:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toDouble();
    default:
        // A value of an enumeration (a Language, say) is the number it stands for.
        if (value.metaType().flags().testFlag(QMetaType::IsEnumeration))
            return double(value.toLongLong());
        raiseError(ErrorCode::TypeMismatch);
    }
}

template<typename Int>
Int toInteger(const QVariant &value)
{
    const double rounded = roundHalfToEven(asNumber(value));
    if (std::isnan(rounded) || rounded < double(std::numeric_limits<Int>::min())
        || rounded > double(std::numeric_limits<Int>::max()))
        raiseError(ErrorCode::Overflow);
    return static_cast<Int>(rounded);
}

} // namespace

bool holdsName(const QVariant &value)
{
    const int type = value.typeId();
    return type == QMetaType::QString || type == QMetaType::QByteArray || type == QMetaType::QChar;
}

qint16 toInt16(const QVariant &value) { return toInteger<qint16>(value); }
qint32 toInt32(const QVariant &value) { return toInteger<qint32>(value); }

QString toText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
    case QMetaType::QStringList:
    case QMetaType::QObjectStar:
    case QMetaType::UnknownType:
        raiseError(ErrorCode::TypeMismatch);
    default:
        break;
    }
    if (!value.canConvert<QString>())
        raiseError(ErrorCode::TypeMismatch);
    return value.toString();
}

bool toBool(const QVariant &value) { return asNumber(value) != 0.0; }

} // namespace Lanyard::VariantOps
