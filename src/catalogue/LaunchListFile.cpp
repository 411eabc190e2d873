// SPDX-License-Identifier: MIT
#include "LaunchListFile.h"

#include "text/NativeText.h"
#include "text/Utf8.h"
#include "util/FileWriter.h"
#include "util/LibraryLocation.h"
#include "util/Raise.h"
#include "util/StringOps.h"
#include "util/Uninterrupted.h"
#include "util/UniqueFd.h"

#include <QDate>
#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

ComponentError refused(const QString &reason) { return ComponentError(ErrorCode::InvalidArgument, reason); }

constexpr qsizetype writeChunk = 1 << 20;
constexpr qsizetype readChunk = 1 << 20;

[[noreturn]] void raiseFileError(int error, const QString &what) { throw fileError(error, what); }

const char *kindOfSpecialFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "no regular file";
}

/**
 * Reads @p fd from where it stands a chunk at a time into one reused buffer (a fresh buffer
 * for a whole large file costs more in page faults than the reading). @p consume gets what is
 * there and whether the file has ended, and returns how many bytes it used (the rest is
 * offered again with the next chunk). The errno of a failed read, else 0.
 */
template<typename Consume>
int readChunks(int fd, Consume consume)
{
    QByteArray buffer;
    qsizetype kept = 0;
    for (;;) {
        buffer.resize(kept + readChunk);
        const ssize_t got = uninterrupted([&] { return ::read(fd, buffer.data() + kept, size_t(readChunk)); });
        if (got == -1)
            return errno;
        const qsizetype size = kept + qsizetype(got);
        const bool last = got == 0;
        const qsizetype used = consume(QByteArrayView(buffer.constData(), size), last);
        if (last)
            return 0;
        kept = size - used;
        if (used > 0)
            std::memmove(buffer.data(), buffer.constData() + used, size_t(kept));
    }
}

/// What the first reading of a file finds out before any line is used: its encoding, and
/// whether it is a launch list at all (no NUL byte, no line longer than the limit).
struct Survey
{
    bool utf8 = true;
    bool holdsNul = false;
    qsizetype longestLine = 0;
};

Survey survey(int fd, int &readError)
{
    Survey found;
    qsizetype line = 0;
    readError = readChunks(fd, [&](QByteArrayView chunk, bool last) -> qsizetype {
        qsizetype used = chunk.size();
        if (found.utf8) {
            const qsizetype prefix = Utf8::validPrefix(chunk);
            // A sequence that the chunk's end cuts off is checked again with the next chunk.
            found.utf8 = prefix == chunk.size() || (!last && chunk.size() - prefix <= 3);
            if (found.utf8)
                used = prefix;
        }
        const QByteArrayView scanned = chunk.first(used);
        found.holdsNul = found.holdsNul || std::memchr(scanned.data(), 0, size_t(scanned.size()));
        for (const char c : scanned) {
            if (c == '\n' || c == '\r') {
                found.longestLine = std::max(found.longestLine, line);
                line = 0;
            } else {
                ++line;
            }
        }
        found.longestLine = std::max(found.longestLine, line);
        return used;
    });
    return found;
}

/**
 * Calls @p handle with every line of @p bytes; CR LF, a lone CR and a lone LF end a line.
 * Unless @p last, a line without its end is left for the next call (a CR LF cut in two gives
 * one blank line more, which the reader skips). Returns the number of bytes used.
 */
template<typename Handle>
qsizetype forEachLine(QByteArrayView bytes, bool last, Handle handle)
{
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    const char *newline = nullptr; // the next LF at or after p, once searched
    while (p < end) {
        if (!newline || newline < p) {
            newline = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!newline)
                newline = end;
        }
        const char *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(newline - p)));
        const char *lineEnd = cr ? cr : newline;
        if (lineEnd == end && !last)
            break;
        handle(QByteArrayView(p, lineEnd));
        if (lineEnd == end)
            p = end;
        else if (cr && cr + 1 < end && cr[1] == '\n')
            p = cr + 2;
        else
            p = lineEnd + 1;
    }
    return qsizetype(p - bytes.data());
}

