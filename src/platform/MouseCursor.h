#pragma once

// The program-wide mouse cursor, by the classic cursor numbers.
class MouseCursor {
public:
    static constexpr int Default = 0;
    static constexpr int Arrow = 1;
    static constexpr int Hourglass = 11;
    // Working in the background; the program still takes input.
    static constexpr int ArrowHourglass = 13;

    virtual ~MouseCursor() = default;
    virtual void set(int cursor) = 0;
    virtual int current() const = 0;
};
