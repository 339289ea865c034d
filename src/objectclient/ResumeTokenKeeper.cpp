#include "objectclient/ResumeTokenKeeper.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

// More kept tokens than this are from a program that signs in as ever new users: the oldest
// are not worth more memory.
constexpr qsizetype kMaxKept = 1024;

} // namespace

ResumeTokenKeeper& ResumeTokenKeeper::instance() {
    static ResumeTokenKeeper keeper;
    return keeper;
}

ResumeTokenKeeper::ResumeTokenKeeper()
    : m_salt(32, Qt::Uninitialized) {
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(m_salt.data()),
                                          m_salt.size() / static_cast<qsizetype>(sizeof(quint32)));
}

QString ResumeTokenKeeper::tokenFor(const QString& server, const QString& company,
                                    const QString& user, const QString& password) const {
    const QByteArray digest = digestOf(password);
    const QMutexLocker lock(&m_mutex);
    const auto kept = m_kept.constFind(keyOf(server, company, user));
    return kept != m_kept.cend() && kept->passwordDigest == digest ? kept->token : QString();
}

void ResumeTokenKeeper::answered(const QString& server, const QString& company, const QString& user,
                                 const QString& password, const QString& token) {
    const QString key = keyOf(server, company, user);
    const QByteArray digest = digestOf(password);
    const QMutexLocker lock(&m_mutex);
    if (token.isEmpty()) {
        m_kept.remove(key);
        return;
    }
    if (!m_kept.contains(key) && m_kept.size() >= kMaxKept) {
        m_kept.erase(m_kept.begin());
    }
    m_kept.insert(key, Kept{token, digest});
}

QString ResumeTokenKeeper::keyOf(const QString& server, const QString& company,
                                 const QString& user) {
    // A unit separator: no connect string, company or user code holds one that matters here.
    return server + QChar(0x1f) + company + QChar(0x1f) + user;
}

QByteArray ResumeTokenKeeper::digestOf(const QString& password) const {
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    hash.addData(m_salt);
    hash.addData(password.toUtf8());
    return hash.result();
}
