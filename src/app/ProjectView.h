// What the front ends show of a project besides the status line: the edit list as
// a timeline of blocks, after a run the takes that could not be read, and after a
// load that failed the reason the directory is no project; and the project's name,
// which its outputs carry. Plain values built from the driver's state, so that the
// drawing code only draws and the rules (colours by take, where fades fall) can be
// tested on their own. Read the driver only on the main thread while no
// conversion runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class EDLWriter;

namespace app {

// One event of the edit list.
struct TimelineBlock {
    uint64_t start = 0;  // first timeline frame
    uint64_t end = 0;    // frame just past the last
    // Index of the event's file, counted in order of first appearance on the
    // timeline: blocks of one file share it, so they share a colour.
    int take = 0;
    // Whether the run fades the event in at its start and out at its end. No fade
    // falls where a piece of a recording joins the next piece of the same one.
    bool fadeIn = false;
    bool fadeOut = false;
    std::string name;       // the file's name, as bytes from the disk
    std::string startText;  // formatTime of start and end
    std::string endText;
};

struct Timeline {
    uint64_t first = 0;  // the project's first frame
    uint64_t last = 0;   // the frame just past its end
    std::string firstText;
    std::string lastText;
    std::vector<TimelineBlock> blocks;  // in timeline order

    bool empty() const { return blocks.empty(); }
};

// The timeline of the driver's edit list; empty when none is loaded.
Timeline BuildTimeline(const EDLWriter& writer);

// After a run: the takes that could not be read, each with the stretches that
// became silence, one per line under a sentence that says so. Empty when every
// take was read.
std::string UnreadableTakesText(const EDLWriter& writer);

// The name people know a project by: the last component of its directory's
// canonical path ("Gig" for "." in /home/me/Gig), or of the path as given when
// that cannot be resolved.
std::string ProjectName(const std::string& projectDir);

// Has the outputs of `writer` describe themselves in their 'bext' chunk: the
// project's name as description, "proj2wav" and the version as originator.
void NameOutputs(EDLWriter& writer, const std::string& projectName);

// The directory a project's takes are kept in: "<projectDir>/Audio Files".
std::string AudioFilesDir(const std::string& projectDir);

// Why `projectDir` is not a valid project, for the words after kNotValidProject,
// once the driver refused it: its takes do not share one rate (`ratesDiffer`), or
// no take was found among the `entryCount` entries of its "Audio Files", and then
// what the disk tells: the directory is missing or no directory, "Audio Files"
// cannot be opened or is empty, or none of its entries is a take.
std::string NotAProjectReason(const std::string& projectDir, size_t entryCount, bool ratesDiffer);

}  // namespace app
