// Fuzzes everything a take's bytes reach: the chunk walk, reading all its audio
// through an event, and rendering it in a project beside a well-formed take.
//
// Each input is written as "Audio Files/fuzz.wav" of a scratch project; the
// project also holds "anchor.wav", a valid take, so overlaps, seams and mixed
// formats are exercised too.
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

// Spans longer than this are not rendered: a damaged time reference can make a
// project of terabytes, which is the output size check's business, not the fuzzer's.
constexpr uint64_t kMaxRenderedFrames = 200000;

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/proj2wav-fuzz-XXXXXX";
        project = ::mkdtemp(pattern);
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
    if (take.Validate()) {
        if (take.BytesPerSample() == 0 || take.DataSize() % take.BytesPerSample() != 0) {
            __builtin_trap();  // an accepted take always has whole frames
        }
        ReadWholeTake(take);
    }

    EDLWriter writer;
    writer.Init();
    writer.LoadProject(scratch.project.c_str());
    if (writer.edl != nullptr &&
        writer.edl->LastSampleInEDL() - writer.edl->FirstSampleInEDL() <= kMaxRenderedFrames) {
        writer.SetParams(static_cast<int8_t>(size % 2), static_cast<int8_t>(size % 5));
        const std::string out = scratch.project + "/out.wav";
        const std::string right = scratch.project + "/outR.wav";
        const int32_t made = size % 5 == DualMono ? writer.NewFiles(out.c_str(), right.c_str())
                                                  : writer.NewFile(out.c_str());
        std::atomic<double> progress{0.0};
        if (made != 0 && writer.doConvert(progress) == 0) __builtin_trap();
    }
    return 0;
}
