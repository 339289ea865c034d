#pragma once

#include <QIcon>

// The program's own window icons, drawn at 32x32 and 16x16.
namespace AppIcons {
// The main window: a small screen with a rising curve.
QIcon mainWindow();
// The program log: a sheet with lines.
QIcon programLog();
} // namespace AppIcons
