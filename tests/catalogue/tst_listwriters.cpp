// SPDX-License-Identifier: MIT
// Objects and an editor sharing one launch list, seeded, against a plain model; Qt's strict decoder judges text.
#include "common/Catalogue.h"
#include "common/Files.h"

#include <QDate>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

enum class Encoding { Utf8, Latin1 };

bool isUtf8(QByteArrayView bytes)
{
    QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = strict(bytes); // the decoder judges only what it made
    return !strict.hasError();
}
QString text(QByteArrayView bytes, Encoding e)
{
    const auto flags = QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;
    return e == Encoding::Utf8 ? QString(QStringDecoder(QStringDecoder::Utf8, flags)(bytes))
                               : QString::fromLatin1(bytes);
}
QByteArray bytes(const QString &text, Encoding e) { return e == Encoding::Utf8 ? text.toUtf8() : text.toLatin1(); }
bool isEscapedByte(QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }
bool isLoneHalf(QStringView t, qsizetype i)
{
    return (t[i].isHighSurrogate() && (i + 1 == t.size() || !t[i + 1].isLowSurrogate()))
           || (t[i].isLowSurrogate() && (i == 0 || !t[i - 1].isHighSurrogate()));
}
/// Paths and command lines are bytes: any byte b that is no UTF-8 as U+DC00 + b.
QString native(QByteArrayView bytes)
{
    QString t;
    for (qsizetype i = 0, n = 1; i < bytes.size(); i += n <= 4 ? n : 1, n = 1) {
        while (n <= 4 && (i + n > bytes.size() || !isUtf8(bytes.sliced(i, n))))
            ++n;
        t += n <= 4 ? text(bytes.sliced(i, n), Encoding::Utf8) : QString(QChar(0xDC00 + uchar(bytes[i])));
    }
    return t;
}
QByteArray nativeBytes(QStringView t)
{
    QByteArray b;
    for (qsizetype i = 0; i < t.size(); i += t[i].isHighSurrogate() ? 2 : 1)
        b += isEscapedByte(t[i]) ? QByteArray(1, char(t[i].unicode()))
                                 : t.sliced(i, t[i].isHighSurrogate() ? 2 : 1).toUtf8();
    return b;
}

struct Entry
{
    QString group, name, path, cmd;
    qint16 prot = 0;
    QByteArray origin; ///< the line it stands for; empty: none
    bool changed = false;
    qsizetype at = -1; ///< the line's place in the file

    QByteArray line(Encoding e) const
    {
        return bytes(group, e) + ',' + bytes(name, e) + ',' + nativeBytes(path) + ',' + nativeBytes(cmd) + ','
               + (prot ? "-1" : "0");
    }
    QString shown() const { return QStringList{group, name, path, cmd, QString::number(prot)}.join(u'|'); }
};

/// The character of @p v a list in @p e cannot hold as text (or bytes), as a refusal names it.
QString unholdable(const QString &v, bool asText, Encoding e)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (qsizetype i = 0; i < v.size(); ++i) {
            if (pass == 0 ? !isLoneHalf(v, i) || (!asText && isEscapedByte(v[i]))
                          : !(e == Encoding::Latin1 && asText && v[i] > u'\xFF')
                                && !(e == Encoding::Utf8 && !asText && isEscapedByte(v[i])))
                continue;
            if (isEscapedByte(v[i]))
                return u"the byte 0x"_s + QString::number(v[i].unicode() - 0xDC00, 16).toUpper();
            if (isLoneHalf(v, i))
                return u"a broken character (U+"_s + QString::number(v[i].unicode(), 16).toUpper() + u')';
            return u'\u201C' + v.mid(i, v[i].isHighSurrogate() ? 2 : 1) + u'\u201D';
        }
    }
    return QString();
}

std::optional<Encoding> encodingFor(const QList<Entry> &entries, Encoding wanted)
{
    QString names, raw;
    for (const Entry &e : entries)
        names += e.group + u',' + e.name + u',', raw += e.path + u',' + e.cmd + u',';
    const auto holds = [&](Encoding e) {
        return unholdable(names, true, e).isEmpty() && unholdable(raw, false, e).isEmpty();
    };
    // The one wanted where it holds all; Latin-1 that would read as UTF-8 is written in UTF-8.
    const bool utf8 = holds(Encoding::Utf8);
    const bool latin1 = holds(Encoding::Latin1)
                        && (!utf8 || names.toLatin1() == names.toUtf8() || !isUtf8(names.toLatin1()));
    if (wanted == Encoding::Utf8 ? utf8 : latin1)
        return wanted;
    return utf8 ? std::optional(Encoding::Utf8) : latin1 ? std::optional(Encoding::Latin1) : std::nullopt;
}

