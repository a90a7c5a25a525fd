#include "platform/qt/QtMainQueue.h"

#include <QMetaObject>
#include <QTimer>

void QtMainQueue::async(std::function<void()> work) {
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
}

void QtMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    // From another thread the timer must start on the main thread, which owns `context_`.
    QMetaObject::invokeMethod(
        context_,
        [context = context_, delay, work = std::move(work)]() mutable {
            QTimer::singleShot(delay, context, std::move(work));
        },
        Qt::QueuedConnection);
}
