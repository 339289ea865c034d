#pragma once

#include "platform/EventPump.h"

// Pending events through the Qt event loop; waiting sleeps in a nested loop (no busy wait).
class QtEventPump : public EventPump {
public:
    void processEvents() override;
    void waitFor(int ms) override;
    void post(std::function<void()> task) override;
};
