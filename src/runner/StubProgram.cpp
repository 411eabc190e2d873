#include "StubProgram.h"

#include "util/LibraryLocation.h"

using namespace Qt::StringLiterals;

namespace Lanyard::StubProgram {

QString path() { return LibraryLocation::folder() + u"STUB16.EXE"_s; }

} // namespace Lanyard::StubProgram
