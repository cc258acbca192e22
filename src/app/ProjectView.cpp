#include "app/ProjectView.h"

#include <cerrno>
#include <cstring>
#include <map>

#include "app/AppDecisions.h"
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

}  // namespace

Timeline BuildTimeline(const EDLWriter& writer) {
    Timeline timeline;
    if (writer.edl == nullptr || writer.edl->firstEvent == nullptr) return timeline;
    timeline.first = writer.edl->FirstSampleInEDL();
    timeline.last = writer.edl->LastSampleInEDL();
    timeline.firstText = TimeText(writer, timeline.first);
    timeline.lastText = TimeText(writer, timeline.last);

    std::map<const kxFile*, int> takeIndex;
    for (const AudioEvent* event = writer.edl->firstEvent; event != nullptr; event = event->next) {
        TimelineBlock block;
        block.start = event->startSample;
        block.end = event->endSample;
        block.take =
            takeIndex.emplace(event->file, static_cast<int>(takeIndex.size())).first->second;
        block.fadeIn = event->FadesIn();
        block.fadeOut = event->FadesOut();
        if (event->file != nullptr) block.name = LastPathComponent(event->file->Path());
        block.startText = TimeText(writer, block.start);
        block.endText = TimeText(writer, block.end);
        timeline.blocks.push_back(std::move(block));
    }
    return timeline;
}

std::string UnreadableTakesText(const EDLWriter& writer) {
    const std::vector<SilencedSpan>& spans = writer.renderer.silencedSpans;
    if (spans.empty()) return std::string();
    std::string text = "These takes could not be read; their audio was written as silence:";
    for (const SilencedSpan& span : spans) {
        const std::string name =
            span.take != nullptr ? LastPathComponent(span.take->Path()) : std::string("?");
        text +=
            "\n" + name + "   " + TimeText(writer, span.start) + " -" + TimeText(writer, span.end);
    }
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

std::string NotAProjectReason(const std::string& projectDir, size_t entryCount, bool ratesDiffer) {
    if (ratesDiffer) return "the takes do not share one sample rate";
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
