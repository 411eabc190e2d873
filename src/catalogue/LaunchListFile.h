// SPDX-License-Identifier: MIT
#pragma once

#include "LaunchListEntry.h"
#include "util/FileVersion.h"

#include <Lanyard/Result.h>

#include <QString>

#include <functional>

namespace Lanyard {

/**
 * Reads and writes the launch list file: one line per application, five comma-separated
 * fields (group, name, path, command line, protected flag), comments starting with ";".
 * It knows plain entries only; what a catalogue makes of them is the caller's.
 *
 * Text: a file that is valid UTF-8 as a whole is read as UTF-8, any other as Latin-1. The
 * encoding matters for group and name, which are text; path and command line are bytes for
 * the system, kept as they are in either encoding. A save writes the encoding it is given
 * where that holds every value, else the other one where that does; so every value survives
 * a load and a save. Lines end at CR LF, a lone CR or a lone LF; a UTF-8 byte-order mark at
 * the start of the file is skipped (one at the start of a later line is a character of it).
 * Lines are written with CR LF.
 */
class LaunchListFile
{
public:
    enum class Encoding { Utf8, Latin1 };
    enum class Field { Group, Name, Path, CmdLine };
    using Sink = std::function<void(const LaunchListEntry &)>;
    /// One line to write: views of an entry's values where they are kept, so that a save of a
    /// million entries copies none of them.
    struct Line
    {
        QStringView group;
        QStringView name;
        QStringView path;
        QStringView cmdLine;
        qint16 protectedFlag = 0;
    };
    using LineSink = std::function<void(const Line &)>;
    /// Hands the lines to write to the sink it is given, in file order; it may be called
    /// more than once and must give the same lines each time.
    using Source = std::function<void(const LineSink &)>;

    /// A file longer in any line is no launch list; its load fails rather than use the memory.
    static constexpr qsizetype maxLineLength = 65536;

    struct Version
    {
        Encoding encoding;
        FileVersion file; ///< the file as it was read or written
    };

    /**
     * Hands every accepted line of the file at @p path to @p sink, in file order. Throws
     * ComponentError: PermissionDenied for a file this process may not read;
     * PathFileAccessError for no regular file (a folder, FIFO, device or socket: none is
     * opened for reading), a file holding a NUL byte, or one with a line longer than
     * maxLineLength — all found before any line goes to the sink; DeviceIOError for a read
     * that fails, which can come after some lines went to the sink.
     */
    static Version load(const QString &path, const Sink &sink);

    /// Whether a file in @p encoding can hold @p value as @p field so that it reads back the
    /// same; when not, InvalidArgument saying why (a comma, a line break, a NUL, blanks at
    /// either end, a group name that starts a comment, a character or byte the encoding has
    /// not), naming the character.
    static Result<void> storable(Field field, const QString &value, Encoding encoding);

    /**
     * Replaces the file at @p path (a link: its target) with the entries of @p entries; a
     * failure leaves the previous file whole and throws ComponentError (DiskFull,
     * PermissionDenied, PathFileAccessError, DeviceIOError) with what failed, or
     * InvalidArgument when neither encoding can hold all the entries.
     */
    static Version save(const QString &path, const Source &entries, Encoding encoding);

    /// The line that stands for @p entry, viewing its values.
    static Line lineOf(const LaunchListEntry &entry)
    {
        return {entry.group, entry.name, entry.path, entry.cmdLine, entry.protectedFlag};
    }

    /// The identity that the line written for @p entry in @p encoding has when read again.
    static quint64 identity(const LaunchListEntry &entry, Encoding encoding);
};

} // namespace Lanyard
