#include <Lanyard/ComponentError.h>

namespace Lanyard {

ComponentError::ComponentError(ErrorCode code)
    : m_code(code)
    , m_what(describe(code).toStdString())
{
}

QString ComponentError::description() const { return describe(m_code); }

const char *ComponentError::what() const noexcept { return m_what.c_str(); }

QString ComponentError::describe(ErrorCode code)
{
    switch (code) {
    case ErrorCode::InvalidArgument:
        return QStringLiteral("Invalid procedure call or argument");
    case ErrorCode::Overflow:
        return QStringLiteral("Overflow");
    case ErrorCode::OutOfMemory:
        return QStringLiteral("Out of memory");
    case ErrorCode::IndexOutOfRange:
        return QStringLiteral("Index out of range");
    case ErrorCode::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case ErrorCode::FileNotFound:
        return QStringLiteral("File not found");
    case ErrorCode::MemberNotFound:
        return QStringLiteral("Object doesn't support this property or method");
    case ErrorCode::WrongArgumentCount:
        return QStringLiteral("Wrong number of arguments or invalid property assignment");
    }
    return QString();
}

} // namespace Lanyard
