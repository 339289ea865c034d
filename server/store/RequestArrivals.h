#pragma once

#include <QtGlobal>

// Tells the store when requests came in. While the count stands still, the store reuses its last
// check for others' commits: that check was made after every request being served now had
// arrived, so it saw every commit their senders could have seen.
class RequestArrivals {
public:
    virtual ~RequestArrivals() = default;
    // Grows with every read that brought requests in; never falls.
    virtual quint64 arrivalsSoFar() const = 0;

protected:
    RequestArrivals() = default;
    RequestArrivals(const RequestArrivals&) = default;
    RequestArrivals& operator=(const RequestArrivals&) = default;
};
