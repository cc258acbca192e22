#include "app/ProjectView.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <unordered_map>
#include <utility>

#include "app/AppDecisions.h"
#include "app/TakeProblemText.h"
#include "app/Version.h"
#include "engine/ProjectSession.h"
#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"

namespace app {

namespace {

std::string TimeText(const ProjectSession& session, uint64_t frame) {
    return formatTime(session.TimeOf(frame));
}

// The row of every entry name of the last scan (names in one directory differ).
std::unordered_map<std::string, int> RowsByName(const ProjectSession& session) {
    std::unordered_map<std::string, int> rows;
    const std::vector<ProjectEntry>& entries = session.Entries();
    rows.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) rows.emplace(entries[i].name, static_cast<int>(i));
    return rows;
}

}  // namespace

std::string OriginationText(const kxFile& take) {
    std::tm t{};
    take.GetCreateTime(t);  // the fields hold the calendar values as written in 'bext'
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year, t.tm_mon,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::vector<TakeRow> BuildTakeRows(const ProjectSession& session) {
    std::vector<TakeRow> rows(session.Entries().size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ProjectEntry& entry = session.Entries()[i];
        rows[i].name = entry.name;
        rows[i].reason = TakeProblemText(entry.problem, entry.found);
    }
    // The accepted takes sit in the project list, in origination order.
    const std::unordered_map<std::string, int> rowOf = RowsByName(session);
    for (const kxFile* takeFile : session.Takes()) {
        const kxFile& take = *takeFile;
        const auto found = rowOf.find(paths::LastComponent(take.Path()));
        if (found == rowOf.end()) continue;
        TakeRow& row = rows[static_cast<size_t>(found->second)];
        const uint16_t frameBytes = take.BytesPerSample();
        row.accepted = true;
        row.reason.clear();
        row.channels = take.Channels();
        row.bits = take.BitsPerSample();
        row.sampleRate = take.SampleRate();
        row.startSample = take.StartLocation();
        row.frames = take.FrameCount();
        row.declaredFrames = frameBytes == 0 ? 0 : take.DeclaredDataSize() / frameBytes;
        row.origination = OriginationText(take);
        row.startText = ShortTimeText(row.startSample, row.sampleRate);
        row.lengthText = ShortTimeText(row.frames, row.sampleRate);
        row.projectRate = session.SampleRate();
    }
    return rows;
}

std::string TruncationText(const TakeRow& row) {
    if (!row.truncated()) return std::string();
    return "holds " + row.lengthText + " of " + ShortTimeText(row.declaredFrames, row.sampleRate);
}

std::string TakeStatusText(const TakeRow& row) {
    if (!row.accepted) return "refused: " + row.reason;
    if (row.truncated()) return "truncated: " + TruncationText(row);
    if (row.otherRate()) {
        return "accepted: " + std::to_string(row.sampleRate) + " Hz, the project is " +
               std::to_string(row.projectRate) + " Hz";
    }
    return "accepted";
}

std::string RefusedEntriesText(const std::vector<TakeRow>& rows) {
    if (rows.empty()) return std::string();
    const auto refused =
        std::count_if(rows.begin(), rows.end(), [](const TakeRow& row) { return !row.accepted; });
    const auto otherRate =
        std::count_if(rows.begin(), rows.end(), [](const TakeRow& row) { return row.otherRate(); });
    std::string text = std::to_string(refused) + " of " + std::to_string(rows.size()) +
                       (rows.size() == 1 ? " entry" : " entries") + " refused";
    if (otherRate != 0) {
        text += ", " + std::to_string(otherRate) + (otherRate == 1 ? " take" : " takes") +
                " at another rate";
    }
    return text;
}

std::string LeftOutEntriesText(const std::vector<TakeRow>& rows) {
    const bool anyRefused =
        std::any_of(rows.begin(), rows.end(), [](const TakeRow& row) { return !row.accepted; });
    return anyRefused ? RefusedEntriesText(rows) + "; they are not in the output" : std::string();
}

const char* LayoutWord(uint16_t channels) {
    return channels == 2 ? "stereo" : "mono";
}

std::string TakeCellText(const TakeRow& row, int column) {
    if (column == kTakeName) return row.name;
    if (column == kTakeStatus) return TakeStatusText(row);
    if (!row.accepted) return std::string();
    switch (column) {
        case kTakeChannels:
            return LayoutWord(row.channels);
        case kTakeBits:
            return std::to_string(row.bits) + "-bit";
        case kTakeRate:
            return std::to_string(row.sampleRate) + " Hz";
        case kTakeStart:
            return row.startText;
        case kTakeLength:
            return row.lengthText;
        case kTakeRecorded:
            return row.origination;
        default:
            return std::string();
    }
}

bool TakeRowBefore(const TakeRow& a, const TakeRow& b, int column) {
    if (column == kTakeName) return a.name < b.name;
    if (column == kTakeStatus) return TakeStatusText(a) < TakeStatusText(b);
    if (a.accepted != b.accepted) return a.accepted;
    const auto facts = [column](const TakeRow& row) -> std::pair<uint64_t, std::string> {
        switch (column) {
            case kTakeChannels:
                return {row.channels, ""};
            case kTakeBits:
                return {row.bits, ""};
            case kTakeRate:
                return {row.sampleRate, ""};
            case kTakeStart:
                return {row.startSample, ""};
            case kTakeLength:
                return {row.frames, ""};
            case kTakeRecorded:
                return {0, row.origination};
            default:
                return {0, ""};
        }
    };
    return facts(a) < facts(b);
}

namespace {

// A share `alpha` (0 to 1) of `colour` laid over `background`, as one opaque colour.
Rgb Blend(Rgb colour, Rgb background, double alpha) {
    const auto mix = [alpha](int a, int b) {
        return static_cast<int>(a * alpha + b * (1 - alpha));
    };
    return {mix(colour.red, background.red), mix(colour.green, background.green),
            mix(colour.blue, background.blue)};
}

// Relative luminance as WCAG 2 defines it.
double Luminance(Rgb colour) {
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) +
           0.0722 * linear(colour.blue);
}

}  // namespace

