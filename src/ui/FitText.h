#pragma once

class QPushButton;

/// Keeps a caption inside a button whose size the window fixes: translated captions can be
/// longer than the button was made for.
namespace Lanyard::FitText {

/// Takes the font of the button's window and makes it smaller, in half points down to three
/// quarters of its size, until the caption fits the button's width.
void shrinkToFit(QPushButton *button);

} // namespace Lanyard::FitText
