#pragma once

#include "platform/MessageBoxes.h"
#include "platform/MouseCursor.h"
#include "platform/ProcessEnd.h"
#include "platform/ProgramLauncher.h"
#include "platform/SettingsStore.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

// A message box as the program showed it.
struct ShownMessage {
    QString text;
    QString title;
    MsgButtons buttons;
    MsgIcon icon;
};

// Answers boxes from a queue the test fills. A box with no queued answer is an error in the
// test: it is recorded in unexpected() and answered Ok/No so the code under test goes on.
class FakeMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, const QString& title, MsgButtons buttons,
                   MsgIcon icon) override;
    void queueAnswer(MsgAnswer answer) { m_answers.push_back(answer); }
    // Runs when a box is shown, before it is answered (a test can inspect state there).
    void setOnShow(std::function<void(const ShownMessage&)> hook) { m_onShow = std::move(hook); }

    QList<ShownMessage> shown;
    int unexpected = 0;

private:
    std::deque<MsgAnswer> m_answers;
    std::function<void(const ShownMessage&)> m_onShow;
};

class FakeMouseCursor : public MouseCursor {
public:
    void set(int cursor) override {
        m_cursor = cursor;
        history.append(cursor);
    }
    int current() const override { return m_cursor; }
    QList<int> history;

private:
    int m_cursor = Default;
};

// Records the end of the program and unwinds the caller with ProgramEnded.
class FakeProcessEnd : public ProcessEnd {
public:
    void endProgram(int exitCode) override;
    int endCount = 0;
    int lastExitCode = -1;
};

class MemorySettingsStore : public SettingsStore {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& defaultValue) const override;
    void save(const QString& app, const QString& section, const QString& key,
              const QString& value) override;
    void sync() override { ++syncCount; }

    QMap<QString, QString> values; // "app/section/key" -> value
    int syncCount = 0;
};

class FakeLauncher : public ProgramLauncher {
public:
    bool start(const QString& program) override {
        started.append(program);
        return startSucceeds;
    }
    bool fileExists(const QString& path) const override { return existingFiles.contains(path); }

    QStringList started;
    QStringList existingFiles;
    bool startSucceeds = true;
};