qsizetype endOf(const QByteArray &l) { return l.endsWith("\r\n") ? 2 : l.endsWith('\r') || l.endsWith('\n'); }

struct File
{
    std::optional<QList<QByteArray>> lines;
    int generation = 0;

    QByteArray bytes() const { return lines ? lines->join() : "<unreadable>"; }
    Encoding encoding() const { return isUtf8(bytes()) ? Encoding::Utf8 : Encoding::Latin1; }
    bool bad() const // NUL bytes or a line over 64 KiB: no launch list
    {
        const auto tooLong = [](const QByteArray &l) { return l.size() - endOf(l) > 65536; };
        return lines && (bytes().contains('\0') || std::any_of(lines->begin(), lines->end(), tooLong));
    }
    void read(const QByteArray &raw) // lines end in CR LF, CR or LF
    {
        lines = QList<QByteArray>();
        for (qsizetype start = 0, end = 0; start < raw.size(); start = end) {
            while (end < raw.size() && raw[end] != '\r' && raw[end] != '\n')
                ++end;
            end += end == raw.size() ? 0 : 1 + (raw[end] == '\r' && end + 1 < raw.size() && raw[end + 1] == '\n');
            *lines << raw.mid(start, end - start);
        }
    }
    QList<Entry> entries() const
    {
        QList<Entry> all;
        const Encoding e = encoding();
        for (qsizetype i = 0; lines && i < lines->size(); ++i) {
            QByteArray l = lines->at(i).chopped(endOf(lines->at(i)));
            l = i == 0 && e == Encoding::Utf8 && l.startsWith("\xEF\xBB\xBF") ? l.mid(3) : l; // a mark at the start
            const QList<QByteArray> f = l.split(',');
            if (f.size() == 5 && !l.startsWith(';'))
                all << Entry{
                    text(f[0], e), text(f[1], e), native(f[2]), native(f[3]), qint16(-(f[4] == "-1")), l, false, i};
        }
        return all;
    }
};

template<typename List, typename Projection>
qint16 indexOf(const List &list, const QString &name, Projection projection)
{
    const auto found = std::ranges::find(list, name, projection);
    return found == list.end() ? -1 : qint16(found - list.begin());
}

struct Writer
{
    int number = 0;
    std::unique_ptr<ExternalApps> apps;
    std::unique_ptr<QSignalSpy> told;
    qint16 maxGroups = 50, maxApps = 50;
    QList<QList<Entry>> groups;
    QSet<QByteArray> deleted;
    QHash<QByteArray, QList<QByteArray>> absorbed; // later lines of one group and name, by the first's
    Encoding encoding = Encoding::Utf8;
    int version = -1; // the file's generation as last read or written
    bool changes = false, holdsAll = false, readWhole = true, reported = false;
    int signals = 0; // one for each member call, one for each reload that changed what it shows

    qint16 findGroup(const QString &name) const
    {
        return indexOf(groups, name, [](const QList<Entry> &g) { return g[0].group; });
    }
    qint16 findApp(qint16 g, const QString &name) const { return g < 0 ? -1 : indexOf(groups[g], name, &Entry::name); }
    QList<Entry> entries() const { return std::accumulate(groups.begin(), groups.end(), QList<Entry>()); }
    QStringList shown() const
    {
        QStringList all;
        for (const Entry &e : entries())
            all << e.shown();
        return all;
    }
    /// What a refusal may name among @p fields (bits: group, name, path, command line).
    QStringList refused(const Entry &e, int fields) const
    {
        QStringList named;
        for (int f = 0; f < 4; ++f)
            named << (fields & 1 << f ? unholdable(QStringList{e.group, e.name, e.path, e.cmd}[f], f < 2, encoding)
                                      : QString());
        return named.filter(QRegularExpression(u"."_s));
    }

    /// A line read updates an unchanged entry of its group and name.
    bool place(Entry e, bool changed)
    {
        e.changed = changed;
        const qint16 g = findGroup(e.group), a = findApp(g, e.name);
        if (a >= 0 && !changed && !groups[g][a].changed) {
            groups[g][a].path = e.path, groups[g][a].cmd = e.cmd;
            if (!groups[g][a].origin.isEmpty())
                absorbed[groups[g][a].origin] << e.origin;
            return true;
        }
        if (g < 0 ? groups.size() >= maxGroups : groups[g].size() >= maxApps)
            return false;
        g < 0 ? groups.append({e}) : groups[g].append(e);
        return changes = changes || changed, true;
    }

