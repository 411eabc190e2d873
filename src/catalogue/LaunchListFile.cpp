#include "LaunchListFile.h"

#include "Catalogue.h"
#include "ListSnapshot.h"
#include "util/FileWriter.h"
#include "util/LibraryLocation.h"
#include "text/NativeText.h"
#include "util/Raise.h"
#include "util/StringOps.h"
#include "util/UniqueFd.h"
#include "text/Utf8.h"

#include <QDate>
#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr qsizetype writeChunk = 1 << 20;
constexpr qsizetype readChunk = 1 << 20;


/// The error of a file operation, numbered as a host knows it, with what failed in words.
[[noreturn]] void raiseFileError(int error, const QString &what)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        raiseError(ErrorCode::PermissionDenied, what);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        raiseError(ErrorCode::DiskFull, what);
    case EISDIR:
    case EINVAL:
        raiseError(ErrorCode::PathFileAccessError, what);
    default:
        raiseError(ErrorCode::DeviceIOError, what);
    }
}

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
        const ssize_t got = ::read(fd, buffer.data() + kept, size_t(readChunk));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
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
bool readsAsNonZero(QStringView text)
{
    qsizetype i = 0;
    const auto at = [&](qsizetype k) { return k < text.size() ? text.at(k).unicode() : u'\0'; };
    while (at(i) == u' ' || (at(i) >= u'\t' && at(i) <= u'\r'))
        ++i;
    if (at(i) == u'+' || at(i) == u'-')
        ++i;
    bool nonZero = false;
    const auto digits = [&] {
        for (; at(i) >= u'0' && at(i) <= u'9'; ++i)
            nonZero = nonZero || at(i) != u'0';
    };
    digits();
    if (at(i) == u'.') {
        ++i;
        digits();
    }
    return nonZero;
}

/**
 * Shares the text of values that repeat from line to line (the same program path or command
 * line in many entries), so that a large list holds each of them once.
 */
class ValuePool
{
public:
    QString share(const QString &value)
    {
        if (value.isEmpty())
            return value;
        const auto found = m_values.constFind(value);
        if (found != m_values.constEnd())
            return *found;
        if (m_values.size() < maxValues)
            m_values.insert(value, value);
        return value;
    }

private:
    static constexpr qsizetype maxValues = 4096;
    QHash<QString, QString> m_values;
};

QString nextValue(QString &line) { return StringOps::TrimBlanks(StringOps::NextField(line, QString(), u","_s)); }

void readLine(const LaunchListFile::Sink &sink, QString line, ValuePool &pool)
{
    line = StringOps::TrimBlanks(line);
    if (line.isEmpty() || line.front() == u';')
        return;
    const QString group = nextValue(line);
    const QString name = nextValue(line);
    const QString path = nextValue(line);
    const QString cmd = nextValue(line);
    if (group.isEmpty() || name.isEmpty() || (path.isEmpty() && cmd.isEmpty()))
        return;
    sink({group, name, pool.share(path), pool.share(cmd), readsAsNonZero(line)});
}

/// Decodes lines one at a time. A byte-order mark is a character like any other here: only
/// the file's first one is skipped, by the reader.
class LineDecoder
{
public:
    explicit LineDecoder(LaunchListFile::Encoding encoding)
        : m_encoding(encoding)
        , m_utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
    {
    }

    QString operator()(QByteArrayView line)
    {
        switch (m_encoding) {
        case LaunchListFile::Encoding::Utf8:
            return m_utf8(line);
        case LaunchListFile::Encoding::Latin1:
            return QString::fromLatin1(line);
        }
        Q_UNREACHABLE();
        return QString();
    }

private:
    LaunchListFile::Encoding m_encoding;
    QStringDecoder m_utf8;
};

bool holdsLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

/// Calls @p write(group name, record) for every line that the file gets, in file order.
template<typename Write>
void forEachEntry(const Catalogue &catalogue, Write write)
{
    for (qint16 g = 0; g < catalogue.groupCount(); ++g) {
        const QString &name = catalogue.group(g).GroupName();
        // Two groups of one name are both written with the first one's count.
        const qint16 count = catalogue.group(catalogue.findGroup(name)).AppCount();
        for (qint16 a = 0; a < count; ++a) {
            const ApplicationRecord &record = catalogue.app(g, a);
            if (!record.AppPath.isEmpty() || !record.CmdLine.isEmpty())
                write(name, record);
        }
    }
}

