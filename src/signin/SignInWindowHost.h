#pragma once

#include <QString>

class FMPass;
class FMServer;

// What the two sign-in dialogs need of the other windows. Implemented by the window registry
// of the application shell; tests implement it over dialogs of their own.
class SignInWindowHost {
public:
    virtual ~SignInWindowHost() = default;

    virtual bool mainWindowVisible() = 0;
    virtual void setMainWindowCaption(const QString& caption) = 0;
    // The main window's rights test after a sign-in: below rights group 8 the program ends.
    virtual void enforceRightsGroup() = 0;
    // The one instance of each dialog, loaded invisibly if it is not loaded yet.
    virtual FMPass& signInDialog() = 0;
    virtual FMServer& serverDialog() = 0;
};
