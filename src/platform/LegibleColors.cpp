#include "platform/LegibleColors.h"

#include <cmath>

namespace {

double channel(double value) {
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

} // namespace

namespace LegibleColors {

double contrast(const QColor& first, const QColor& second) {
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor legibleOn(const QColor& background, const QColor& wanted) {
    if (contrast(background, wanted) >= kMinimumContrast) {
        return wanted;
    }
    // Towards black on a light background, towards white on a dark one; one of the two ends
    // always reaches 4.5:1.
    const bool darken = contrast(background, Qt::black) >= contrast(background, Qt::white);
    const QColor hsl = wanted.toHsl();
    for (int step = 1; step <= 100; ++step) {
        const double lightness = darken
                                     ? hsl.lightnessF() * (1.0 - step / 100.0)
                                     : hsl.lightnessF() + (1.0 - hsl.lightnessF()) * step / 100.0;
        const QColor candidate =
            QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), lightness).toRgb();
        if (contrast(background, candidate) >= kMinimumContrast) {
            return candidate;
        }
    }
    return darken ? QColor(Qt::black) : QColor(Qt::white);
}

QColor warningTextOn(const QColor& background) {
    return legibleOn(background, QColor(Qt::red));
}

QColor attentionBackground() {
    // Amber, light enough for black text on it in any palette.
    return QColor(255, 226, 150);
}

QColor attentionText() {
    return QColor(Qt::black);
}

} // namespace LegibleColors
