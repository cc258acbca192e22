// What survives when things go wrong around `proj2wav convert`: a run killed with
// SIGKILL at several moments leaves a header that proj2wav, sox and libsndfile read
// as no more audio than the file holds, and `repair` mends it (and an output cut
// at an odd byte) without touching a sample or a take; outputs are on the disk
// (fsync, seen with strace) before success is reported, also after a stop; and 4
// KiB of a take that cannot be read (pread failing in a preloaded shim) cost only
// the frames that touch them.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "audiofile/kxFile.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs proj2wav through the shell with `args` (quoted as needed) behind `env`;
// stdout, the exit code and stderr.
std::string Proj2wav(const std::string& args, int* code, std::string* err = nullptr,
                     const std::string& env = "") {
    TempDir capture;
    const std::string out = RunCommand(
        env + " " + Quote(PROJ2WAV_BIN) + " " + args + " 2>" + Quote(capture / "err"), code);
    if (err != nullptr) {
        const std::vector<uint8_t> bytes = ReadFileBytes(capture / "err");
        err->assign(bytes.begin(), bytes.end());
    }
    return out;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

uint64_t SoxFrames(const std::string& path) {
    return std::strtoull(RunCommand("soxi -s " + Quote(path) + " 2>/dev/null").c_str(), nullptr,
                         10);
}

uint64_t SndfileFrames(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return UINT64_MAX;
    sf_close(file);
    return static_cast<uint64_t>(info.frames);
}

// `length` bytes of a file from `at`.
std::vector<uint8_t> Bytes(const std::string& path, uint64_t at, uint64_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at));
    std::vector<uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// Hours of timeline in two short takes: 691 MB of 16-bit stereo an hour.
struct LongProject : ProjectDir {
    explicit LongProject(uint64_t hours) {
        Add("a.wav", NthTake(0, 48000, 0, 2, 16));
        Add("b.wav", NthTake(48000ull * 3600 * hours, 48000, 1, 2, 16));
    }
};

uint64_t FileSize(const std::string& path) {
    std::error_code error;
    const uint64_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

// Where the trace shows `path` put on the disk (a successful fsync); npos when nowhere.
size_t SyncedAt(const std::string& trace, const std::string& path) {
    const size_t at = trace.find("<" + fs::canonical(path).string() + ">) = 0");
    if (at == std::string::npos) return at;
    const size_t line = trace.rfind('\n', at), call = trace.rfind("fsync(", at);
    return call != std::string::npos && (line == std::string::npos || call > line)
               ? at
               : std::string::npos;
}

}  // namespace

