// Fuzzes everything a take's bytes reach: the chunk walk, the description that
// `info FILE` gives, reading all its audio through an event, and converting a
// project that holds it beside a well-formed take, in one of the widths and
// layouts, with or without markers.
//
// Each input is written as "Audio Files/fuzz.wav" of a scratch project; the
// project also holds "anchor.wav", a valid take, so overlaps, seams and mixed
// formats are exercised too. The scratch project lives in memory (/dev/shm) where
// there is one, and a conversion renders a short project only, so that each input
// costs well under a millisecond.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "audiofile/kxFile.h"
#include "edl/AudioEvent.h"
#include "engine/EDLWriter.h"
#include "support/TakeBuilder.h"

namespace {

// Projects longer than this are loaded but not converted: two blocks already meet
// every step of a conversion (a block boundary included), a longer render costs
// executions, and a damaged time reference can make a span of terabytes, which is
// the room check's business, not the fuzzer's.
constexpr uint64_t kMaxRenderedFrames = 2 * kStageFrames;

// A directory for scratch files: in memory where that is possible.
std::string ScratchRoot() {
    return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

struct Scratch {
    Scratch() {
        std::string pattern = ScratchRoot() + "/proj2wav-fuzz-XXXXXX";
        project = ::mkdtemp(pattern.data());
        audio = project + "/Audio Files";
        std::filesystem::create_directories(audio);
        testsupport::TakeRecipe anchor;
        anchor.start = 1000;
        anchor.frames = 3000;
        anchor.bits = 16;
        testsupport::WriteTake(audio + "/anchor.wav", anchor);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(project, ignored);
    }
    std::string project, audio;
};

void ReadWholeTake(kxFile& take) {
    AudioEvent event(&take, nullptr, take.Channels() == 2 ? Stereo : MonoLeft);
    for (uint64_t pos = event.startSample; pos < event.endSample;) {
        fileBuffer* buffer = event.GetAudio(pos, 0);
        if (buffer == nullptr) break;
        const uint64_t left = buffer->SamplesLeft(pos);
        if (left == 0 || buffer->LeftData(pos) == nullptr) __builtin_trap();
        pos += left;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    const std::string path = scratch.audio + "/fuzz.wav";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    kxFile take(scratch.audio.c_str(), "fuzz.wav");
    const bool accepted = take.Validate();
    if (accepted) {
        if (take.BytesPerSample() == 0 || take.DataSize() % take.BytesPerSample() != 0) {
            __builtin_trap();  // an accepted take always has whole frames
        }
        ReadWholeTake(take);
    }
    // `info FILE` reads every file the take's walk accepts, to the same frames.
    WaveDescription description;
    const TakeProblem described = kxFile::Describe(path, description);
    if (accepted && (described != TakeProblem::None || description.frames != take.FrameCount())) {
        __builtin_trap();
    }

    // One driver for every input, as the window keeps one: each load replaces the
    // project before.
    static EDLWriter writer;
    writer.Init();
    writer.LoadProject(scratch.project.c_str());
    // Every take lies within the timeline, so every figure derived from it is exact.
    if (writer.edl != nullptr && writer.edl->LastSampleInEDL() > kTimelineFrames) __builtin_trap();
    // Without the input's take the project is the anchor alone, which converts
    // alike for every input.
    if (!accepted || writer.edl == nullptr ||
        writer.edl->LastSampleInEDL() - writer.edl->FirstSampleInEDL() > kMaxRenderedFrames) {
        return 0;
    }
    writer.SetParams({size % 2 == 0 ? 16 : 24, static_cast<ChanTypes>(size % 5), size % 3 == 0});
    const std::string out = scratch.project + "/out.wav";
    const std::string right = scratch.project + "/outR.wav";
    const int32_t made = size % 5 == DualMono ? writer.NewFiles(out.c_str(), right.c_str())
                                              : writer.NewFile(out.c_str());
    std::atomic<double> progress{0.0};
    if (made != 0 && writer.doConvert(progress) == 0) __builtin_trap();
    // The output carries the markers the engine meant it to.
    uint64_t leftOut = 0;
    const size_t markers = size % 3 == 0 ? writer.OutputMarkers(leftOut).size() : 0;
    if (made != 0 && (kxFile::Describe(out, description) != TakeProblem::None ||
                      description.markers.size() != markers)) {
        __builtin_trap();
    }
    return 0;
}
