// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Result.h>

#include <QBitArray>
#include <QString>
#include <QStringList>

namespace Lanyard {

/**
 * Splits a command line into words by POSIX shell quoting rules, without any expansion:
 * blanks separate words; '...' is literal; "..." groups, with \", \\, \$ and \` escapes; an
 * unquoted backslash escapes the next character. Characters marked in @p literal (same length
 * as @p text, or empty for none) are plain characters wherever they stand: they never separate
 * words, open or close quotes, or escape. InvalidArgument when a quote is left open.
 *
 * Why not QProcess::splitCommand: it knows only double quotes (tripled for a literal one), no
 * single quotes and no backslash escapes, so it splits a line as no shell user would, and it
 * cannot keep a placeholder's replacement whole.
 */
class CommandLine
{
public:
    static Result<QStringList> split(const QString &text, const QBitArray &literal = QBitArray());
};

} // namespace Lanyard
