#include "app/AppDecisions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/ProjectSession.h"
#include "platform/Paths.h"

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

std::string WidthName(int bits) {
    return StringPrintf("%d Bit", bits == 24 ? 24 : 16);
}

const char* ChannelName(ChanTypes layout) {
    if (layout < 0 || layout >= kChannelColumns) return kChannelNames[0];
    return kChannelNames[layout];
}

bool LayoutOf(const std::string& layoutName, ChanTypes& layout) {
    for (int i = 0; i < static_cast<int>(std::size(kLayoutNames)); ++i) {
        if (layoutName == kLayoutNames[i]) {
            layout = static_cast<ChanTypes>(i);
            return true;
        }
    }
    return false;
}

const char* LayoutName(ChanTypes layout) {
    if (layout < 0 || layout >= static_cast<int>(std::size(kLayoutNames))) return kLayoutNames[0];
    return kLayoutNames[layout];
}

std::string RateText(uint32_t sampleRate, bool ratesDiffer) {
    return StringPrintf("%0.1fKhz", ratesDiffer ? 0.0 : sampleRate / 1000.0);
}

std::string StatusText(const OutputFormat& format, const ProjectStatus& status) {
    const int bits = format.bits == 24 ? 24 : 16;
    const char* channels = ChannelName(format.layout);
    if (!status.hasSize) return StringPrintf("%d Bit, %s", bits, channels);

    const std::string start = status.hasTimes ? formatTime(status.start) : std::string();
    const std::string end = status.hasTimes ? formatTime(status.end) : std::string();
    return StringPrintf("%d Bit, %s, %s, %s-%s, %s", bits, channels,
                        RateText(status.sampleRate, status.ratesDiffer).c_str(), start.c_str(),
                        end.c_str(), formatBytes(static_cast<double>(status.bytes)).c_str());
}

std::string ProposedSingleName(const std::string& projectDir) {
    return paths::LastComponent(projectDir);
}

std::string ProposedLeftName(const std::string& projectDir) {
    return paths::LastComponent(projectDir) + "L";
}

std::string RightOutputPath(const std::string& leftPath) {
    std::string stem = leftPath;
    const std::string type = std::string(".") + kOutputFileType;
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    };
    if (stem.size() > type.size() &&
        std::equal(stem.end() - static_cast<std::ptrdiff_t>(type.size()), stem.end(), type.begin(),
                   sameLetter)) {
        stem.resize(stem.size() - type.size());
    }
    if (!paths::LastComponent(stem).empty() && stem.back() == 'L') stem.pop_back();
    return stem + "R" + type;
}

bool SameOutputPaths(const std::string& leftPath, const std::string& rightPath) {
    return leftPath == rightPath;
}

std::string WithOutputType(const std::string& name) {
    return name.empty() ? name : name + "." + kOutputFileType;
}

std::string OutputStartFolder(const std::string& lastOutputFolder, const std::string& projectDir) {
    return lastOutputFolder.empty() ? paths::Folder(projectDir) : lastOutputFolder;
}

std::vector<std::string> WithRecentProject(std::vector<std::string> recent,
                                           const std::string& project) {
    std::erase(recent, project);
    recent.insert(recent.begin(), project);
    if (recent.size() > kMaxRecentProjects) recent.resize(kMaxRecentProjects);
    return recent;
}