    QSet<QByteArray> linesOf(const Entry &e) const
    {
        const QList<QByteArray> later = absorbed.value(e.origin) << e.origin;
        return e.origin.isEmpty() ? QSet<QByteArray>() : QSet<QByteArray>(later.begin(), later.end());
    }
    QSet<QByteArray> removed() const
    {
        QSet<QByteArray> lines = deleted;
        for (const Entry &e : entries())
            lines += e.changed ? linesOf(e) : QSet<QByteArray>();
        return lines;
    }

    /// A changed entry takes its line's place, an added one follows the one before it.
    QList<Entry> merge(const QList<Entry> &file) const
    {
        const QSet<QByteArray> gone = removed();
        QSet<QByteArray> known = deleted; // on a name changed here, another writer's line of it goes
        QSet<std::pair<QString, QString>> changedNames;
        for (auto it = absorbed.cbegin(); it != absorbed.cend(); ++it)
            known += QSet<QByteArray>(it->cbegin(), it->cend()) << it.key();
        for (const Entry &e : entries()) {
            known << e.origin;
            if (e.changed)
                changedNames.insert({e.group, e.name});
        }
        const auto kept = [&](const Entry &l) {
            return !gone.contains(l.origin) && (known.contains(l.origin) || !changedNames.contains({l.group, l.name}));
        };
        constexpr qint64 end = std::numeric_limits<qint64>::max();
        const auto lineOf = [&](auto match, bool last) {
            qint64 found = -1;
            for (qint64 i = 0; i < file.size() && (found < 0 || last); ++i)
                found = match(file[i]) ? i : found;
            return found;
        };
        const auto endOf = [&](const QString &group) {
            const qint64 last = lineOf([&](const Entry &l) { return l.group == group; }, true);
            return last < 0 ? end : 2 * last + 1;
        };
        QMap<qint64, QList<Entry>> placed; // 2i: before line i, 2i + 1: after it
        qint64 at = end;
        QString previous;
        for (const QList<Entry> &group : groups) {
            bool anchored = false;
            for (qsizetype i = 0; i < group.size(); ++i) {
                const Entry &e = group[i];
                const qint64 line = e.origin.isEmpty()
                                        ? -1
                                        : lineOf([&](const Entry &l) { return l.origin == e.origin; }, false);
                if (i == 0) { // a group renamed here keeps its place; a new one goes last
                    const qint64 first = lineOf([&](const Entry &l) { return l.group == e.group; }, false);
                    at = first >= 0               ? 2 * first
                         : line < 0               ? end
                         : previous.isEmpty()     ? 0
                         : endOf(previous) != end ? endOf(previous)
                                                  : at;
                    previous = e.group;
                }
                if (!e.changed && line >= 0 && !gone.contains(e.origin))
                    at = 2 * line + 1, anchored = true;
                if (!e.changed)
                    continue;
                const qint64 shadowed = lineOf(
                    [&](const Entry &l) {
                        return !kept(l) && !gone.contains(l.origin) && l.group == e.group && l.name == e.name;
                    },
                    false);
                if (line >= 0 && file[line].group == e.group)
                    at = 2 * line;
                else if (line < 0 && shadowed >= 0)
                    at = 2 * shadowed; // it stands for the line of its name now
                else if ((line < 0 && !e.origin.isEmpty()) || (!anchored && i > 0))
                    at = endOf(e.group);
                anchored = true, placed[at] << e;
            }
        }
        QList<Entry> merged;
        for (qint64 i = 0; i < file.size(); ++i)
            merged += placed.value(2 * i) + (kept(file[i]) ? QList<Entry>{file[i]} : QList<Entry>())
                      + placed.value(2 * i + 1);
        return merged + placed.value(end);
    }

    /// Also the first load; 1: a warning is due (a bad file, no room for a change).
    int reload(const File &file)
    {
        if (!file.lines || version == file.generation)
            return reported = false;
        if (file.bad())
            return !std::exchange(reported, true);
        Writer fresh;
        fresh.maxGroups = maxGroups, fresh.maxApps = maxApps;
        const QSet<QByteArray> gone = removed();
        bool dropped = false;
        for (const Entry &e : merge(file.entries())) {
            const bool changed = e.origin.isEmpty() || gone.contains(e.origin);
            if (fresh.place(e, changed))
                continue;
            if (changed) // no room for a change of ours: nothing is read
                return !std::exchange(reported, true);
            dropped = true;
        }
        for (const Entry &e : fresh.entries())
            fresh.absorbed[e.origin] += e.changed ? absorbed.value(e.origin) : QList<QByteArray>();
        signals += fresh.shown() != shown();
        groups = fresh.groups, absorbed = fresh.absorbed, changes = changes || fresh.changes;
        encoding = file.encoding(), version = file.generation, readWhole = true, holdsAll = !dropped && !changes;
        return reported = false;
    }

