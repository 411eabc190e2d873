// SPDX-License-Identifier: MIT
#include "StubProgram.h"

#include "util/LibraryLocation.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Lanyard::StubProgram {

QString path()
{
    // Installed, it is a helper program under libexec; in the build tree it lies beside the
    // library (or the test that links the runner).
    const QString folder = LibraryLocation::folder();
    const QString installed = QDir::cleanPath(folder + QStringLiteral(LANYARD_STUB_FROM_LIBDIR) + u"/STUB16.EXE"_s);
    return QFileInfo(installed).isExecutable() ? installed : folder + u"STUB16.EXE"_s;
}

} // namespace Lanyard::StubProgram
