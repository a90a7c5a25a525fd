#pragma once

#include <QTimer>
#include <chrono>
#include <functional>

// Gives freed heap memory back to the system once the application has been quiet for
// a moment after a burst of work (its start, a connect, a disconnect). glibc keeps the
// pages of freed memory inside its heaps until asked; trimming after a burst keeps the
// resident memory of an application that connects and disconnects for days near what
// it actually holds. Other C libraries' allocators give memory back by themselves, and
// there trimming does nothing.
class QtHeapTrimmer {
public:
    // `trim` gives the free pages back: malloc_trim unless a test counts the calls.
    explicit QtHeapTrimmer(std::chrono::milliseconds quiet,
                           std::function<void()> trim = releaseFreePages);

    // Work happened: trims once `quiet` has passed with no more work.
    void workDone() { timer_.start(); }

    static void releaseFreePages();

private:
    QTimer timer_;
};