    bool save(File &file)
    {
        if (!changes || !readWhole || file.bad())
            return !changes;
        const bool merging = file.lines && (!holdsAll || version != file.generation);
        const QList<Entry> out = merging ? merge(file.entries()) : entries();
        const std::optional<Encoding> chosen = encodingFor(out, merging ? file.encoding() : encoding);
        if (!chosen)
            return false;
        file.lines = {"; Created by: liblanyard on " + QDate::currentDate().toString(u"dd-MM-yyyy").toLatin1() + "\r\n",
                      "; Format: Group Label,Program label,Program Path,Command line\r\n"};
        for (const Entry &e : out)
            *file.lines << e.line(*chosen) + "\r\n";
        encoding = *chosen, holdsAll = !merging, version = merging ? -1 : ++file.generation, file.generation += merging;
        QHash<QByteArray, QList<QByteArray>> kept; // lines of one group and name stay beside unchanged entries
        for (QList<Entry> &group : groups) {
            for (Entry &e : group) {
                if (!e.changed && absorbed.contains(e.origin))
                    kept[e.line(encoding)] = absorbed[e.origin];
                e.origin = e.line(encoding), e.changed = false;
            }
        }
        return absorbed = kept, deleted.clear(), changes = false, true;
    }

    bool add(Entry e)
    {
        const qint16 g = findGroup(e.group), a = findApp(g, e.name);
        if (a >= 0)
            return set(g, a, {e.group, groups[g][a].name, e.path, e.cmd, groups[g][a].prot}), true;
        e.origin.clear();
        return place(e, true);
    }
    void set(qint16 g, qint16 a, const Entry &to)
    {
        groups[g][a] = {to.group, to.name, to.path, to.cmd, to.prot, groups[g][a].origin, true}, changes = true;
    }
    void remove(qint16 g, qint16 a)
    {
        deleted += linesOf(groups[g][a]), absorbed.remove(groups[g].takeAt(a).origin), changes = true;
        if (groups[g].isEmpty())
            groups.removeAt(g);
    }
    void edit(qint16 g, qint16 a, const Entry &to) // a move adds where it goes, then deletes here
    {
        if (to.group == groups[g][a].group)
            set(g, a, to);
        else if (add(to))
            remove(g, a);
    }
};

int notReadAgain = 0; // warnings that a changed list was not read again
QtMessageHandler previousHandler = nullptr;
void countNotRead(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(u"not read again"_s))
        ++notReadAgain;
    else if (!message.contains(u"not saved"_s)) // saves the model expects to fail say so too
        previousHandler(type, context, message);
}

// Pieces: each length's first and last characters, a mark; bytes that are no UTF-8; characters given.
const QByteArrayList utf8Pieces =
    QByteArray("a|b c|;|\xC2\x80|\xC3\xA9|\xDF\xBF|\xE0\xA0\x80|\xED\x9F\xBF|\xEE\x80\x80|\xEF\xBF\xBF|\xEF\xBB\xBF|"
               "\xE2\x82\xAC|\xF0\x90\x80\x80|\xF0\x9F\x98\x80|\xF4\x8F\xBF\xBF")
        .split('|');
const QByteArrayList latin1Pieces = QByteArray("\xE9|\xFF|\x80|\x84\x80\x80\x80|\xED\xA0\x80|\xED\xBF\xBF|\xC0\x80|"
                                               "\xE0\x9F\xBF|\xF4\x90\x80\x80|\xF5\x80|\xC3")
                                        .split('|');
const QStringList given = u"é|\u00FF|\u0100|œ|€|😀|\uFEFF|\xD83D|\xDE00|\xDCE9|\xDC80|\xDCFF|\xDC7F"_s.split(u'|');
constexpr qsizetype chunk = 1 << 20; // what the reader reads at once

class Run
{
public:
    QStringList log;

