#pragma once

#include <functional>

// Lets pending window events run, and waits without burning CPU.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs what is pending now, then returns.
    virtual void processEvents() = 0;
    // Runs events as they come for up to ms milliseconds, sleeping in between.
    virtual void waitFor(int ms) = 0;
    // Runs task once, from the event loop, after the handler that posts it has returned.
    virtual void post(std::function<void()> task) = 0;
};
