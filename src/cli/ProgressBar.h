// The progress line a conversion draws on a terminal: a bar, the percentage, the
// time spent and the time left, and the output's write speed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

namespace cli {

// "[##########----------]  50%  0:12 elapsed  0:12 left  41.3 MB/s" for a run
// `percent` done after `elapsedSeconds` that writes `totalBytes` in all.
std::string ProgressLine(double percent, double elapsedSeconds, double totalBytes);

// Draws the line in place on `out` (a terminal), at most ten times a second.
class ProgressBar {
public:
    ProgressBar(std::FILE* out, int64_t totalBytes);
    void Update(double percent);
    // Removes the line, so that the messages that follow stand alone.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;

    std::FILE* out_;
    double totalBytes_;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
    size_t drawnWidth_ = 0;
};

// Runs `work(progress)` (which adds to `progress`, in percent, as it goes). With
// `showProgress` it runs on a worker while this thread draws the bar on stderr for
// a run of `totalBytes`; without, there is nothing to wake up for, and it runs
// right here. Returns what `work` returns.
template <typename Work>
auto RunWithProgressBar(bool showProgress, uint64_t totalBytes, Work work) {
    std::atomic<double> progress{0.0};
    if (!showProgress) return work(progress);
    ProgressBar bar(stderr, static_cast<int64_t>(totalBytes));
    bar.Update(0.0);  // at once, however short the run
    decltype(work(progress)) result;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        result = work(progress);
        finished.store(true, std::memory_order_release);
    });
    while (!finished.load(std::memory_order_acquire)) {
        bar.Update(progress.load(std::memory_order_relaxed));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    bar.Clear();
    return result;
}

}  // namespace cli
