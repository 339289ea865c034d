#include "FakeFormHost.h"

#include <stdexcept>

void FakeFormHost::LogList::insertAt(const QString& rowText, int position) {
    if (failInsert || position < 0 || position > rows.size()) {
        throw std::out_of_range("list position");
    }
    rows.insert(position, rowText);
}

void FakeFormHost::LogList::removeAt(int position) {
    if (position < 0 || position >= rows.size()) {
        throw std::out_of_range("list position");
    }
    rows.removeAt(position);
}

FakeFormHost::FakeFormHost(TimerFactory& timers)
    : m_idleTimer(timers.createTimer()) {
    m_idleTimer->setInterval(60000);
    m_idleTimer->setEnabled(false);
}

void FakeFormHost::setConnectionBoxes(const ConnectionBoxes& boxes) {
    serverBoxes = boxes;
}

void FakeFormHost::showServerDialogModal() {
    events.append("showServerDialogModal");
    serverVisible = true;
    if (onServerDialog) {
        onServerDialog();
    }
    serverVisible = false;
}

void FakeFormHost::hideServerDialog() {
    events.append("hideServerDialog");
    serverVisible = false;
}

void FakeFormHost::selectAllPassword() {
    events.append("selectAllPassword");
    passwordSelected = true;
}

void FakeFormHost::showSignInDialogModal() {
    events.append("showSignInDialogModal");
    signInVisible = true;
    passwordSelected = false;
    if (onSignInDialog) {
        onSignInDialog();
    }
    signInVisible = false;
}

void FakeFormHost::hideSignInDialogs() {
    events.append("hideSignInDialogs");
    signInVisible = false;
    serverVisible = false;
}

RowList& FakeFormHost::programLog() {
    if (logMissing) {
        throw std::runtime_error("log window not available");
    }
    return log;
}

void FakeFormHost::unloadAllWindows() {
    events.append("unloadAllWindows");
    if (onUnloadAll) {
        onUnloadAll();
    }
}
