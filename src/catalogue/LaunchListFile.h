#pragma once

#include <QString>

namespace Lanyard {

class Catalogue;
class ExternalApps;

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

    /// Hands every accepted line of the file at @p path to apps.AddApp, adding to what is
    /// there, and remembers the file's encoding in the object. A file that can not be read
    /// adds nothing (logged on the "lanyard" category).
    static void load(ExternalApps &apps, const QString &path);

    /**
     * Replaces the file at @p path with the whole catalogue, atomically: on any failure the
     * previous file stays whole, the failure is logged on the "lanyard" category and false is
     * returned. Latin-1 is kept only while every character fits it; otherwise the file is
     * written as UTF-8, so that nothing is lost.
     */
    static bool save(const Catalogue &catalogue, const QString &path, Encoding encoding);
};

} // namespace Lanyard
