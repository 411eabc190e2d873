#include <Lanyard/ComponentError.h>

#include <array>
#include <utility>

namespace Lanyard {

namespace {

// The texts are those a Basic host shows for the same numbers.
constexpr std::array<std::pair<ErrorCode, const char16_t *>, 12> descriptions{{
    {ErrorCode::InvalidArgument, u"Invalid procedure call or argument"},
    {ErrorCode::Overflow, u"Overflow"},
    {ErrorCode::OutOfMemory, u"Out of memory"},
    {ErrorCode::IndexOutOfRange, u"Index out of range"},
    {ErrorCode::TypeMismatch, u"Type mismatch"},
    {ErrorCode::FileNotFound, u"File not found"},
    {ErrorCode::DeviceIOError, u"Device I/O error"},
    {ErrorCode::DiskFull, u"Disk full"},
    {ErrorCode::PermissionDenied, u"Permission denied"},
    {ErrorCode::PathFileAccessError, u"Path/File access error"},
    {ErrorCode::MemberNotFound, u"Object doesn't support this property or method"},
    {ErrorCode::WrongArgumentCount, u"Wrong number of arguments or invalid property assignment"},
}};

} // namespace

ComponentError::ComponentError(ErrorCode code, const QString &detail)
    : m_code(code)
    , m_detail(detail)
    , m_what(message().toStdString())
{
}

QString ComponentError::description() const { return describe(m_code); }

QString ComponentError::message() const
{
    return m_detail.isEmpty() ? description() : description() + QStringLiteral(": ") + m_detail;
}

const char *ComponentError::what() const noexcept { return m_what.c_str(); }

QString ComponentError::describe(ErrorCode code)
{
    for (const auto &[known, text] : descriptions) {
        if (known == code)
            return QString::fromUtf16(text);
    }
    return QString();
}

} // namespace Lanyard