template<typename Write>
void forEachEntry(const ListSnapshot &snapshot, Write write)
{
    snapshot.forEachEntry([&](const QString &group, const ApplicationRecord &record) {
        if (!record.AppPath.isEmpty() || !record.CmdLine.isEmpty())
            write(group, record);
    });
}

/**
 * Latin-1 is kept while it can hold every value and the file it gives is read as Latin-1
 * again. Output that happens to be valid UTF-8 (the bytes that made the file Latin-1 were in
 * lines that are not written back) would be read as UTF-8 next time, as other text; such a
 * catalogue is written in UTF-8, so that its values read back the same.
 */
template<typename Source>
LaunchListFile::Encoding encodingToWrite(const Source &source, LaunchListFile::Encoding read)
{
    switch (read) {
    case LaunchListFile::Encoding::Utf8:
        return read;
    case LaunchListFile::Encoding::Latin1:
        break;
    }
    bool fits = true;
    bool validUtf8 = true;
    bool nonAscii = false;
    const auto check = [&](const QString &value) {
        if (!fits || !fitsLatin1(value))
            return void(fits = false);
        const QByteArray bytes = value.toLatin1();
        nonAscii = nonAscii || std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) >= 0x80; });
        validUtf8 = validUtf8 && Utf8::isValid(bytes);
    };
    forEachEntry(source, [&](const QString &group, const ApplicationRecord &record) {
        check(group);
        check(record.ApplicationName);
        check(record.AppPath);
        check(record.CmdLine);
    });
    return fits && !(validUtf8 && nonAscii) ? read : LaunchListFile::Encoding::Utf8;
}

/// Encodes text into a buffer that is handed to the file a chunk at a time.
class LineWriter
{
public:
    LineWriter(FileWriter &file, LaunchListFile::Encoding encoding)
        : m_file(file)
        , m_encoder(encoding == LaunchListFile::Encoding::Utf8 ? QStringEncoder::Utf8 : QStringEncoder::Latin1)
    {
        m_buffer.reserve(writeChunk + 4096);
    }

    void text(QStringView text)
    {
        const qsizetype used = m_buffer.size();
        m_buffer.resize(used + m_encoder.requiredSpace(text.size()));
        char *end = m_encoder.appendToBuffer(m_buffer.data() + used, text);
        m_buffer.resize(end - m_buffer.constData());
    }

    void ascii(QByteArrayView bytes) { m_buffer.append(bytes); }

    void endLine()
    {
        m_buffer.append("\r\n", 2);
        if (m_buffer.size() >= writeChunk)
            flush();
    }

    bool flush()
    {
        const bool ok = m_file.write(m_buffer);
        m_buffer.resize(0);
        return ok;
    }

private:
    FileWriter &m_file;
    QStringEncoder m_encoder;
    QByteArray m_buffer;
};

template<typename Source>
void writeEntries(LineWriter &out, const Source &source)
{
    out.text(u"; Created by: "_s + LibraryLocation::baseName() + u" on "_s
             + QDate::currentDate().toString(u"dd-MM-yyyy"_s));
    out.endLine();
    out.ascii("; Format: Group Label,Program label,Program Path,Command line");
    out.endLine();
    forEachEntry(source, [&](const QString &group, const ApplicationRecord &record) {
        out.text(group);
        out.ascii(",");
        out.text(record.ApplicationName);
        out.ascii(",");
        out.text(record.AppPath);
        out.ascii(",");
        out.text(record.CmdLine);
        out.ascii(",");
        out.ascii(QByteArray::number(record.AppProtected));
        out.endLine();
    });
}

