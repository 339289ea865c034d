#pragma once

#include <QColor>

class QPalette;

// Colours the program draws itself, kept legible on the palette in use, light or dark:
// every text and trend line reaches the WCAG 2.1 AA contrast of 4.5:1 against its background.
namespace LegibleColors {

constexpr double kMinimumContrast = 4.5;

// The WCAG 2.1 contrast ratio of two colours, 1 to 21.
double contrast(const QColor& first, const QColor& second);

// wanted itself when it is legible on background; otherwise the same hue made darker (on a
// light background) or lighter (on a dark one) until it is.
QColor legibleOn(const QColor& background, const QColor& wanted);

// The red of an alarming text ("Stand" of old rows, an interval not taken) on the window's or
// a text box's background.
QColor warningTextOn(const QColor& background);

// The background of a row that needs attention and its text.
QColor attentionBackground();
QColor attentionText();

} // namespace LegibleColors