    Run(quint32 seed, const QString &mode)
        : random(seed)
        , live(mode == u"live")
        , limits(mode == u"limits" || (live && seed % 3 == 0))
        , raw(mode == u"bytes" || (live && seed % 3 == 1))
        , byName(mode == u"names")
        , textMode(mode.startsWith(u"text-"))
    {
        notReadAgain = 0;
        groups = QStringList{u"Tools"_s, u"Web"_s, u"Net"_s, u"Édition"_s, u"日本"_s}.first(raw ? 5 : 4);
        names = QStringList{u"Editor"_s, u"Mail"_s, u"Café"_s, u"B"_s, u"€uro"_s}.first(raw ? 5 : 4);
        if (byName)
            groups = QStringList{u"G"_s}, names.clear();
        for (int n = 0; byName && n < 40; ++n)
            names << u"n%1"_s.arg(n);
        if (textMode)
            file.read(generated(mode.mid(5), seed)), TestFiles::write(list, file.bytes());
        else if (!byName)
            file.lines = QList<QByteArray>{seed % 2 ? "; shared by caf\xE9 people\r\n" : "; shared\r\n"};
        for (int i = 0; !byName && !textMode && i < 8; ++i)
            editor(0);
    }

    QString steps(int count)
    {
        QString mismatch = byName ? join(5, 300) : join(limits ? 2 : 50, limits ? 2 : 50);
        for (int w = 1; w < (byName ? 1 : 2 + int(random.bounded(3))); ++w)
            mismatch += join();
        for (int step = 0; step < count && mismatch.isEmpty(); ++step) {
            const int generation = file.generation, r = byName ? 0 : int(random.bounded(20));
            Writer &w = *writers[random.bounded(quint32(writers.size()))];
            mismatch = r < 9 ? member(w) : r < 14 ? save(w) : r < 18 ? editor() : join();
            mismatch += mismatch.isEmpty() ? check(generation, !byName || step % 16 == 0) : QString();
        }
        const int generation = file.generation;
        if (mismatch.isEmpty() && file.bad())
            mismatch = editor(4);
        for (const auto &w : writers)
            mismatch += mismatch.isEmpty() ? save(*w, false) : QString();
        return mismatch.isEmpty() ? check(generation, true) : mismatch;
    }

private:
    QTemporaryDir dir;
    const QString list = dir.filePath(u"tools.lst"_s);
    QRandomGenerator random;
    bool live, limits, raw, byName, textMode;
    File file;
    std::vector<std::unique_ptr<Writer>> writers;
    QStringList groups, names;
    int next = 0, warnings = 0;

    QString pick(const QStringList &from) { return from.at(random.bounded(from.size())); }
    QString fresh(const QString &prefix) { return prefix + QString::number(++next); }
    QString odd(const QString &v)
    {
        const int where = textMode ? int(random.bounded(3)) : 0;
        return where == 0 ? v : where == 1 ? pick(given) + v : v + pick(given);
    }
    Entry made()
    {
        const int kind = int(random.bounded(8));
        return {odd(pick(groups)), odd(pick(names)),
                kind == 0 ? QString() : odd(fresh(raw && kind == 1 ? u"/caf\xDCE9/"_s : u"/p"_s)),
                kind < 3 ? odd(fresh(u"-c "_s)) : QString(), qint16(-(kind == 3))};
    }

    /// A list on the reader's boundaries; odd seeds make lists of UTF-8 alone.
    QByteArray generated(const QString &mode, quint32 seed)
    {
        const bool onlyUtf8 = seed % 2;
        const auto pieces = [&](int most, bool utf8) {
            QByteArray v;
            for (int n = int(random.bounded(most + 1)); n > 0; --n) {
                const QByteArrayList &from = utf8 || random.bounded(3) ? utf8Pieces : latin1Pieces;
                v += from[random.bounded(from.size())];
            }
            return v;
        };
        const QByteArray end = mode == u"lines" ? QByteArrayList{"\r\n", "\r", "\n"}[random.bounded(3)] : "\r\n";
        QByteArray lines; // entries of groups and names of their own, comments
        for (int i = 0; i < 6; ++i) {
            const QByteArray n = QByteArray::number(i);
            lines += (random.bounded(5) ? pieces(2, onlyUtf8) + n + ',' + pieces(2, onlyUtf8) + n + ",/"
                                              + pieces(3, onlyUtf8) + ',' + pieces(2, onlyUtf8) + (i % 2 ? ",-1" : ",0")
                                        : "; " + pieces(3, onlyUtf8))
                     + end;
        }
        // A piece of 2 to 4 bytes, cut after k of them.
        const int size = 2 + int(seed / 2 % 3);
        const QByteArrayList &from = onlyUtf8 || seed % 4 == 0 ? utf8Pieces : latin1Pieces;
        QByteArray piece;
        while (piece.size() != size)
            piece = from[random.bounded(from.size())];
        const qsizetype k = size - 1 - seed / 6 % (size - 1);
        const auto filled = [](QByteArray head, qsizetype to) { // comment lines (LF) up to a size
            for (qsizetype room; (room = to - head.size()) > 0;) {
                const qsizetype line = room <= 60000 ? room : std::min<qsizetype>(60000, room - 4);
                head += (';' + QByteArray(line, 'q')).first(line - 1) + '\n';
            }
            return head;
        };
        // @p tail after the first chunk, whose byte behind the tail in the reader's buffer is @p stale's.
        const auto past = [&](const QByteArray &tail, const QByteArray &lead, const QByteArray &stale) {
            const QByteArray first = ';' + QByteArray(tail.size() - 1 - lead.size(), 'q') + lead + stale;
            return filled(first + (stale.endsWith('\n') ? "" : "\n") + lines, chunk) + tail;
        };
        const QByteArray crlf = "G9," + pieces(2, onlyUtf8) + "N,/p,,0\r\n";
        if (mode == u"bom")
            return "\xEF\xBB\xBFG9,Marked,/m,,0\r\n" + lines; // an entry's line right after the mark
        if (mode == u"char-across-the-chunk")
            return filled(lines, chunk - k - 4) + "G9,N" + piece + ",/p,,0\r\n";
        if (mode == u"crlf-across-the-chunk")
            return filled(lines, chunk + 1 - crlf.size()) + crlf;
        if (mode == u"cut-at-the-end")
            return lines + "; " + piece.first(k);
        if (mode == u"cut-past-the-chunk")
            return past("; " + pieces(2, true) + piece.first(k), piece.first(k), piece.mid(k));
        if (mode == u"lone-cr-past-the-chunk")
            return past("; " + QByteArray(random.bounded(9000), 'q') + "\r\nG9,Last,/l,,0\r", "", "\n");
        if (mode == u"longest-line")
            return lines + "G9,Long,/" + QByteArray(65535 + random.bounded(3) - 13, 'x') + ",,0\r\n";
        return lines;
    }

