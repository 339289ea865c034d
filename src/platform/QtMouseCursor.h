#pragma once

#include "platform/MouseCursor.h"

// The program-wide cursor as an application override cursor.
class QtMouseCursor : public MouseCursor {
public:
    ~QtMouseCursor() override;
    void set(int cursor) override;
    int current() const override { return m_cursor; }

private:
    void dropOverride();

    int m_cursor = Default;
    bool m_overridden = false;
};
