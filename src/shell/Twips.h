#pragma once

#include <QRect>

// Window geometry is laid out in twips; 15 twips make one pixel at 96 dpi (Qt scales for
// higher resolutions).
constexpr int twipsToPixels(int twips) {
    return twips / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
