// The proj2wav command line, run as the real program on projects written by the
// independent take builder: what `info` reports, what `convert` says and refuses
// to touch, its exit codes, its progress line, and stopping a long run with a
// signal. (What the outputs hold is proven in tests/engine; here they are read
// back by sox and by the tests' header reader.) Then what survives when things go
// wrong: runs killed with SIGKILL, mended by `repair`; outputs put on the disk
// before success is reported (seen with strace); and 4 KiB of a take that cannot
// be read (pread failing in a preloaded shim).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Proj2wavRun.h"
#include "audiofile/kxFile.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Runs proj2wav with stderr on a pseudo-terminal and returns what reached it.
std::string StderrOnTerminal(const std::vector<std::string>& args, int* code) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "no pty";
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);  // kept open: no hang-up
    const pid_t pid = Start(Command(args), "/dev/null", "", slave);
    *code = pid > 0 ? Wait(pid) : -1;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(slave);
    ::close(master);
    return text;
}

// One recording in two files back to back (B1, B2), a later take behind them (A,
// recorded last but listed first) and two entries that are no takes.
// Timeline: B1 48000-96000, B2 96000-144000, A 144000-192000.
struct Session : ProjectDir {
    Session() : ProjectDir("My Session") {
        Add("Take A.wav", NthTake(144000, 48000, 2));
        Add("Take B1.wav", NthTake(48000, 48000, 0));
        Add("Take B2.wav", NthTake(96000, 48000, 1).Recording(1));
        Add("eight.wav", NthTake(0, 100, 3, 2, 8));
        WriteFileBytes(AudioDir() + "/notes.txt", {'h', 'i'});
    }
};

}  // namespace

TEST(CliInfo, ReportsStatusEntriesAndEditListAsTextAndJson) {
    Session p;
    Result r = Proj2wav({"info", p.Path()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_PRED2(Contains, r.out, "16 Bit, Stereo, 48.0Khz,  0:00:01.00- 0:00:04.00, 576 KB\n");
    EXPECT_PRED2(Contains, r.out, "notes.txt    refused   not a WAVE file");
    EXPECT_PRED2(Contains, r.out,
                 "eight.wav    refused   8-bit samples: only 16- and 24-bit PCM takes");
    EXPECT_PRED2(Contains, r.out, "Edit list: 3 events");
    EXPECT_EQ(r.err, "");

    r = Proj2wav({"info", p.Path(), "--json", "--bits", "24", "--channels", "dual"});
    ASSERT_EQ(r.code, 0) << r.err;
    json doc = json::parse(r.out);
    EXPECT_EQ(doc["project"], p.Path());
    const json entries = doc["entries"], events = doc["events"];
    for (const char* part : {"project", "entries", "events"}) doc.erase(part);
    EXPECT_EQ(doc, json::parse(
                       R"({"status": "24 Bit, Dual Mono, 48.0Khz,  0:00:01.00- 0:00:04.00, 864 KB",
        "valid": true, "problem": null, "bits": 24, "layout": "dual", "sample_rate": 48000,
        "rates_differ": false, "first_sample": 48000, "last_sample": 192000,
        "output_bytes": 864000})"));
    // Listing order (bytes), not origination order; each accepted entry carries its
    // own take's figures.
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1], json::parse(R"({"name": "Take B1.wav", "accepted": true,
        "reason": null, "channels": 2, "bits": 24, "sample_rate": 48000,
        "start_sample": 48000, "frames": 48000, "origination": "2026-03-14 08:00:00",
        "declared_frames": 48000, "truncated": false})"));
    EXPECT_EQ(entries[3]["reason"], "8-bit samples: only 16- and 24-bit PCM takes can be used");
    EXPECT_EQ(entries[4], json::parse(R"({"name": "notes.txt", "accepted": false,
        "reason": "not a WAVE file", "channels": null, "bits": null, "sample_rate": null,
        "start_sample": null, "frames": null, "origination": null, "declared_frames": null,
        "truncated": null})"));
    // The two files of one recording fade only at its outer ends.
    EXPECT_EQ(events, json::parse(R"([
        {"file": "Take B1.wav", "start_sample": 48000, "end_sample": 96000, "file_offset": 0,
         "start": "0:00:01.00", "end": "0:00:02.00", "fade_in": true, "fade_out": false},
        {"file": "Take B2.wav", "start_sample": 96000, "end_sample": 144000, "file_offset": 0,
         "start": "0:00:02.00", "end": "0:00:03.00", "fade_in": false, "fade_out": true},
        {"file": "Take A.wav", "start_sample": 144000, "end_sample": 192000, "file_offset": 0,
         "start": "0:00:03.00", "end": "0:00:04.00", "fade_in": true, "fade_out": true}])"));
    // The same as CSV.
    EXPECT_EQ(Proj2wav({"info", p.Path(), "--csv"}).out,
              "file,start_sample,end_sample,file_offset,start,end,fade_in,fade_out\r\n"
              "Take B1.wav,48000,96000,0,0:00:01.00,0:00:02.00,yes,no\r\n"
              "Take B2.wav,96000,144000,0,0:00:02.00,0:00:03.00,no,yes\r\n"
              "Take A.wav,144000,192000,0,0:00:03.00,0:00:04.00,yes,yes\r\n");
}

