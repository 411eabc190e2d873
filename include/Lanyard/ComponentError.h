#pragma once

#include <Lanyard/Export.h>

#include <QString>

#include <exception>
#include <string>

namespace Lanyard {

/// The numbered errors that a member of ExternalApps raises to its caller.
enum class ErrorCode : int {
    InvalidArgument = 5,
    Overflow = 6,
    IndexOutOfRange = 9,
    OutOfMemory = 7,
    TypeMismatch = 13,
    FileNotFound = 53, ///< a program that cannot be started
    // Only a late-bound call (ExternalApps::invoke) can get these two.
    MemberNotFound = 438,
    WrongArgumentCount = 450,
};

/// Thrown by a direct call on ExternalApps that fails; the call has changed nothing.
/// A late-bound call (ExternalApps::invoke) returns the same number and text instead.
class LANYARD_EXPORT ComponentError : public std::exception
{
public:
    explicit ComponentError(ErrorCode code);

    ErrorCode code() const noexcept { return m_code; }
    int number() const noexcept { return static_cast<int>(m_code); }
    QString description() const;
    const char *what() const noexcept override;

    static QString describe(ErrorCode code);

private:
    ErrorCode m_code;
    std::string m_what;
};

} // namespace Lanyard
