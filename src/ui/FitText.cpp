#include "FitText.h"

#include <QPushButton>

namespace Lanyard::FitText {

void shrinkToFit(QPushButton *button)
{
    QFont font = button->parentWidget() ? button->parentWidget()->font() : button->font();
    button->setFont(font);
    if (font.pointSizeF() <= 0)
        return;
    const qreal smallest = font.pointSizeF() * 0.75;
    while (button->sizeHint().width() > button->width() && font.pointSizeF() - 0.5 >= smallest) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        button->setFont(font);
    }
}

} // namespace Lanyard::FitText
