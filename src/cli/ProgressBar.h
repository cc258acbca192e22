// The progress line a conversion draws on a terminal: a bar, the percentage, the
// time spent and the time left, and the output's write speed.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

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

}  // namespace cli
