// SPDX-License-Identifier: MIT
#include "Notice.h"

#include <QMessageBox>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Lanyard::Notice {

void show(QWidget *parent, const QString &objectName, const QString &text)
{
    // On the heap: a parent unloaded while the box is open takes the box with it.
    const QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, u"Lanyard"_s, text, QMessageBox::Ok,
                                                      parent);
    box->setObjectName(objectName);
    box->exec();
    delete box.data();
}

} // namespace Lanyard::Notice
