// The words after a conversion run, the same in every front end: what each output
// holds after a complete run (and the gaps where takes could not be read), what a
// stopped run kept, and why a run failed.
// Built from the driver once its run has ended, on the thread that started it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class EDLWriter;
struct SilencedSpan;

namespace app {

// Frames the last run wrote into each of its output files (dual mono writes as
// many into both).
uint64_t WrittenFrames(const EDLWriter& writer);

// Frames a complete run writes: the project's span; 0 when none is loaded.
uint64_t ProjectFrames(const EDLWriter& writer);

// "\"A.wav\"", or "\"L.wav\" and \"R.wav\"" for the two files of dual mono.
std::string OutputNames(const std::vector<std::string>& paths);

// After a stopped run, what was kept:
//   "\"A.wav\" holds the first 0:00:12.03 (577536 of 5760000 frames) of the project"
std::string KeptText(const EDLWriter& writer, const std::vector<std::string>& paths,
                     uint64_t written);

// After a failed run, why and what is left (`error` an errno value, 0 when unknown):
//   "writing \"A.wav\": No space left on device; \"A.wav\" holds only the first ..."
std::string FailedWriteText(const EDLWriter& writer, const std::vector<std::string>& paths,
                            int error, uint64_t written);
// The same with the reason in words, where no errno tells it (a browser's "out of
// quota").
std::string FailedWriteText(const EDLWriter& writer, const std::vector<std::string>& paths,
                            const std::string& reason, uint64_t written);

// The headline after a run that wrote the whole span: kComplete, or when
// `silenced` stretches of takes could not be read and are silence in the output,
//   "Conversion complete with gaps: 2 stretches of audio could not be read and are
//    silence in the output."
std::string CompleteHeadline(size_t silenced);

// One stretch of a take that became silence (EDLRenderer::silencedSpans): the
// take, the timeline's times and samples, and the take's own frames:
//   "\"Take 01.wav\": 0:00:01.00 - 0:00:01.02 (samples 48000 - 48683; frames 0 - 683 of
//    the take)"
std::string SilencedSpanText(const EDLWriter& writer, const SilencedSpan& span);

// With `markers` on, the warning that some markers could not be placed
// (MarkersLeftOutText); empty when every one was, or with markers off.
std::string MarkersLeftOutNote(const EDLWriter& writer, bool markers);

// After a complete run, one output file: its path, format, length, place on the
// timeline and size:
//   "/out/A.wav: 24 Bit, Stereo, 48000 Hz, 0:02:00.00 (5760000 frames), starts at
//    0:00:10.00 (sample 480000), 34.6 MB"
// `side` is 0 for the left and 1 for the right file of dual mono, -1 otherwise.
std::string OutputSummary(const EDLWriter& writer, int widthColumn, int channelColumn,
                          const std::string& path, int side, uint64_t frames, uint64_t bytes);

}  // namespace app
