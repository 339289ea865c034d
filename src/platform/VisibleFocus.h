#pragma once

#include <QObject>

class QWidget;

// Keeps a window's keyboard focus drawn from the moment it is shown, not only after the first
// Tab: the style draws the focus frame only for windows marked as used from the keyboard, and
// Qt drops that mark again when a window is shown or activated.
class VisibleFocus : public QObject {
    Q_OBJECT
public:
    static void install(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
