#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

// The resume tokens the servers handed out, in this process's memory only (never in settings):
// by server, company and user, each with a salted digest of the password it was earned with, so
// that a token is offered only with that same password (another password typed is checked as
// typed, not waved through by an earlier token).
class ResumeTokenKeeper {
public:
    static ResumeTokenKeeper& instance();

    // The token kept for this sign-in with this password; empty when there is none.
    QString tokenFor(const QString& server, const QString& company, const QString& user,
                     const QString& password) const;
    // The server's answer: a new token to keep, or none (the sign-in was refused or the server
    // hands out none), which forgets the old one.
    void answered(const QString& server, const QString& company, const QString& user,
                  const QString& password, const QString& token);

private:
    ResumeTokenKeeper();
    static QString keyOf(const QString& server, const QString& company, const QString& user);
    QByteArray digestOf(const QString& password) const;

    struct Kept {
        QString token;
        QByteArray passwordDigest;
    };
    mutable QMutex m_mutex;
    QByteArray m_salt;
    QHash<QString, Kept> m_kept;
};
