#include "app/WaveRepairText.h"

#include <cerrno>
#include <cstring>

#include "app/AppDecisions.h"
#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"

namespace app {

namespace {

std::string Frames(const WavePlan& plan, uint64_t bytes) {
    return std::to_string(plan.frameBytes == 0 ? 0 : bytes / plan.frameBytes);
}

// " (0:01:00.00)"
std::string Time(const WavePlan& plan, uint64_t bytes) {
    const uint64_t frames = plan.frameBytes == 0 ? 0 : bytes / plan.frameBytes;
    return " (" + ShortTimeText(frames, plan.sampleRate) + ")";
}

// The changes besides the sizes, each behind "; ".
std::string Details(const WavePlan& plan, bool done) {
    std::string text;
    if (plan.cut != 0) {
        const bool one = plan.cut == 1;
        text += "; the " + std::to_string(plan.cut) + (one ? " byte" : " bytes") +
                " of an unfinished last frame " +
                (done ? (one ? "was" : "were") : (one ? "is" : "are")) + " cut off";
    }
    if (plan.padByte) text += done ? "; a pad byte follows the samples" : "; a pad byte is added";
    if (plan.toRf64) text += done ? "; the header is now RF64" : "; the header becomes RF64";
    return text;
}

}  // namespace

std::string RepairCommand(const std::string& path) {
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return "proj2wav repair " + quoted + "'";
}

std::string RepairRefusal(const std::string& path) {
    std::string canonical;
    if (!kxDiskMgr::CanonicalPath(path, canonical)) return std::string();
    const size_t slash = canonical.find_last_of('/');
    const std::string folder = canonical.substr(0, slash == std::string::npos ? 0 : slash);
    if (paths::LastComponent(folder) != "Audio Files") return std::string();
    return Quoted(path) +
           " lies in a project's \"Audio Files\" folder, which holds its "
           "recordings: proj2wav never writes to them";
}

std::string RepairText(const std::string& path, const WavePlan& plan, bool done) {
    const std::string name = Quoted(path);
    switch (plan.condition) {
        case WaveCondition::Finished:
            return name + " is finished: its header declares the " + Frames(plan, plan.audio) +
                   " frames it holds" + Time(plan, plan.audio) + ". Nothing to mend.";
        case WaveCondition::Unfinished:
            if (done) {
                return "Mended " + name + ": its header declares the " + Frames(plan, plan.audio) +
                       " frames it holds" + Time(plan, plan.audio) + Details(plan, true) + ".";
            }
            return name + " is unfinished: its header declares " + Frames(plan, plan.declared) +
                   " frames, the file holds " + Frames(plan, plan.audio) + Time(plan, plan.audio) +
                   ". repair sets its header to declare them" + Details(plan, false) + ".";
        case WaveCondition::NoRoomForRf64:
            return "cannot mend " + name + ": its " + Frames(plan, plan.audio) + " frames" +
                   Time(plan, plan.audio) +
                   " need an RF64 header (more than 4 GiB), and its header has no room "
                   "for one (no 'JUNK' or 'PAD ' chunk of 28 bytes or more before the samples)";
        case WaveCondition::NotPcm:
            return name + " holds no integer PCM samples: repair mends PCM WAVE files only";
        case WaveCondition::NotWave:
            return name +
                   " is not a WAVE file (RIFF, RF64 or BW64) whose chunks lead to its samples";
        case WaveCondition::CannotOpen:
            break;
    }
    return "cannot read " + name + ": " + std::strerror(errno);
}

std::string MendFailedText(const std::string& path, int error) {
    const std::string why = error == EBUSY ? "it changed while it was read (is a program still "
                                             "writing it?)"
                            : error != 0   ? std::strerror(error)
                                           : "it could not be written";
    return "cannot mend " + Quoted(path) + ": " + why;
}

std::string UnfinishedText(const std::string& path, const WavePlan& plan) {
    if (plan.condition != WaveCondition::Unfinished &&
        plan.condition != WaveCondition::NoRoomForRf64) {
        return std::string();
    }
    const std::string holds = "its header declares " + Frames(plan, plan.declared) +
                              " frames, the file holds " + Frames(plan, plan.audio) +
                              Time(plan, plan.audio);
    if (plan.condition == WaveCondition::NoRoomForRf64) {
        return holds + "; it needs an RF64 header, and its header has no room for one";
    }
    if (!RepairRefusal(path).empty()) {
        return holds + "; it is one of a project's recordings, which proj2wav never writes to";
    }
    return holds + "; mend it with: " + RepairCommand(path);
}

}  // namespace app
