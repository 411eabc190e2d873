#include "Captions.h"

namespace Lanyard {

namespace {
qint32 languageOffset = 0;
}

qint32 Captions::LanguageOffset() { return languageOffset; }

void Captions::setLanguageOffset(qint32 offset) { languageOffset = offset; }

QString Captions::text(int) { return QString(); }

} // namespace Lanyard
