#include "platform/LabelFit.h"

#include "platform/Twips.h"

#include <QLabel>

#include <algorithm>

namespace {
// The least room kept between a label and the window's left edge.
constexpr int DialogMarginTwips = 60;
} // namespace

void fitLabelToText(QLabel* label, int rightLimitTwips) {
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2;
    if (needed <= label->width()) {
        return;
    }
    const int right = twipsToPixels(rightLimitTwips);
    // Grow to the right up to the next control; what is still missing is taken on the left,
    // but never closer to the window's edge than the dialog's own margin.
    const int margin = std::min(twipsToPixels(DialogMarginTwips), label->x());
    const int left = std::clamp(right - needed, margin, label->x());
    label->setGeometry(left, label->y(), std::max(right - left, label->width()), label->height());
}
