#include "platform/LabelFit.h"

#include "platform/Twips.h"

#include <QLabel>

#include <algorithm>

void fitLabelToText(QLabel* label, int rightLimitTwips) {
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2;
    if (needed <= label->width()) {
        return;
    }
    const int right = twipsToPixels(rightLimitTwips);
    const int width = std::min(needed, right - 2);
    // Grow to the right up to the next control; what is still missing is taken on the left.
    const int left = std::clamp(right - width, 2, label->x());
    label->setGeometry(left, label->y(), std::max(width, label->width()), label->height());
}
