#pragma once

#include "FakeDesktop.h"
#include "FakeTime.h"
#include "MemoryRegistry.h"
#include "platform/Platform.h"

// Every seam faked, wired into one Platform for the code under test.
struct FakePlatform {
    FakeTime time;
    FakeMessageBoxes messages;
    FakeMouseCursor cursor;
    FakeProcessEnd processEnd;
    MemorySettingsStore settings;
    MemoryRegistry registry;
    FakeLauncher launcher;
    Platform platform{time, time, time, messages, cursor, processEnd, settings, registry, launcher};
};
