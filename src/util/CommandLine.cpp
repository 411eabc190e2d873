#include "CommandLine.h"

namespace Lanyard {

std::optional<QStringList> CommandLine::split(const QString &text, const QBitArray &)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

} // namespace Lanyard
