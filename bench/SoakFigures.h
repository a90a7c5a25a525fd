#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Resident memory, open descriptors and, when given a way to ask, the live heap bytes
// of a process, one sample per cycle of a soak, and their growth per cycle after a
// warm-up (least-squares slope). The live heap is what the process holds (and what its
// allocator counts as such); resident memory also counts freed pages the allocator
// keeps and is given beside it, whole and in its private anonymous part (heaps,
// stacks): the whole also counts pages shared with others, such as the image buffers a
// window shares with the X server, which come and go with the windows on the screen.
class SoakFigures {
public:
    // Bytes of heap the process holds now; negative when they cannot be had.
    using LiveHeap = std::function<long long()>;

    // Room for every sample is made here: growing it during the soak would be counted
    // as the measured process's own growth when that process is this one.
    SoakFigures(pid_t pid, int cycles, int warmUp, int out, LiveHeap liveHeap = {})
        : proc_("/proc/" + std::to_string(pid)), warmUp_(warmUp), out_(out),
          liveHeap_(std::move(liveHeap)) {
        for (auto* figures : {&rss_, &anon_, &fds_, &heap_})
            figures->reserve(static_cast<size_t>(cycles));
        ::dprintf(out_, "cycle  rss_kib  anon_kib  fds%s\n", liveHeap_ ? "  heap_bytes" : "");
    }

    // False when the live heap was asked for and could not be had.
    bool sample(int cycle) {
        const long kib = statusKiB("VmRSS:"), anon = statusKiB("RssAnon:"), fds = openDescriptors();
        const long long heap = liveHeap_ ? liveHeap_() : 0;
        ::dprintf(out_, "%5d  %7ld  %8ld  %3ld", cycle, kib, anon, fds);
        if (liveHeap_)
            ::dprintf(out_, "  %10lld", heap);
        ::dprintf(out_, "\n");
        if (cycle > warmUp_) {
            rss_.push_back(static_cast<double>(kib));
            anon_.push_back(static_cast<double>(anon));
            fds_.push_back(static_cast<double>(fds));
            heap_.push_back(static_cast<double>(heap));
        }
        return heap >= 0;
    }

    void summary() const {
        ::dprintf(out_,
                  "after %d warm-up cycles, over %zu cycles: rss %+.3f kB/cycle (private "
                  "anonymous %+.3f), fds %+.4f/cycle\n",
                  warmUp_, rss_.size(), slope(rss_), slope(anon_), slope(fds_));
        if (liveHeap_ && !heap_.empty())
            ::dprintf(out_,
                      "live heap %+.1f bytes/cycle (%.0f bytes after the warm-up, %.0f at "
                      "the end)\n",
                      liveHeapSlope(), heap_.front(), heap_.back());
    }

    double liveHeapSlope() const { return slope(heap_); }

    // Least-squares slope of `values` over their index.
    static double slope(const std::vector<double>& values) {
        const double n = static_cast<double>(values.size());
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            const double x = static_cast<double>(i);
            sx += x;
            sy += values[i];
            sxx += x * x;
            sxy += x * values[i];
        }
        const double d = n * sxx - sx * sx;
        return d == 0 ? 0 : (n * sxy - sx * sy) / d;
    }

private:
    // A "Name: N kB" figure of /proc/PID/status.
    long statusKiB(const std::string& name) const {
        std::ifstream status(proc_ + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(name, 0) == 0)
                return std::stol(line.substr(name.size()));
        return -1;
    }
    long openDescriptors() const {
        return static_cast<long>(std::distance(std::filesystem::directory_iterator(proc_ + "/fd"),
                                               std::filesystem::directory_iterator()));
    }
    const std::string proc_;
    const int warmUp_;
    const int out_;
    const LiveHeap liveHeap_;
    std::vector<double> rss_, anon_, fds_, heap_;
};
