#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

// How a window's place and its list's column widths are kept as texts in the settings store,
// and whether a kept place may be used on the screens there are now.
namespace WindowPlacement {

// "x,y,width,height"; nothing for a text that is not four whole numbers with a positive size.
std::optional<QRect> parseRect(const QString& text);
QString rectText(const QRect& rect);

// A place is used only when a good part of its title bar lies on one of the screens, so that
// the user can grab it; a place on a screen that is gone is not.
bool reachable(const QRect& frame, const QList<QRect>& screens);

// "w1,w2,..."; nothing unless there are exactly `columns` widths, each of 1 to 10000 pixels.
std::optional<QList<int>> parseWidths(const QString& text, int columns);
QString widthsText(const QList<int>& widths);

} // namespace WindowPlacement
