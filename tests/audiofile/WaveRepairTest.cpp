// Mending unfinished WAVE files: our outputs cut short anywhere, files of other
// layouts, files past 4 GiB (sparse) that must become RF64. The samples never
// change, and libsndfile agrees with the mended header.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <functional>

#include "audiofile/WaveRepair.h"
#include "audiofile/kxFile.h"
#include "support/TakeBuilder.h"
#include "support/TempDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

// Our output as a killed run leaves it: `samples` bytes behind a header that
// declares none, the file cut `extra` bytes further (into a frame, or far beyond
// as a sparse file).
void KilledOutput(const std::string& path, int channels, int bits, uint64_t samples,
                  uint64_t extra = 0) {
    {
        kxFile out(path.c_str(), static_cast<int8_t>(channels), 48000, static_cast<int8_t>(bits),
                   4800);
        ASSERT_TRUE(out.OpenForWrite());
        const std::vector<uint8_t> bytes = PatternBytes(2, 0, samples, channels, bits);
        if (!bytes.empty()) {
            ASSERT_TRUE(out.WriteData(bytes.data(), bytes.size()));
        }
    }  // gone without Close: the header still says 0
    std::filesystem::resize_file(path, std::filesystem::file_size(path) + extra);
}

// A header of the tests' own writer followed by 4 GiB + 8 bytes of samples, all but
// the first few a hole.
void Sparse(const std::string& path, const TakeBuilder& header) {
    header.WriteSparse(path, k4GiB + 8, 0, PatternBytes(3, 0, 100, 2, 16));
}

// Bytes of a file from `start` on: all `length` of them when they are few, else
// the first 64 KiB and a few further on.
std::vector<uint8_t> SampleBytes(const std::string& path, uint64_t start, uint64_t length) {
    std::vector<uint8_t> bytes = ReadFileBytes(path, start, std::min<uint64_t>(length, 1 << 16));
    for (uint64_t at = start + bytes.size(); at < start + length; at += length / 7) {
        bytes.push_back(ReadFileBytes(path, at, 1).at(0));
    }
    return bytes;
}

std::string SndfileLog(const std::string& path, uint64_t& frames) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return "cannot open";
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    sf_close(file);
    frames = static_cast<uint64_t>(info.frames);
    return log;
}

}  // namespace

TEST(WaveRepair, MendsTheHeaderToTheWholeFramesOnDiskAndNeverTouchesASample) {
    const std::vector<uint8_t> samples = PatternBytes(4, 0, 100, 2, 16);
    const TakeBuilder plain = TakeBuilder().Riff().Form().Fmt(2, 48000, 16);
    const TakeBuilder rf64 =
        TakeBuilder().Riff("RF64", 0xFFFFFFFF).Form().Ds64(0).Fmt(2, 48000, 16);
    const TakeBuilder junk = TakeBuilder().Riff().Form().Chunk("JUNK", std::vector<uint8_t>(28));
    TakeBuilder chunksBehind = TakeBuilder().Riff().Form().Fmt(1, 48000, 24);
    chunksBehind.Chunk("data", PatternBytes(1, 0, 7, 1, 24), {}, true).Chunk("note", {1}, {}, true);
    const TakeBuilder floats = TakeBuilder().Riff().Form().Fmt(1, 48000, 32, 3).Data({0, 0, 0, 0});
    struct Case {
        const char* name;
        std::function<void(const std::string&)> write;
        WaveCondition condition;
        uint64_t audio = 0, cut = 0;  // bytes
        bool pad = false;
        std::string form = "RIFF";  // once mended
    } cases[] = {
        {"killed, cut inside a frame", [](auto& p) { KilledOutput(p, 2, 24, 1001, 3); },
         WaveCondition::Unfinished, 6006, 3},
        {"killed, 24-bit mono of odd frames", [](auto& p) { KilledOutput(p, 1, 24, 1001, 1); },
         WaveCondition::Unfinished, 3003, 1, true},
        {"killed before any sample (RIFF size 0)", [](auto& p) { KilledOutput(p, 2, 16, 0); },
         WaveCondition::Unfinished},
        {"declares more than it holds",
         [&](auto& p) { TakeBuilder(plain).Data(samples, ~0u).Write(p); },
         WaveCondition::Unfinished, 400},
        {"RF64 whose ds64 declares nothing",
         [&](auto& p) { TakeBuilder(rf64).Data(samples, ~0u).Write(p); }, WaveCondition::Unfinished,
         400, 0, false, "RF64"},
        {"finished, chunks and pad bytes behind odd samples",
         [&](auto& p) { chunksBehind.Write(p); }, WaveCondition::Finished, 21},
        {"float samples", [&](auto& p) { floats.Write(p); }, WaveCondition::NotPcm},
        // Past 4 GiB: our own header has room for 'ds64' in its PAD chunk, ffmpeg's in
        // the JUNK chunk it puts first; a header without such a chunk has none.
        {"killed past 4 GiB", [](auto& p) { KilledOutput(p, 2, 24, 0, k4GiB + 6 * 5 + 1); },
         WaveCondition::Unfinished, k4GiB + 6 * 5 - 4, 5, false, "RF64"},
        {"JUNK first", [&](auto& p) { Sparse(p, TakeBuilder(junk).Fmt(2, 48000, 16).Data({}, 0)); },
         WaveCondition::Unfinished, k4GiB + 8, 0, false, "RF64"},
        {"without room", [&](auto& p) { Sparse(p, TakeBuilder(plain).Data({}, 0)); },
         WaveCondition::NoRoomForRf64, k4GiB + 8},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "file.wav";
        c.write(path);
        const WavePlan plan = InspectWave(path);
        EXPECT_EQ(plan.condition, c.condition);
        EXPECT_EQ(plan.audio, c.audio);
        EXPECT_EQ(plan.cut, c.cut);
        EXPECT_EQ(plan.padByte, c.pad);
        const uint64_t size = std::filesystem::file_size(path);
        const std::vector<uint8_t> file = SampleBytes(path, 0, size);
        const std::vector<uint8_t> audio = SampleBytes(path, plan.dataStart, plan.audio);

        WavePlan mended;
        EXPECT_EQ(MendWave(path, mended), c.condition == WaveCondition::Unfinished);
        if (c.condition != WaveCondition::Unfinished) {
            EXPECT_EQ(std::filesystem::file_size(path), size);
            EXPECT_TRUE(SampleBytes(path, 0, size) == file) << "changed a file it cannot mend";
            continue;
        }
        EXPECT_EQ(InspectWave(path).condition, WaveCondition::Finished);
        EXPECT_EQ(SampleBytes(path, plan.dataStart, plan.audio), audio) << "changed a sample";
        const WaveHeader h = ReadWaveHeader(path);
        EXPECT_TRUE(h.Consistent());
        EXPECT_EQ(h.form, c.form);
        EXPECT_EQ(h.dataSize, c.audio);
        EXPECT_EQ(h.dataOffset, plan.dataStart);
        uint64_t frames = 0;
        const std::string log = SndfileLog(path, frames);
        EXPECT_EQ(frames, c.audio / plan.frameBytes) << log;
        EXPECT_EQ(log.find("(should be"), std::string::npos) << log;
        // Our own 'bext' is still found, behind 'ds64' in RF64.
        EXPECT_EQ(h.timeReference, std::string_view(c.name).starts_with("killed") ? 4800u : 0u);
    }
}
