// The window controller's decisions as plain functions of plain values: the status
// line with its time, size and rate texts, the names proposed for the output files,
// the free-space test, the words shown to people and the state of the progress
// sheet. Every front end uses them: the command line and the page's binding
// directly, the Qt window through a thin layer that only moves values between its
// widgets and these functions.
//
// Nothing here includes a toolkit, touches the disk or reads a clock, so every
// decision can be tested on its own. All functions are pure and thread-safe;
// a ProgressSheet belongs to the thread that shows it (the main thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/TimeParts.h"
#include "render/OutputFormat.h"

struct RunOutcome;

namespace app {

// ---- Words shown to people ----

// The status line after a load that failed (no takes, or takes of different rates).
inline constexpr char kNotValidProject[] = "Not a valid project directory...";
// The status line while a project loads.
inline constexpr char kLoadingProject[] = "Loading project...";
// Alerts raised before a conversion starts.
inline constexpr char kSameNames[] = "Left and Right filenames cannot be the same.";
inline constexpr char kInsufficientSpace[] = "Insufficient disk space.";
// The progress sheet's line of text.
inline constexpr char kConverting[] = "Converting file...";
inline constexpr char kComplete[] = "Conversion complete...";
inline constexpr char kFailed[] = "Operation failed...";
inline constexpr char kCancelled[] = "Operation cancelled...";
// The headline after a run that wrote the whole span: kComplete, or when
// `silenced` stretches of takes could not be read and are silence in the output,
//   "Conversion complete with gaps: 2 stretches of audio could not be read and are
//    silence in the output."
std::string CompleteHeadline(size_t silenced);
// The progress sheet's title while a run goes on, and once its outcome shows.
inline constexpr char kConvertingTitle[] = "Converting";
inline constexpr char kCompleteTitle[] = "Conversion Complete";
inline constexpr char kFailedTitle[] = "Conversion Failed";
inline constexpr char kCancelledTitle[] = "Conversion Cancelled";
// The progress sheet's one button: "Cancel" while a run goes on, "OK" once the
// outcome shows. Alerts have the single button "OK" as well.
inline constexpr char kCancelButton[] = "Cancel";
inline constexpr char kOkButton[] = "OK";
inline constexpr char kAlertButton[] = "OK";
// The choice of markers where each recording begins, and what it does.
inline constexpr char kMarkersOption[] = "Markers at takes";
inline constexpr char kMarkersHelp[] =
    "A marker where each recording begins, labelled with its take's name";
// How a 16-bit output is made, for help texts: its samples are not rounded or
// dithered, only cut short (the kernels drop the low bits).
inline constexpr char kSixteenBitHelp[] =
    "16-bit outputs are the 24-bit samples cut to 16 bits (the lowest 8 bits dropped), "
    "without dither";
// What a project folder must hold, for help texts.
inline constexpr char kProjectFolderHelp[] =
    "A project folder holds the recorder's takes in a folder named \"Audio Files\": "
    "Broadcast WAVE files of 16- or 24-bit PCM, mono or stereo, all at one sample rate.";
// Name-field labels and titles of the two save panels of dual mono.
inline constexpr char kSaveLeftLabel[] = "Save Left Channel As";
inline constexpr char kSaveLeftTitle[] = "Choose Left Channel Filename";
inline constexpr char kSaveRightLabel[] = "Save Right Channel As";
inline constexpr char kSaveRightTitle[] = "Choose Right Channel Filename";

// The alert when a path to open (typed, given at start or remembered) names
// nothing: "Cannot open \"/a/Gig\": there is no such file or folder."
std::string MissingPathText(const std::string& path);
// The alert when no file manager could be started to show the folder of an output.
std::string NoFileManagerText(const std::string& folder);

// ---- Fixed values of the conversion flow ----

// The type every output name ends in (the save panel adds ".wav" when left out).
inline constexpr char kOutputFileType[] = "wav";
// Bytes kept free beyond the projected output size (headers and slack).
inline constexpr int64_t kRoomMargin = 1024000;
// How often the progress sheet polls the run's percentage.
inline constexpr int kProgressIntervalMs = 500;

// ---- Status line ----

// " 1:02:03.04": hours in full, padded with a blank to two places, then minutes,
// seconds and hundredths of a second with two digits each; 21.35 s is
// " 0:00:21.35" and 200 hours "200:00:00.00".
std::string formatTime(const timeParts& t);
// A position or a length of `frames` at `rate` as formatTime writes it, without
// the blank that pads the hours ("0:00:21.35"): the time every front end shows in
// lines and lists of its own (takes, edit lists, outcomes, markers).
std::string ShortTimeText(uint64_t frames, uint32_t rate);

// A byte count in decimal units, no unit above MB:
//   below 1000 "999 B"; below 10000 "9.99 KB"; below 1000000 "999 KB";
//   below 10000000 "9.99 MB"; from there "5292 MB" (printf rounding).
// Negative or NaN counts read "0 B".
std::string formatBytes(double bytes);

// The word length's label: "24 Bit" for 24, "16 Bit" for anything else.
std::string WidthName(int bits);

// The layout's name: "Stereo", "Mono Left", "Mono Right", "Mono Summed (L+R)",
// "Dual Mono"; "Stereo" for anything else, the layout the driver falls back to.
const char* ChannelName(ChanTypes layout);

// The short names of the channel layouts in ChanTypes order, as the command
// line's --channels, the page's choices and the window's settings spell them.
inline constexpr const char* kLayoutNames[] = {"stereo", "left", "right", "sum", "dual"};
// The layout of a short name; false for any other name.
bool LayoutOf(const std::string& layoutName, ChanTypes& layout);
// The short name of a layout; "stereo" for anything else.
const char* LayoutName(ChanTypes layout);

// What the driver tells about the loaded project, for the status line.
struct ProjectStatus {
    bool hasTimes = false;  // ProjectTimes succeeded (a project is loaded)
    timeParts start;        // time of the first frame
    timeParts end;          // time just past the last frame
    bool hasSize = false;   // ProjectSize succeeded (a project is loaded)
    int64_t bytes = 0;      // projected output size for the current format
    uint32_t sampleRate = 0;
    bool ratesDiffer = false;  // the takes do not share one rate
};

// "48.0Khz": the rate in kHz with one decimal; "0.0Khz" when the rates differ.
std::string RateText(uint32_t sampleRate, bool ratesDiffer);

// The status line. With a known size the long form
//   "24 Bit, Dual Mono, 48.0Khz,  0:00:00.00- 0:03:25.04, 59 MB"
// (times empty when unknown), else the short form "16 Bit, Stereo".
std::string StatusText(const OutputFormat& format, const ProjectStatus& status);

// ---- Markers ----

// The warning when `count` markers are left out of an output at `sampleRate`
// because they lie 2^32 frames or more into it, where no cue point reaches.
std::string MarkersLeftOutText(uint64_t count, uint32_t sampleRate);

// ---- Output names ----

// The name proposed for a single output file: the project directory's own name.
std::string ProposedSingleName(const std::string& projectDir);

// The name proposed for the left file of dual mono: the project's name plus "L".
std::string ProposedLeftName(const std::string& projectDir);

// The right file of dual mono for the left one, the one rule of every front end:
// the left path without ".wav" (in any letter case), its "L" (if it ends in
// one) turned into "R",
// else "R" added, and ".wav" again: "/out/MixL.wav" gives "/out/MixR.wav",
// "same.wav" gives "sameR.wav".
std::string RightOutputPath(const std::string& leftPath);

// True when the left and right paths of dual mono name the same file, which is
// refused. The test is exact: paths differing only in letter case differ.
bool SameOutputPaths(const std::string& leftPath, const std::string& rightPath);

// The file name a save panel proposes: `name` with the output type ("Gig.wav").
// A bare "Gig" would be the project folder itself in the folder above it, and
// the panel would go into that folder instead of saving.
std::string WithOutputType(const std::string& name);

// Where the save panel of a new output starts: the folder of the last output
// (pass it empty when there is none, or it is gone), else the folder that holds
// the project.
std::string OutputStartFolder(const std::string& lastOutputFolder, const std::string& projectDir);

// ---- Remembered projects ----

inline constexpr size_t kMaxRecentProjects = 10;

// The recent projects, newest first, after `project` was opened: it moves to the
// front, once, and the oldest beyond kMaxRecentProjects drop out.
std::vector<std::string> WithRecentProject(std::vector<std::string> recent,
                                           const std::string& project);

// ---- The command line ----

// The text in double quotes, as file names appear in messages.
std::string Quoted(const std::string& text);

// `word` as a POSIX shell reads it back: bare when it holds only letters, digits
// and "+,-./:=@_", else in single quotes.
std::string ShellQuoted(const std::string& word);

// The command that converts the project as the window would, into the names the
// window proposes in `outputFolder` (for dual mono the left one; the command line
// derives the right name from it), with " --markers" when outputs carry them,
// started by `program` (see CommandLineProgram):
//   proj2wav convert /a/Gig -o /out/Gig.wav --bits 24 --channels stereo
std::string ConvertCommandLine(const std::string& projectDir, const std::string& outputFolder,
                               const OutputFormat& format, const std::string& program = "proj2wav");

// The program a command line shown to people starts with, so that it works when
// pasted into a shell: "proj2wav" when the shell finds `program` (a path) by that
// name, that is when `onPath` (what a search of PATH for "proj2wav" found, empty
// when nothing) is the same file; else `program` itself. "proj2wav" when
// `program` is unknown (empty). Pass both as canonical paths.
std::string CommandLineProgram(const std::string& program, const std::string& onPath);

// ---- The window on the screen ----

struct WindowSize {
    int width = 0;
    int height = 0;
};

// Room a window manager's frame and title bar take around a window, at most.
inline constexpr WindowSize kWindowFrame = {16, 48};

// The size a window opens at the first time: the size it asks for, at least
// `least`, but no larger than fits in `available` (the screen's room, without
// panels) together with its frame; never below `minimum`, the smallest size its
// controls fit in.
WindowSize FirstWindowSize(WindowSize wanted, WindowSize least, WindowSize minimum,
                           WindowSize available);

// ---- Room on the volume ----

// The free bytes a conversion needs: the projected size plus kRoomMargin, in
// unsigned 64-bit arithmetic (it cannot wrap). A negative size counts as 0.
uint64_t RoomNeeded(int64_t fileBytes);

// True exactly when `freeBytes` is strictly more than RoomNeeded(fileBytes); equal
// is not enough. Pass 0 when the free space cannot be found out (a platform's
// "unknown" of -1 must not become a huge unsigned number), which refuses the run.
bool HasRoom(uint64_t freeBytes, int64_t fileBytes);

// The refusal where a browser keeps the output in the page's own storage: empty
// when `quotaFreeBytes` (what the browser still lets the page store) has room for
// the output (or a batch's `outputs` together) as HasRoom decides; otherwise
// kInsufficientSpace with the figures and the words "out of quota".
std::string QuotaRefusal(uint64_t quotaFreeBytes, int64_t projectBytes, size_t outputs = 1);

// ---- Progress sheet ----

// The figures of a running conversion: " 50%  0:12 elapsed  0:12 left  41.3 MB/s"
// for a run `percent` done after `elapsedSeconds` that writes `totalBytes` in
// all. The percent is cut to a whole one (49.6 reads 49), as the sheet's bar
// shows it. The time left and the speed appear once there is a little of the run
// behind them to go by; times read "1:05" or "1:02:05".
std::string ProgressFigures(double percent, double elapsedSeconds, double totalBytes);

// The progress sheet of one conversion: a title, a bar from 0 to 100, a line of
// text and one button. The window shows what it says; the command line can drive
// it too.
//
//   Closed --Open--> Converting --Finished--> Done, Failed or Cancelled
//                        |                              |
//                        \--Cancel--> Cancelled ---------+--button--> Closed
//                                          \--Finished--> Done, Failed or Cancelled
//
// A Cancel shows at once, but the run's end has the last word: a run that wrote
// everything before it saw the stop is complete, and the bar ends at what the
// run really wrote. Every call belongs to the main thread; the worker's end
// reaches it as a queued call to Finished.
class ProgressSheet {
public:
    enum class State { Closed, Converting, Done, Failed, Cancelled };
    enum class ButtonAction {
        None,            // no sheet is up
        StopConversion,  // the run was cancelled: set the driver's stop flag now
        CloseSheet,      // the outcome was seen: take the sheet down
    };