/// The fifth field read as a number: C blanks skipped, the longest leading decimal number
/// (sign, digits, fraction) counts, and text without one reads as 0.
bool readsAsNonZero(QByteArrayView text)
{
    qsizetype i = 0;
    const auto at = [&](qsizetype k) { return k < text.size() ? text.at(k) : '\0'; };
    // The C blanks, whatever the locale says of other bytes.
    while (QByteArrayView(" \t\n\v\f\r").contains(at(i)))
        ++i;
    if (at(i) == '+' || at(i) == '-')
        ++i;
    bool nonZero = false;
    const auto digits = [&] {
        for (; at(i) >= '0' && at(i) <= '9'; ++i)
            nonZero = nonZero || at(i) != '0';
    };
    digits();
    if (at(i) == '.') {
        ++i;
        digits();
    }
    return nonZero;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView trimmedBlanks(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

/// Takes the field up to the next comma off the front of @p line, without its blanks.
QByteArrayView nextField(QByteArrayView &line)
{
    const qsizetype comma = line.indexOf(',');
    if (comma == -1)
        return trimmedBlanks(std::exchange(line, {}));
    const QByteArrayView field = line.first(comma);
    line = line.sliced(comma + 1);
    return trimmedBlanks(field);
}

/// The bytes of one line's fields, as the file holds them.
struct LineFields
{
    QByteArrayView group;
    QByteArrayView name;
    QByteArrayView path;
    QByteArrayView cmdLine;
    bool isProtected = false;
};

quint64 identityOf(const LineFields &fields)
{
    size_t hash = 0x4c616e79;
    for (const QByteArrayView field : {fields.group, fields.name, fields.path, fields.cmdLine})
        hash = qHashBits(field.data(), size_t(field.size()), hash ^ size_t(field.size()));
    if (fields.isProtected)
        hash ^= 0x9e3779b97f4a7c15;
    return hash == 0 ? 1 : quint64(hash); // 0 stands for an entry in no file
}

/**
 * Shares the text of values that repeat from line to line (the same program path or command
 * line in many entries, the same name in many groups), so that a large list holds each of them
 * once.
 */
class ValuePool
{
public:
    template<typename Decode>
    QString share(QByteArrayView bytes, Decode &&decode)
    {
        if (bytes.isEmpty())
            return QString();
        const auto found = m_values.constFind(QByteArray::fromRawData(bytes.data(), bytes.size()));
        if (found != m_values.constEnd())
            return *found;
        QString value = decode(bytes);
        if (m_values.size() < maxValues)
            m_values.insert(bytes.toByteArray(), value);
        return value;
    }

private:
    static constexpr qsizetype maxValues = 4096;
    QHash<QByteArray, QString> m_values;
};

/// Text fields (group, name) in the file's encoding. A byte-order mark is a character like
/// any other here: only the file's first one is skipped, by the reader.
class TextDecoder
{
public:
    explicit TextDecoder(LaunchListFile::Encoding encoding)
        : m_encoding(encoding)
        , m_utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
    {
    }

    QString operator()(QByteArrayView bytes)
    {
        switch (m_encoding) {
        case LaunchListFile::Encoding::Utf8:
            return m_utf8(bytes);
        case LaunchListFile::Encoding::Latin1:
            return QString::fromLatin1(bytes);
        }
        Q_UNREACHABLE();
    }

private:
    LaunchListFile::Encoding m_encoding;
    QStringDecoder m_utf8;
};

/// Reads the lines of one file into entries.
class LineReader
{
public:
    LineReader(LaunchListFile::Encoding encoding, const LaunchListFile::Sink &sink)
        : m_text(encoding)
        , m_sink(sink)
    {
    }

    void operator()(QByteArrayView line)
    {
        line = trimmedBlanks(line);
        if (line.isEmpty() || line.front() == ';')
            return;
        LineFields fields;
        fields.group = nextField(line);
        fields.name = nextField(line);
        fields.path = nextField(line);
        fields.cmdLine = nextField(line);
        fields.isProtected = readsAsNonZero(line);
        if (fields.group.isEmpty() || fields.name.isEmpty() || (fields.path.isEmpty() && fields.cmdLine.isEmpty()))
            return;
        const auto bytes = [](QByteArrayView b) { return NativeText::decode(b); };
        m_sink({groupText(fields.group), m_names.share(fields.name, m_text), m_values.share(fields.path, bytes),
                m_values.share(fields.cmdLine, bytes), qint16(fields.isProtected ? -1 : 0), identityOf(fields)});
    }

private:
    /// Lines of one group mostly follow each other: they share its text.
    QString groupText(QByteArrayView bytes)
    {
        if (bytes != QByteArrayView(m_lastGroupBytes)) {
            m_lastGroupBytes = bytes.toByteArray();
            m_lastGroup = m_text(bytes);
        }
        return m_lastGroup;
    }

    TextDecoder m_text;
    const LaunchListFile::Sink &m_sink;
    ValuePool m_values; // paths and command lines: native text
    ValuePool m_names;  // text in the file's encoding
    QByteArray m_lastGroupBytes;
    QString m_lastGroup;
};

bool isEscapedByte(QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }

/// The first character of @p text that no encoding can write: a surrogate without its
/// partner (as a text field: also one that stands for a byte); -1 when there is none.
qsizetype firstLoneSurrogate(QStringView text, bool bytesAllowed)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate() && !(bytesAllowed && isEscapedByte(text[i])))
            return i;
    }
    return -1;
}