TEST(CliKilled, AKilledRunDeclaresNoMoreThanItHoldsAndRepairMendsIt) {
    LongProject p(1);
    const std::string out = p / "killed.wav";
    for (const uint64_t killAt : {uint64_t{1} << 20, uint64_t{100} << 20, uint64_t{200} << 20}) {
        SCOPED_TRACE(killAt);
        fs::remove(out);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execl(PROJ2WAV_BIN, PROJ2WAV_BIN, "convert", p.Path().c_str(), "-o", out.c_str(),
                  "--quiet", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (FileSize(out) < killAt + 1024 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";

        // The header declares whole frames the file holds, at most one header
        // update (and a write) behind them.
        const uint64_t held = fs::file_size(out) - 1024;
        const WaveHeader h = ReadWaveHeader(out);
        EXPECT_EQ(h.dataOffset, 1024u);
        EXPECT_LE(h.dataSize, held);
        EXPECT_LE(held - h.dataSize, kHeaderUpdateBytes + (2 << 20));
        EXPECT_EQ(h.dataSize % 4, 0u);
        int code = -1;
        const nlohmann::json info =
            nlohmann::json::parse(Proj2wav("info " + Quote(out) + " --json", &code));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(info["frames"], h.dataSize / 4);
        EXPECT_EQ(info["unfinished"], true);
        EXPECT_EQ(info["frames_on_disk"], held / 4);
        EXPECT_PRED2(Contains, Proj2wav("info " + Quote(out), &code),
                     "Unfinished:     its header declares " + std::to_string(h.dataSize / 4) +
                         " frames, the file holds " + std::to_string(held / 4));
        EXPECT_EQ(SoxFrames(out), h.dataSize / 4);
        EXPECT_EQ(SndfileFrames(out), h.dataSize / 4);

        // A dry run changes nothing; repair declares every whole frame, samples as they were.
        const std::vector<uint8_t> head = Bytes(out, 0, 1 << 16);
        const std::vector<uint8_t> tail = Bytes(out, 1024 + held - held % 4 - 4096, 4096);
        EXPECT_PRED2(Contains, Proj2wav("repair --dry-run " + Quote(out), &code), "is unfinished");
        EXPECT_EQ(code, 0);
        EXPECT_EQ(Bytes(out, 0, 1 << 16), head);
        EXPECT_PRED2(Contains, Proj2wav("repair " + Quote(out), &code), "Mended");
        EXPECT_EQ(code, 0);
        const WaveHeader mended = ReadWaveHeader(out);
        EXPECT_TRUE(mended.Consistent());
        EXPECT_EQ(mended.dataSize, held - held % 4);
        EXPECT_TRUE(Bytes(out, 1024, head.size() - 1024) ==
                    std::vector<uint8_t>(head.begin() + 1024, head.end()));
        EXPECT_EQ(Bytes(out, 1024 + held - held % 4 - 4096, 4096), tail);
        EXPECT_EQ(SoxFrames(out), held / 4);
        EXPECT_EQ(SndfileFrames(out), held / 4);
        EXPECT_PRED2(Contains, Proj2wav("repair " + Quote(out), &code), "Nothing to mend");
        EXPECT_EQ(code, 0);
    }
}

TEST(CliRepair, MendsAnOutputCutAtAnOddByteAndNeverATake) {
    ProjectDir p;
    p.Add("a.wav", NthTake(0, 10001, 0, 1, 24));
    const std::string out = p / "mono.wav";
    int code = -1;
    Proj2wav("convert " + Quote(p.Path()) + " -o " + Quote(out) + " --bits 24 --channels left",
             &code);
    ASSERT_EQ(code, 0);
    // Cut two bytes into frame 5001: 5001 whole frames of 3 bytes are left, an odd
    // size that a pad byte must follow.
    fs::resize_file(out, 1024 + 3 * 5001 + 2);
    const std::vector<uint8_t> samples = Bytes(out, 1024, 3 * 5001);
    std::string err;
    EXPECT_PRED2(Contains, Proj2wav("repair " + Quote(out), &code, &err),
                 "the 2 bytes of an unfinished last frame were cut off; a pad byte follows");
    EXPECT_EQ(code, 0) << err;
    const WaveHeader h = ReadWaveHeader(out);
    EXPECT_TRUE(h.Consistent());
    EXPECT_EQ(h.dataSize, 3u * 5001);
    EXPECT_EQ(Bytes(out, 1024, 3 * 5001), samples);
    EXPECT_EQ(Bytes(out, 1024 + 3 * 5001, 2), std::vector<uint8_t>{0});
    EXPECT_EQ(SoxFrames(out), 5001u);
    EXPECT_EQ(SndfileFrames(out), 5001u);

    // A take is never written, even one cut short and reached through a link.
    const std::string take = p.AudioDir() + "/a.wav";
    fs::resize_file(take, fs::file_size(take) - 3);
    fs::create_symlink(take, p / "link.wav");
    const std::vector<uint8_t> before = ReadFileBytes(take);
    for (const std::string& path : {take, p / "link.wav"}) {
        Proj2wav("repair " + Quote(path), &code, &err);
        EXPECT_EQ(code, 1);
        EXPECT_PRED2(Contains, err, "\"Audio Files\" folder");
    }
    EXPECT_TRUE(ReadFileBytes(take) == before);
    WriteFileBytes(p / "notes.txt", {'n', 'o', 't', 'e', 's', '!', '!', '!'});
    Proj2wav("repair " + Quote(p / "notes.txt"), &code);
    EXPECT_EQ(code, 3);
}

TEST(CliFlush, OutputsAreOnTheDiskBeforeSuccessIsReportedAndAfterAStop) {
    if (!HaveTool("strace")) GTEST_SKIP() << "no strace";
    ProjectDir p;
    p.Add("a.wav", NthTake(0, 48000, 0, 2, 24));
    const std::string log = p / "strace.log";
    const std::string strace = "strace -f -y -e trace=fsync,fdatasync,write -o " + Quote(log);
    int code = -1;
    Proj2wav("convert " + Quote(p.Path()) + " -o " + Quote(p / "mixL.wav") + " --channels dual",
             &code, nullptr, strace);
    ASSERT_EQ(code, 0);
    const std::vector<uint8_t> bytes = ReadFileBytes(log);
    const std::string trace(bytes.begin(), bytes.end());
    const size_t complete = trace.find("Conversion complete");
    ASSERT_NE(complete, std::string::npos) << trace;
    for (const char* name : {"mixL.wav", "mixR.wav"}) {
        EXPECT_LT(SyncedAt(trace, p / name), complete) << name << "\n" << trace;
    }

    // A stopped run's shorter file is put on the disk too.
    LongProject hours(2);
    const std::string stopped = hours / "stopped.wav";
    Proj2wav("convert " + Quote(hours.Path()) + " -o " + Quote(stopped), &code, nullptr,
             strace + " timeout --preserve-status -s TERM 0.5");
    EXPECT_EQ(code, 130);
    const std::vector<uint8_t> stopBytes = ReadFileBytes(log);
    EXPECT_NE(SyncedAt(std::string(stopBytes.begin(), stopBytes.end()), stopped),
              std::string::npos);
}

TEST(CliUnreadable, FourKiBThatCannotBeReadCostOnlyTheFramesThatTouchThem) {
    ProjectDir p;
    p.Add("a.wav", NthTake(48000, 480000, 0, 2, 24));  // ten seconds, read in two windows
    const std::string take = fs::canonical(p.AudioDir() + "/a.wav").string();
    const uint64_t dataStart = ReadWaveHeader(take).dataOffset;
    const uint64_t sector = (dataStart + 1000000) / 4096 * 4096;
    const uint64_t first = (sector - dataStart) / 6, end = (sector + 4096 - dataStart + 5) / 6;
    int code = -1;
    std::string err;
    Proj2wav("convert " + Quote(p.Path()) + " -o " + Quote(p / "clean.wav") + " --bits 24", &code);
    ASSERT_EQ(code, 0);
    Proj2wav("convert " + Quote(p.Path()) + " -o " + Quote(p / "gaps.wav") + " --bits 24", &code,
             &err,
             "LD_PRELOAD=" + Quote(READ_FAULT_SHIM) + " PROJ2WAV_FAULT_FILE=" + Quote(take) +
                 " PROJ2WAV_FAULT_FROM=" + std::to_string(sector) + " PROJ2WAV_FAULT_TO=" +
                 std::to_string(sector + 4096) + " ASAN_OPTIONS=verify_asan_link_order=0");
    // The take and the timeline's samples of the silenced stretch are named.
    EXPECT_PRED2(Contains, err, "a.wav");
    EXPECT_PRED2(Contains, err, std::to_string(48000 + first));
    EXPECT_PRED2(Contains, err, std::to_string(48000 + end));
    std::vector<uint8_t> expected = ReadFileBytes(p / "clean.wav");
    std::fill(expected.begin() + 1024 + first * 6, expected.begin() + 1024 + end * 6, 0);
    const std::vector<uint8_t> got = ReadFileBytes(p / "gaps.wav");
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(std::equal(got.begin() + 1024, got.end(), expected.begin() + 1024))
        << "audio that could be read was lost, or the unreadable was not silenced";
}