    // Shows the sheet for a new run: bar 0, "Converting file...", button "Cancel".
    // Returns the run's ticket, which its Finished must bring back.
    uint64_t Open();

    // A timer tick with the run's percentage. While converting, the bar follows
    // it, held within 0 to 100 (NaN reads 0); in any other state nothing moves.
    void Tick(double percent);

    // The worker of run `ticket` has ended with `outcome`. While that run is
    // converting, or cancelled but neither ended nor closed, the sheet shows the outcome:
    // complete (bar 100, "Conversion complete..."), stopped ("Operation
    // cancelled...") or failed ("Operation failed..."), the bar at the share of
    // the frames written, the button "OK"; the result is true. For a sheet that
    // shows an outcome already, is closed, or belongs to another run, nothing
    // changes and the result is false.
    bool Finished(uint64_t ticket, const RunOutcome& outcome);

    // The user stops the run. While converting: the bar stays where the run has
    // got to, "Operation cancelled...", button "OK", result true, and the caller
    // must then set the driver's stop flag. In any other state nothing changes and
    // the result is false.
    bool Cancel();

    // The sheet's button was pressed: it cancels while converting and closes the
    // sheet once the outcome shows.
    ButtonAction PressButton();

    State state() const { return state_; }
    bool shown() const { return state_ != State::Closed; }
    double bar() const { return bar_; }
    // The bar's whole percent, cut down as ProgressFigures cuts it, so that the
    // bar and the figures beside it agree.
    int percent() const;
    // The title, the line of text and the button's title; empty while closed.
    const char* title() const;
    const char* text() const { return text_.c_str(); }
    const char* button() const { return button_; }

private:
    void ShowOutcome(State state, double bar, std::string text);

    State state_ = State::Closed;
    double bar_ = 0.0;
    std::string text_;
    const char* button_ = "";
    uint64_t run_ = 0;  // ticket of the run shown last
    bool runEnded_ = false;  // its Finished has come
};

}  // namespace app
