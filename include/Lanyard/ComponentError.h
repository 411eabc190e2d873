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
    DeviceIOError = 57, ///< the launch list could not be read or written
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccessError = 75, ///< a launch list that is no regular text file, or a line too long
    // Only a late-bound call (ExternalApps::invoke) can get these two.
    MemberNotFound = 438,
    WrongArgumentCount = 450,
};

/// Thrown by a direct call on ExternalApps that fails; the call has changed nothing.
/// A late-bound call (ExternalApps::invoke) returns the same number and text instead.
class LANYARD_EXPORT ComponentError : public std::exception
{
public:
    /// The error @p code, with @p detail saying what went wrong in this case (may be empty).
    explicit ComponentError(ErrorCode code, const QString &detail = QString());

    /// The error as an ErrorCode.
    ErrorCode code() const noexcept { return m_code; }
    /// The error's number (9 for IndexOutOfRange, ...), as a late-bound caller gets it.
    int number() const noexcept { return static_cast<int>(m_code); }
    /// The error's standard text, the same for every error of this number ("Permission denied").
    QString description() const;
    /// What went wrong in this case, for a user ("/home/me/tools.lst: a line is longer than
    /// 65536 bytes"); empty where the number says it all.
    QString detail() const { return m_detail; }
    /// The description, and the detail after a colon when there is one.
    QString message() const;
    /// message() in UTF-8.
    const char *what() const noexcept override;

    /// The standard text of the error @p code, as description() gives it.
    static QString describe(ErrorCode code);

private:
    ErrorCode m_code;
    QString m_detail;
    std::string m_what;
};

} // namespace Lanyard
