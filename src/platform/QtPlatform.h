#pragma once

#include "platform/Platform.h"
#include "platform/QtClock.h"
#include "platform/QtEventPump.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtMouseCursor.h"
#include "platform/QtProcessEnd.h"
#include "platform/QtProgramLauncher.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtTimerFactory.h"
#include "platform/SystemRegistry.h"

// The real desktop: one of each seam, wired into the Platform every layer receives.
// Needs a QApplication while it lives.
class QtPlatform {
public:
    QtPlatform() = default;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    Platform& platform() { return m_platform; }

private:
    QtClock m_clock;
    QtTimerFactory m_timers;
    QtEventPump m_events;
    QtMessageBoxes m_messages;
    QtMouseCursor m_cursor;
    QtSettingsStore m_settings;
    QtProcessEnd m_processEnd{m_settings};
    SystemRegistry m_registry;
    QtProgramLauncher m_launcher;
    Platform m_platform{m_clock,      m_timers,   m_events,   m_messages, m_cursor,
                        m_processEnd, m_settings, m_registry, m_launcher};
};
