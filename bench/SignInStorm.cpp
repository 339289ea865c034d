#include "SignInStorm.h"

#include "LoadConnection.h"
#include "ProcessUsage.h"
#include "ServerProcess.h"

#include "protocol/Limits.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using protocol::Request;
using Clock = LoadConnection::Clock;

struct Storm {
    double seconds = 0;
    double cpuMsPerSignIn = 0;
    int refused = 0;
};

// Each monitor connects (from an address of its own, as a store does), says hello and signs
// in with tokens[i] (empty: the password only); its new token replaces tokens[i].
Storm signInAll(ServerProcess& server, std::vector<QString>& tokens, int parallel) {
    std::atomic<int> next{0};
    std::atomic<int> refused{0};
    const double cpuBefore = ProcessUsage::of(server.processId()).cpuSeconds;
    const Clock::time_point started = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < parallel; ++t) {
        threads.emplace_back([&] {
            for (int i = next++; i < static_cast<int>(tokens.size()); i = next++) {
                try {
                    LoadConnection connection(server.port(), static_cast<quint32>(1 + i % 250));
                    connection.exchange(Request::hello(QLatin1String(protocol::DefaultNamespace),
                                                       protocol::Version));
                    const protocol::Response reply =
                        connection.exchange(Request::signIn("1", "DEMO", "demo", tokens[i]));
                    if (reply.value != QVariant(true)) {
                        ++refused;
                    }
                    tokens[i] = reply.resume;
                } catch (const std::exception&) {
                    ++refused;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    Storm storm;
    storm.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    storm.cpuMsPerSignIn = (ProcessUsage::of(server.processId()).cpuSeconds - cpuBefore) * 1000.0 /
                           static_cast<double>(tokens.size());
    storm.refused = refused;
    return storm;
}

void print(const char* what, int monitors, const Storm& storm) {
    std::printf("%-34s %6d %10.2f s %12.3f ms %8d\n", what, monitors, storm.seconds,
                storm.cpuMsPerSignIn, storm.refused);
}

} // namespace

void compareSignInStorms(ServerProcess& server, int monitors, int parallel) {
    std::vector<QString> tokens(static_cast<size_t>(monitors));
    std::printf("\n%-34s %6s %12s %15s %8s\n", "sign-in storm", "monitors", "wall",
                "server CPU each", "refused");
    // Password checks wait in a queue of 64 at most; more at once would be refused with 5052.
    print("with the password", monitors, signInAll(server, tokens, std::min(parallel, 16)));
    if (!server.restart()) {
        throw std::runtime_error("the server did not start again");
    }
    print("after a restart, with the token", monitors, signInAll(server, tokens, parallel));
    print("again, with the next token", monitors, signInAll(server, tokens, parallel));
}
