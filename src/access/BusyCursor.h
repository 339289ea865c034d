#pragma once

class MouseCursor;

// The program-wide "still working" pointer (arrow and hourglass: the windows keep answering)
// while a server access keeps the user's own action waiting. Counted, so overlapping waits
// show it until the last one ends; then the pointer from before the first comes back, unless
// another one was set meanwhile.
class BusyCursor {
public:
    explicit BusyCursor(MouseCursor& cursor);

    void begin();
    void end();

    class Scope {
    public:
        explicit Scope(BusyCursor& busy)
            : m_busy(busy) {
            m_busy.begin();
        }
        ~Scope() { m_busy.end(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        BusyCursor& m_busy;
    };

private:
    MouseCursor& m_cursor;
    int m_count = 0;
    int m_before = 0;
};
