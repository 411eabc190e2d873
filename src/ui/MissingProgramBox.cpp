#include "MissingProgramBox.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace Lanyard::MissingProgramBox {

void show(const QString &path)
{
    const QString message = u"Unable to find the file: "_s;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // A terminal gets one line.
        std::fprintf(stderr, "%s\n", qPrintable(message + path));
        return;
    }
    QMessageBox box(QMessageBox::Critical, u"Lanyard"_s, message + u"\r\n\r\n"_s + path, QMessageBox::Ok);
    box.setObjectName(u"lanyardMissingProgram"_s);
    box.exec();
}

} // namespace Lanyard::MissingProgramBox