BlockColours TakeBlockColours(int take, Rgb base, Rgb text) {
    constexpr int count = static_cast<int>(std::size(kTakeColours));
    const Rgb colour = kTakeColours[((take % count) + count) % count];
    return {Blend(colour, base, 0.45), Blend(colour, text, 0.5)};
}

Rgb WarningTextColour(Rgb base) {
    constexpr Rgb kOnLight = {0xa0, 0x3a, 0x00};
    constexpr Rgb kOnDark = {0xff, 0xa0, 0x50};
    return ContrastRatio(kOnLight, base) >= ContrastRatio(kOnDark, base) ? kOnLight : kOnDark;
}

double ContrastRatio(Rgb a, Rgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Timeline BuildTimeline(const ProjectSession& session) {
    Timeline timeline;
    if (session.FirstEvent() == nullptr) return timeline;
    timeline.rate = session.SampleRate();
    timeline.first = session.First();
    timeline.last = session.Last();

    std::map<const kxFile*, int> takeIndex;
    const std::unordered_map<std::string, int> rowOf = RowsByName(session);
    for (const AudioEvent* event = session.FirstEvent(); event != nullptr; event = event->next) {
        TimelineBlock block;
        block.start = event->startSample;
        block.end = event->endSample;
        block.take =
            takeIndex.emplace(event->file, static_cast<int>(takeIndex.size())).first->second;
        block.fadeIn = event->FadesIn();
        block.fadeOut = event->FadesOut();
        if (event->file != nullptr) {
            block.name = paths::LastComponent(event->file->Path());
            if (const auto row = rowOf.find(block.name); row != rowOf.end()) {
                block.row = row->second;
            }
        }
        block.startText = TimeText(session, block.start);
        block.endText = TimeText(session, block.end);
        timeline.blocks.push_back(std::move(block));
    }
    return timeline;
}

double RulerStep(double framesPerPixel, uint32_t rate, double minPixels) {
    static constexpr double kSteps[] = {0.01, 0.02, 0.05, 0.1,  0.2,   0.5,   1,     2,
                                        5,    10,   15,   30,   60,    120,   300,   600,
                                        900,  1800, 3600, 7200, 10800, 21600, 43200, 86400};
    const double seconds = rate == 0 ? 0.0 : minPixels * framesPerPixel / rate;
    for (const double step : kSteps) {
        if (step >= seconds) return step * rate;
    }
    return std::ceil(seconds / 86400) * 86400 * rate;
}

std::string SilencedSpanText(const ProjectSession& session, const SilencedStretch& span) {
    const std::string take =
        span.take.empty() ? "(unknown take)" : Quoted(paths::LastComponent(span.take));
    const uint32_t rate = session.SampleRate();
    const uint64_t frames = span.end - span.start;
    return take + ": " + ShortTimeText(span.start, rate) + " - " + ShortTimeText(span.end, rate) +
           " (samples " + std::to_string(span.start) + " - " + std::to_string(span.end) +
           "; frames " + std::to_string(span.takeFrame) + " - " +
           std::to_string(span.takeFrame + frames) + " of the take)";
}

std::string UnreadableTakesText(const ProjectSession& session, const RunOutcome& outcome) {
    if (outcome.silenced.empty()) return std::string();
    std::string text = "These takes could not be read; their audio was written as silence:";
    for (const SilencedStretch& span : outcome.silenced) {
        text += "\n" + SilencedSpanText(session, span);
    }
    return text;
}

std::string ProjectName(const std::string& projectDir) {
    std::string canonical;
    return paths::LastComponent(kxDiskMgr::CanonicalPath(projectDir, canonical) ? canonical
                                                                                : projectDir);
}

OutputTexts ProjectOutputTexts(const std::string& projectDir) {
    return {ProjectName(projectDir), "proj2wav " PROJ2WAV_VERSION};
}

std::string ProjectDirFor(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    const std::string trimmed =
        end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
    const size_t slash = trimmed.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return trimmed;
    const std::string parent = trimmed.substr(0, slash);
    const std::string name = trimmed.substr(slash + 1);
    const kxFileInfo info = kxDiskMgr::Identify(trimmed);
    if (info.directory) {
        const bool takesFolder =
            name == kAudioFilesFolder && !kxDiskMgr::Identify(AudioFilesDir(trimmed)).directory;
        return takesFolder ? parent : trimmed;
    }
    // A take, or any other entry of a project's "Audio Files".
    if (info.exists && paths::LastComponent(parent) == kAudioFilesFolder) {
        const size_t above = parent.find_last_of('/');
        if (above != std::string::npos && above > 0) return parent.substr(0, above);
    }
    return trimmed;
}

std::string NotAProjectReason(const ProjectSession& session) {
    const std::string& projectDir = session.Dir();
    const size_t entryCount = session.Entries().size();
    if (session.RatesDiffer()) return "the takes do not share one sample rate";
    if (projectDir.empty()) return "the folder holds no file";
    const kxFileInfo info = kxDiskMgr::Identify(projectDir);
    if (!info.exists) return std::strerror(errno);
    if (!info.directory) return "not a directory";
    const std::string audioDir = "\"" + AudioFilesDir(projectDir) + "\"";
    std::vector<std::string> names;
    if (!kxDiskMgr::ListDirectory(AudioFilesDir(projectDir), names)) {
        return "cannot open " + audioDir + ": " + std::strerror(errno);
    }
    if (entryCount == 0) return audioDir + " is empty";
    return "none of the " + std::to_string(entryCount) + " entries in " + audioDir + " is a take";
}

}  // namespace app