template<typename Source>
FileVersion writeFile(const Source &source, const QString &path, LaunchListFile::Encoding encoding)
{
    FileWriter file(path);
    if (!file.open())
        raiseFileError(file.error(), file.errorString());
    LineWriter out(file, encodingToWrite(source, encoding));
    writeEntries(out, source);
    out.flush();
    if (!file.commit())
        raiseFileError(file.error(), file.errorString());
    return file.written();
}

} // namespace

LaunchListFile::Read LaunchListFile::load(const QString &path, const Sink &sink)
{
    const QByteArray native = NativeText::encode(path);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        raiseError(ErrorCode::PathFileAccessError, u"%1 is %2, not a launch list"_s.arg(path, QLatin1StringView(kindOfSpecialFile(info.st_mode))));
    // Non-blocking, so that a FIFO put there meanwhile cannot hold the open.
    const UniqueFd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.isValid())
        raiseFileError(errno, u"cannot read %1: %2"_s.arg(path, qt_error_string(errno)));
    const std::optional<FileVersion> version = FileVersion::ofDescriptor(fd.get());
    if (!version) {
        ::fstat(fd.get(), &info);
        raiseError(ErrorCode::PathFileAccessError, u"%1 is %2, not a launch list"_s.arg(path, QLatin1StringView(kindOfSpecialFile(info.st_mode))));
    }

    int readError = 0;
    const Survey found = survey(fd.get(), readError);
    if (readError != 0 || ::lseek(fd.get(), 0, SEEK_SET) != 0)
        raiseFileError(readError ? readError : errno, u"cannot read %1: %2"_s.arg(path, qt_error_string(readError ? readError : errno)));
    if (found.holdsNul)
        raiseError(ErrorCode::PathFileAccessError, u"%1 is no launch list: it holds NUL bytes"_s.arg(path));
    if (found.longestLine > maxLineLength)
        raiseError(ErrorCode::PathFileAccessError,
                   u"%1 is no launch list: a line is longer than %2 bytes"_s.arg(path).arg(maxLineLength));
    const Encoding encoding = found.utf8 ? Encoding::Utf8 : Encoding::Latin1;

    ValuePool pool;
    LineDecoder decode(encoding);
    bool atStart = true;
    readError = readChunks(fd.get(), [&](QByteArrayView chunk, bool last) {
        qsizetype skipped = 0;
        if (std::exchange(atStart, false) && encoding == Encoding::Utf8 && chunk.startsWith("\xEF\xBB\xBF"))
            skipped = 3;
        return skipped + forEachLine(chunk.sliced(skipped), last, [&](QByteArrayView line) {
            readLine(sink, decode(line), pool);
        });
    });
    if (readError != 0)
        raiseFileError(readError, u"cannot read all of %1: %2"_s.arg(path, qt_error_string(readError)));
    return {encoding, *version};
}

QString LaunchListFile::refusal(Field field, const QString &value, Encoding encoding)
{
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u',':
            return u"a comma ends a field of the launch list"_s;
        case u'\r':
        case u'\n':
            return u"a line break ends an entry of the launch list"_s;
        case u'\0':
            return u"the launch list cannot hold a NUL character"_s;
        default:
            break;
        }
    }
    if (!value.isEmpty() && (StringOps::TrimBlanks(value).size() != value.size()))
        return u"tabs and spaces at either end are not kept by the launch list"_s;
    if (field == Field::Group && StringOps::TrimBlanks(value).startsWith(u';'))
        return u"a group name beginning with \";\" would make its lines comments"_s;
    switch (encoding) {
    case Encoding::Utf8:
        if (holdsLoneSurrogate(value))
            return u"the launch list is UTF-8 and cannot hold bytes that are not"_s;
        break;
    case Encoding::Latin1:
        if (!fitsLatin1(NativeText::toLatin1Bytes(value)))
            return u"the launch list is Latin-1 and cannot hold characters beyond it"_s;
        break;
    }
    return QString();
}

FileVersion LaunchListFile::save(const Catalogue &catalogue, const QString &path, Encoding encoding)
{
    return writeFile(catalogue, path, encoding);
}

FileVersion LaunchListFile::save(const ListSnapshot &snapshot, const QString &path, Encoding encoding)
{
    return writeFile(snapshot, path, encoding);
}

} // namespace Lanyard
