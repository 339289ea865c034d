#pragma once

class QWidget;

// What the main window needs of the other windows: showing them and unloading itself. The
// window registry implements it, so FMStart never includes the registry that creates it.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;

    // Showing, modeless. owner == nullptr: a window of its own.
    virtual void showTimeClockMonitor(QWidget* owner) = 0;
    virtual void showCashRegisterMonitor(QWidget* owner) = 0;
    virtual void showSignInDialog(QWidget* owner) = 0;
    virtual void showProgramLog(QWidget* owner) = 0;
    virtual void showAbout() = 0;
    // Shows the stored settings afresh unless the window is open already.
    virtual void showSettings(QWidget* owner) = 0;

    // Unloads one window: runs its unload handler, hides it and deletes it soon after.
    virtual void unloadWindow(QWidget* window) = 0;
    virtual bool isUnloading(const QWidget* window) const = 0;
};
