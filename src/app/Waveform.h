// The waveform overview of a project: for each short stretch of the timeline, the
// lowest and the highest sample heard there. Fine enough to zoom in far; a front
// end draws a pixel column from the peaks under it.
//
// The peaks are computed away from the main thread while the window stays usable,
// and perhaps while a conversion reads the same takes. So a computation never
// touches the driver's takes: MakeWaveformJob copies what it needs on the main
// thread, and ComputePeaks opens the files through the platform layer on handles
// of its own. It reads only the audio that plays: the events' spans.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ProjectSession;

namespace app {

// A peak covers kFramesPerPeak frames, or more on a timeline so long that it
// would need more than kMaxPeaks of them.
inline constexpr uint64_t kFramesPerPeak = 256;
inline constexpr uint64_t kMaxPeaks = uint64_t{1} << 21;

// The range of the samples in one stretch, as 16-bit values (the upper bits of
// deeper samples), over all channels. A silent stretch is {0, 0}.
struct Peak {
    int16_t low = 0;
    int16_t high = 0;

    // Takes in what `other` saw, too.
    void Merge(const Peak& other);
};

// One event of the edit list, as a computation needs it.
struct WaveformSource {
    std::string path;        // the take's file
    uint64_t dataStart = 0;  // byte offset of its first frame in the file
    uint16_t channels = 0;
    uint16_t bits = 0;       // 16 or 24
    uint64_t fileFrame = 0;  // the take's frame heard at `start`
    uint64_t start = 0;      // timeline span, end excluded
    uint64_t end = 0;
};

// Frames per peak for a timeline from `first` to `last` (last excluded).
uint64_t FramesPerPeak(uint64_t first, uint64_t last);
// Peaks that cover that timeline; 0 for an empty one.
size_t PeakCount(uint64_t first, uint64_t last);

struct WaveformJob {
    uint64_t first = 0;                   // the project's first frame: peak 0 begins here
    uint64_t last = 0;                    // the frame just past its end
    std::vector<WaveformSource> sources;  // in timeline order
};

// The job for the driver's edit list; empty when none is loaded. Main thread.
WaveformJob MakeWaveformJob(const ProjectSession& session);

// Receives peaks as they are computed: `peaks` cover peak `first` on. Pieces may
// share a peak where two events meet, so a receiver merges (Peak::Merge) what
// arrives into what it holds, starting from silent peaks.
using PeakSink = std::function<void(size_t first, std::vector<Peak> peaks)>;

// Computes the peaks of `job` in timeline order and hands them to `sink` in
// pieces. Audio that cannot be read (a take gone or cut since the load) stays
// silent. Ends early, with false, once `cancel` is set; true when done.
bool ComputePeaks(const WaveformJob& job, const std::atomic<bool>& cancel, const PeakSink& sink);

// The peak over the timeline frames first .. last (last excluded) out of peaks of
// `framesPerPeak` frames that begin at frame `origin`: the merge of every peak
// the range touches.
Peak PeakOver(const std::vector<Peak>& peaks, uint64_t origin, uint64_t framesPerPeak,
              uint64_t first, uint64_t last);

}  // namespace app
