#pragma once

#include "LaunchListEntry.h"
#include "util/FileVersion.h"

#include <QString>

#include <functional>
#include <optional>

namespace Lanyard {

class Catalogue;
class ListSnapshot;

/**
 * Reads and writes the launch list file: one line per application, five comma-separated
 * fields (group, name, path, command line, protected flag), comments starting with ";".
 *
 * Text: a file that is valid UTF-8 as a whole is read as UTF-8, any other as Latin-1, and
 * written back the same way, so that every value survives a load and a save byte for byte.
 * Lines end at CR LF, a lone CR or a lone LF; a UTF-8 byte-order mark at the start of the
 * file is skipped (one at the start of a later line is a character of it). Lines are written
 * with CR LF. Paths are native text (see NativeText).
 */
class LaunchListFile
{
public:
    enum class Encoding { Utf8, Latin1 };
    enum class Field { Group, Name, Path, CmdLine };
    using Sink = std::function<void(const LaunchListEntry &)>;

    /// A file longer in any line is no launch list; its load fails rather than use the memory.
    static constexpr qsizetype maxLineLength = 65536;

    struct Read
    {
        Encoding encoding;
        FileVersion version; ///< the file as it was read
    };

    /**
     * Hands every accepted line of the file at @p path to @p sink, in file order. Throws
     * ComponentError: PermissionDenied for a file this process may not read;
     * PathFileAccessError for no regular file (a folder, FIFO, device or socket: none is
     * opened for reading), a file holding a NUL byte, or one with a line longer than
     * maxLineLength — all found before any line goes to the sink; DeviceIOError for a read
     * that fails, which can come after some lines went to the sink.
     */
    static Read load(const QString &path, const Sink &sink);

    /// Why the file cannot hold @p value as @p field so that it reads back the same (a comma,
    /// a line break, a NUL, blanks at either end, a group name that starts a comment, text
    /// beyond the file's encoding); empty when it can.
    static QString refusal(Field field, const QString &value, Encoding encoding);

    /**
     * Replaces the file at @p path (a link: its target) with the whole catalogue or snapshot;
     * a failure leaves the previous file whole and throws ComponentError (DiskFull,
     * PermissionDenied, PathFileAccessError, DeviceIOError) with what failed. Latin-1 is kept
     * only while every character fits it and the file reads back as Latin-1; otherwise the
     * file is written as UTF-8, so that nothing is lost. Returns the version written.
     */
    static FileVersion save(const Catalogue &catalogue, const QString &path, Encoding encoding);
    static FileVersion save(const ListSnapshot &snapshot, const QString &path, Encoding encoding);
};

} // namespace Lanyard
