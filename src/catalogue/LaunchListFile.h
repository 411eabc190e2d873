#pragma once

#include <QString>

#include <functional>

namespace Lanyard {

class Catalogue;

/**
 * Reads and writes the launch list file: one line per application, five comma-separated
 * fields (group, name, path, command line, protected flag), comments starting with ";".
 *
 * Text: a file that is valid UTF-8 as a whole is read as UTF-8, any other as Latin-1, and
 * written back the same way, so that every value survives a load and a save byte for byte.
 * Lines end at CR LF, a lone CR or a lone LF; a UTF-8 byte-order mark at the start is
 * skipped. Lines are written with CR LF.
 */
class LaunchListFile
{
public:
    enum class Encoding { Utf8, Latin1 };

    /// One application line as the reader accepts it.
    struct Entry
    {
        QString group;
        QString name;
        QString path;
        QString cmdLine;
        bool isProtected = false;
    };
    using Sink = std::function<void(const Entry &)>;

    /// Hands every accepted line of the file at @p path to @p sink, in file order, and returns
    /// the file's encoding. A file that can not be read gives nothing to the sink (logged on the
    /// "lanyard" category).
    static Encoding load(const QString &path, const Sink &sink);

    /**
     * Replaces the file at @p path with the whole catalogue, atomically: on any failure the
     * previous file stays whole, the failure is logged on the "lanyard" category and false is
     * returned. Latin-1 is kept only while every character fits it; otherwise the file is
     * written as UTF-8, so that nothing is lost.
     */
    static bool save(const Catalogue &catalogue, const QString &path, Encoding encoding);
};

} // namespace Lanyard
