#pragma once

#include <QIcon>

class QPainter;

// The program's own window icons, drawn at 32x32 and 16x16.
namespace AppIcons {
// The main window: a small screen with a rising curve.
QIcon mainWindow();
// The program log: a sheet with lines.
QIcon programLog();
// Paints the main window's picture into the square of side `size` at the painter's origin. The
// application icons the packages install are painted by it as well, so they match the window.
void paintMainWindow(QPainter& painter, int size);
} // namespace AppIcons
