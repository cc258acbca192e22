#include "app/ProjectView.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <unordered_map>

#include "app/AppDecisions.h"
#include "app/RunOutcome.h"
#include "app/TakeProblemText.h"
#include "app/Version.h"
#include "audiofile/kxDiskMgr.h"
#include "engine/EDLWriter.h"

namespace app {

namespace {

std::string TimeText(const EDLWriter& writer, uint64_t frame) {
    timeParts time;
    writer.GetTime(frame, time);
    return formatTime(time);
}

// The row of every entry name of the last scan (names in one directory differ).
std::unordered_map<std::string, int> RowsByName(const EDLWriter& writer) {
    std::unordered_map<std::string, int> rows;
    rows.reserve(writer.entries.size());
    for (size_t i = 0; i < writer.entries.size(); ++i) {
        rows.emplace(writer.entries[i].name, static_cast<int>(i));
    }
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

std::vector<TakeRow> BuildTakeRows(const EDLWriter& writer) {
    std::vector<TakeRow> rows(writer.entries.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ProjectEntry& entry = writer.entries[i];
        rows[i].name = entry.name;
        rows[i].reason = TakeProblemText(entry.problem, entry.found);
    }
    // The accepted takes sit in the project list, in origination order.
    const std::unordered_map<std::string, int> rowOf = RowsByName(writer);
    for (const kxListItem* item = writer.projectFiles.head; item != nullptr; item = item->next) {
        const auto& take = static_cast<const kxFile&>(*item);
        const auto found = rowOf.find(LastPathComponent(take.Path()));
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
    }
    return rows;
}

std::string TruncationText(const TakeRow& row) {
    if (!row.truncated()) return std::string();
    return "holds " + row.lengthText + " of " + ShortTimeText(row.declaredFrames, row.sampleRate);
}

std::string TakeStatusText(const TakeRow& row) {
    if (!row.accepted) return "refused: " + row.reason;
    return row.truncated() ? "truncated: " + TruncationText(row) : "accepted";
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

Timeline BuildTimeline(const EDLWriter& writer) {
    Timeline timeline;
    if (writer.edl == nullptr || writer.edl->firstEvent == nullptr) return timeline;
    timeline.rate = writer.sampleRate;
    timeline.first = writer.edl->FirstSampleInEDL();
    timeline.last = writer.edl->LastSampleInEDL();

    std::map<const kxFile*, int> takeIndex;
    const std::unordered_map<std::string, int> rowOf = RowsByName(writer);
    for (const AudioEvent* event = writer.edl->firstEvent; event != nullptr; event = event->next) {
        TimelineBlock block;
        block.start = event->startSample;
        block.end = event->endSample;
        block.take =
            takeIndex.emplace(event->file, static_cast<int>(takeIndex.size())).first->second;
        block.fadeIn = event->FadesIn();
        block.fadeOut = event->FadesOut();
        if (event->file != nullptr) {
            block.name = LastPathComponent(event->file->Path());
            if (const auto row = rowOf.find(block.name); row != rowOf.end()) {
                block.row = row->second;
            }
        }
        block.startText = TimeText(writer, block.start);
        block.endText = TimeText(writer, block.end);
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

std::string UnreadableTakesText(const EDLWriter& writer) {
    const std::vector<SilencedSpan>& spans = writer.renderer.silencedSpans;
    if (spans.empty()) return std::string();
    std::string text = "These takes could not be read; their audio was written as silence:";
    for (const SilencedSpan& span : spans) text += "\n" + SilencedSpanText(writer, span);
    return text;
}

std::string ProjectName(const std::string& projectDir) {
    std::string canonical;
    return LastPathComponent(kxDiskMgr::CanonicalPath(projectDir, canonical) ? canonical
                                                                             : projectDir);
}

void NameOutputs(EDLWriter& writer, const std::string& projectName) {
    writer.SetOutputTexts(projectName, "proj2wav " PROJ2WAV_VERSION);
}

std::string AudioFilesDir(const std::string& projectDir) {
    return projectDir + "/Audio Files";
}

std::string ProjectDirFor(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    const std::string trimmed =
        end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
    const size_t slash = trimmed.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return trimmed;
    const std::string parent = trimmed.substr(0, slash);
    const std::string name = trimmed.substr(slash + 1);
    static constexpr char kAudioFiles[] = "Audio Files";
    const kxFileInfo info = kxDiskMgr::Identify(trimmed);
    if (info.directory) {
        const bool takesFolder =
            name == kAudioFiles && !kxDiskMgr::Identify(AudioFilesDir(trimmed)).directory;
        return takesFolder ? parent : trimmed;
    }
    // A take, or any other entry of a project's "Audio Files".
    if (info.exists && LastPathComponent(parent) == kAudioFiles) {
        const size_t above = parent.find_last_of('/');
        if (above != std::string::npos && above > 0) return parent.substr(0, above);
    }
    return trimmed;
}

std::string NotAProjectReason(const std::string& projectDir, size_t entryCount, bool ratesDiffer) {
    if (ratesDiffer) return "the takes do not share one sample rate";
    if (projectDir.empty()) return "no folder chosen";
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
