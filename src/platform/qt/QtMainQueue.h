#pragma once

#include "platform/MainQueue.h"

#include <QObject>

// The main queue of a Qt application: work runs on the thread of `context` (the
// application object), through its event loop, in the order posted.
class QtMainQueue : public MainQueue {
public:
    explicit QtMainQueue(QObject* context) : context_(context) {}
    void async(std::function<void()> work) override;
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) override;

private:
    QObject* context_;
};