    QString join(qint16 maxGroups = 50, qint16 maxApps = 50)
    {
        if (writers.size() >= 5)
            return editor();
        Writer &w = *writers.emplace_back(std::make_unique<Writer>());
        w.number = int(writers.size()) - 1, w.maxGroups = maxGroups, w.maxApps = maxApps;
        w.readWhole = !file.bad(), w.reload(file), w.signals = 0, w.reported = false;
        w.apps = std::make_unique<ExternalApps>(), w.apps->setMaxGroups(maxGroups), w.apps->setMaxApps(maxApps);
        log << u"w%1 joins with limits %2, %3"_s.arg(w.number).arg(maxGroups).arg(maxApps);
        const int error = errorOf([&] { w.apps->setEXTFile(list); });
        w.told = std::make_unique<QSignalSpy>(w.apps.get(), &ExternalApps::catalogueChanged);
        return (error == 0) == w.readWhole ? QString() : u"setEXTFile: error %1"_s.arg(error);
    }

    QString member(Writer &w)
    {
        const int kind = w.groups.isEmpty() ? 0
                         : byName           ? std::array{0, 4, 7}[random.bounded(3)]
                                            : int(random.bounded(8));
        const qint16 g = w.groups.isEmpty() ? 0 : qint16(random.bounded(w.groups.size()));
        qint16 a = w.groups.isEmpty() ? 0 : qint16(random.bounded(w.groups[g].size()));
        a = kind == 5 ? w.findApp(g, w.groups[g][a].name) : a; // EditApp finds the first entry of a name
        Entry to = kind == 0 ? made() : w.groups[g][a];
        to.cmd = kind == 1 ? odd(fresh(u"-c "_s)) : to.cmd;
        to.path = kind == 2 ? odd(fresh(raw && random.bounded(3) == 0 ? u"/caf\xDCE9/"_s : u"/p"_s)) : to.path;
        to.prot = qint16(kind == 3 ? -1 - to.prot : to.prot);
        to.name = kind == 4 ? odd(pick(names)) : to.name; // also a name that is there
        to.group = kind == 5 ? pick(groups) : kind == 6 ? odd(pick(groups)) : to.group;
        to.group = kind == 6 && w.findGroup(to.group) >= 0 ? w.groups[g][0].group : to.group;
        return apply(w, kind, g, a, to);
    }

