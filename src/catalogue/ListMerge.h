#pragma once

#include "LaunchListEntry.h"

#include <vector>

namespace Lanyard {

class Catalogue;

/**
 * The entries a save writes when the file changed since the catalogue was read: the file's
 * lines as they are now, with the catalogue's changes applied by identity. A line the
 * catalogue deleted or changed goes; a changed entry takes its line's place while it stays in
 * its group, and follows the entry before it in the catalogue otherwise (a new entry, a move,
 * a line another writer removed), so that the order the user made stays. Lines the catalogue
 * did not change stay as the file has them, also other writers' new ones.
 */
class ListMerge
{
public:
    static std::vector<LaunchListEntry> merge(const std::vector<LaunchListEntry> &file, const Catalogue &catalogue);
};

} // namespace Lanyard
