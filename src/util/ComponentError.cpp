#include <Lanyard/ComponentError.h>


namespace Lanyard {

namespace {

// The text of each error number: a line each, the number first.
constexpr QStringView descriptions = uR"(5 Invalid procedure call or argument
6 Overflow
7 Out of memory
9 Index out of range
13 Type mismatch
53 File not found
57 Device I/O error
61 Disk full
70 Permission denied
75 Path/File access error
438 Object doesn't support this property or method
450 Wrong number of arguments or invalid property assignment)";

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
    const QString number = QString::number(static_cast<int>(code)) + u' ';
    for (const QStringView line : descriptions.tokenize(u'\n')) {
        if (line.startsWith(number))
            return line.sliced(number.size()).toString();
    }
    return QString();
}

} // namespace Lanyard
