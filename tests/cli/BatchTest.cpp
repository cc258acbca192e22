// `proj2wav convert PATH... --output-dir DIR` and `info PATH...` on a disk made here:
// projects of equal names, one nested deep, one with only damaged takes, a folder
// without "Audio Files", one of mixed rates, and a link that is not followed.
#include <gtest/gtest.h>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "Proj2wavRun.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// A project folder at `path` with its takes.
void MakeProject(const std::string& path, const std::vector<TakeRecipe>& takes) {
    fs::create_directories(path + "/Audio Files");
    for (size_t i = 0; i < takes.size(); ++i) {
        WriteTake(path + "/Audio Files/take " + std::to_string(i) + ".wav", takes[i]);
    }
}

struct Disk {
    Disk() {
        MakeProject(root / "A/Gig", {NthTake(48000, 48000, 0), NthTake(72000, 24000, 1, 1, 16)});
        MakeProject(root / "B/Gig", {NthTake(0, 30000, 0, 1, 24)});
        MakeProject(root / "deep/1/2/3/4/Deep", {NthTake(1000, 9000, 0)});
        MakeProject(root / "Damaged", {NthTake(0, 100, 0, 2, 8)});  // 8-bit: refused
        MakeProject(root / "Mixed", {NthTake(0, 48000, 0), NthTake(60000, 1000, 1, 2, 24, 44100)});
        fs::create_directories(root / "NoAudio/Takes");
        fs::create_directory_symlink(root / "A", root / "Link");
        fs::create_directory(out.Path() / "out");
    }
    std::vector<std::string> Convert(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args = {"convert", root.Path().string(), "--output-dir",
                                         out / "out", "--json", "--bits", "24"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    TempDir root;
    TempDir out;
};

std::string States(const json& doc) {
    std::string states;
    for (const json& p : doc["projects"]) states += p["state"].get<std::string>() + ",";
    return states;
}

}  // namespace

TEST(CliBatch, ConvertsEveryProjectOnceNamesThemApartAndSkipsThemTheSecondTime) {
    Disk disk;
    Result r = Proj2wav(disk.Convert());
    EXPECT_EQ(r.code, 1) << r.err;  // two projects failed, the others were converted
    const json doc = json::parse(r.out);
    ASSERT_EQ(doc["projects"].size(), 5u) << r.out;  // not NoAudio, not through Link
    EXPECT_EQ(States(doc), "converted,converted,failed,failed,converted,");
    const std::string out = disk.out / "out";
    const std::vector<std::string> names = {"Gig.wav", "Gig (2).wav", "", "", "Deep.wav"};
    const std::vector<std::string> projects = {"A/Gig", "B/Gig", "Damaged", "Mixed",
                                               "deep/1/2/3/4/Deep"};
    for (size_t i = 0; i < names.size(); ++i) {
        const json& p = doc["projects"][i];
        EXPECT_EQ(p["project"], disk.root / projects[i]);
        if (names[i].empty()) {
            EXPECT_EQ(p["outputs"], json::array());
            continue;
        }
        EXPECT_EQ(p["outputs"], json::array({out + "/" + names[i]}));
        // The bytes a single conversion of the project writes.
        const std::string single = disk.out / ("single" + std::to_string(i) + ".wav");
        ASSERT_EQ(Proj2wav({"convert", disk.root / projects[i], "-o", single, "--bits", "24"}).code,
                  0);
        const std::vector<uint8_t> a = ReadFileBytes(single), b = ReadFileBytes(out + "/" + names[i]);
        ASSERT_EQ(a.size(), b.size());
        EXPECT_TRUE(std::equal(a.begin() + 1024, a.end(), b.begin() + 1024)) << names[i];
        EXPECT_EQ(p["frames"], ReadWaveHeader(single).dataSize / 6);
    }
    EXPECT_EQ(doc["projects"][2]["reason"],
              "none of the 1 entries in \"" + (disk.root / "Damaged/Audio Files") + "\" is a take");
    EXPECT_EQ(doc["projects"][3]["reason"], "the takes do not share one sample rate");

    // Again: what was converted is skipped, and nothing is written over.
    const auto written = fs::last_write_time(out + "/Gig.wav");
    r = Proj2wav(disk.Convert());
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(States(json::parse(r.out)), "skipped,skipped,failed,failed,skipped,");
    EXPECT_EQ(fs::last_write_time(out + "/Gig.wav"), written);
    // Without the failing projects every one is converted or skipped: success.
    fs::remove_all(disk.root / "Damaged");
    fs::remove_all(disk.root / "Mixed");
    r = Proj2wav({"convert", disk.root / "A", disk.root / "deep", "--output-dir", out, "--bits", "24"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_PRED2(Contains, r.out, "skipped");  // the table
    // A new output folder is made; one whose parent is missing is refused.
    r = Proj2wav({"convert", disk.root / "A", "--output-dir", out + "/new", "--quiet"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(out + "/new/Gig.wav"));
    r = Proj2wav({"convert", disk.root / "A", "--output-dir", out + "/no/new"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "proj2wav: The folder \"" + out + "/no\" does not exist.\n");
}

TEST(CliBatch, InfoListsEveryProjectAndNothingFoundIsExitThree) {
    Disk disk;
    Result r = Proj2wav({"info", disk.root.Path().string(), "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    const json doc = json::parse(r.out);
    ASSERT_EQ(doc["projects"].size(), 5u);
    EXPECT_EQ(doc["projects"][0]["project"], disk.root / "A/Gig");
    EXPECT_EQ(doc["projects"][0]["valid"], true);
    EXPECT_EQ(doc["projects"][3]["valid"], false);
    r = Proj2wav({"info", disk.root.Path().string()});
    EXPECT_PRED2(Contains, r.out, disk.root / "deep/1/2/3/4/Deep" + ": 16 Bit, Stereo, 48.0Khz");

    EXPECT_EQ(Proj2wav({"convert", disk.root / "NoAudio", "--output-dir", disk.out / "out"}).code, 3);
    EXPECT_EQ(Proj2wav({"info", disk.root / "NoAudio", disk.root / "Link/Gig/Audio Files"}).code, 0);
    r = Proj2wav({"info", disk.root / "no such"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "proj2wav: \"" + (disk.root / "no such") + "\": No such file or directory\n");
}

TEST(CliBatch, WithoutRoomForAllOutputsOrIntoAudioFilesNothingIsWritten) {
    Disk disk;
    // Outputs in a project's "Audio Files" would become its takes.
    for (const std::string folder : {"A/Gig/Audio Files", "B/Audio Files"}) {
        const Result r = Proj2wav({"convert", disk.root / "A", "--output-dir", disk.root / folder});
        EXPECT_EQ(r.code, 1);
        EXPECT_PRED2(Contains, r.err, "where a project keeps its recordings");
    }
    EXPECT_FALSE(fs::exists(disk.root / "B/Audio Files"));
    // Two frames 2^38 apart: terabytes of output that no test disk has room for.
    MakeProject(disk.root / "Huge", {NthTake(0, 1, 0), NthTake(uint64_t{1} << 38, 1, 1)});
    const Result r = Proj2wav(disk.Convert());
    EXPECT_EQ(r.code, 1);
    EXPECT_PRED2(Contains, r.err, "Insufficient disk space. The 4 outputs need");
    EXPECT_PRED2(Contains, r.err, " missing.");
    EXPECT_TRUE(fs::is_empty(disk.out / "out"));
}

TEST(CliBatch, ASignalStopsTheProjectInHandAndTheRestAreNotRun) {
    TempDir root, out;
    MakeProject(root / "1 short", {NthTake(0, 4800, 0, 1, 16)});
    // An hour of timeline: two short takes an hour apart.
    MakeProject(root / "2 long", {NthTake(0, 48000, 0, 1, 16), NthTake(48000ull * 3600, 480, 1, 1, 16)});
    MakeProject(root / "3 short", {NthTake(0, 4800, 0, 1, 16)});
    const pid_t pid = Start(Command({"convert", root.Path().string(), "--output-dir", out.Path().string(),
                                     "--json", "--channels", "left"}),
                            root / "out.txt", root / "err.txt");
    ASSERT_GT(pid, 0);
    const std::string longOutput = out / "2 long.wav";
    EXPECT_EQ(StopOnceWriting(pid, longOutput, SIGINT), 130);
    const json doc = json::parse(ReadText(root / "out.txt"));
    EXPECT_EQ(States(doc), "converted,stopped,not run,");
    EXPECT_TRUE(ReadWaveHeader(longOutput).Consistent());
    EXPECT_LT(doc["projects"][1]["frames"].get<uint64_t>(), 48000ull * 3600);
    EXPECT_FALSE(fs::exists(out / "3 short.wav"));
}
