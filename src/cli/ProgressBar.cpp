#include "cli/ProgressBar.h"

#include <algorithm>
#include <cmath>

#include "app/AppDecisions.h"

namespace cli {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

std::string ProgressLine(double percent, double elapsedSeconds, double totalBytes) {
    const double shown = std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0;
    const int filled = static_cast<int>(shown / 100.0 * kBarWidth);
    return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]" +
           app::ProgressFigures(percent, elapsedSeconds, totalBytes);
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
