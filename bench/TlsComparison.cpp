#include "TlsComparison.h"

#include "ServerProcess.h"

#include "protocol/FrameReader.h"
#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

using protocol::Request;

namespace {

QByteArray frameOf(const Request& request) {
    return protocol::encodeFrame(protocol::encodeRequest(request).value());
}

// One connection driven by the event loop: set up, then a request each time a reply is whole.
struct Driver {
    std::unique_ptr<QSslSocket> socket = std::make_unique<QSslSocket>();
    protocol::FrameReader reader;
    int setUpStep = 0;
    qint64 handle = 0;
    QElapsedTimer started;
};

struct Result {
    double perSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
    double maxUs = 0;
};

Result measure(ServerProcess& server, bool tls, const QString& caFile, int connections,
               double seconds) {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(QSslCertificate::fromPath(caFile));
    std::vector<std::unique_ptr<Driver>> drivers;
    std::vector<qint64> latenciesNs;
    bool measuring = false;
    const QByteArray setUp[] = {
        frameOf(Request::hello(QLatin1String(protocol::DefaultNamespace), protocol::Version)),
        frameOf(Request::signIn("1", "DEMO", "demo")),
        frameOf(Request::open("LX.ParPersEdv", "1||DEMO")),
    };
    int ready = 0;
    for (int i = 0; i < connections; ++i) {
        auto driver = std::make_unique<Driver>();
        Driver* d = driver.get();
        QObject::connect(d->socket.get(), &QSslSocket::readyRead, [&, d] {
            d->reader.feed(d->socket->readAll());
            while (const std::optional<QByteArray> frame = d->reader.takeFrame()) {
                const auto reply = protocol::decodeResponse(*frame);
                if (!reply.ok() || !reply.value().ok) {
                    throw std::runtime_error("a request failed");
                }
                if (d->setUpStep < 3) {
                    if (++d->setUpStep == 3) {
                        d->handle = reply.value().handle;
                        ++ready;
                    } else {
                        d->socket->write(setUp[d->setUpStep]);
                        continue;
                    }
                } else if (measuring) {
                    latenciesNs.push_back(d->started.nsecsElapsed());
                }
                if (ready == connections) {
                    d->started.start();
                    d->socket->write(frameOf(Request::get(d->handle, "AKTIV")));
                }
            }
        });
        if (tls) {
            d->socket->setSslConfiguration(configuration);
            QObject::connect(d->socket.get(), &QSslSocket::encrypted,
                             [d, &setUp] { d->socket->write(setUp[0]); });
            d->socket->connectToHostEncrypted("127.0.0.1", server.port(), "localhost");
        } else {
            QObject::connect(d->socket.get(), &QSslSocket::connected,
                             [d, &setUp] { d->socket->write(setUp[0]); });
            d->socket->connectToHost("127.0.0.1", server.port());
        }
        drivers.push_back(std::move(driver));
    }
    QElapsedTimer clock;
    clock.start();
    while (ready < connections && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    if (ready < connections) {
        std::fprintf(stderr, "only %d of %d connections were set up within a minute\n", ready,
                     connections);
    }
    // The last connection to finish its set-up started nobody else: start them all now.
    for (auto& d : drivers) {
        if (d->setUpStep == 3 && !d->started.isValid()) {
            d->started.start();
            d->socket->write(frameOf(Request::get(d->handle, "AKTIV")));
        }
    }
    const qint64 warmUp = clock.elapsed() + 300;
    while (clock.elapsed() < warmUp) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    measuring = true;
    const qint64 end = clock.elapsed() + static_cast<qint64>(seconds * 1000);
    while (clock.elapsed() < end) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    measuring = false;
    Result result;
    std::sort(latenciesNs.begin(), latenciesNs.end());
    if (!latenciesNs.empty()) {
        const auto at = [&](double share) {
            return static_cast<double>(
                       latenciesNs[static_cast<size_t>(share * (latenciesNs.size() - 1))]) /
                   1000.0;
        };
        result.perSecond = static_cast<double>(latenciesNs.size()) / seconds;
        result.p50Us = at(0.5);
        result.p99Us = at(0.99);
        result.maxUs = at(1.0);
    }
    for (auto& d : drivers) {
        d->socket->disconnect();
        d->socket->abort();
    }
    return result;
}

} // namespace

void compareTls(ServerProcess& plain, ServerProcess& tls, const QString& caFile,
                const QList<int>& connections, double seconds, int runs) {
    std::printf("\nround trip (get) over Qt sockets, clear text against TLS; medians of %d\n",
                runs);
    std::printf("%-10s %5s %12s %10s %10s %10s\n", "link", "conns", "requests/s", "p50 us",
                "p99 us", "max us");
    for (const int count : connections) {
        for (const bool encrypted : {false, true}) {
            std::vector<Result> results;
            for (int run = 0; run < runs; ++run) {
                results.push_back(
                    measure(encrypted ? tls : plain, encrypted, caFile, count, seconds));
            }
            std::sort(results.begin(), results.end(),
                      [](const Result& a, const Result& b) { return a.perSecond < b.perSecond; });
            const Result& median = results[results.size() / 2];
            std::printf("%-10s %5d %12.0f %10.1f %10.1f %10.1f\n", encrypted ? "TLS" : "clear",
                        count, median.perSecond, median.p50Us, median.p99Us, median.maxUs);
            std::fflush(stdout);
        }
    }
}