TEST(CliInfo, InvalidProjectsExitThreeAndStillReportInValidJson) {
    TempDir empty;
    EXPECT_EQ(Proj2wav({"info", empty.Path().string()}).code, 3);  // no "Audio Files"
    ProjectDir junk;                                               // no takes
    WriteFileBytes(junk.AudioDir() + "/notes.txt", {'x'});
    Result r = Proj2wav({"info", junk.Path(), "--json"});
    EXPECT_EQ(r.code, 3);
    json doc = json::parse(r.out);
    EXPECT_EQ(doc["status"], "Not a valid project directory...");
    EXPECT_TRUE(doc["first_sample"].is_null());

    // Mixed rates, and a name that is not UTF-8 (the JSON must stay valid).
    ProjectDir mixed;
    mixed.Add("\xFF\xFE take.wav", NthTake(0, 1000, 0));
    mixed.Add("b.wav", NthTake(5000, 1000, 1, 2, 24, 44100));
    r = Proj2wav({"info", mixed.Path(), "--json"});
    EXPECT_EQ(r.code, 3);
    doc = json::parse(r.out);  // throws on invalid UTF-8
    EXPECT_EQ(doc["rates_differ"], true);
    EXPECT_EQ(doc["entries"][1]["name"], "\xEF\xBF\xBD\xEF\xBF\xBD take.wav");
    EXPECT_EQ(doc["events"].size(), 2u);
    EXPECT_EQ(Proj2wav({"convert", mixed.Path(), "-o", mixed / "out.wav"}).code, 3);
    EXPECT_FALSE(fs::exists(mixed / "out.wav"));
}

