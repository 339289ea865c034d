#include "platform/LatchingButton.h"

LatchingButton::LatchingButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    // A checkable button toggles its state inside click(), before clicked() is emitted; the
    // value is the inverse of the checked state, so it starts True.
    setCheckable(true);
    setChecked(false);
}
