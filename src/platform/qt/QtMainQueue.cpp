#include "platform/qt/QtMainQueue.h"

#include <QMetaObject>

void QtMainQueue::async(std::function<void()> work) {
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
}
