#include "app/RunOutcome.h"

#include <cstring>

#include "app/AppDecisions.h"
#include "app/ProjectView.h"
#include "engine/EDLWriter.h"

namespace app {

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// "\"A.wav\" holds the first 0:00:12.03 (577536 of 5760000 frames)".
std::string HeldText(const EDLWriter& writer, const std::vector<std::string>& paths,
                     uint64_t written, const char* only) {
    return OutputNames(paths) + (paths.size() > 1 ? " hold " : " holds ") + only + "the first " +
           ShortTimeText(written, writer.sampleRate) + " (" + std::to_string(written) + " of " +
           std::to_string(ProjectFrames(writer)) + " frames)";
}

}  // namespace

uint64_t WrittenFrames(const EDLWriter& writer) {
    return writer.outFile != nullptr ? writer.outFile->FrameCount() : 0;
}

uint64_t ProjectFrames(const EDLWriter& writer) {
    if (writer.edl == nullptr) return 0;
    return writer.edl->LastSampleInEDL() - writer.edl->FirstSampleInEDL();
}

std::string OutputNames(const std::vector<std::string>& paths) {
    std::string names;
    for (const std::string& path : paths) names += (names.empty() ? "" : " and ") + Quoted(path);
    return names;
}

std::string KeptText(const EDLWriter& writer, const std::vector<std::string>& paths,
                     uint64_t written) {
    return HeldText(writer, paths, written, "") + " of the project";
}

std::string FailedWriteText(const EDLWriter& writer, const std::vector<std::string>& paths,
                            int error, uint64_t written) {
    return FailedWriteText(writer, paths, error != 0 ? std::strerror(error) : "write failed",
                           written);
}

std::string FailedWriteText(const EDLWriter& writer, const std::vector<std::string>& paths,
                            const std::string& reason, uint64_t written) {
    return "writing " + OutputNames(paths) + ": " + reason + "; " +
           HeldText(writer, paths, written, "only ");
}

std::string CompleteHeadline(size_t silenced) {
    if (silenced == 0) return kComplete;
    return "Conversion complete with gaps: " + std::to_string(silenced) +
           (silenced == 1 ? " stretch" : " stretches") + " of audio could not be read and " +
           (silenced == 1 ? "is" : "are") + " silence in the output.";
}

std::string SilencedSpanText(const EDLWriter& writer, const SilencedSpan& span) {
    const std::string take =
        span.take != nullptr ? Quoted(LastPathComponent(span.take->Path())) : "(unknown take)";
    const uint64_t frames = span.end - span.start;
    return take + ": " + ShortTimeText(span.start, writer.sampleRate) + " - " +
           ShortTimeText(span.end, writer.sampleRate) + " (samples " + std::to_string(span.start) +
           " - " + std::to_string(span.end) + "; frames " + std::to_string(span.takeFrame) + " - " +
           std::to_string(span.takeFrame + frames) + " of the take)";
}

std::string MarkersLeftOutNote(const EDLWriter& writer, bool markers) {
    uint64_t leftOut = 0;
    if (markers) writer.OutputMarkers(leftOut);
    return leftOut == 0 ? std::string() : MarkersLeftOutText(leftOut, writer.sampleRate);
}

std::string OutputSummary(const EDLWriter& writer, int widthColumn, int channelColumn,
                          const std::string& path, int side, uint64_t frames, uint64_t bytes) {
    const uint64_t first = writer.edl != nullptr ? writer.edl->FirstSampleInEDL() : 0;
    const char* sides[] = {" (left)", " (right)"};
    return path + ": " + std::to_string(BitCount(widthColumn)) + " Bit, " +
           ChannelName(channelColumn) + (side == 0 || side == 1 ? sides[side] : "") + ", " +
           std::to_string(writer.sampleRate) + " Hz, " + ShortTimeText(frames, writer.sampleRate) +
           " (" + std::to_string(frames) + " frames), starts at " +
           ShortTimeText(first, writer.sampleRate) + " (sample " + std::to_string(first) + "), " +
           formatBytes(static_cast<double>(bytes));
}

}  // namespace app