TEST(CliUsage, HelpVersionAndWrongUsage) {
    Result r = Proj2wav({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_PRED2(Contains, r.out, "convert");
    r = Proj2wav({"convert", "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_PRED2(Contains, r.out, "cut to 16 bits (the lowest 8 bits dropped), without dither");
    r = Proj2wav({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("proj2wav ", 0), 0u) << r.out;

    Session p;
    const std::string out = p / "out.wav";
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {},
             {"info", p.Path(), "--bits", "20"},
             {"info", p.Path(), "--channels", "quad"},
             {"convert", p.Path(), "-o", out, "--right", p / "r.wav"},
         }) {
        EXPECT_EQ(Proj2wav(wrong).code, 2) << testing::PrintToString(wrong);
    }
    EXPECT_FALSE(fs::exists(out));
    // Alone, the program says what it does, with an example of each command.
    r = Proj2wav({});
    EXPECT_PRED2(Contains, r.err, "proj2wav info \"/media/disk/Gig\"");
    EXPECT_PRED2(Contains, r.err, "proj2wav convert \"/media/disk/Gig\" -o Gig.wav");
}

TEST(CliConvert, SaysWhereTheOutputWentAndShowsProgressOnlyOnATerminal) {
    Session p;
    const std::string out = p / "right.wav";
    Result r = Proj2wav({"convert", p.Path(), "-o", out, "--bits", "24", "--channels", "right"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_PRED2(Contains, r.out, "Conversion complete...");
    EXPECT_PRED2(Contains, r.out, fs::canonical(out).string());
    EXPECT_EQ(r.err, "");  // no progress line when stderr is not a terminal
    if (HaveTool("soxi")) {
        EXPECT_EQ(
            Soxi("-c", out) + " " + Soxi("-r", out) + " " + Soxi("-b", out) + " " + Soxi("-s", out),
            "1 48000 24 144000");
    }
    r = Proj2wav({"convert", p.Path(), "-o", p / "quiet.wav", "--quiet"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");

    int code = -1;
    std::string shown = StderrOnTerminal({"convert", p.Path(), "-o", p / "a.wav"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_PRED2(Contains, shown, "%  0:00 elapsed");
    shown = StderrOnTerminal({"convert", p.Path(), "-o", p / "b.wav", "--quiet"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shown, "");
}

// The names of outputs without -o, and the command line's wiring of the output
// guards (their rules are tested in tests/app): the refusal on stderr, exit code
// 1, nothing touched; --force.
TEST(CliConvert, RefusalsComeBeforeAnythingIsCreated) {
    Session p;
    // Without -o: beside the project, named after it, the right file of dual mono
    // after the left (-o mixL.wav gives mixR.wav: InfoFileTest reads both); never
    // over what is there.
    const fs::path beside = fs::path(p.Path()).parent_path();
    ASSERT_EQ(Proj2wav({"convert", p.Path()}).code, 0);
    EXPECT_TRUE(ReadWaveHeader(beside / "My Session.wav").Consistent());
    EXPECT_EQ(Proj2wav({"convert", p.Path()}).code, 1);
    ASSERT_EQ(Proj2wav({"convert", p.Path(), "--channels", "dual"}).code, 0);
    EXPECT_TRUE(fs::exists(beside / "My SessionR.wav"));

    const std::string out = p / "out.wav";
    WriteFileBytes(out, {'k', 'e', 'e', 'p'});
    Result r = Proj2wav({"convert", p.Path(), "-o", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_PRED2(Contains, r.err, out);
    EXPECT_EQ(ReadText(out), "keep");
    r = Proj2wav({"convert", p.Path(), "-o", out, "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(ReadWaveHeader(out).Consistent());
    // --right names the right file of dual mono; the guards see it.
    r = Proj2wav({"convert", p.Path(), "-o", p / "same.wav", "--right", p / "./same.wav",
                  "--channels", "dual"});
    EXPECT_EQ(r.code, 1);
    EXPECT_PRED2(Contains, r.err, "are both \"same.wav\". Choose two different files.");
    EXPECT_FALSE(fs::exists(p / "same.wav"));

    ProjectDir silent;  // a take without a single frame: nothing to render
    silent.Add("a.wav", NthTake(0, 0, 0));
    EXPECT_EQ(Proj2wav({"convert", silent.Path(), "-o", silent / "none.wav"}).code, 1);
    EXPECT_FALSE(fs::exists(silent / "none.wav"));
}

// A take whose time reference was damaged (random bytes over 'bext') lands far out
// on the timeline. Beyond 2^40 frames it is refused; within, the project's figures
// are exact and a span of terabytes is refused for want of room: either way
// `convert` ends at once, in every width and layout.
TEST(CliFarOutTakes, AreRefusedOrExactAndNeverMakeALongRun) {
    constexpr uint64_t kTimelineEnd = uint64_t{1} << 40;
    const struct {
        uint64_t start;
        bool accepted;
    } cases[] = {
        {kTimelineEnd - 1000, true},    // its last frame is the timeline's last
        {3229793259066718542u, false},  // the rules are tested in tests/audiofile
    };
    const char* layouts[] = {"stereo", "left", "right", "sum", "dual"};
    for (const auto& c : cases) {
        ProjectDir p;
        p.Add("a.wav", NthTake(48000, 1000, 0));
        p.Add("far.wav", NthTake(c.start, 1000, 1));
        const uint64_t frames = c.accepted ? kTimelineEnd - 48000 : 1000;
        for (const std::string bits : {"16", "24"}) {
            SCOPED_TRACE(std::to_string(c.start) + ", " + bits + " bit");
            const Result text = Proj2wav({"info", p.Path(), "--bits", bits});
            EXPECT_EQ(text.code, 0) << text.err;
            EXPECT_EQ(Contains(text.out, "far.wav  refused   time reference"), !c.accepted);
            for (int column = 0; column < 5; ++column) {
                SCOPED_TRACE(layouts[column]);
                const uint64_t files = column == 4 ? 2 : 1;
                const uint64_t bytes =
                    frames * (bits == "16" ? 2 : 3) * (column == 0 || column == 4 ? 2 : 1);
                const json doc = json::parse(Proj2wav({"info", p.Path(), "--json", "--bits", bits,
                                                       "--channels", layouts[column]})
                                                 .out);
                EXPECT_EQ(doc["entries"][1]["accepted"], c.accepted);
                EXPECT_EQ(doc["output_bytes"], bytes);
                EXPECT_PRED2(
                    Contains, doc["status"].get<std::string>(),
                    c.accepted ? " 0:00:01.00-6362:54:52.24, " : " 0:00:01.00- 0:00:01.02, ");
                const std::string out = p / "outL.wav";
                const Result convert =
                    Proj2wav({"convert", p.Path(), "-o", out, "--bits", bits, "--channels",
                              layouts[column], "--force", "--quiet"});
                EXPECT_EQ(convert.code, c.accepted ? 1 : 0) << convert.err;
                if (c.accepted) {
                    EXPECT_PRED2(Contains, convert.err, "Insufficient disk space.");
                    EXPECT_FALSE(fs::exists(out));
                } else {
                    EXPECT_EQ(fs::file_size(out), 1024 + bytes / files);
                }
            }
        }
    }
}

TEST(CliInfo, AnOutputThatCannotBeWrittenIsAFailure) {
    Session p;
    for (const char* format : {"", "--json"}) {
        const Result r = Proj2wav({p.Path(), format}, "exec \"$0\" info \"$1\" $2 > /dev/full");
        EXPECT_EQ(r.code, 1) << format;
        EXPECT_PRED2(Contains, r.err, "cannot write to standard output: No space left on device");
    }
}

TEST(CliConvert, AFailedWriteReportsFailureAndLeavesAConsistentFile) {
    Session p;
    const std::string out = p / "limited.wav";
    // A file size limit of 100 KB; the output would be 864 KB.
    const Result r = Proj2wav({"convert", p.Path(), "-o", out, "--bits", "24"},
                              "ulimit -f 100; exec \"$0\" \"$@\"");
    EXPECT_EQ(r.code, 1) << r.err;
    // The system's reason for the failed write is in the message.
    EXPECT_PRED2(Contains, r.err, "Operation failed... writing \"" + out + "\": File too large");
    const WaveHeader h = ReadWaveHeader(out);
    EXPECT_TRUE(h.Consistent());
    EXPECT_LT(h.dataSize, 144000u * 6);
}

TEST(CliConvert, ASignalStopsTheRunAndLeavesAValidShorterFile) {
    ProjectDir p;  // an hour of timeline: two one-second mono takes an hour apart
    p.Add("a.wav", NthTake(0, 48000, 0, 1, 16));
    p.Add("b.wav", NthTake(48000ull * 3600, 48000, 1, 1, 16));
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string out = p / ("stopped" + std::to_string(signal) + ".wav");
        const pid_t pid = Start(Command({"convert", p.Path(), "-o", out, "--channels", "left"}),
                                p / "out.txt", p / "err.txt");
        ASSERT_GT(pid, 0);
        EXPECT_EQ(StopOnceWriting(pid, out, signal), 130);
        const std::string err = ReadText(p / "err.txt");
        EXPECT_PRED2(Contains, err, "stopped: \"" + out + "\" holds the first");
        const WaveHeader h = ReadWaveHeader(out);
        EXPECT_TRUE(h.Consistent());
        EXPECT_GT(h.dataSize, 0u);
        EXPECT_LT(h.dataSize, 48000ull * 3601 * 2);
        if (HaveTool("soxi")) {
            EXPECT_EQ(Soxi("-s", out), std::to_string(h.dataSize / 2));
        }
    }
}

namespace {

// Hours of timeline in two short takes: 691 MB of 16-bit stereo an hour.
struct LongProject : ProjectDir {
    explicit LongProject(uint64_t hours) {
        Add("a.wav", NthTake(0, 48000, 0, 2, 16));
        Add("b.wav", NthTake(48000ull * 3600 * hours, 48000, 1, 2, 16));
    }
};

// Whether the strace log shows `path` put on the disk (a successful fsync), and
// where: npos when nowhere. A call interrupted by another process's event is
// logged in two lines, "PID fsync(4</x.wav> <unfinished ...>" and later "PID <...
// fsync resumed>) = 0"; its place is that of the second.
size_t SyncedAt(const std::string& log, const std::string& path) {
    const std::string trace = ReadText(log);
    const std::string file = "<" + fs::canonical(path).string() + ">";
    const auto lineAt = [&](size_t at) {
        const size_t start = trace.rfind('\n', at);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        return trace.substr(from, trace.find('\n', at) - from);
    };
    // strace pads a short line's result to a column: ")      = 0".
    const auto succeeded = [](const std::string& line) {
        const size_t close = line.rfind(')');
        const size_t result = close == std::string::npos ? close : line.find_first_not_of(' ', close + 1);
        return result != std::string::npos && line.compare(result, 3, "= 0") == 0;
    };
    for (size_t at = trace.find("fsync("); at != std::string::npos; at = trace.find("fsync(", at + 1)) {
        const std::string line = lineAt(at);
        if (line.find(file) == std::string::npos) continue;
        if (succeeded(line)) return at;
        if (line.find("<unfinished ...>") == std::string::npos) continue;
        const size_t resumed = trace.find("\n" + line.substr(0, line.find(' ')) + " <... fsync resumed>", at);
        if (resumed != std::string::npos && succeeded(lineAt(resumed + 1))) {
            return resumed + 1;
        }
    }
    return std::string::npos;
}

}  // namespace

TEST(CliKilled, AKilledRunDeclaresNoMoreThanItHoldsAndRepairMendsIt) {
    LongProject p(1);
    const std::string out = p / "killed.wav";
    for (const uint64_t killAt : {uint64_t{1} << 20, uint64_t{100} << 20, uint64_t{200} << 20}) {
        SCOPED_TRACE(killAt);
        fs::remove(out);
        const pid_t pid =
            Start(Command({"convert", p.Path(), "-o", out}), "/dev/null", "/dev/null");
        ASSERT_EQ(StopOnceWriting(pid, out, SIGKILL, killAt + 1024), -1)
            << "the run ended before it was killed";

        // The header declares whole frames the file holds, at most one header
        // update (and a write) behind them; proj2wav and sox read that.
        const uint64_t held = fs::file_size(out) - 1024, whole = held - held % 4;
        const WaveHeader h = ReadWaveHeader(out);
        EXPECT_LE(h.dataSize, held);
        EXPECT_LE(held - h.dataSize, kHeaderUpdateBytes + (2 << 20));
        const json info = json::parse(Proj2wav({"info", out, "--json"}).out);
        EXPECT_EQ(info["frames"], h.dataSize / 4);
        EXPECT_EQ(info["frames_on_disk"], held / 4);
        const std::string text = Proj2wav({"info", out}).out;
        EXPECT_PRED2(Contains, text, "the file holds " + std::to_string(held / 4) + " (");
        EXPECT_PRED2(Contains, text, "; mend it with: proj2wav repair '" + out + "'\n");
        EXPECT_EQ(Soxi("-s", out), std::to_string(h.dataSize / 4));

        // A dry run changes nothing; repair declares every whole frame, samples as
        // they were.
        const std::vector<uint8_t> tail = ReadFileBytes(out, 1024 + whole - 4096, 4096);
        EXPECT_PRED2(Contains, Proj2wav({"repair", "--dry-run", out}).out, "is unfinished");
        EXPECT_EQ(ReadWaveHeader(out).dataSize, h.dataSize);
        const Result r = Proj2wav({"repair", out});
        EXPECT_EQ(r.code, 0);
        EXPECT_PRED2(Contains, r.out, "Mended");
        const WaveHeader mended = ReadWaveHeader(out);
        EXPECT_TRUE(mended.Consistent());
        EXPECT_EQ(mended.dataSize, whole);
        EXPECT_EQ(ReadFileBytes(out, 1024 + whole - 4096, 4096), tail);
        EXPECT_EQ(Soxi("-s", out), std::to_string(whole / 4));
        EXPECT_PRED2(Contains, Proj2wav({"repair", out}).out, "Nothing to mend");
    }
}

TEST(CliRepair, SaysWhatItMendedAndNeverWritesATake) {
    ProjectDir p;
    p.Add("a.wav", NthTake(0, 10001, 0, 1, 24));
    // Cut two bytes into frame 5001 (the mended bytes are proven in tests/audiofile).
    const std::string out = p / "mono.wav";
    ASSERT_EQ(Proj2wav({"convert", p.Path(), "-o", out, "--bits", "24", "--channels", "left"}).code,
              0);
    fs::resize_file(out, 1024 + 3 * 5001 + 2);
    EXPECT_PRED2(Contains, Proj2wav({"repair", out}).out,
                 "the 2 bytes of an unfinished last frame were cut off; a pad byte follows");

    // A take is never written, even one cut short and reached through a link.
    const std::string take = p.AudioDir() + "/a.wav";
    fs::resize_file(take, fs::file_size(take) - 3);
    fs::create_symlink(take, p / "link.wav");
    const std::vector<uint8_t> before = ReadFileBytes(take);
    Result r = Proj2wav({"info", take});
    EXPECT_PRED2(Contains, r.out, "one of a project's recordings, which proj2wav never writes to");
    EXPECT_FALSE(Contains(r.out, "proj2wav repair")) << r.out;
    for (const std::string& path : {take, p / "link.wav"}) {
        r = Proj2wav({"repair", path});
        EXPECT_EQ(r.code, 1);
        EXPECT_PRED2(Contains, r.err, "\"Audio Files\" folder");
    }
    EXPECT_TRUE(ReadFileBytes(take) == before);
    WriteFileBytes(p / "notes.txt", {'n', 'o', 't', 'e', 's', '!', '!', '!'});
    EXPECT_EQ(Proj2wav({"repair", p / "notes.txt"}).code, 3);
}

TEST(CliFlush, OutputsAreOnTheDiskBeforeSuccessIsReportedAndAfterAStop) {
    if (!HaveTool("strace")) GTEST_SKIP() << "no strace";
    ProjectDir p;
    p.Add("a.wav", NthTake(0, 48000, 0, 2, 24));
    const std::string log = p / "strace.log";
    // (LeakSanitizer, in a sanitizer build, cannot work under ptrace.)
    const std::string strace =
        "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\"; exec strace -f -y "
        "-e trace=fsync,fdatasync,write -o '" +
        log + "' ";
    ASSERT_EQ(Proj2wav({"convert", p.Path(), "-o", p / "mixL.wav", "--channels", "dual"},
                       strace + "\"$0\" \"$@\"")
                  .code,
              0);
    const size_t complete = ReadText(log).find("Conversion complete");
    ASSERT_NE(complete, std::string::npos) << ReadText(log);
    EXPECT_LT(SyncedAt(log, p / "mixL.wav"), complete) << ReadText(log);
    EXPECT_LT(SyncedAt(log, p / "mixR.wav"), complete) << ReadText(log);

    // A stopped run's shorter file is put on the disk too.
    LongProject hours(2);
    const std::string stopped = hours / "stopped.wav";
    EXPECT_EQ(Proj2wav({"convert", hours.Path(), "-o", stopped},
                       strace + "timeout --preserve-status -s TERM 0.5 \"$0\" \"$@\"")
                  .code,
              130);
    EXPECT_NE(SyncedAt(log, stopped), std::string::npos) << ReadText(log);
}

TEST(CliUnreadable, FourKiBThatCannotBeReadCostOnlyTheFramesThatTouchThem) {
    ProjectDir p;
    p.Add("a.wav", NthTake(48000, 480000, 0, 2, 24));  // ten seconds, read in two windows
    const std::string take = fs::canonical(p.AudioDir() + "/a.wav").string();
    const uint64_t dataStart = ReadWaveHeader(take).dataOffset;
    const uint64_t sector = (dataStart + 1000000) / 4096 * 4096;
    const uint64_t first = (sector - dataStart) / 6, end = (sector + 4096 - dataStart + 5) / 6;
    ASSERT_EQ(Proj2wav({"convert", p.Path(), "-o", p / "clean.wav", "--bits", "24"}).code, 0);
    const Result r = Proj2wav({"convert", p.Path(), "-o", p / "gaps.wav", "--bits", "24"},
                              "exec env LD_PRELOAD='" READ_FAULT_SHIM "' PROJ2WAV_FAULT_FILE='" +
                                  take + "' PROJ2WAV_FAULT_FROM=" + std::to_string(sector) +
                                  " PROJ2WAV_FAULT_TO=" + std::to_string(sector + 4096) +
                                  " ASAN_OPTIONS=verify_asan_link_order=0 \"$0\" \"$@\"");
    // Written, but with a gap: its own exit status and headline, and the take and
    // the timeline's samples of the silenced stretch are named.
    EXPECT_EQ(r.code, 4);
    EXPECT_PRED2(Contains, r.out, "Conversion complete with gaps: 1 stretch of audio");
    EXPECT_PRED2(Contains, r.err, "a.wav");
    EXPECT_PRED2(Contains, r.err, std::to_string(48000 + first));
    EXPECT_PRED2(Contains, r.err, std::to_string(48000 + end));
    std::vector<uint8_t> expected = ReadFileBytes(p / "clean.wav");
    std::fill(expected.begin() + 1024 + first * 6, expected.begin() + 1024 + end * 6, 0);
    const std::vector<uint8_t> got = ReadFileBytes(p / "gaps.wav");
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(std::equal(got.begin() + 1024, got.end(), expected.begin() + 1024))
        << "audio that could be read was lost, or the unreadable was not silenced";
}
