#pragma once

#include <QtGlobal>

namespace Lanyard {

/// Language of the configuration windows.
enum class Language : qint32 {
    lEnglish = 0,
    lGerman = 1,
    lFrench = 2,
};

} // namespace Lanyard
