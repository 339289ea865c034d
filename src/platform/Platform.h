#pragma once

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/MessageBoxes.h"
#include "platform/MouseCursor.h"
#include "platform/ProcessEnd.h"
#include "platform/ProgramLauncher.h"
#include "platform/Registry.h"
#include "platform/SettingsStore.h"
#include "platform/Timer.h"

// The seams to the desktop, handed to every layer that needs one. Production code gets the
// Qt implementations (QtPlatform), tests a scriptable fake.
struct Platform {
    Clock& clock;
    TimerFactory& timers;
    EventPump& events;
    MessageBoxes& messages;
    MouseCursor& cursor;
    ProcessEnd& processEnd;
    SettingsStore& settings;
    Registry& registry;
    ProgramLauncher& launcher;
};
