#include "shell/HeadlessFormHost.h"

#include "platform/Timer.h"
#include "shell/HeadlessAbort.h"

#include <stdexcept>

void HeadlessFormHost::Log::insertAt(const QString& rowText, int position) {
    if (position < 0 || position > m_rows.size()) {
        throw std::out_of_range("list position");
    }
    m_rows.insert(position, rowText);
}

void HeadlessFormHost::Log::removeAt(int position) {
    if (position < 0 || position >= m_rows.size()) {
        throw std::out_of_range("list position");
    }
    m_rows.removeAt(position);
}

QString HeadlessFormHost::Log::rowText(int position) const {
    if (position < 0 || position >= m_rows.size()) {
        throw std::out_of_range("list position");
    }
    return m_rows.at(position);
}

HeadlessFormHost::HeadlessFormHost(TimerFactory& timers)
    : m_idleTimer(timers.createTimer()) {
    m_idleTimer->setInterval(60000);
    m_idleTimer->setEnabled(false);
}

HeadlessFormHost::~HeadlessFormHost() = default;

void HeadlessFormHost::showServerDialogModal() {
    throw HeadlessAbort{QStringLiteral(
        "Der Server ist nicht erreichbar, und ohne Anzeige kann der Serverdialog nicht "
        "erscheinen. Bitte SERVER und PORT prüfen.")};
}

void HeadlessFormHost::showSignInDialogModal() {
    throw HeadlessAbort{QStringLiteral(
        "Ohne Anzeige kann der Anmeldedialog nicht erscheinen. Bitte FIRMA (als Zahl), "
        "FILIALE, USER und PASSWORT angeben.")};
}
