// What the front ends show of a project besides the status line: every entry of
// its "Audio Files" as a row (accepted or refused, and the take's facts), the edit
// list as a timeline of blocks, after a run the takes that could not be read, and
// after a load that failed the reason the directory is no project; and the
// project's name, which its outputs carry. Plain values built from the session's
// state, so that the drawing code only draws and the rules (colours by take,
// where fades fall) can be tested on their own. Build them on the thread the
// session belongs to (the window loads on a worker), while no conversion runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ProjectSession.h"


namespace app {

// When a take was recorded, as its 'bext' chunk says: "2026-03-14 10:00:00".
std::string OriginationText(const kxFile& take);

// One entry of "Audio Files", in listing order.
struct TakeRow {
    std::string name;  // the entry's name, as bytes from the disk
    bool accepted = false;
    std::string reason;  // why it was refused (TakeProblemText); empty when accepted
    // The take's facts; 0 and empty for a refused entry.
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint32_t sampleRate = 0;
    uint64_t startSample = 0;     // its first frame on the timeline (time reference)
    uint64_t frames = 0;          // whole frames the file really holds
    uint64_t declaredFrames = 0;  // whole frames its data chunk declares
    std::string origination;      // recorded, "2026-03-14 10:00:00"
    std::string startText;        // ShortTimeText of the start and of the length,
    std::string lengthText;       // at the take's own rate
    uint32_t projectRate = 0;     // the project's rate (its first take's); 0 when refused

    // Cut short (power lost while recording, an interrupted copy): it declares
    // more audio than it holds. Only what it holds is converted.
    bool truncated() const { return declaredFrames > frames; }
    // Recorded at another rate than the project's first take: the project cannot
    // be converted until it is taken out.
    bool otherRate() const { return accepted && sampleRate != projectRate; }
};

// Every entry of the last scan, with the facts of the accepted takes.
std::vector<TakeRow> BuildTakeRows(const ProjectSession& session);

// What a truncated take holds, "holds 0:00:01.50 of 0:00:04.00"; empty otherwise.
std::string TruncationText(const TakeRow& row);

// A row's state in words: "accepted", "truncated: holds 0:00:01.50 of
// 0:00:04.00", "accepted: 44100 Hz, the project is 48000 Hz" or "refused:
// <reason>".
std::string TakeStatusText(const TakeRow& row);

// "2 of 7 entries refused", with ", 1 take at another rate" when takes differ
// from the project's rate: the heading of a list of the entries. Empty without
// entries.
std::string RefusedEntriesText(const std::vector<TakeRow>& rows);
// For the end of a run: "2 of 7 entries refused; they are not in the output".
// Empty when every entry went into it.
std::string LeftOutEntriesText(const std::vector<TakeRow>& rows);

// "stereo" for two channels, "mono" for one.
const char* LayoutWord(uint16_t channels);

// The columns of a list of the entries, as the window's takes panel and the page
// show them, with their titles.
enum TakeColumn : int {
    kTakeName,
    kTakeStatus,
    kTakeChannels,
    kTakeBits,
    kTakeRate,
    kTakeStart,
    kTakeLength,
    kTakeRecorded,
    kTakeColumnCount
};
inline constexpr const char* kTakeColumnTitles[kTakeColumnCount] = {
    "Take", "Status", "Channels", "Bits", "Rate", "Start", "Length", "Recorded"};

// A row's text in a column: its name, TakeStatusText, "stereo", "24-bit",
// "48000 Hz", the start and length texts and when it was recorded; the facts'
// columns are empty for a refused entry.
std::string TakeCellText(const TakeRow& row, int column);

// Whether row `a` comes before row `b` in a list sorted by `column`, rising:
// names, states and recording times by their text, the other facts by their
// value (the start by its place on the timeline, the length in frames). Entries
// without the fact (refused ones) come after those with it. Equal rows are
// neither before the other: a stable sort keeps them in listing order.
bool TakeRowBefore(const TakeRow& a, const TakeRow& b, int column);

// One event of the edit list.
struct TimelineBlock {
    uint64_t start = 0;  // first timeline frame
    uint64_t end = 0;    // frame just past the last
    // Index of the event's file, counted in order of first appearance on the
    // timeline: blocks of one file share it, so they share a colour.
    int take = 0;
    // Index of the event's take among BuildTakeRows' rows, -1 when unknown.
    int row = -1;
    // Whether the run fades the event in at its start and out at its end. No fade
    // falls where a piece of a recording joins the next piece of the same one.
    bool fadeIn = false;
    bool fadeOut = false;
    std::string name;       // the file's name, as bytes from the disk
    std::string startText;  // formatTime of start and end
    std::string endText;
};

// A colour as red, green and blue from 0 to 255.
struct Rgb {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The colours of the takes on a timeline, in turn: calm, well separated, so that
// neighbouring takes rarely share one.
inline constexpr Rgb kTakeColours[] = {
    {0x4e, 0x79, 0xa7}, {0xf2, 0x8e, 0x2b}, {0x59, 0xa1, 0x4f}, {0xe1, 0x57, 0x59},
    {0x76, 0xb7, 0xb2}, {0xb0, 0x7a, 0xa1}, {0xed, 0xc9, 0x48}, {0x9c, 0x75, 0x5f},
};

// A block of a take and the waveform drawn in it.
struct BlockColours {
    Rgb fill;
    Rgb wave;
};

// The colours of the blocks of take `take` (TimelineBlock::take) on a view whose
// background is `base` and whose text is `text`: the block is the take's colour
// leaning to the background, its waveform the take's colour leaning to the text,
// so that on a light and on a dark palette alike the waveform stands out from its
// block (a contrast of 3:1 at least).
BlockColours TakeBlockColours(int take, Rgb base, Rgb text);

// The colour of a warning in a list on `base` (a truncated take): an orange that
// is readable on it, light or dark (a contrast of 4.5:1 at least).
Rgb WarningTextColour(Rgb base);

// The contrast ratio of two colours as WCAG 2 defines it, from 1 to 21.
double ContrastRatio(Rgb a, Rgb b);

struct Timeline {
    uint64_t first = 0;                 // the project's first frame
    uint64_t last = 0;                  // the frame just past its end
    uint32_t rate = 0;                  // frames per second
    std::vector<TimelineBlock> blocks;  // in timeline order

