#pragma once

#include <QPushButton>

// A push button that latches: it carries a Boolean value that flips on every click before the
// click handlers run. The value starts True. While it is False the button is drawn pressed in.
class LatchingButton : public QPushButton {
    Q_OBJECT
public:
    explicit LatchingButton(const QString& text, QWidget* parent = nullptr);

    bool value() const { return !isChecked(); }
    void setValue(bool value) { setChecked(!value); }
};
