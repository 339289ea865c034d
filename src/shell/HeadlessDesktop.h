#pragma once

#include "platform/MessageBoxes.h"
#include "platform/MouseCursor.h"
#include "platform/Platform.h"
#include "platform/ProcessEnd.h"
#include "platform/QtClock.h"
#include "platform/QtEventPump.h"
#include "platform/QtProgramLauncher.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtTimerFactory.h"
#include "platform/SystemRegistry.h"

// The desktop seams for a run without a display (needs only a QCoreApplication): clock,
// timers, events and settings are the real ones; a message box aborts the run with its text
// (HeadlessAbort), the cursor is only remembered, and ending the program unwinds as
// ProgramEnded after the settings are written out.
class HeadlessDesktop {
public:
    class AbortingMessageBoxes : public MessageBoxes {
    public:
        MsgAnswer show(const QString& text, const QString& title, MsgButtons buttons,
                       MsgIcon icon) override;
    };

    class RememberedCursor : public MouseCursor {
    public:
        void set(int cursor) override { m_cursor = cursor; }
        int current() const override { return m_cursor; }

    private:
        int m_cursor = Default;
    };

    class UnwindingProcessEnd : public ProcessEnd {
    public:
        explicit UnwindingProcessEnd(SettingsStore& settings)
            : m_settings(settings) {}
        void endProgram(int exitCode) override;

    private:
        SettingsStore& m_settings;
    };

    HeadlessDesktop() = default;
    HeadlessDesktop(const HeadlessDesktop&) = delete;
    HeadlessDesktop& operator=(const HeadlessDesktop&) = delete;

    Platform& platform() { return m_platform; }

private:
    QtClock m_clock;
    QtTimerFactory m_timers;
    QtEventPump m_events;
    AbortingMessageBoxes m_messages;
    RememberedCursor m_cursor;
    QtSettingsStore m_settings;
    UnwindingProcessEnd m_processEnd{m_settings};
    SystemRegistry m_registry;
    QtProgramLauncher m_launcher;
    Platform m_platform{m_clock,      m_timers,   m_events,   m_messages, m_cursor,
                        m_processEnd, m_settings, m_registry, m_launcher};
};
