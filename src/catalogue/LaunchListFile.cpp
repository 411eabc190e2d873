#include "LaunchListFile.h"

#include "Catalogue.h"
#include "util/LibraryLocation.h"
#include "util/Logging.h"
#include "util/StringOps.h"
#include "util/Utf8.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr qsizetype writeChunk = 1 << 20;
constexpr qint64 readChunk = 1 << 20;

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

/**
 * Reads @p file from where it stands a chunk at a time into one reused buffer (a fresh buffer
 * for a whole large file costs more in page faults than the reading). @p consume gets what is
 * there and whether the file has ended, and returns how many bytes it used (the rest is
 * offered again with the next chunk) or -1 to stop. False on a read error.
 */
template<typename Consume>
bool readChunks(QFile &file, Consume consume)
{
    QByteArray buffer;
    qsizetype kept = 0;
    for (;;) {
        buffer.resize(kept + readChunk);
        const qint64 got = file.read(buffer.data() + kept, readChunk);
        if (got < 0)
            return false;
        const qsizetype size = kept + qsizetype(got);
        const bool last = got == 0;
        const qsizetype used = consume(QByteArrayView(buffer.constData(), size), last);
        if (used < 0 || last)
            return true;
        kept = size - used;
        if (used > 0)
            std::memmove(buffer.data(), buffer.constData() + used, size_t(kept));
    }
}

/// Whether the whole of @p file, from where it stands, is strict UTF-8; nothing on a read error.
std::optional<bool> isUtf8File(QFile &file)
{
    bool valid = true;
    const bool read = readChunks(file, [&](QByteArrayView chunk, bool last) -> qsizetype {
        const qsizetype prefix = Utf8::validPrefix(chunk);
        // A sequence that the chunk's end cuts off is checked again with the next chunk.
        if (prefix < chunk.size() && (last || chunk.size() - prefix > 3)) {
            valid = false;
            return -1;
        }
        return prefix;
    });
    return read ? std::optional<bool>(valid) : std::nullopt;
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

QString decode(QByteArrayView bytes, LaunchListFile::Encoding encoding)
{
    switch (encoding) {
    case LaunchListFile::Encoding::Utf8:
        return QString::fromUtf8(bytes);
    case LaunchListFile::Encoding::Latin1:
        return QString::fromLatin1(bytes);
    }
    Q_UNREACHABLE();
    return QString();
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

/**
 * Latin-1 is kept while it can hold every value and the file it gives is read as Latin-1
 * again. Output that happens to be valid UTF-8 (the bytes that made the file Latin-1 were in
 * lines that are not written back) would be read as UTF-8 next time, as other text; such a
 * catalogue is written in UTF-8, so that its values read back the same.
 */
LaunchListFile::Encoding encodingToWrite(const Catalogue &catalogue, LaunchListFile::Encoding read)
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
    forEachEntry(catalogue, [&](const QString &group, const ApplicationRecord &record) {
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
    LineWriter(QSaveFile &file, LaunchListFile::Encoding encoding)
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

    /// False once any write came up short (the file is unbuffered, so a short count is the
    /// only sign of a full disk or a size limit).
    bool flush()
    {
        if (m_ok && !m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
            m_ok = false;
        m_buffer.resize(0);
        return m_ok;
    }

private:
    QSaveFile &m_file;
    QStringEncoder m_encoder;
    QByteArray m_buffer;
    bool m_ok = true;
};

void writeCatalogue(LineWriter &out, const Catalogue &catalogue)
{
    out.text(u"; Created by: "_s + LibraryLocation::baseName() + u" on "_s
             + QDate::currentDate().toString(u"dd-MM-yyyy"_s));
    out.endLine();
    out.ascii("; Format: Group Label,Program label,Program Path,Command line");
    out.endLine();
    forEachEntry(catalogue, [&](const QString &group, const ApplicationRecord &record) {
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

} // namespace

LaunchListFile::Encoding LaunchListFile::load(const QString &path, const Sink &sink)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qCWarning(lcLanyard) << "Could not open the launch list" << path << file.errorString();
        return Encoding::Utf8;
    }
    const std::optional<bool> utf8 = isUtf8File(file);
    if (!utf8 || !file.seek(0)) {
        qCWarning(lcLanyard) << "Could not read the launch list" << path << file.errorString();
        return Encoding::Utf8;
    }
    const Encoding encoding = *utf8 ? Encoding::Utf8 : Encoding::Latin1;

    ValuePool pool;
    bool atStart = true;
    const bool read = readChunks(file, [&](QByteArrayView chunk, bool last) {
        qsizetype skipped = 0;
        if (std::exchange(atStart, false) && encoding == Encoding::Utf8 && chunk.startsWith("\xEF\xBB\xBF"))
            skipped = 3;
        return skipped + forEachLine(chunk.sliced(skipped), last, [&](QByteArrayView line) {
            readLine(sink, decode(line, encoding), pool);
        });
    });
    if (!read)
        qCWarning(lcLanyard) << "Could not read all of the launch list" << path << file.errorString();
    return encoding;
}

bool LaunchListFile::save(const Catalogue &catalogue, const QString &path, Encoding encoding)
{
    encoding = encodingToWrite(catalogue, encoding);
    QSaveFile file(path);
    const auto failed = [&] {
        qCWarning(lcLanyard) << "Could not write the launch list" << path << file.errorString()
                             << "- the file is left as it was";
        return false;
    };
    // Unbuffered: QSaveFile's commit overlooks an error that only its own buffer's flush meets,
    // and would put a cut-off file in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed();
    LineWriter out(file, encoding);
    writeCatalogue(out, catalogue);
    if (!out.flush()) {
        file.cancelWriting(); // the temporary file goes with the QSaveFile
        return failed();
    }
    if (!file.commit())
        return failed();
    return true;
}

} // namespace Lanyard
