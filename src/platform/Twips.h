#pragma once

#include <QRect>
#include <QSize>

// Window geometry is designed in twips; 15 twips make one pixel at 96 dpi (Qt scales beyond).
constexpr int twipsToPixels(int twips) {
    return (twips + 7) / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

constexpr QSize twipsSize(int width, int height) {
    return {twipsToPixels(width), twipsToPixels(height)};
}
