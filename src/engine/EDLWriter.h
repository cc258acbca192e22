// The conversion driver. One EDLWriter holds the loaded project (its takes and the
// edit list built over them), the output parameters the user chose, and — for a
// conversion — the output files; it renders the project block by block.
//
// Every operation runs on the caller's (main) thread except the conversion run,
// which runs on a worker thread. Results are non-zero for success, 0 for failure;
// nothing prints, throws or exits.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audiofile/WaveMarkers.h"
#include "audiofile/kxFile.h"
#include "edl/AudioEvent.h"
#include "edl/ChanTypes.h"
#include "edl/EDL.h"
#include "edl/kxLinkedList.h"
#include "engine/TimeParts.h"
#include "render/EDLRenderer.h"
#include "render/OutputFormat.h"
#include "render/RecordingBuffer.h"

// The folder of a project that holds its takes, and its path for a project folder.
inline constexpr char kAudioFilesFolder[] = "Audio Files";
std::string AudioFilesDir(const std::string& projectDir);

// One entry of the last scan of "/Audio Files", accepted or refused (and why), in
// listing order. "." and ".." are not listed.
struct ProjectEntry {
    std::string name;
    bool accepted = false;
    TakeProblem problem = TakeProblem::None;
    TakeFormat found;  // the format chunk as found, for the words of a refusal
};

class EDLWriter {
public:
    EDLWriter() = default;
    // Releases the edit list, any output, then the takes.
    ~EDLWriter();
    EDLWriter(const EDLWriter&) = delete;
    EDLWriter& operator=(const EDLWriter&) = delete;

    // Default parameters: 16-bit stereo at 44100 Hz, no markers, no texts; the
    // project is untouched.
    void Init();
    // The output format of the next conversion: 24 bits or else 16, the layout
    // (any other than the five means stereo), and whether outputs carry markers
    // (OutputMarkers).
    void SetParams(const OutputFormat& format);
    // The output format set last.
    OutputFormat Format() const;
    // What the 'bext' chunk of every output says: its description (the project's
    // name as people know it) and its originator (the program that wrote it, also
    // named as the tool of its coding history line). Only the front end knows the
    // project's name (the page loads it from a path of its own making), so it
    // gives both. Empty until set.
    void SetOutputTexts(const std::string& description, const std::string& originator);
    // The markers an output of the loaded project carries: one at its first frame
    // and one wherever a new recording begins (an event whose file's identity
    // differs from the previous event's; none where two pieces of one recording
    // join), each labelled with its take's name without ".wav", at its frame
    // counted from the output's first. A cue point cannot hold a position of 2^32
    // frames or more (past 24.8 hours at 48 kHz): such markers are left out and
    // counted in `leftOut`.
    std::vector<WaveMarker> OutputMarkers(uint64_t& leftOut) const;
    // Bytes of the provisional header an output of the loaded project starts with
    // as NewFile creates it: kHeaderSize, and the marker chunks when outputs carry
    // markers.
    uint64_t OutputHeaderBytes() const;
    // Loads the project directory `dir` (its "/Audio Files"). Non-zero when at
    // least one take was accepted and all takes share one sample rate; with mixed
    // rates the project stays loaded but the result is 0.
    int32_t LoadProject(const char* dir);
    // Scans "<dir>/Audio Files" into projectFiles, noting every entry in `entries`.
    void LoadProjFiles(const char* dir);
    // Output audio bytes for the loaded project at the present width and layout
    // (both files together for dual mono); 0 when no project is loaded.
    int32_t ProjectSize(int64_t& bytes) const;
    // Times of the project's first sample and of its end; 0 when none is loaded.
    int32_t ProjectTimes(timeParts& start, timeParts& end) const;
    // A timeline position as hours, minutes, seconds and hundredths of a second at
    // the project rate, exact for every position (hundredths are cut, not rounded).
    void GetTime(uint64_t sample, timeParts& time) const;

    // Creates the output file (NewFile) or the left and right files of dual mono
    // (NewFiles) for the loaded project at the present width and layout, with the
    // project's first frame as time reference, and prepares the output event.
    // Outputs of an earlier run are released first, and a stop request left from
    // before is cleared, so that a stop requested from now on ends the run.
    int32_t NewFile(const char* path);
    int32_t NewFiles(const char* left, const char* right);
    // Renders the project from its first to its last frame, block by block, into
    // the prepared output; adds 100 / blocks to `progress` per block (reaching
    // about 100). Runs on a worker thread. Stops between blocks once stopRequested
    // is set, finishing the output as a valid shorter file (result 1). Returns 0
    // when nothing is prepared or a write fails; a failed output is still closed
    // with a header that matches the bytes it holds.
    int32_t doConvert(std::atomic<double>& progress);

    // ---- A conversion run, one block at a time ----
    // doConvert is built on these steps. A caller without threads (the browser's
    // worker) drives them itself, giving its own work a turn between blocks, and
    // gets the very bytes doConvert writes:
    //   if (BeginRun()) { while (!RunDone() && StepRun()) {...} EndRun(...); }

    // Starts a run over the prepared output. False when nothing is prepared or the
    // project's span is empty; the output is then left as it is.
    bool BeginRun();
    // True once the whole span is rendered, or a stop has been requested.
    bool RunDone() const;
    // Renders the next block and converts it: the output's frames (the left file's
    // in dual mono) to `left`, the right file's to `right`, each with room for a
    // block. `frames` gets the block's frames inside the span: the silence that may
    // trail the last event in the final block is never written. False when it
    // cannot be converted.
    bool RenderBlock(uint8_t* left, uint8_t* right, uint64_t& frames);
    // Renders the next block and writes it to the output; false when that fails
    // (lastWriteError then holds the system's reason, when it gave one).
    bool StepRun();
    // Percent of the span rendered so far, 0 to 100.
    double RunProgress() const;
    // Ends the run: the output is finished (its header rewritten to match the bytes
    // that reached the file, and the file put on the disk with fsync) and
    // released. `written` tells whether every block rendered was written. Non-zero
    // when the run wrote the whole span, or was stopped with everything written,
    // and the output was finished; 0 after a failure (lastWriteError says why).
    int32_t EndRun(bool written);

    EDLRenderer renderer;
    RecordingBuffer recorder;
    kxLinkedList projectFiles;
    EDL* edl = nullptr;              // owned; null while no project is loaded
    AudioEvent* outEvent = nullptr;  // owned
    kxFile* outFile = nullptr;       // owned; the left file in dual mono
    kxFile* outFileRight = nullptr;  // owned; dual mono only
    ChanTypes outType = Stereo;
    int8_t numChannels = 2;  // over all output files together
    uint32_t sampleRate = 44100;
    int8_t bitWidth = 16;
    int8_t fadeStep = 16;  // 16, 8 or 4: fades of 1024, 2048 or 4096 frames
    bool withMarkers = false;
    std::string outDescription;
    std::string outOriginator;
    std::atomic<bool> stopRequested{false};
    bool ratesDiffer = false;

    std::vector<ProjectEntry> entries;  // the last scan, for the front ends to show
    int lastWriteError = 0;             // errno of the write that failed the last run, or 0

private:
    // Where the run stands: the next frame to render and the end of the span.
    uint64_t runPos = 0;
    uint64_t runFirst = 0;
    uint64_t runLast = 0;

    void ReleaseProject();
    void ReleaseOutput();
    // Creates and opens one output file; null (and nothing kept) on failure.
    kxFile* CreateOutput(const char* path, int8_t channels);
    // Finishes and releases the output event; false when finishing failed.
    bool FinishOutput();
};