    QString apply(Writer &w, int kind, qint16 g, qint16 a, const Entry &to)
    {
        const QStringList refused = w.refused(to, std::array{0xF, 8, 4, 0, 2, 0xF, 1, 0}[kind]);
        const QString member = u"AddApp:call CmdLine:let AppPath:let AppProtected:let ApplicationName:let "
                               "EditApp:call GroupName:let DeleteApp:call"_s.split(u' ')[kind];
        log << u"w%1 %2 %3%4 %5"_s.arg(w.number).arg(member, kind ? w.groups[g][a].shown() + u" -> "_s : QString(),
                                                     to.shown(), refused.isEmpty() ? u""_s : u"(refused)"_s);
        const QVariantList at{g, a},
            last = QVariantList{to.cmd, to.path, to.prot != 0, to.name, {}, to.group, {}}.mid(kind - 1, 1);
        const QVariantMap result = w.apps->invoke(
            member.section(u':', 0, 0), member.section(u':', 1),
            kind == 0   ? QVariantList{to.group, to.name, to.path, to.cmd, to.prot != 0}
            : kind == 5 ? QVariantList{w.groups[g][a].group, to.name, to.group, to.name, to.prot != 0, to.path, to.cmd}
            : kind == 6 ? QVariantList{g, to.group}
                        : at + (kind == 7 ? QVariantList() : last));
        const auto named = [&](const QString &c) { return result[u"detail"_s].toString().contains(c); };
        if (result[u"error"_s].toInt() != (refused.isEmpty() ? 0 : 5)
            || (!refused.isEmpty() && std::none_of(refused.begin(), refused.end(), named)))
            return u"error %1: %2"_s.arg(result[u"error"_s].toInt()).arg(result[u"detail"_s].toString());
        w.signals += refused.isEmpty();
        bool added = true;
        for (qint16 b = 0; refused.isEmpty() && kind == 6 && b < w.groups[g].size(); ++b)
            w.set(g, b, {to.group, w.groups[g][b].name, w.groups[g][b].path, w.groups[g][b].cmd, w.groups[g][b].prot});
        if (refused.isEmpty() && kind != 6)
            kind == 0   ? void(added = w.add(to))
            : kind == 5 ? w.edit(g, a, to)
            : kind == 7 ? w.remove(g, a)
                        : w.set(g, a, to);
        return kind != 0 || !refused.isEmpty() || result[u"value"_s].toBool() == added ? QString()
                                                                                       : u"AddApp did not add"_s;
    }

    /// A save; now and then the editor puts back a line it took out, changed or deleted and saved again.
    QString save(Writer &w, bool putBack = true)
    {
        const QList<Entry> before = file.entries();
        const bool saved = w.save(file);
        log << u"w%1 saves%2"_s.arg(w.number).arg(saved ? "" : " (fails)");
        if (w.apps->save() != saved)
            return u"the save did not do as the model"_s;
        const QList<Entry> now = file.entries();
        QList<Entry> gone;
        for (const Entry &e : before) {
            const auto same = [&](const Entry &n) { return n.origin == e.origin; };
            if (saved && std::none_of(now.begin(), now.end(), same) && w.findApp(w.findGroup(e.group), e.name) >= 0)
                gone << e;
        }
        if (!putBack || gone.isEmpty() || random.bounded(2))
            return QString();
        const QString mismatch = edit(u"puts back "_s + gone.last().shown(), gone.last().origin + "\r\n");
        const qint16 g = w.findGroup(gone.last().group), a = w.findApp(g, gone.last().name);
        const Entry to{w.groups[g][a].group, w.groups[g][a].name, w.groups[g][a].path, fresh(u"-c "_s),
                       w.groups[g][a].prot};
        const QString changed = mismatch.isEmpty() ? apply(w, random.bounded(2) ? 7 : 1, g, a, to) : mismatch;
        return changed.isEmpty() ? save(w, false) : changed;
    }

    QString edit(const QString &what, const QByteArray &line, qsizetype at = -1)
    {
        QList<QByteArray> lines = file.lines.value_or(QList<QByteArray>());
        at < 0           ? void(lines.insert(random.bounded(lines.size() + 1), line))
        : line.isEmpty() ? lines.removeAt(at)
                         : lines.replace(at, line);
        file.lines = lines, ++file.generation, log << u"editor "_s + what;
        return TestFiles::replace(list, file.bytes()) ? QString() : u"the editor cannot write"_s;
    }