std::string CompleteHeadline(size_t silenced) {
    if (silenced == 0) return kComplete;
    return "Conversion complete with gaps: " + std::to_string(silenced) +
           (silenced == 1 ? " stretch" : " stretches") + " of audio could not be read and " +
           (silenced == 1 ? "is" : "are") + " silence in the output.";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
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

std::string MissingPathText(const std::string& path) {
    return "Cannot open " + Quoted(path) + ": there is no such file or folder.";
}

std::string NoFileManagerText(const std::string& folder) {
    return "Cannot show " + Quoted(folder) +
           ": no file manager could be started. The output is in that folder.";
}

std::string ConvertCommandLine(const std::string& projectDir, const std::string& outputFolder,
                               const OutputFormat& format, const std::string& program) {
    const std::string name =
        format.TwoFiles() ? ProposedLeftName(projectDir) : ProposedSingleName(projectDir);
    const std::string output = paths::Join(outputFolder, WithOutputType(name));
    return ShellQuoted(program) + " convert " + ShellQuoted(projectDir) + " -o " +
           ShellQuoted(output) + " --bits " + std::to_string(format.bits == 24 ? 24 : 16) +
           " --channels " + LayoutName(format.layout) + (format.markers ? " --markers" : "");
}

std::string CommandLineProgram(const std::string& program, const std::string& onPath) {
    return program.empty() || program == onPath ? "proj2wav" : program;
}

WindowSize FirstWindowSize(WindowSize wanted, WindowSize least, WindowSize minimum,
                           WindowSize available) {
    const auto fit = [](int want, int atLeast, int smallest, int room) {
        return std::max(std::min(std::max(want, atLeast), room), smallest);
    };
    return {
        fit(wanted.width, least.width, minimum.width, available.width - kWindowFrame.width),
        fit(wanted.height, least.height, minimum.height, available.height - kWindowFrame.height)};
}

uint64_t RoomNeeded(int64_t fileBytes) {
    // In unsigned 64 bits even the largest signed size plus the margin fits.
    const uint64_t size = fileBytes < 0 ? 0 : static_cast<uint64_t>(fileBytes);
    return size + static_cast<uint64_t>(kRoomMargin);
}

bool HasRoom(uint64_t freeBytes, int64_t fileBytes) {
    return freeBytes > RoomNeeded(fileBytes);
}

std::string QuotaRefusal(uint64_t quotaFreeBytes, int64_t projectBytes, size_t outputs) {
    if (HasRoom(quotaFreeBytes, projectBytes)) return std::string();
    const std::string what =
        outputs == 1 ? " The output needs " : " The " + std::to_string(outputs) + " outputs need ";
    return std::string(kInsufficientSpace) + what +
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
    runEnded_ = false;
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

bool ProgressSheet::Finished(uint64_t ticket, const RunOutcome& outcome) {
    if (ticket != run_ || runEnded_ ||
        (state_ != State::Converting && state_ != State::Cancelled)) {
        return false;
    }
    runEnded_ = true;
    // What the outputs hold, whatever the run had reached when the stop came.
    const double written = outcome.total == 0
                               ? 0.0
                               : std::min(100.0, 100.0 * static_cast<double>(outcome.frames) /
                                                     static_cast<double>(outcome.total));
    switch (outcome.end) {
        case RunOutcome::End::Complete:
            ShowOutcome(State::Done, 100.0, CompleteHeadline(outcome.silenced.size()));
            break;
        case RunOutcome::End::Stopped:
            ShowOutcome(State::Cancelled, written, kCancelled);
            break;
        case RunOutcome::End::Failed:
            ShowOutcome(State::Failed, written, kFailed);
            break;
    }
    return true;
}

bool ProgressSheet::Cancel() {
    if (state_ != State::Converting) return false;
    ShowOutcome(State::Cancelled, bar_, kCancelled);
    return true;
}

ProgressSheet::ButtonAction ProgressSheet::PressButton() {
    switch (state_) {
        case State::Converting:
            Cancel();
            return ButtonAction::StopConversion;
        case State::Done:
        case State::Failed:
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

int ProgressSheet::percent() const {
    return static_cast<int>(bar_);
}

const char* ProgressSheet::title() const {
    switch (state_) {
        case State::Converting:
            return kConvertingTitle;
        case State::Done:
            return kCompleteTitle;
        case State::Failed:
            return kFailedTitle;
        case State::Cancelled:
            return kCancelledTitle;
        case State::Closed:
            break;
    }
    return "";
}

void ProgressSheet::ShowOutcome(State state, double bar, std::string text) {
    state_ = state;
    bar_ = bar;
    text_ = std::move(text);
    button_ = kOkButton;
}

}  // namespace app
