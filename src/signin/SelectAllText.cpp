#include "signin/SelectAllText.h"

#include <QLineEdit>

void SelectAllText(QLineEdit& box, bool noFocus) {
    box.setSelection(0, static_cast<int>(box.text().size()));
    if (!noFocus) {
        box.setFocus();
    }
}
