// The project as an Ardour session, for an engineer who wants to redo a punch-in,
// move a take or change a fade: a folder Ardour 7 opens as it is, holding
//   <name>.ardour                       the session file (format 7002, Ardour 7.x)
//   interchange/<name>/audiofiles/      a Broadcast WAVE copy of every take
//   analysis, dead, export, externals, peaks, plugins, interchange/<name>/midifiles
// with two stereo tracks: "Edit", one region per event of the edit list, placed
// and faded as a conversion plays it (no fade where two pieces of one recording
// join), and "Takes", muted, every take whole at its place, newer takes layered
// above older ones. With markers, a location marker stands wherever an output's
// cue point would: the project's first frame and each new recording (also past
// the 2^32 frames a cue point reaches). Ardour keeps a fade within its region, so
// an event shorter than a fade is faded over its own length.
//
// The session file follows what Ardour 7.3 writes itself. Times in it are
// superclock ticks (282240000 a second) after an "a" (audio time): frame f at rate
// r is "a" + f * 282240000 / r, a whole number at every common rate; lengths read
// "a<ticks>@a<position>". Ardour plays a mono region on a stereo track on both
// channels (its "replicate missing region channels", on by default).
//
// Everything works on an ArdourProject, a plain value made from the loaded project
// by ArdourProjectOf; nothing here needs Ardour at run time. Planning and the XML
// are pure functions; WriteSession touches the disk through the platform layer and
// may run on a worker thread, reporting progress through atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/OutputSafety.h"

class ProjectSession;

namespace app {

// A take of the project, accepted and holding at least one whole frame.
struct ArdourTake {
    std::string path;            // the take's file in "Audio Files"
    std::string name;            // its entry name there
    std::string label;           // TakeLabel of the name: what its regions and markers are called
    uint64_t timelineStart = 0;  // where its first frame lies on the timeline
    uint64_t frames = 0;
    uint16_t channels = 0;  // 1 or 2
    uint16_t bits = 0;      // 16 or 24
};

// One event of the edit list: `length` frames of take `take` from its frame
// `offset` on, played from timeline frame `position`.
struct ArdourEvent {
    size_t take = 0;  // index into ArdourProject::takes
    uint64_t position = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
    bool fadeIn = false;  // false where it continues a piece of the same recording
    bool fadeOut = false;
};

struct ArdourMarker {
    uint64_t position = 0;  // timeline frame
    std::string label;
};

struct ArdourProject {
    std::string name;  // the project's name (its folder's), as people know it
    uint32_t sampleRate = 0;
    uint64_t first = 0;  // the project's span: first frame and the frame past its end
    uint64_t last = 0;
    uint32_t fadeFrames = 1024;         // the recorder's fade length at this rate
    std::vector<ArdourTake> takes;      // in origination order, oldest first
    std::vector<ArdourEvent> events;    // in timeline order
    std::vector<ArdourMarker> markers;  // empty unless asked for
};

// The loaded project of `session` as an ArdourProject named `name`, with markers
// where an output's would be when `markers` is set. Takes without a whole frame
// are left out. Read the session while no conversion runs.
ArdourProject ArdourProjectOf(const ProjectSession& session, const std::string& name,
                              bool markers);

// A take's entry name without ".wav" in any letter case, as an output's markers
// label it.
std::string TakeLabel(const std::string& entryName);

// ---- Planning ----

// Ticks of Ardour's superclock in a second.
inline constexpr uint64_t kSuperclockRate = 282240000;
// Superclock ticks of `frames` frames at `rate`, rounded up: Ardour turns them back
// into exactly `frames`, whether it rounds or cuts the fraction (rate > 0).
uint64_t SuperclockOf(uint64_t frames, uint32_t rate);

// The name of the session and of its file: the project's name with the characters
// Ardour refuses in session names (/ \ : ;), bytes that are not UTF-8 and control
// characters each replaced by "_"; "Session" when that leaves nothing.
std::string SessionNameOf(const std::string& projectName);

// A session about to be written into `folder`.
struct SessionPlan {
    std::string folder;
    std::string name;                    // SessionNameOf the project's name
    std::string sessionFile;             // <folder>/<name>.ardour
    std::string audioDir;                // <folder>/interchange/<name>/audiofiles
    std::vector<std::string> copyNames;  // the file name of each take's copy
    std::string xml;                     // the session file's text
    uint64_t copyBytes = 0;              // bytes of all copies together
    uint64_t bytes = 0;                  // bytes of everything written
};

// Plans the session of `project` in `folder`. Copies keep their takes' names,
// made UTF-8 and free of control characters where they are not, and told apart by
// " (2)", " (3)", ... before the extension where two would meet.
SessionPlan PlanSession(const ArdourProject& project, const std::string& folder);

// The session file of `project` whose takes are copied under `copyNames`, named
// `name`, as Ardour 7 reads it.
std::string SessionXml(const ArdourProject& project, const std::string& name,
                       const std::vector<std::string>& copyNames);

// ---- Checks before writing ----

// Why no session can go into `folder` for the project in `projectDir`: it is a
// file, a folder that is not empty, inside the project's "Audio Files", or its
// parent folder does not exist or cannot be written. Empty when it can.
std::string SessionFolderRefusal(const std::string& folder, const std::string& projectDir);

// kInsufficientSpace with what the session needs and what the volume of `folder`
// (of its nearest existing parent, when it does not exist yet) has free; empty
// when HasRoom says there is room for the plan's bytes.
std::string SessionRoomRefusal(const SessionPlan& plan, const FreeSpaceLookup& freeBytes);

// ---- Writing ----

enum class SessionOutcome {
    Written,  // the whole session is there
    Stopped,  // a stop request ended it; everything it had written is removed again
    Failed,   // `error` says why; everything written is removed again
};

struct SessionResult {
    SessionOutcome outcome = SessionOutcome::Failed;
    std::string error;
    size_t takesCopied = 0;
    uint64_t bytesCopied = 0;  // the copies' bytes, headers included
};

// Writes the planned session: the folders, a copy of each take with its samples
// unchanged, its 'bext' texts, origination date and time and time reference (RF64
// beyond 4 GiB, as outputs are), then the session file, last, so that a session
// file always has its takes. Each take is read afresh and must still be the take
// the project described. `progress` rises from 0 to 100 with the bytes copied;
// `stop` is checked between blocks of a megabyte. A folder that existed (empty) is
// kept; anything else made here is removed again when the session is not complete.
SessionResult WriteSession(const ArdourProject& project, const SessionPlan& plan,
                           std::atomic<double>& progress, const std::atomic<bool>& stop);

// ---- Words ----

// "Ardour session written: \"/x/Gig/Gig.ardour\"" and, below it, "12 takes copied
// (345 MB) into \"/x/Gig/interchange/Gig/audiofiles\"".
std::string SessionWrittenText(const SessionPlan& plan, const SessionResult& result);

}  // namespace app
