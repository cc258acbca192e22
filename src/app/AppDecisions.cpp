#include "app/AppDecisions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace app {

namespace {

// printf into a std::string of whatever length the text needs.
__attribute__((format(printf, 1, 2))) std::string StringPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

constexpr const char* kChannelNames[] = {"Stereo", "Mono Left", "Mono Right", "Mono Summed (L+R)",
                                         "Dual Mono"};
constexpr int kChannelColumns = sizeof(kChannelNames) / sizeof(kChannelNames[0]);

// "1:05" or "1:02:05".
std::string ClockText(double seconds) {
    const auto total = static_cast<long long>(std::max(0.0, seconds) + 0.5);
    if (total >= 3600) {
        return StringPrintf("%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    }
    return StringPrintf("%lld:%02lld", total / 60, total % 60);
}

}  // namespace

std::string formatTime(const timeParts& t) {
    return StringPrintf("%2lld:%02d:%02d.%02d", static_cast<long long>(t.hours),
                        static_cast<int>(t.minutes), static_cast<int>(t.seconds),
                        static_cast<int>(t.hundredths));
}

std::string ShortTimeText(uint64_t frames, uint32_t rate) {
    const timeParts t = TimeOfFrames(frames, rate);
    return StringPrintf("%lld:%02d:%02d.%02d", static_cast<long long>(t.hours),
                        static_cast<int>(t.minutes), static_cast<int>(t.seconds),
                        static_cast<int>(t.hundredths));
}

std::string MarkersLeftOutText(uint64_t count, uint32_t sampleRate) {
    const uint64_t reach = uint64_t{1} << 32;
    return StringPrintf(
        "%llu marker%s left out: a cue point cannot lie %llu frames (%s at %u Hz) "
        "or more into a file",
        static_cast<unsigned long long>(count), count == 1 ? "" : "s",
        static_cast<unsigned long long>(reach), ShortTimeText(reach, sampleRate).c_str(),
        sampleRate);
}

std::string formatBytes(double bytes) {
    // No real size is negative; NaN could not even be converted to a count.
    if (std::isnan(bytes) || bytes < 0) bytes = 0;
    if (bytes < 1000) return StringPrintf("%d B", static_cast<int>(bytes));
    if (bytes < 10000) return StringPrintf("%1.2f KB", bytes / 1000.0);
    if (bytes < 1000000) return StringPrintf("%1.f KB", bytes / 1000.0);
    if (bytes < 10000000) return StringPrintf("%1.2f MB", bytes / 1000000.0);
    return StringPrintf("%1.f MB", bytes / 1000000.0);
}

int BitCount(int widthColumn) {
    return widthColumn == 0 ? 16 : 24;
}

std::string WidthName(int widthColumn) {
    return StringPrintf("%d Bit", BitCount(widthColumn));
}

const char* ChannelName(int channelColumn) {
    if (channelColumn < 0 || channelColumn >= kChannelColumns) return kChannelNames[0];
    return kChannelNames[channelColumn];
}

bool IsDualMono(int channelColumn) {
    return channelColumn == kDualMonoColumn;
}

int ChannelColumnOf(const std::string& layoutName) {
    for (int column = 0; column < static_cast<int>(std::size(kLayoutNames)); ++column) {
        if (layoutName == kLayoutNames[column]) return column;
    }
    return 0;
}

const char* LayoutName(int channelColumn) {
    if (channelColumn < 0 || channelColumn >= static_cast<int>(std::size(kLayoutNames))) {
        return kLayoutNames[0];
    }
    return kLayoutNames[channelColumn];
}

std::string RateText(uint32_t sampleRate, bool ratesDiffer) {
    return StringPrintf("%0.1fKhz", ratesDiffer ? 0.0 : sampleRate / 1000.0);
}

std::string StatusText(int widthColumn, int channelColumn, const ProjectStatus& status) {
    const int bits = BitCount(widthColumn);
    const char* channels = ChannelName(channelColumn);
    if (!status.hasSize) return StringPrintf("%d Bit, %s", bits, channels);

    const std::string start = status.hasTimes ? formatTime(status.start) : std::string();
    const std::string end = status.hasTimes ? formatTime(status.end) : std::string();
    return StringPrintf("%d Bit, %s, %s, %s-%s, %s", bits, channels,
                        RateText(status.sampleRate, status.ratesDiffer).c_str(), start.c_str(),
                        end.c_str(), formatBytes(static_cast<double>(status.bytes)).c_str());
}

std::string LastPathComponent(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return std::string();  // "" or only slashes
    const size_t slash = path.find_last_of('/', end);
    const size_t begin = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(begin, end + 1 - begin);
}

std::string ProposedSingleName(const std::string& projectDir) {
    return LastPathComponent(projectDir);
}

std::string ProposedLeftName(const std::string& projectDir) {
    return LastPathComponent(projectDir) + "L";
}

std::string ProposedRightName(const std::string& leftPath, const std::string& projectDir) {
    static constexpr char kLeftEnding[] = "L.wav";
    static constexpr size_t kLeftEndingLength = sizeof(kLeftEnding) - 1;
    const std::string leftName = LastPathComponent(leftPath);
    if (leftName.size() >= kLeftEndingLength &&
        leftName.compare(leftName.size() - kLeftEndingLength, kLeftEndingLength, kLeftEnding) ==
            0) {
        return leftName.substr(0, leftName.size() - kLeftEndingLength) + "R";
    }
    return LastPathComponent(projectDir) + "R";
}

bool SameOutputPaths(const std::string& leftPath, const std::string& rightPath) {
    return leftPath == rightPath;
}

std::string WithOutputType(const std::string& name) {
    return name.empty() ? name : name + "." + kOutputFileType;
}

std::string ParentFolder(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    const size_t slash = end == std::string::npos ? end : path.find_last_of('/', end);
    if (slash == std::string::npos) return std::string();
    const size_t parentEnd = path.find_last_not_of('/', slash);
    return parentEnd == std::string::npos ? "/" : path.substr(0, parentEnd + 1);
}

std::string OutputStartFolder(const std::string& lastOutputFolder, const std::string& projectDir) {
    return lastOutputFolder.empty() ? ParentFolder(projectDir) : lastOutputFolder;
}

std::vector<std::string> WithRecentProject(std::vector<std::string> recent,
                                           const std::string& project) {
    std::erase(recent, project);
    recent.insert(recent.begin(), project);
    if (recent.size() > kMaxRecentProjects) recent.resize(kMaxRecentProjects);
    return recent;
}

std::string ShellQuoted(const std::string& word) {
    static constexpr char kSafe[] = "+,-./:=@_";
    const bool bare = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(kSafe, c) != nullptr;
    });
    if (bare) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ConvertCommandLine(const std::string& projectDir, const std::string& outputFolder,
                               int widthColumn, int channelColumn, bool markers) {
    const int column = channelColumn >= 0 && channelColumn < kChannelColumns ? channelColumn : 0;
    const std::string name =
        IsDualMono(column) ? ProposedLeftName(projectDir) : ProposedSingleName(projectDir);
    std::string output = WithOutputType(name);
    if (!outputFolder.empty())
        output = outputFolder + (outputFolder.back() == '/' ? "" : "/") + output;
    return "proj2wav convert " + ShellQuoted(projectDir) + " -o " + ShellQuoted(output) +
           " --bits " + std::to_string(BitCount(widthColumn)) + " --channels " +
           kLayoutNames[column] + (markers ? " --markers" : "");
}

uint64_t RoomNeeded(int64_t fileBytes) {
    // In unsigned 64 bits even the largest signed size plus the margin fits.
    const uint64_t size = fileBytes < 0 ? 0 : static_cast<uint64_t>(fileBytes);
    return size + static_cast<uint64_t>(kRoomMargin);
}

bool HasRoom(uint64_t freeBytes, int64_t fileBytes) {
    return freeBytes > RoomNeeded(fileBytes);
}

std::string QuotaRefusal(uint64_t quotaFreeBytes, int64_t projectBytes) {
    if (HasRoom(quotaFreeBytes, projectBytes)) return std::string();
    return std::string(kInsufficientSpace) + " The output needs " +
           formatBytes(static_cast<double>(RoomNeeded(projectBytes))) +
           ", and this browser lets the page store only " +
           formatBytes(static_cast<double>(quotaFreeBytes)) + " more (out of quota).";
}

std::string ProgressFigures(double percent, double elapsedSeconds, double totalBytes) {
    // The run's percentage may pass 100 by a rounding hair.
    if (!std::isfinite(percent)) percent = 0.0;
    percent = std::clamp(percent, 0.0, 100.0);
    std::string text = StringPrintf(" %3d%%  %s elapsed", static_cast<int>(percent),
                                    ClockText(elapsedSeconds).c_str());
    // Estimates need a little of the run behind them to mean anything.
    if (percent >= 1.0 && elapsedSeconds > 0.2) {
        const double left = elapsedSeconds * (100.0 - percent) / percent;
        const double megabytesPerSecond = totalBytes * percent / 100.0 / elapsedSeconds / 1e6;
        text += StringPrintf("  %s left  %.1f MB/s", ClockText(left).c_str(), megabytesPerSecond);
    }
    return text;
}

uint64_t ProgressSheet::Open() {
    state_ = State::Converting;
    bar_ = 0.0;
    text_ = kConverting;
    button_ = kCancelButton;
    return ++run_;
}

void ProgressSheet::Tick(double percent) {
    if (state_ != State::Converting) return;
    // The run adds 100 / blocks per block, so rounding can take the sum a hair
    // past 100 (or, in theory, anywhere); the bar stays within its range.
    if (std::isnan(percent) || percent < 0.0) percent = 0.0;
    if (percent > 100.0) percent = 100.0;
    bar_ = percent;
}

bool ProgressSheet::Finished(uint64_t ticket, bool success) {
    if (state_ != State::Converting || ticket != run_) return false;
    ShowOutcome(100.0, success ? kComplete : kFailed);
    state_ = State::Done;
    return true;
}

bool ProgressSheet::Cancel() {
    if (state_ != State::Converting) return false;
    ShowOutcome(0.0, kCancelled);
    state_ = State::Cancelled;
    return true;
}

ProgressSheet::ButtonAction ProgressSheet::PressButton() {
    switch (state_) {
        case State::Converting:
            Cancel();
            return ButtonAction::StopConversion;
        case State::Done:
        case State::Cancelled:
            state_ = State::Closed;
            text_ = "";
            button_ = "";
            return ButtonAction::CloseSheet;
        case State::Closed:
            break;
    }
    return ButtonAction::None;
}

void ProgressSheet::ShowOutcome(double bar, const char* text) {
    bar_ = bar;
    text_ = text;
    button_ = kOkButton;
}

}  // namespace app
