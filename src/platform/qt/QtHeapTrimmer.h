#pragma once

#include <QTimer>
#include <chrono>
#include <functional>

// Gives freed heap memory back to the system once the application has been quiet for
// a moment after a burst of work (its start, a connect, a disconnect). glibc keeps the
// pages of freed memory inside its heap, and the next burst's allocations land on other
// free pages of it; without this, the resident memory of an application that connects
// and disconnects for days creeps up with every connection although what it holds
// stays the same.
class QtHeapTrimmer {
public:
    // `trim` gives the free pages back: malloc_trim unless a test counts the calls.
    explicit QtHeapTrimmer(std::chrono::milliseconds quiet,
                           std::function<void()> trim = releaseFreePages);

    // Work happened: trims once `quiet` has passed with no more work.
    void workDone() { timer_.start(); }

    static void releaseFreePages();

    // Blocks of 64 KiB and more get mappings of their own, which go back to the system
    // when freed. glibc otherwise raises that bound each time such a block is freed, and
    // later large blocks (images, network buffers) then come from the heap itself, which
    // they spread out and leave scattered with what lives on. Called first in main, before
    // the first such block.
    static void keepLargeBlocksOutOfTheHeap();

private:
    QTimer timer_;
};