    bool empty() const { return blocks.empty(); }
};

// The timeline of the session's edit list; empty when none is loaded.
Timeline BuildTimeline(const ProjectSession& session);

// The distance in frames between the labelled ticks of a time ruler drawn at
// `framesPerPixel`: the shortest of 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10,
// 15 and 30 s, 1, 2, 5, 10, 15 and 30 min, 1, 2, 3, 6 and 12 h, and whole days,
// that keeps ticks at least `minPixels` apart.
double RulerStep(double framesPerPixel, uint32_t rate, double minPixels);

// After a run: the stretches of takes that became silence because they could not
// be read, one per line (SilencedSpanText) under a sentence that says so. Empty
// when every take was read.
std::string UnreadableTakesText(const ProjectSession& session, const RunOutcome& outcome);
// A take's status, in a list of the entries, once a run wrote it as silence.
inline constexpr char kSilencedTake[] = "written as silence: could not be read when converting";

// One stretch of a take that became silence: the take, the timeline's times and
// samples, and the take's own frames:
//   "\"Take 01.wav\": 0:00:01.00 - 0:00:01.02 (samples 48000 - 48683; frames 0 - 683 of
//    the take)"
std::string SilencedSpanText(const ProjectSession& session, const SilencedStretch& span);

// The name the page gives a project when only its "Audio Files" folder was
// picked, and so no folder tells the project's name.
inline constexpr char kUnnamedProject[] = "Project";

// The name people know a project by: the last component of its directory's
// canonical path ("Gig" for "." in /home/me/Gig), or of the path as given when
// that cannot be resolved.
std::string ProjectName(const std::string& projectDir);

// What the outputs of a project say of themselves in their 'bext' chunk: the
// project's name as description, "proj2wav" and the version as originator.
OutputTexts ProjectOutputTexts(const std::string& projectDir);

// The project a path chosen or dropped by a user stands for: a project folder is
// itself; its "Audio Files" folder, or a file in that folder, stands for the
// folder above. A folder named "Audio Files" that has an "Audio Files" of its own
// is a project. Anything else is returned as it is, without trailing slashes.
std::string ProjectDirFor(const std::string& path);

// Why the session's folder is not a valid project, for the words after
// kNotValidProject, once the load refused it: its takes do not share one rate,
// or no take was found among the entries of its "Audio Files", and then what the
// disk tells: the folder holds no file (an empty path: a browser's folder input
// tells neither the name of a folder without files nor its empty folders), the
// directory is missing or no directory, "Audio Files" cannot be opened or is
// empty, or none of its entries is a take.
std::string NotAProjectReason(const ProjectSession& session);

}  // namespace app
