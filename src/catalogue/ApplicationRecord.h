#pragma once

#include <QIcon>
#include <QString>

namespace Lanyard {

/// One application slot of a program group.
struct ApplicationRecord
{
    QString ApplicationName;
    QString AppPath;
    QString CmdLine;
    QIcon Icon;
    qint16 AppProtected = 0;
    /// Changed since the launch list was last read or written.
    bool changed = false;
    /// The line of the launch list the record was read from or last written to; 0 for none.
    quint64 origin = 0;

    bool isEmpty() const
    {
        return ApplicationName.isEmpty() && AppPath.isEmpty() && CmdLine.isEmpty() && Icon.isNull()
            && AppProtected == 0;
    }
};

} // namespace Lanyard
