#pragma once

#include "access/SecretText.h"
#include "objectclient/CacheFactory.h"

#include <QString>

#include <memory>

// The signed-in user's personnel data.
struct PersonalRecord {
    QString PNR;
    QString AbtBez;
    QString AbtNr;
    QString HAbtNr;
    QString DW;
    QString Fax;
    QString EMail;
};

// The program-wide sign-in state: for which company and branch the program works, who is
// signed in, and how the server is reached. Numbers are kept as text exactly as entered.
struct SignInState {
    QString gCommandLine;
    QString gFirma;
    QString gFiliale;
    QString gPersonalcode;
    SecretText gPasswort; // the one copy the program keeps, to sign in again after a drop
    QString gServer;
    QString gPort;
    QString gNamespace;
    QString gConnectString;
    std::unique_ptr<CacheFactory> gFactory;
    QString gBenutzer;
    QString gBenutzerName;
    QString gBerGrp;
    PersonalRecord gPersonal;
    // Set when sign-in data from the command line were rejected or failed: from then on the
    // command line no longer counts and the sign-in dialog asks instead, so the start-up loop
    // cannot repeat the same refused attempt for ever.
    bool gCommandLineRefused = false;
};
