// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

namespace Lanyard {

/**
 * Tells who keeps something per entry (a host's menu action) that an edit is about to give an
 * entry another group or name, so that it can carry it over. One per process. The catalogue's
 * EditApp, which the program list window's edits go through too, tells before the change,
 * naming the catalogue object a host knows: a listener that rebuilds on the catalogue's change
 * signal then already knows where the entry went. A change the catalogue refuses leaves the
 * entry under its old names, which the listener sees on its next rebuild.
 */
class RenameNotice : public QObject
{
    Q_OBJECT

public:
    static RenameNotice *instance();

    /// Emits renaming unless the names stay the same.
    void tell(const QObject *catalogue, const QString &group, const QString &app, const QString &newGroup,
              const QString &newApp);

Q_SIGNALS:
    /// The application @p app of @p group in @p catalogue is about to become @p newApp of @p newGroup.
    void renaming(const QObject *catalogue, const QString &group, const QString &app, const QString &newGroup,
                  const QString &newApp);

private:
    using QObject::QObject;
};

} // namespace Lanyard
