#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

// Runs the Qt event loop until `done` holds or `timeout` passes; returns `done()`. The loop
// waits for events in the kernel; `done` is asked after each few milliseconds of them.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

// Runs the Qt event loop for `duration`.
inline void spin(std::chrono::milliseconds duration) {
    waitUntil([] { return false; }, duration);
}
