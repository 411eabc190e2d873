#include "MissingProgramBox.h"

#include "Notice.h"

#include "util/MissingFileText.h"

#include <QApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace Lanyard::MissingProgramBox {

void show(const QString &path)
{
    const QString message = missingFileText();
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // A terminal gets one line.
        std::fprintf(stderr, "%s\n", qPrintable(message + path));
        return;
    }
    Notice::show(nullptr, u"lanyardMissingProgram"_s, message + u"\r\n\r\n"_s + path);
}

} // namespace Lanyard::MissingProgramBox
