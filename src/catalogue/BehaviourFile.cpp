// SPDX-License-Identifier: MIT
#include "BehaviourFile.h"

#include "text/NativeText.h"
#include "util/FileLock.h"
#include "util/FileWriter.h"
#include "util/Raise.h"
#include "util/Uninterrupted.h"
#include "util/UniqueFd.h"

#include <QMetaEnum>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Lanyard {

namespace {

// A behaviour file is a few lines a tool: one larger than this is no behaviour file.
constexpr qsizetype largestFile = 16 << 20;
constexpr auto lockPatience = 10s;

QString sectionPart(const QString &name)
{
    QString part = name;
    return part.replace(u'%', u"%25"_s).replace(u'/', u"%2F"_s).replace(u']', u"%5D"_s);
}

std::optional<BehaviourFile::Key> keyOfSection(QStringView section)
{
    const qsizetype slash = section.indexOf(u'/');
    if (slash <= 0 || slash == section.size() - 1)
        return std::nullopt;
    const auto decoded = [](QStringView part) {
        return part.toString().replace(u"%5D"_s, u"]"_s).replace(u"%2F"_s, u"/"_s).replace(u"%25"_s, u"%"_s);
    };
    return BehaviourFile::Key{decoded(section.first(slash)), decoded(section.sliced(slash + 1))};
}

template<typename Enum>
QString nameOf(Enum value)
{
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(int(value)));
}

template<typename Enum>
Enum valueOf(const QString &name, Enum fallback)
{
    bool known = false;
    const int value = QMetaEnum::fromType<Enum>().keyToValue(name.toLatin1().constData(), &known);
    return known ? Enum(value) : fallback;
}

/// Sets one field of @p behaviour from a "key=value" line; keys it does not know change nothing.
void take(ToolBehaviour &behaviour, QStringView key, const QString &value)
{
    const bool yes = value == u"true";
    if (key == u"output")
        behaviour.output = valueOf(value, behaviour.output);
    else if (key == u"input")
        behaviour.input = valueOf(value, behaviour.input);
    else if (key == u"save")
        behaviour.saveBefore = valueOf(value, behaviour.saveBefore);
    else if (key == u"reload")
        behaviour.reloadAfter = yes;
    else if (key == u"types")
        behaviour.fileTypes = value.split(u';', Qt::SkipEmptyParts);
    else if (key == u"needs-selection")
        behaviour.needsSelection = yes;
    else if (key == u"shortcut")
        behaviour.shortcut = value;
    else if (key == u"folder")
        behaviour.folder = value;
}

QByteArray readWhole(const QString &path)
{
    const QByteArray native = NativeText::encode(path);
    const UniqueFd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info
    {
    };
    if (!fd.isValid())
        throw fileError(errno, u"cannot read %1: %2"_s.arg(path, qt_error_string(errno)));
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestFile)
        raiseError(ErrorCode::PathFileAccessError, u"%1 is no tool behaviour file"_s.arg(path));
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = uninterrupted(
            [&] { return ::read(fd.get(), bytes.data() + done, size_t(bytes.size() - done)); });
        if (count < 0)
            throw fileError(errno, u"cannot read %1: %2"_s.arg(path, qt_error_string(errno)));
        if (count == 0)
            break;
        done += count;
    }
    bytes.truncate(done);
    QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // decode() is lazy: the text must be made for the decoder to see the bytes.
    [[maybe_unused]] const QString text = strict.decode(bytes);
    if (bytes.contains('\0') || strict.hasError())
        raiseError(ErrorCode::PathFileAccessError, u"%1 is no tool behaviour file: it is not UTF-8 text"_s.arg(path));
    return bytes;
}

bool exists(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(NativeText::encode(path).constData(), &info) == 0;
}

} // namespace

QString BehaviourFile::pathFor(const QString &listPath) { return listPath + u".behaviour"_s; }

BehaviourFile::Table BehaviourFile::parse(QByteArrayView text)
{
    Table table;
    ToolBehaviour *current = nullptr;
    const QString whole = QString::fromUtf8(text);
    for (QStringView line : QStringTokenizer(whole, u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const std::optional<Key> key = keyOfSection(line.sliced(1, line.size() - 2));
            current = key ? &table[*key] : nullptr;
        } else if (const qsizetype eq = line.indexOf(u'='); current && eq > 0) {
            take(*current, line.first(eq).trimmed(), line.sliced(eq + 1).trimmed().toString());
        }
    }
    std::erase_if(table, [](const auto &tool) { return tool.second.isDefault(); });
    return table;
}

QByteArray BehaviourFile::format(const Table &table)
{
    QString text = u"; How the tools of the launch list behave in a Tools menu, kept by Lanyard.\n"_s;
    const ToolBehaviour defaults;
    for (const auto &[key, tool] : table) {
        if (tool.isDefault())
            continue;
        text += u"\n["_s + sectionPart(key.first) + u'/' + sectionPart(key.second) + u"]\n"_s;
        const auto line = [&](const char *name, const QString &value) {
            text += QLatin1StringView(name) + u'=' + value + u'\n';
        };
        if (tool.output != defaults.output)
            line("output", nameOf(tool.output));
        if (tool.input != defaults.input)
            line("input", nameOf(tool.input));
        if (tool.saveBefore != defaults.saveBefore)
            line("save", nameOf(tool.saveBefore));
        if (tool.reloadAfter)
            line("reload", u"true"_s);
        if (!tool.fileTypes.isEmpty())
            line("types", tool.fileTypes.join(u';'));
        if (tool.needsSelection)
            line("needs-selection", u"true"_s);
        if (!tool.shortcut.isEmpty())
            line("shortcut", tool.shortcut);
        if (!tool.folder.isEmpty())
            line("folder", tool.folder);
    }
    return text.toUtf8();
}

BehaviourFile::Table BehaviourFile::load(const QString &path)
{
    if (!exists(path))
        return {};
    const FileLock lock(path, FileLock::Mode::Shared, lockPatience);
    if (lock.timedOut())
        raiseError(ErrorCode::PathFileAccessError, u"%1 is locked by another program"_s.arg(path));
    return parse(readWhole(path));
}

BehaviourFile::Table BehaviourFile::save(const QString &path, const Changes &changes,
                                         const std::function<bool(const Key &)> &keep)
{
    const FileLock lock(path, FileLock::Mode::Exclusive, lockPatience);
    if (lock.timedOut())
        raiseError(ErrorCode::PathFileAccessError, u"%1 is locked by another program"_s.arg(path));
    lock.taken().value();
    const bool there = exists(path);
    Table table = there ? parse(readWhole(path)) : Table();
    const Table before = table;
    for (const auto &[key, change] : changes) {
        if (change && !change->isDefault())
            table[key] = *change;
        else
            table.erase(key);
    }
    if (keep)
        std::erase_if(table, [&](const auto &tool) { return !keep(tool.first); });
    if (table == before && (there || table.empty()))
        return table;
    FileWriter writer(path);
    writer.open().value();
    writer.write(format(table)).value();
    writer.commit().value();
    return table;
}

} // namespace Lanyard
