// The proj2wav command line, run as a real program on projects written by the
// independent take builder: what `info` reports, what `convert` writes (read back by
// our own minimal parser and by sox), what it refuses to touch, its exit codes, and
// stopping a long run with a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/TakeBuilder.h"
#include "support/TempDir.h"

extern char** environ;

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Starts `argv` with stdout and stderr going to the files `out` and `err`, or
// stderr onto the descriptor `errFd` when there is one; returns the child's pid.
pid_t Start(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
            int errFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (errFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// The child's exit code; -1 when it did not exit by itself (a signal killed it).
int Wait(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Command(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {PROJ2WAV_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

Result RunArgv(const std::vector<std::string>& argv) {
    TempDir capture;
    Result r;
    const pid_t pid = Start(argv, capture / "out", capture / "err");
    r.code = pid > 0 ? Wait(pid) : -1;
    r.out = ReadText(capture / "out");
    r.err = ReadText(capture / "err");
    return r;
}

Result Proj2wav(const std::vector<std::string>& args) {
    return RunArgv(Command(args));
}

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

// A project directory whose name has a space, as recorders name them.
struct Project {
    TempDir root;
    std::string path = root / "My Session";
    std::string audio = path + "/Audio Files";
    Project() { fs::create_directories(audio); }
    void Take(const std::string& name, const TakeRecipe& recipe) {
        WriteTake(audio + "/" + name, recipe);
    }
};

TakeRecipe Recipe(uint64_t start, uint64_t frames, const char* time, uint32_t identity,
                  uint32_t seed, int channels = 2, int bits = 24) {
    TakeRecipe recipe;
    recipe.start = start;
    recipe.frames = frames;
    recipe.time = time;
    recipe.identity = identity;
    recipe.seed = seed;
    recipe.channels = channels;
    recipe.bits = bits;
    return recipe;
}

// One recording in two files back to back (B1, B2), a later take behind them (A,
// recorded last but listed first) and two entries that are no takes.
// Timeline: B1 48000-96000, B2 96000-144000, A 144000-192000.
void FillSession(Project& p) {
    p.Take("Take A.wav", Recipe(144000, 48000, "11:00:00", 2, 2));
    p.Take("Take B1.wav", Recipe(48000, 48000, "10:00:00", 1, 1));
    p.Take("Take B2.wav", Recipe(96000, 48000, "10:00:01", 1, 3));
    p.Take("eight.wav", Recipe(0, 100, "09:00:00", 9, 9, 2, 8));
    WriteFileBytes(p.audio + "/notes.txt", {'h', 'i'});
}

// What an output file's header says, read with our own minimal RIFF walk.
struct Wav {
    uint64_t fileSize = 0;
    uint32_t riffSize = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    uint64_t timeReference = 0;
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    std::vector<uint8_t> bytes;
};

Wav ReadWav(const std::string& path) {
    Wav w;
    w.bytes = ReadFileBytes(path);
    w.fileSize = w.bytes.size();
    w.riffSize = Le32(w.bytes, 4);
    for (size_t at = 12; at + 8 <= w.bytes.size();) {
        const std::string id(w.bytes.begin() + at, w.bytes.begin() + at + 4);
        const uint32_t size = Le32(w.bytes, at + 4);
        if (id == "fmt ") {
            w.channels = Le16(w.bytes, at + 10);
            w.rate = Le32(w.bytes, at + 12);
            w.bits = Le16(w.bytes, at + 22);
        } else if (id == "bext") {
            w.timeReference = Le32(w.bytes, at + 8 + 338) | uint64_t{Le32(w.bytes, at + 8 + 342)}
                                                                << 32;
        } else if (id == "data") {
            w.dataOffset = at + 8;
            w.dataSize = size;
            break;
        }
        at += 8 + size + (size & 1);
    }
    return w;
}

// The header agrees with the bytes really in the file.
void ExpectConsistent(const Wav& w, const std::string& what) {
    EXPECT_EQ(w.riffSize, w.fileSize - 8) << what;
    EXPECT_EQ(w.dataOffset + w.dataSize, w.fileSize) << what;
    EXPECT_EQ(w.dataSize % (w.channels * w.bits / 8), 0u) << what;
}

int32_t Sample24(const Wav& w, uint64_t frame, int channel) {
    const size_t at = w.dataOffset + (frame * w.channels + channel) * 3;
    const uint32_t raw = w.bytes[at] | w.bytes[at + 1] << 8 | uint32_t{w.bytes[at + 2]} << 16;
    return static_cast<int32_t>(raw << 8) >> 8;
}

std::string Soxi(const std::string& flag, const std::string& path) {
    std::string out = RunCommand("soxi " + flag + " '" + path + "' 2>/dev/null");
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

}  // namespace

TEST(CliInfo, TextShowsStatusEntriesAndEditList) {
    Project p;
    FillSession(p);
    const Result r = Proj2wav({"info", p.path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("16 Bit, Stereo, 48.0Khz,  0:00:01.00- 0:00:04.00, 576 KB\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("notes.txt    refused   not a WAVE file"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("eight.wav    refused   8-bit samples: only 16- and 24-bit PCM takes"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Edit list: 3 events"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
}

TEST(CliInfo, JsonReportsEveryEntryAndEventWithFades) {
    Project p;
    FillSession(p);
    const Result r = Proj2wav({"info", p.path, "--json", "--bits", "24", "--channels", "dual"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["project"], p.path);
    EXPECT_EQ(doc["status"], "24 Bit, Dual Mono, 48.0Khz,  0:00:01.00- 0:00:04.00, 864 KB");
    EXPECT_EQ(doc["sample_rate"], 48000);
    EXPECT_EQ(doc["rates_differ"], false);
    EXPECT_EQ(doc["first_sample"], 48000);
    EXPECT_EQ(doc["last_sample"], 192000);
    EXPECT_EQ(doc["output_bytes"], 144000 * 2 * 3);

    // Listing order (bytes), not origination order; each accepted entry carries its
    // own take's figures.
    const auto& entries = doc["entries"];
    ASSERT_EQ(entries.size(), 5u);
    const char* names[] = {"Take A.wav", "Take B1.wav", "Take B2.wav", "eight.wav", "notes.txt"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(entries[i]["name"], names[i]);
    EXPECT_EQ(entries[0]["accepted"], true);
    EXPECT_TRUE(entries[0]["reason"].is_null());
    EXPECT_EQ(entries[0]["start_sample"], 144000);
    EXPECT_EQ(entries[0]["origination"], "2026-03-14 11:00:00");
    EXPECT_EQ(entries[1]["start_sample"], 48000);
    EXPECT_EQ(entries[1]["frames"], 48000);
    EXPECT_EQ(entries[1]["channels"], 2);
    EXPECT_EQ(entries[1]["bits"], 24);
    EXPECT_EQ(entries[3]["reason"], "8-bit samples: only 16- and 24-bit PCM takes can be used");
    EXPECT_EQ(entries[4]["accepted"], false);
    EXPECT_EQ(entries[4]["reason"], "not a WAVE file");
    for (const char* key :
         {"channels", "bits", "sample_rate", "start_sample", "frames", "origination"}) {
        EXPECT_TRUE(entries[4][key].is_null()) << key;
    }

    // The two files of one recording fade only at its outer ends.
    const auto& events = doc["events"];
    ASSERT_EQ(events.size(), 3u);
    const struct {
        const char* file;
        int start, end;
        bool in, out;
    } expected[] = {{"Take B1.wav", 48000, 96000, true, false},
                    {"Take B2.wav", 96000, 144000, false, true},
                    {"Take A.wav", 144000, 192000, true, true}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(events[i]["file"], expected[i].file);
        EXPECT_TRUE(events[i]["start_sample"].is_number_integer());
        EXPECT_EQ(events[i]["start_sample"], expected[i].start);
        EXPECT_EQ(events[i]["end_sample"], expected[i].end);
        EXPECT_EQ(events[i]["file_offset"], 0);
        EXPECT_EQ(events[i]["fade_in"], expected[i].in) << i;
        EXPECT_EQ(events[i]["fade_out"], expected[i].out) << i;
    }
    EXPECT_EQ(events[2]["start"], "0:00:03.00");
}

TEST(CliInfo, NamesThatAreNotUtf8StillGiveValidJson) {
    Project p;
    p.Take("\xFF\xFE take.wav", Recipe(0, 1000, "10:00:00", 1, 1));
    const Result r = Proj2wav({"info", p.path, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);  // throws on invalid UTF-8
    ASSERT_EQ(doc["entries"].size(), 1u);
    EXPECT_EQ(doc["entries"][0]["accepted"], true);
    EXPECT_EQ(doc["entries"][0]["name"], "\xEF\xBF\xBD\xEF\xBF\xBD take.wav");
    EXPECT_EQ(doc["events"].size(), 1u);
}

TEST(CliInfo, InvalidProjectsExitThreeAndStillReport) {
    TempDir empty;
    EXPECT_EQ(Proj2wav({"info", (empty / "missing")}).code, 3);
    EXPECT_EQ(Proj2wav({"info", empty.Path().string()}).code, 3);  // no "Audio Files"

    Project junk;  // no takes; a name that is not UTF-8 must not break the JSON
    WriteFileBytes(junk.audio + "/notes.txt", {'x'});
    WriteFileBytes(junk.audio + "/bad\xff.wav", {'x'});
    Result r = Proj2wav({"info", junk.path, "--json"});
    EXPECT_EQ(r.code, 3);
    auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["status"], "Not a valid project directory...");
    EXPECT_EQ(doc["entries"].size(), 2u);
    EXPECT_TRUE(doc["first_sample"].is_null());

    Project mixed;
    mixed.Take("a.wav", Recipe(0, 1000, "10:00:00", 1, 1));
    TakeRecipe other = Recipe(5000, 1000, "10:00:05", 2, 2);
    other.rate = 44100;
    mixed.Take("b.wav", other);
    r = Proj2wav({"info", mixed.path, "--json"});
    EXPECT_EQ(r.code, 3);
    doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["rates_differ"], true);
    EXPECT_EQ(doc["status"], "Not a valid project directory...");
    EXPECT_EQ(doc["events"].size(), 2u);
    EXPECT_EQ(Proj2wav({"convert", mixed.path, "-o", mixed.root / "out.wav"}).code, 3);
    EXPECT_FALSE(fs::exists(mixed.root / "out.wav"));
}

TEST(CliUsage, HelpVersionAndWrongUsage) {
    Result r = Proj2wav({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("convert"), std::string::npos);
    EXPECT_EQ(Proj2wav({"convert", "--help"}).code, 0);
    r = Proj2wav({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("proj2wav ", 0), 0u) << r.out;

    Project p;
    FillSession(p);
    const std::string out = p.root / "out.wav";
    EXPECT_EQ(Proj2wav({}).code, 2);
    EXPECT_EQ(Proj2wav({"info", p.path, "--bits", "20"}).code, 2);
    EXPECT_EQ(Proj2wav({"info", p.path, "--channels", "quad"}).code, 2);
    EXPECT_EQ(Proj2wav({"convert", p.path}).code, 2);  // no -o
    EXPECT_EQ(Proj2wav({"convert", p.path, "-o", out, "--right", p.root / "r.wav"}).code, 2);
    EXPECT_EQ(Proj2wav({"convert", p.path, "-o", out, "--channels", "dual"}).code,
              2);  // no "L.wav"
    EXPECT_FALSE(fs::exists(out));
}

TEST(CliConvert, WritesTheProjectSampleExact) {
    Project p;
    FillSession(p);
    const std::string out = p.root / "right.wav";
    Result r = Proj2wav({"convert", p.path, "-o", out, "--bits", "24", "--channels", "right"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Conversion complete..."), std::string::npos);
    EXPECT_NE(r.out.find(fs::canonical(out).string()), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");  // no progress line when stderr is not a terminal

    const Wav w = ReadWav(out);
    ExpectConsistent(w, out);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.bits, 24);
    EXPECT_EQ(w.dataSize, 144000u * 3);
    EXPECT_EQ(w.timeReference, 48000u);
    // Inside Take A, away from its fades: its right channel, untouched.
    for (uint64_t f = 2000; f < 2010; ++f) {
        EXPECT_EQ(Sample24(w, 96000 + f, 0), PatternSample(2, f, 1, 24)) << f;
    }
    if (HaveTool("soxi")) {
        EXPECT_EQ(Soxi("-c", out), "1");
        EXPECT_EQ(Soxi("-r", out), "48000");
        EXPECT_EQ(Soxi("-b", out), "24");
        EXPECT_EQ(Soxi("-s", out), "144000");
    }

    // Quiet and 16-bit stereo: nothing on stdout, the format read back by sox.
    const std::string stereo = p.root / "stereo.wav";
    r = Proj2wav({"convert", p.path, "-o", stereo, "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const Wav s = ReadWav(stereo);
    ExpectConsistent(s, stereo);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.bits, 16);
    EXPECT_EQ(s.dataSize, 144000u * 4);
    if (HaveTool("soxi")) {
        EXPECT_EQ(Soxi("-s", stereo), "144000");
    }
}

TEST(CliConvert, ShowsProgressOnlyOnATerminal) {
    Project p;
    FillSession(p);
    int code = -1;
    std::string shown = StderrOnTerminal({"convert", p.path, "-o", p.root / "a.wav"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(shown.find("%  0:00 elapsed"), std::string::npos) << shown;
    shown = StderrOnTerminal({"convert", p.path, "-o", p.root / "b.wav", "--quiet"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shown, "");
}

TEST(CliConvert, DualMonoNamesTheRightFileAfterTheLeft) {
    Project p;
    FillSession(p);
    const std::string left = p.root / "MixL.wav";
    const Result r =
        Proj2wav({"convert", p.path, "-o", left, "--channels", "dual", "--bits", "24"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Wav l = ReadWav(left);
    const Wav rt = ReadWav(p.root / "MixR.wav");
    ExpectConsistent(l, "left");
    ExpectConsistent(rt, "right");
    EXPECT_EQ(l.channels, 1);
    EXPECT_EQ(rt.channels, 1);
    EXPECT_EQ(l.dataSize, 144000u * 3);
    EXPECT_EQ(rt.dataSize, l.dataSize);
    EXPECT_EQ(rt.timeReference, 48000u);
    for (uint64_t f = 2000; f < 2005; ++f) {
        EXPECT_EQ(Sample24(l, 96000 + f, 0), PatternSample(2, f, 0, 24));
        EXPECT_EQ(Sample24(rt, 96000 + f, 0), PatternSample(2, f, 1, 24));
    }
}

TEST(CliConvert, NeverOverwritesWithoutForceNorTouchesTheTakes) {
    Project p;
    FillSession(p);
    const std::string out = p.root / "out.wav";
    WriteFileBytes(out, {'k', 'e', 'e', 'p'});
    Result r = Proj2wav({"convert", p.path, "-o", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(out), "keep");
    r = Proj2wav({"convert", p.path, "-o", out, "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadWav(out).dataSize, 144000u * 4);

    // A take under any name: its own path, a link to it, a hard link, and any new
    // file in "Audio Files" (the next load would take it for a take).
    const std::string take = p.audio + "/Take A.wav";
    const std::vector<uint8_t> before = ReadFileBytes(take);
    fs::create_symlink(take, p.root / "link.wav");
    fs::create_hard_link(take, p.root / "hard.wav");
    for (const std::string& target : {take, p.root / "link.wav", p.root / "hard.wav",
                                      p.path + "/../My Session/Audio Files/Take A.wav"}) {
        EXPECT_EQ(Proj2wav({"convert", p.path, "-o", target, "--force"}).code, 1) << target;
    }
    EXPECT_EQ(Proj2wav({"convert", p.path, "-o", p.audio + "/mix.wav"}).code, 1);
    EXPECT_FALSE(fs::exists(p.audio + "/mix.wav"));
    EXPECT_EQ(ReadFileBytes(take), before);

    // Dual mono into one file under two spellings: refused before anything exists.
    fs::create_directory(p.root / "sub");
    r = Proj2wav({"convert", p.path, "-o", p.root / "same.wav", "--right",
                  p.root / "sub/../same.wav", "--channels", "dual"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot be the same"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(p.root / "same.wav"));
}

TEST(CliConvert, RefusalsComeBeforeAnythingIsCreated) {
    Project silent;  // a take without a single frame: nothing to render
    silent.Take("a.wav", Recipe(0, 0, "10:00:00", 1, 1));
    Result r = Proj2wav({"convert", silent.path, "-o", silent.root / "none.wav"});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(fs::exists(silent.root / "none.wav"));

    // A folder that does not exist is named as the reason, not the free space.
    Project p;
    FillSession(p);
    r = Proj2wav({"convert", p.path, "-o", p.root / "gone/out.wav"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "proj2wav: The folder \"" + (p.root / "gone") + "\" does not exist.\n");
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
        {kTimelineEnd - 1000, true},  // its last frame is the timeline's last
        {kTimelineEnd + 5, false},
        {3229793259066718542u, false},
        {uint64_t{1} << 61, false},
    };
    const char* layouts[] = {"stereo", "left", "right", "sum", "dual"};
    for (const auto& c : cases) {
        Project p;
        p.Take("a.wav", Recipe(48000, 1000, "10:00:00", 1, 1));
        p.Take("far.wav", Recipe(c.start, 1000, "10:00:01", 2, 2));
        const uint64_t frames = c.accepted ? kTimelineEnd - 48000 : 1000;
        for (const int bits : {16, 24}) {
            SCOPED_TRACE(std::to_string(c.start) + ", " + std::to_string(bits) + " bit");
            const std::string width = std::to_string(bits);
            const Result text = Proj2wav({"info", p.path, "--bits", width});
            EXPECT_EQ(text.code, 0) << text.err;
            EXPECT_EQ(text.out.find("far.wav  refused   time reference") == std::string::npos,
                      c.accepted)
                << text.out;
            for (int column = 0; column < 5; ++column) {
                SCOPED_TRACE(layouts[column]);
                const uint64_t files = column == 4 ? 2 : 1;
                const uint64_t bytes = frames * (bits / 8) * (column == 0 || column == 4 ? 2 : 1);
                const Result info = Proj2wav(
                    {"info", p.path, "--json", "--bits", width, "--channels", layouts[column]});
                const auto doc = nlohmann::json::parse(info.out);
                EXPECT_EQ(doc["entries"][1]["accepted"], c.accepted);
                EXPECT_EQ(doc["output_bytes"], bytes);
                const std::string status = doc["status"];
                EXPECT_NE(status.find(c.accepted ? " 0:00:01.00-6362:54:52.24, "
                                                 : " 0:00:01.00- 0:00:01.02, "),
                          std::string::npos)
                    << status;

                const std::string out = p.root / "outL.wav";
                const Result convert =
                    Proj2wav({"convert", p.path, "-o", out, "--bits", width, "--channels",
                              layouts[column], "--force", "--quiet"});
                if (c.accepted) {
                    EXPECT_EQ(convert.code, 1);
                    EXPECT_NE(convert.err.find("Insufficient disk space."), std::string::npos)
                        << convert.err;
                    EXPECT_FALSE(fs::exists(out));
                } else {
                    EXPECT_EQ(convert.code, 0) << convert.err;
                    EXPECT_EQ(fs::file_size(out), 1024 + bytes / files);
                }
            }
        }
    }
}

TEST(CliInfo, AnOutputThatCannotBeWrittenIsAFailure) {
    Project p;
    FillSession(p);
    for (const char* format : {"", "--json"}) {
        const Result r = RunArgv({"/bin/sh", "-c", "exec \"$0\" info \"$1\" $2 > /dev/full",
                                  PROJ2WAV_BIN, p.path, format});
        EXPECT_EQ(r.code, 1) << format;
        EXPECT_NE(r.err.find("cannot write to standard output: No space left on device"),
                  std::string::npos)
            << r.err;
    }
}

TEST(CliConvert, AFailedWriteReportsFailureAndLeavesAConsistentFile) {
    Project p;
    FillSession(p);
    const std::string out = p.root / "limited.wav";
    // A file size limit of 100 KB; the output would be 864 KB.
    std::vector<std::string> argv = {"/bin/sh",    "-c",      "ulimit -f 100; exec \"$0\" \"$@\"",
                                     PROJ2WAV_BIN, "convert", p.path,
                                     "-o",         out,       "--bits",
                                     "24"};
    const Result r = RunArgv(argv);
    EXPECT_EQ(r.code, 1) << r.err;
    // The system's reason, from the conversion's writer thread, is in the message.
    EXPECT_NE(r.err.find("Operation failed... writing \"" + out + "\": File too large"),
              std::string::npos)
        << r.err;
    const Wav w = ReadWav(out);
    ExpectConsistent(w, out);
    EXPECT_LT(w.dataSize, 144000u * 6);
}

TEST(CliConvert, ASignalStopsTheRunAndLeavesAValidShorterFile) {
    Project p;  // an hour of timeline: two one-second mono takes an hour apart
    p.Take("a.wav", Recipe(0, 48000, "10:00:00", 1, 1, 1, 16));
    p.Take("b.wav", Recipe(48000ull * 3600, 48000, "11:00:00", 2, 2, 1, 16));
    const uint64_t fullBytes = 48000ull * 3601 * 2;
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string out = p.root / ("stopped" + std::to_string(signal) + ".wav");
        const pid_t pid = Start(Command({"convert", p.path, "-o", out, "--channels", "left"}),
                                p.root / "out.txt", p.root / "err.txt");
        ASSERT_GT(pid, 0);
        // Once samples reach the file, freeze the run, signal it, and let it go on:
        // the stop can then not lose a race with the end of the run.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        struct stat info {};
        while ((::stat(out.c_str(), &info) != 0 || info.st_size <= 1024) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ::kill(pid, SIGSTOP);
        ::kill(pid, signal);
        ::kill(pid, SIGCONT);
        ASSERT_EQ(Wait(pid), 130) << ReadText(p.root / "err.txt");
        EXPECT_NE(ReadText(p.root / "err.txt").find("stopped: \"" + out + "\" holds the first"),
                  std::string::npos)
            << ReadText(p.root / "err.txt");
        const Wav w = ReadWav(out);
        ExpectConsistent(w, out);
        EXPECT_GT(w.dataSize, 0u);
        EXPECT_LT(w.dataSize, fullBytes);
        if (HaveTool("soxi")) {
            EXPECT_EQ(Soxi("-s", out), std::to_string(w.dataSize / 2));
        }
        fs::remove(out);
    }
}
