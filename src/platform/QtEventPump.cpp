#include "platform/QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void QtEventPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitFor(int ms) {
    if (ms <= 0) {
        processEvents();
        return;
    }
    QEventLoop loop;
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    QObject::connect(&wakeUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    wakeUp.start(ms);
    loop.exec(QEventLoop::AllEvents);
}

void QtEventPump::post(std::function<void()> task) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QTimer::singleShot(0, app, std::move(task));
    }
}
