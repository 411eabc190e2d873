// SPDX-License-Identifier: MIT
#include "StorableTextValidator.h"

#include <algorithm>

namespace Lanyard {

QValidator::State StorableTextValidator::validate(QString &input, int &) const
{
    const bool storable = std::none_of(input.cbegin(), input.cend(), [](QChar c) {
        return c == u',' || c == u'\r' || c == u'\n' || c == QChar::Null;
    });
    return storable ? Acceptable : Invalid;
}

} // namespace Lanyard
