// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QString>

#include <exception>
#include <string>

namespace Lanyard {

/// The numbered errors that a member of ExternalApps raises to its caller. The numbers are the
/// contract: a late-bound caller gets the same ones. ComponentError::describe() gives each one's
/// text.
enum class ErrorCode : int {
    InvalidArgument = 5,      ///< a value the member or the launch list cannot take
    Overflow = 6,             ///< a number beyond 16 bits where a group or application is meant
    IndexOutOfRange = 9,      ///< a slot outside the tables, or an entry that is not there
    OutOfMemory = 7,          ///< memory ran out
    TypeMismatch = 13,        ///< a value that is neither a name nor a number where one is meant
    FileNotFound = 53,        ///< a program that the process runner cannot start
    DeviceIOError = 57,       ///< the launch list could not be read or written
    DiskFull = 61,            ///< the launch list could not be written: no room left
    PermissionDenied = 70,    ///< the launch list may not be read or written
    PathFileAccessError = 75, ///< a launch list that is no regular text file, a line too long, or the lock
    MemberNotFound = 438,     ///< only a late-bound call (ExternalApps::invoke): no such member or kind
    WrongArgumentCount = 450, ///< only a late-bound call: the wrong number of arguments
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
