#pragma once

#include <QString>

class QDialog;

// What the two sign-in dialogs need of the other windows, so that neither includes the other
// nor the registry. Implemented by the window registry of the application shell; tests
// implement it over dialogs of their own.
class SignInWindowHost {
public:
    virtual ~SignInWindowHost() = default;

    virtual bool mainWindowVisible() = 0;
    virtual void setMainWindowCaption(const QString& caption) = 0;
    // The main window's rights test after a sign-in: below rights group 8 the program ends.
    virtual void enforceRightsGroup() = 0;
    // The one server dialog, loaded invisibly if it is not loaded yet (FMPass shows it modally).
    virtual QDialog& serverDialogWindow() = 0;
    // The sign-in dialog's Sichern: its entries into the stored sign-in settings (FMServer,
    // after the server entries changed).
    virtual void saveSignInEntries() = 0;
};
