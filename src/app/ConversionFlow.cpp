#include "app/ConversionFlow.h"

#include <cerrno>
#include <cstring>

#include "app/AppDecisions.h"
#include "app/ProjectView.h"
#include "platform/kxDiskMgr.h"

namespace app {

namespace {


// "\"A.wav\" holds the first 0:00:12.03 (577536 of 5760000 frames)".
std::string HeldText(const ProjectSession& session, const std::vector<std::string>& names,
                     uint64_t written, const char* only) {
    return OutputNames(names) + (names.size() > 1 ? " hold " : " holds ") + only + "the first " +
           ShortTimeText(written, session.SampleRate()) + " (" + std::to_string(written) +
           " of " + std::to_string(session.Frames()) + " frames)";
}

}  // namespace

std::vector<std::string> OutputPaths(const std::string& left, const OutputFormat& format) {
    if (!format.TwoFiles()) return {left};
    return {left, RightOutputPath(left)};
}

std::string OutputsRefusal(const ProjectSession& session, const OutputFormat& format,
                           const std::vector<std::string>& paths, bool overwrite,
                           const FreeSpaceLookup& freeSpace) {
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string refusal =
            OutputPathRefusal(session.Dir(), paths[i], i == 1 ? paths[0] : std::string(), overwrite);
        if (!refusal.empty()) return refusal;
    }
    return RoomRefusal(paths, static_cast<int64_t>(session.Plan(format).audioBytes), freeSpace);
}

std::string CreateOutputs(ProjectSession& session, const OutputFormat& format,
                          const std::vector<std::string>& paths) {
    std::vector<bool> existed;
    for (const std::string& path : paths) {
        existed.push_back(kxDiskMgr::Identify(path, false).exists);
    }
    if (session.CreateOutputs(format, paths, ProjectOutputTexts(session.Dir()))) {
        return std::string();
    }
    const int error = errno;
    // The first file that is not there now is the one that could not be created.
    std::string failed = paths.empty() ? std::string() : paths.back();
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!kxDiskMgr::Identify(paths[i], false).exists) {
            failed = paths[i];
            break;
        }
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!existed[i] && paths[i] != failed && kxDiskMgr::Identify(paths[i], false).exists) {
            kxDiskMgr::RemoveFile(paths[i]);
        }
    }
    return CannotCreateText(failed, error);
}

std::string OutputNames(const std::vector<std::string>& paths) {
    std::string names;
    for (const std::string& path : paths) names += (names.empty() ? "" : " and ") + Quoted(path);
    return names;
}

std::string OutputSummary(const ProjectSession& session, const OutputFormat& format,
                          const std::string& path, int side, uint64_t frames, uint64_t bytes) {
    const uint64_t first = session.First();
    const uint32_t rate = session.SampleRate();
    const char* sides[] = {" (left)", " (right)"};
    return path + ": " + WidthName(format.bits) + ", " + ChannelName(format.layout) +
           (side == 0 || side == 1 ? sides[side] : "") + ", " + std::to_string(rate) + " Hz, " +
           ShortTimeText(frames, rate) + " (" + std::to_string(frames) + " frames), starts at " +
           ShortTimeText(first, rate) + " (sample " + std::to_string(first) + "), " +
           formatBytes(static_cast<double>(bytes));
}

OutcomeText OutcomeWords(const ProjectSession& session, const OutputFormat& format,
                         const RunOutcome& outcome, const std::vector<std::string>& shownNames,
                         const std::string& failure) {
    OutcomeText text;
    switch (outcome.end) {
        case RunOutcome::End::Complete:
            text.headline = CompleteHeadline(outcome.silenced.size());
            for (size_t i = 0; i < shownNames.size(); ++i) {
                const int side = shownNames.size() > 1 ? static_cast<int>(i) : -1;
                const uint64_t bytes = i < outcome.outputs.size()
                                           ? kxDiskMgr::Identify(outcome.outputs[i]).size
                                           : 0;
                text.summary += (i == 0 ? "" : "\n") + OutputSummary(session, format,
                                                                      shownNames[i], side,
                                                                      outcome.frames, bytes);
            }
            break;
        case RunOutcome::End::Stopped:
            text.headline = kCancelled;
            text.summary = HeldText(session, shownNames, outcome.frames, "") + " of the project";
            break;
        case RunOutcome::End::Failed: {
            text.headline = kFailed;
            const std::string reason = !failure.empty()     ? failure
                                       : outcome.error != 0 ? std::strerror(outcome.error)
                                                            : "write failed";
            text.summary = "writing " + OutputNames(shownNames) + ": " + reason + "; " +
                           HeldText(session, shownNames, outcome.frames, "only ");
            break;
        }
    }
    const OutputPlan plan = session.Plan(format);
    if (plan.markersLeftOut != 0) {
        text.markersNote = MarkersLeftOutText(plan.markersLeftOut, session.SampleRate());
    }
    text.unreadable = UnreadableTakesText(session, outcome);
    return text;
}

}  // namespace app
