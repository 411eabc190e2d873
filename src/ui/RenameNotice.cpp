// SPDX-License-Identifier: MIT
#include "RenameNotice.h"

namespace Lanyard {

RenameNotice *RenameNotice::instance()
{
    static RenameNotice notice;
    return &notice;
}

void RenameNotice::tell(const QObject *catalogue, const QString &group, const QString &app, const QString &newGroup,
                        const QString &newApp)
{
    if (group != newGroup || app != newApp)
        Q_EMIT renaming(catalogue, group, app, newGroup, newApp);
}

} // namespace Lanyard