qsizetype firstEscapedByte(QStringView text)
{
    const auto found = std::find_if(text.begin(), text.end(), isEscapedByte);
    return found == text.end() ? -1 : found - text.begin();
}

qsizetype firstBeyondLatin1(QStringView text)
{
    const auto found = std::find_if(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; });
    return found == text.end() ? -1 : found - text.begin();
}

bool isText(LaunchListFile::Field field)
{
    switch (field) {
    case LaunchListFile::Field::Group:
    case LaunchListFile::Field::Name:
        return true;
    case LaunchListFile::Field::Path:
    case LaunchListFile::Field::CmdLine:
        return false;
    }
    Q_UNREACHABLE();
}

/// A character of @p text as a user reads it in a message: the character itself, or the
/// byte it stands for.
QString characterAt(QStringView text, qsizetype i)
{
    if (isEscapedByte(text[i]))
        return u"the byte 0x"_s + QString::number(text[i].unicode() - 0xDC00, 16).toUpper();
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return u"\u201C"_s + text.sliced(i, 2).toString() + u"\u201D"_s;
    if (text[i].isSurrogate())
        return u"a broken character (U+"_s + QString::number(text[i].unicode(), 16).toUpper() + u')';
    return u"\u201C"_s + text[i] + u"\u201D"_s;
}

/// Text field bytes in @p encoding; the caller has made sure that the encoding holds them.
QByteArray textBytes(const QString &text, LaunchListFile::Encoding encoding)
{
    switch (encoding) {
    case LaunchListFile::Encoding::Utf8:
        return text.toUtf8();
    case LaunchListFile::Encoding::Latin1:
        return text.toLatin1();
    }
    Q_UNREACHABLE();
}

/// Every field of an entry as the bytes a file in @p encoding holds.
struct EncodedEntry
{
    EncodedEntry(const LaunchListEntry &entry, LaunchListFile::Encoding encoding)
        : group(textBytes(entry.group, encoding))
        , name(textBytes(entry.name, encoding))
        , path(NativeText::encode(entry.path))
        , cmdLine(NativeText::encode(entry.cmdLine))
    {
    }

    quint64 identity(qint16 protectedFlag) const
    {
        return identityOf({group, name, path, cmdLine, protectedFlag != 0});
    }

    QByteArray group;
    QByteArray name;
    QByteArray path;
    QByteArray cmdLine;
};

/**
 * Which encoding can hold every entry. UTF-8 holds any text but only bytes that are UTF-8;
 * Latin-1 holds any bytes but only text up to U+00FF, and a Latin-1 file that happens to be
 * valid UTF-8 would be read as UTF-8 next time, as other text: such entries are written in
 * UTF-8, which holds them then.
 */
class EncodingChoice
{
public:
    void check(const LaunchListFile::Line &line)
    {
        checkText(line.group);
        checkText(line.name);
        checkBytes(line.path);
        checkBytes(line.cmdLine);
    }

