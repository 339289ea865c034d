#pragma once

// When a cash register needs the user: this many unposted transactions, or a last counter that
// has not moved for this long while transactions are open.
struct AttentionLimits {
    static constexpr double kDefaultCount = 10;
    static constexpr int kDefaultStillMinutes = 15;

    double count = kDefaultCount;
    int stillMinutes = kDefaultStillMinutes;
};
