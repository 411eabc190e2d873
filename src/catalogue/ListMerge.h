#pragma once

#include "LaunchListEntry.h"

#include <vector>

namespace Lanyard {

class Catalogue;

/**
 * The entries a save writes when the file changed since the catalogue was read: the file's
 * lines as they are now, with the catalogue's changes applied by identity. A line the
 * catalogue deleted or changed goes; a changed entry takes its line's place while it stays in
 * its group, and follows the entry before it in the catalogue otherwise (a new entry, a move),
 * so that the order the user made stays; one whose line another writer changed or removed goes
 * last in its group, where a load takes it over that writer's line of the same name. Lines
 * the catalogue did not change stay as the file has them, also other writers' new ones.
 * Entries are found by identity only, never by name: two entries may share a name.
 */
class ListMerge
{
public:
    static std::vector<LaunchListEntry> merge(const std::vector<LaunchListEntry> &file, const Catalogue &catalogue);
};

} // namespace Lanyard
