#include "FakeDesktop.h"

MsgAnswer FakeMessageBoxes::show(const QString& text, const QString& title, MsgButtons buttons,
                                 MsgIcon icon) {
    const ShownMessage message{text, title, buttons, icon};
    shown.append(message);
    if (m_onShow) {
        m_onShow(message);
    }
    if (m_answers.empty()) {
        ++unexpected;
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
    }
    const MsgAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void FakeProcessEnd::endProgram(int exitCode) {
    ++endCount;
    lastExitCode = exitCode;
    throw ProgramEnded{exitCode};
}

QString MemorySettingsStore::get(const QString& app, const QString& section, const QString& key,
                                 const QString& defaultValue) const {
    return values.value(app + '/' + section + '/' + key, defaultValue);
}

void MemorySettingsStore::save(const QString& app, const QString& section, const QString& key,
                               const QString& value) {
    values.insert(app + '/' + section + '/' + key, value);
}
