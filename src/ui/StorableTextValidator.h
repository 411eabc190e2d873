// SPDX-License-Identifier: MIT
#pragma once

#include <QValidator>

namespace Lanyard {

/**
 * Refuses an edit that would put into a text box what a launch list line cannot hold inside a
 * field: a comma (the field separator), CR or LF (line ends) or NUL. A typed key, a paste or a
 * drop that brings one in is undone whole; text set by the program is shown as it is.
 */
class StorableTextValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    State validate(QString &input, int &position) const override;
};

} // namespace Lanyard
