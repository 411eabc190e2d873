// SPDX-License-Identifier: MIT
#include "ProgramFileFilter.h"

#include <QFileSystemModel>

namespace Lanyard {

void ProgramFileFilter::setProgramsOnly(bool programsOnly)
{
    m_programsOnly = programsOnly;
    invalidateRowsFilter();
}

bool ProgramFileFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!m_programsOnly || !files)
        return true;
    const QModelIndex file = files->index(sourceRow, 0, sourceParent);
    return files->isDir(file) || files->permissions(file).testFlag(QFile::ExeUser);
}

} // namespace Lanyard