    std::optional<LaunchListFile::Encoding> choose(LaunchListFile::Encoding wanted) const
    {
        const bool utf8 = m_utf8Text && !m_escapedBytes && m_writable;
        const bool latin1 = m_latin1Text && m_writable && (m_escapedBytes || !m_nonAsciiText || !m_latin1ReadsAsUtf8);
        switch (wanted) {
        case LaunchListFile::Encoding::Utf8:
            if (utf8)
                return wanted;
            break;
        case LaunchListFile::Encoding::Latin1:
            if (latin1)
                return wanted;
            break;
        }
        if (utf8)
            return LaunchListFile::Encoding::Utf8;
        if (latin1)
            return LaunchListFile::Encoding::Latin1;
        return std::nullopt;
    }

private:
    void checkText(QStringView text)
    {
        // ASCII, as most values are, any encoding holds as it is.
        if (QtPrivate::isAscii(text))
            return;
        if (firstLoneSurrogate(text, false) >= 0)
            m_utf8Text = m_latin1Text = false;
        if (!m_latin1Text)
            return;
        if (firstBeyondLatin1(text) >= 0) {
            m_latin1Text = false;
            return;
        }
        const bool nonAscii = std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; });
        m_nonAsciiText = m_nonAsciiText || nonAscii;
        if (nonAscii && m_latin1ReadsAsUtf8)
            m_latin1ReadsAsUtf8 = Utf8::isValid(text.toLatin1());
    }

    void checkBytes(QStringView value)
    {
        if (QtPrivate::isAscii(value))
            return;
        m_writable = m_writable && firstLoneSurrogate(value, true) < 0;
        m_escapedBytes = m_escapedBytes || firstEscapedByte(value) >= 0;
    }

    bool m_utf8Text = true;
    bool m_latin1Text = true;
    bool m_nonAsciiText = false;
    bool m_latin1ReadsAsUtf8 = true;
    bool m_escapedBytes = false;
    bool m_writable = true;
};

/// Gathers lines into a buffer that is handed to the file a chunk at a time.
class LineWriter
{
public:
    explicit LineWriter(FileWriter &file)
        : m_file(file)
    {
        m_buffer.reserve(writeChunk + 4096);
    }

    void append(QByteArrayView bytes) { m_buffer.append(bytes); }

    /// Appends the line of one entry, its values in @p encoding: text for a group or name,
    /// native bytes for a path or command line.
    void appendLine(const LaunchListFile::Line &line, LaunchListFile::Encoding encoding)
    {
        const std::array<QStringView, 4> values{line.group, line.name, line.path, line.cmdLine};
        const QByteArrayView flag = line.protectedFlag == 0 ? QByteArrayView("0") : QByteArrayView("-1");
        if (!appendAsciiValues(values)) {
            for (size_t i = 0; i < values.size(); ++i) {
                const bool text = i < 2;
                m_buffer.append(text ? textBytes(values[i].toString(), encoding) : NativeText::encode(values[i]));
                m_buffer.append(',');
            }
        }
        m_buffer.append(flag.data(), flag.size());
        endLine();
    }

    void endLine()
    {
        m_buffer.append("\r\n", 2);
        if (m_buffer.size() >= writeChunk)
            flush();
    }

    /// A failure stays with the file, which its commit reports.
    void flush()
    {
        (void)m_file.write(m_buffer);
        m_buffer.resize(0);
    }

private:
    /// Appends the values each followed by a comma when all are ASCII, as most are: sized
    /// once, the characters copied straight in, no value encoded on its own. False, with
    /// nothing appended, when one is not.
    bool appendAsciiValues(const std::array<QStringView, 4> &values)
    {
        qsizetype size = qsizetype(values.size());
        for (const QStringView value : values)
            size += value.size();
        const qsizetype at = m_buffer.size();
        m_buffer.resize(at + size);
        char *out = m_buffer.data() + at;
        char16_t seen = 0;
        for (const QStringView value : values) {
            for (const QChar c : value) {
                seen |= c.unicode();
                *out++ = char(c.unicode());
            }
            *out++ = ',';
        }
        if (seen < 0x80)
            return true;
        m_buffer.resize(at);
        return false;
    }

    FileWriter &m_file;
    QByteArray m_buffer;
};

void writeEntries(LineWriter &out, const LaunchListFile::Source &entries, LaunchListFile::Encoding encoding)
{
    out.append(textBytes(u"; Created by: "_s + LibraryLocation::baseName() + u" on "_s
                             + QDate::currentDate().toString(u"dd-MM-yyyy"_s),
                         encoding));
    out.endLine();
    out.append("; Format: Group Label,Program label,Program Path,Command line");
    out.endLine();
    entries([&](const LaunchListFile::Line &line) {
        if (line.path.isEmpty() && line.cmdLine.isEmpty())
            return;
        out.appendLine(line, encoding);
    });
}

} // namespace

