// SPDX-License-Identifier: MIT
#include "ListMerge.h"

#include "Catalogue.h"

#include <QHash>
#include <QSet>

namespace Lanyard {

namespace {

/// Where a changed entry goes among the file's lines: before line i (2i), after it (2i + 1),
/// or at the end of the file (-1).
using Place = qint64;
constexpr Place atEnd = -1;
Place before(qsizetype line) { return 2 * qint64(line); }
Place after(qsizetype line) { return 2 * qint64(line) + 1; }

} // namespace

std::vector<LaunchListEntry> ListMerge::merge(const std::vector<LaunchListEntry> &file, const Catalogue &catalogue)
{
    QHash<quint64, qsizetype> lineOf; // the first line of each identity
    QHash<QString, qsizetype> firstOfGroup;
    QHash<QString, qsizetype> lastOfGroup;
    lineOf.reserve(qsizetype(file.size()));
    for (qsizetype i = 0; i < qsizetype(file.size()); ++i) {
        const LaunchListEntry &line = file[size_t(i)];
        if (!lineOf.contains(line.origin))
            lineOf.insert(line.origin, i);
        if (!firstOfGroup.contains(line.group))
            firstOfGroup.insert(line.group, i);
        lastOfGroup.insert(line.group, i);
    }
    const QSet<quint64> removed = catalogue.removedOrigins();
    // On a name this catalogue changed, the last saver's entry stands: another writer's line of
    // that group and name goes, so that the file holds one line per name.
    const QSet<quint64> known = catalogue.knownOrigins();
    QSet<std::pair<QString, QString>> changedNames;
    catalogue.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &record) {
        if (record.changed)
            changedNames.insert({entry.group, entry.name});
    });
    const auto kept = [&](const LaunchListEntry &line) {
        return !removed.contains(line.origin)
               && (known.contains(line.origin) || !changedNames.contains({line.group, line.name}));
    };
    // Where another writer's line of a changed name stood: ours takes its place.
    QHash<std::pair<QString, QString>, qsizetype> shadowedAt;
    for (qsizetype i = 0; i < qsizetype(file.size()); ++i) {
        const LaunchListEntry &line = file[size_t(i)];
        if (!kept(line) && !removed.contains(line.origin) && !shadowedAt.contains({line.group, line.name}))
            shadowedAt.insert({line.group, line.name}, i);
    }

    QHash<Place, std::vector<LaunchListEntry>> placed;
    QString group;         // no group is named "": the first entry opens one
    Place cursor = atEnd;  // where the next changed entry of the group goes
    bool anchored = false; // the cursor follows an entry of the group in the file
    const auto endOf = [&](const QString &name) {
        const auto last = lastOfGroup.constFind(name);
        return last == lastOfGroup.cend() ? atEnd : after(*last);
    };
    catalogue.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &record) {
        const bool opensGroup = entry.group != group;
        const auto line = lineOf.constFind(entry.origin);
        const bool inFile = entry.origin != 0 && line != lineOf.cend();
        if (opensGroup) {
            anchored = false;
            // A group the file has no line of goes last when it is new; one our side renamed
            // (its entries have lines under the old name) keeps its place in the catalogue's
            // order: after the lines of the group before it, first when it is first.
            const auto start = firstOfGroup.constFind(entry.group);
            if (start != firstOfGroup.cend())
                cursor = before(*start);
            else if (!inFile)
                cursor = atEnd;
            else if (group.isEmpty())
                cursor = before(0);
            else if (lastOfGroup.contains(group))
                cursor = endOf(group);
            group = entry.group;
        }
        if (!record.changed) {
            if (inFile && !removed.contains(entry.origin)) {
                cursor = after(*line);
                anchored = true;
            }
            return;
        }
        const auto shadowed = shadowedAt.constFind({entry.group, entry.name});
        if (inFile && file[size_t(*line)].group == entry.group) {
            cursor = before(*line); // its own line's place
        } else if (!inFile && shadowed != shadowedAt.cend()) {
            cursor = before(*shadowed); // the place of the line of its name it stands for now
        } else if (entry.origin != 0 && !inFile) {
            // Another writer changed or removed its line too: ours goes last in its group.
            cursor = endOf(entry.group);
        } else if (!anchored && !opensGroup) {
            cursor = endOf(entry.group); // the entries before it are gone from the file
        }
        anchored = true;
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
        if (kept(file[size_t(i)]))
            merged.push_back(file[size_t(i)]);
        emit(after(i));
    }
    emit(atEnd);
    return merged;
}

} // namespace Lanyard
