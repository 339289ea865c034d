#pragma once

#include <QString>

// The rows of the store as the classes read them. Every value is kept as text, exactly as it
// was entered, so that leading zeros of counters and numbers survive ("020", "007").

struct UserRecord {
    qint64 firma = 0;
    QString code;
    QString passwordHash; // PasswordHash::make's text; never the password itself
    QString aktiv;        // "J" = active; anything else is inactive
    QString pname;        // logical form "Nachname,Vorname"
    QString pnr;
    QString abtNr;
    QString dw;
    QString berGrp;
};

struct DepartmentRecord {
    qint64 firma = 0;
    QString abtNr;
    QString abtbez; // logical form: name parts separated by "^"
    QString hAbtNr;
};

struct BaseDataRecord {
    qint64 firma = 0;
    QString pnr;
    QString fax;
    QString email; // logical form: as entered, blanks and upper-case domain allowed
};

// One record of a cash register's posting status; a register may have several (one per
// terminal), kept in the order of seq.
struct RegisterRecord {
    qint64 firma = 0;
    qint64 filiale = 0;
    int seq = 0;
    QString kasse;
    QString anzahl;
    QString firstCnt;
    QString lastCnt;
};

// The counters of one of the four time clocks of a branch, slot 1 to 4.
struct ClockRecord {
    qint64 firma = 0;
    qint64 filiale = 0;
    int slot = 1;
    QString nr;
    QString eIst;
    QString eSoll;
    QString sIst;
    QString sSoll;
};

// A resume token as the store keeps it: never the token, only its keyed hash; account is a
// fingerprint of what the user's sign-in depended on (password hash, rights, active flag).
struct ResumeRecord {
    QString tokenHash;
    qint64 firma = 0;
    QString code;
    QString account;
    qint64 expires = 0; // seconds since the epoch
};