LaunchListFile::Version LaunchListFile::load(const QString &path, const Sink &sink)
{
    const QByteArray native = NativeText::encode(path);
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        raiseError(ErrorCode::PathFileAccessError,
                   u"%1 is %2, not a launch list"_s.arg(path, QLatin1StringView(kindOfSpecialFile(info.st_mode))));
    // Non-blocking, so that a FIFO put there meanwhile cannot hold the open.
    const UniqueFd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.isValid())
        raiseFileError(errno, u"cannot read %1: %2"_s.arg(path, qt_error_string(errno)));
    const std::optional<FileVersion> version = FileVersion::ofDescriptor(fd.get());
    if (!version) {
        ::fstat(fd.get(), &info);
        raiseError(ErrorCode::PathFileAccessError,
                   u"%1 is %2, not a launch list"_s.arg(path, QLatin1StringView(kindOfSpecialFile(info.st_mode))));
    }

    int readError = 0;
    const Survey found = survey(fd.get(), readError);
    if (readError != 0 || ::lseek(fd.get(), 0, SEEK_SET) != 0)
        raiseFileError(readError ? readError : errno,
                       u"cannot read %1: %2"_s.arg(path, qt_error_string(readError ? readError : errno)));
    if (found.holdsNul)
        raiseError(ErrorCode::PathFileAccessError, u"%1 is no launch list: it holds NUL bytes"_s.arg(path));
    if (found.longestLine > maxLineLength)
        raiseError(ErrorCode::PathFileAccessError,
                   u"%1 is no launch list: a line is longer than %2 bytes"_s.arg(path).arg(maxLineLength));
    const Encoding encoding = found.utf8 ? Encoding::Utf8 : Encoding::Latin1;

    LineReader read(encoding, sink);
    bool atStart = true;
    readError = readChunks(fd.get(), [&](QByteArrayView chunk, bool last) {
        qsizetype skipped = 0;
        if (std::exchange(atStart, false) && encoding == Encoding::Utf8 && chunk.startsWith("\xEF\xBB\xBF"))
            skipped = 3;
        return skipped + forEachLine(chunk.sliced(skipped), last, [&](QByteArrayView line) { read(line); });
    });
    if (readError != 0)
        raiseFileError(readError, u"cannot read all of %1: %2"_s.arg(path, qt_error_string(readError)));
    return {encoding, *version};
}

Result<void> LaunchListFile::storable(Field field, const QString &value, Encoding encoding)
{
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u',':
            return refused(u"a comma ends a field of the launch list"_s);
        case u'\r':
        case u'\n':
            return refused(u"a line break ends an entry of the launch list"_s);
        case u'\0':
            return refused(u"the launch list cannot hold a NUL character"_s);
        default:
            break;
        }
    }
    if (!value.isEmpty() && (StringOps::TrimBlanks(value).size() != value.size()))
        return refused(u"tabs and spaces at either end are not kept by the launch list"_s);
    if (field == Field::Group && StringOps::TrimBlanks(value).startsWith(u';'))
        return refused(u"a group name beginning with \";\" would make its lines comments"_s);
    const bool text = isText(field);
    if (const qsizetype at = firstLoneSurrogate(value, !text); at >= 0)
        return refused(u"the launch list cannot hold %1: names are text"_s.arg(characterAt(value, at)));
    switch (encoding) {
    case Encoding::Utf8:
        if (const qsizetype at = firstEscapedByte(value); at >= 0)
            return refused(u"the launch list is UTF-8 and cannot hold %1, which is not"_s.arg(characterAt(value, at)));
        break;
    case Encoding::Latin1:
        if (const qsizetype at = text ? firstBeyondLatin1(value) : -1; at >= 0)
            return refused(u"the launch list is Latin-1 and cannot hold %1"_s.arg(characterAt(value, at)));
        break;
    }
    return Result<void>();
}

LaunchListFile::Version LaunchListFile::save(const QString &path, const Source &entries, Encoding encoding)
{
    EncodingChoice choice;
    entries([&](const Line &line) { choice.check(line); });
    const std::optional<Encoding> chosen = choice.choose(encoding);
    if (!chosen)
        raiseError(ErrorCode::InvalidArgument,
                   u"%1 was not written: its entries hold text beyond Latin-1 and bytes that are not UTF-8, "
                   "which no launch list can hold together"_s.arg(path));
    FileWriter file(path);
    file.open().value();
    LineWriter out(file);
    writeEntries(out, entries, *chosen);
    out.flush();
    file.commit().value();
    return {*chosen, file.written()};
}

quint64 LaunchListFile::identity(const LaunchListEntry &entry, Encoding encoding)
{
    return EncodedEntry(entry, encoding).identity(entry.protectedFlag);
}

} // namespace Lanyard
