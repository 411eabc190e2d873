#include "ListMerge.h"

#include "Catalogue.h"

#include <QHash>
#include <QSet>

#include <optional>
#include <utility>

namespace Lanyard {

namespace {

/// Where a changed entry goes among the file's lines: before line i (2i), after it (2i + 1),
/// or at the end of the file (-1).
using Place = qint64;
constexpr Place atEnd = -1;
Place before(qsizetype line) { return 2 * qint64(line); }
Place after(qsizetype line) { return 2 * qint64(line) + 1; }

using EntryName = std::pair<QString, QString>;

/// The first line of each group and name that another writer wrote (an identity the catalogue
/// does not know): when a changed entry's own line is gone, the other writer changed that entry
/// too, and ours takes its place rather than stand beside it.
QHash<EntryName, qsizetype> linesOfOthers(const std::vector<LaunchListEntry> &file, const Catalogue &catalogue,
                                          const QSet<quint64> &removed)
{
    QSet<quint64> known = removed;
    catalogue.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &) { known.insert(entry.origin); });
    QHash<EntryName, qsizetype> lines;
    for (qsizetype i = 0; i < qsizetype(file.size()); ++i) {
        const LaunchListEntry &line = file[size_t(i)];
        const EntryName name{line.group, line.name};
        if (!known.contains(line.origin) && !lines.contains(name))
            lines.insert(name, i);
    }
    return lines;
}

} // namespace

std::vector<LaunchListEntry> ListMerge::merge(const std::vector<LaunchListEntry> &file, const Catalogue &catalogue)
{
    QHash<quint64, qsizetype> lineOf; // the first line of each identity
    QHash<QString, qsizetype> firstOfGroup;
    lineOf.reserve(qsizetype(file.size()));
    for (qsizetype i = 0; i < qsizetype(file.size()); ++i) {
        const LaunchListEntry &line = file[size_t(i)];
        if (!lineOf.contains(line.origin))
            lineOf.insert(line.origin, i);
        if (!firstOfGroup.contains(line.group))
            firstOfGroup.insert(line.group, i);
    }
    QSet<quint64> removed = catalogue.removedOrigins();
    std::optional<QHash<EntryName, qsizetype>> others; // looked for only when needed

    QHash<Place, std::vector<LaunchListEntry>> placed;
    QString group;
    Place cursor = atEnd; // where the next changed entry of the group goes
    bool first = true;
    catalogue.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &record) {
        if (first || entry.group != group) {
            first = false;
            group = entry.group;
            const auto start = firstOfGroup.constFind(group);
            cursor = start == firstOfGroup.cend() ? atEnd : before(*start);
        }
        const auto line = lineOf.constFind(entry.origin);
        const bool inFile = entry.origin != 0 && line != lineOf.cend();
        if (!record.changed) {
            if (inFile && !removed.contains(entry.origin))
                cursor = after(*line);
            return;
        }
        if (inFile && file[size_t(*line)].group == entry.group) {
            cursor = before(*line); // its own line's place
        } else if (!inFile) {
            if (!others)
                others = linesOfOthers(file, catalogue, removed);
            if (const auto theirs = others->constFind({entry.group, entry.name}); theirs != others->cend()) {
                cursor = before(*theirs);
                removed.insert(file[size_t(*theirs)].origin);
                others->erase(theirs);
            }
        }
        placed[cursor].push_back(entry);
    });

    std::vector<LaunchListEntry> merged;
    merged.reserve(file.size());
    const auto emit = [&](Place place) {
        const auto it = placed.constFind(place);
        if (it != placed.cend())
            merged.insert(merged.end(), it->begin(), it->end());
    };
    for (qsizetype i = 0; i < qsizetype(file.size()); ++i) {
        emit(before(i));
        if (!removed.contains(file[size_t(i)].origin))
            merged.push_back(file[size_t(i)]);
        emit(after(i));
    }
    emit(atEnd);
    return merged;
}

} // namespace Lanyard