    QString editor(int kind = -1)
    {
        const QList<Entry> entries = file.entries();
        const Encoding encoding = file.lines ? file.encoding() : Encoding::Utf8;
        kind = kind >= 0 ? kind : file.bad() && random.bounded(2) ? 4 : int(random.bounded(raw ? 7 : 5));
        kind = entries.isEmpty() && (kind == 1 || kind == 2) ? 0 : kind;
        const Entry e = entries.isEmpty() ? Entry{} : entries[random.bounded(entries.size())];
        Entry to = kind == 0 ? made() : e;
        const int field = int(random.bounded(3));
        switch (kind) {
        case 0:
            if (encodingFor({to}, encoding) != encoding || !to.shown().isValidUtf16())
                to = {groups[0], names[0], fresh(u"/e"_s)};
            return edit(u"adds "_s + to.shown(), to.line(encoding) + "\r\n");
        case 1:
            field == 0   ? void(to.path = fresh(u"/o"_s))
            : field == 1 ? void(to.cmd = fresh(u"-o "_s))
                         : void(to.prot = qint16(-1 - to.prot));
            return edit(u"changes "_s + e.shown() + u" -> "_s + to.shown(), to.line(encoding) + "\r\n", e.at);
        case 2:
            return edit(u"drops "_s + e.shown(), QByteArray(), e.at);
        case 3:
            if (random.bounded(3) != 0 || !file.lines)
                break;
            file.lines.reset(), ++file.generation, log << u"editor removes the list"_s;
            return QFile::remove(list) ? QString() : u"the editor cannot remove"_s;
        case 4:
            for (qsizetype i = 0; file.bad() && i < file.lines->size(); ++i)
                if (file.lines->at(i).contains('\0'))
                    return edit(u"takes the NUL bytes out"_s, QByteArray(), i);
            return edit(u"adds NUL bytes"_s, QByteArray("Bad,\0x,/bin/true,,0\r\n", 21));
        case 5:
            return edit(u"adds a Latin-1 line"_s, "Tools,Th\xE9,/caf\xE9/" + QByteArray::number(++next) + ",,0\r\n");
        case 6:
            if (encoding == Encoding::Latin1) {
                for (QByteArray &l : *file.lines) {
                    QList<QByteArray> f = l.split(',');
                    for (qsizetype i = 0; i < (l.startsWith(';') ? f.size() : 2); ++i)
                        f[i] = QString::fromLatin1(f[i]).toUtf8();
                    l = f.join(',');
                }
                return edit(u"turns the text into UTF-8"_s, fresh(u"; utf-8 "_s).toLatin1() + "\r\n");
            }
        }
        return edit(u"adds a comment"_s, fresh(u"; note "_s).toLatin1() + "\r\n");
    }

    QString check(int generation, bool views)
    {
        const bool changed = live && file.generation != generation;
        if (changed)
            TestFiles::settle();
        for (const auto &w : writers)
            warnings += changed ? w->reload(file) : 0;
        const auto undated = [](QByteArray b) { return b.startsWith("; Created by:") ? b.mid(b.indexOf('\r')) : b; };
        if (undated(TestFiles::read(list)) != undated(file.bytes()))
            return u"the file is not the model's:\n"_s + QString::fromLatin1(file.bytes().left(3000));
        for (const auto &w : writers) {
            const QString writer = u"w%1 "_s.arg(w->number);
            if (views && dump(*w->apps) != w->shown())
                return writer + u"shows\n%1\nnot\n%2"_s.arg(dump(*w->apps).join(u'\n'), w->shown().join(u'\n'));
            if (w->told->count() != w->signals)
                return writer + u"told %1 changes, not %2"_s.arg(w->told->count()).arg(w->signals);
        }
        return notReadAgain == warnings
                   ? QString()
                   : u"%1 warnings of a list not read again, not %2"_s.arg(notReadAgain).arg(warnings);
    }
};

} // namespace

class tst_ListWriters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { previousHandler = qInstallMessageHandler(countNotRead); }

    // limits: below the file's; bytes: no UTF-8; live: reloads between steps; names: 300 slots.
    void writersAgainstTheModel_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QString>("mode");
        const QString modes =
            u"plain-12 limits-8 bytes-8 live-6 names-2 text-lines-6 text-bom-3 text-char-across-the-chunk-6 "
            "text-crlf-across-the-chunk-3 text-cut-at-the-end-4 text-cut-past-the-chunk-6 "
            "text-lone-cr-past-the-chunk-3 text-longest-line-4"_s;
        for (const QString &mode : modes.split(u' ')) {
            const QString name = mode.section(u'-', 0, -2);
            for (quint32 seed = 1; seed <= mode.section(u'-', -1).toUInt(); ++seed)
                QTest::addRow("%s-%u", qPrintable(name), seed) << seed << name;
        }
    }
    void writersAgainstTheModel()
    {
        QFETCH(quint32, seed);
        QFETCH(QString, mode);
        Run run(seed, mode);
        const QString mismatch = run.steps(mode == u"names" ? 3000 : mode.startsWith(u"text") ? 8 : 40);
        if (!mismatch.isEmpty()) // a test message is cut short
            qInfo().noquote() << u"seed %1, %2:\n"_s.arg(seed).arg(mode) + run.log.join(u'\n');
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
};

QTEST_GUILESS_MAIN(tst_ListWriters)
#include "tst_listwriters.moc"
