#include "platform/qt/QtHeapTrimmer.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

QtHeapTrimmer::QtHeapTrimmer(std::chrono::milliseconds quiet, std::function<void()> trim) {
    timer_.setSingleShot(true);
    timer_.setInterval(quiet);
    QObject::connect(&timer_, &QTimer::timeout, std::move(trim));
}

void QtHeapTrimmer::releaseFreePages() {
#ifdef __GLIBC__
    // Every arena, not only the main one: the account client and the management read
    // loop allocate on threads of their own.
    ::malloc_trim(0);
#endif
}
