#include "cli/ProgressBar.h"

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// "1:05" or "1:02:05".
std::string ClockText(double seconds) {
    const auto total = static_cast<long long>(std::max(0.0, seconds) + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

std::string ProgressLine(double percent, double elapsedSeconds, double totalBytes) {
    // The run's percentage may pass 100 by a rounding hair.
    if (!std::isfinite(percent)) percent = 0.0;
    percent = std::clamp(percent, 0.0, 100.0);
    const int filled = static_cast<int>(percent / 100.0 * kBarWidth);
    std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]";

    char text[128];
    std::snprintf(text, sizeof text, " %3d%%  %s elapsed", static_cast<int>(percent),
                  ClockText(elapsedSeconds).c_str());
    line += text;
    // Estimates need a little of the run behind them to mean anything.
    if (percent >= 1.0 && elapsedSeconds > 0.2) {
        const double left = elapsedSeconds * (100.0 - percent) / percent;
        const double megabytesPerSecond = totalBytes * percent / 100.0 / elapsedSeconds / 1e6;
        std::snprintf(text, sizeof text, "  %s left  %.1f MB/s", ClockText(left).c_str(),
                      megabytesPerSecond);
        line += text;
    }
    return line;
}

ProgressBar::ProgressBar(std::FILE* out, int64_t totalBytes)
    : out_(out),
      totalBytes_(static_cast<double>(totalBytes)),
      start_(Clock::now()),
      lastDraw_(start_ - kRedrawInterval) {}

void ProgressBar::Update(double percent) {
    const Clock::time_point now = Clock::now();
    if (now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string line = ProgressLine(percent, elapsed, totalBytes_);
    const size_t width = line.size();
    // Blank out what a longer earlier line left behind.
    if (width < drawnWidth_) line += std::string(drawnWidth_ - width, ' ');
    drawnWidth_ = width;
    std::fprintf(out_, "\r%s", line.c_str());
    std::fflush(out_);
}

void ProgressBar::Clear() {
    if (drawnWidth_ == 0) return;
    std::fprintf(out_, "\r%s\r", std::string(drawnWidth_, ' ').c_str());
    std::fflush(out_);
    drawnWidth_ = 0;
}

}  // namespace cli
