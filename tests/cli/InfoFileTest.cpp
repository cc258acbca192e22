// `proj2wav info FILE` on our outputs (with markers) and on takes, checked against
// ffprobe; its refusal of what is no WAVE file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "Proj2wavRun.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

const std::vector<std::string> kKeys = {
    "file",           "channels",    "bits",          "sample_rate", "frames",
    "time_reference", "origination", "description",   "originator",  "markers",
    "identity",       "unfinished",  "frames_on_disk"};

}  // namespace

TEST(CliInfoFile, DescribesOutputsAndTakesAsFfprobeSeesThem) {
    ProjectDir p;
    p.Add("B1.wav", NthTake(48000, 48000, 0));
    p.Add("B2.wav", NthTake(96000, 48000, 1).Recording(1));  // one recording with B1
    p.Add("A.wav", NthTake(150000, 48000, 2, 1, 16));
    TempDir out;
    const std::string left = out / "mixL.wav";
    const Result made =
        Proj2wav({"convert", p.Path(), "-o", left, "--channels", "dual", "--markers"});
    ASSERT_EQ(made.code, 0) << made.err;

    using Json = nlohmann::ordered_json;
    const std::string project = std::filesystem::path(p.Path()).filename().string();
    const Json markers = Json::parse(R"([{"position": 0, "label": "B1"},
                                         {"position": 102000, "label": "A"}])");
    struct Case {
        std::string path;
        uint64_t frames, start;
        Json markers;
        std::string description;
    } cases[] = {
        {left, 150000, 48000, markers, project},
        {out / "mixR.wav", 150000, 48000, markers, project},
        {p.AudioDir() + "/A.wav", 48000, 150000, Json::array(), "proj2wav test take"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Result r = Proj2wav({"info", c.path, "--json"});
        EXPECT_EQ(r.code, 0);
        const Json doc = Json::parse(r.out);
        std::vector<std::string> keys;
        for (const auto& item : doc.items()) keys.push_back(item.key());
        EXPECT_EQ(keys, kKeys);
        EXPECT_EQ(doc["file"], c.path);
        EXPECT_EQ(doc["frames"], c.frames);
        EXPECT_EQ(doc["unfinished"], false);
        EXPECT_EQ(doc["frames_on_disk"], c.frames);
        EXPECT_EQ(doc["time_reference"], c.start);
        if (HaveTool("ffprobe")) {  // the length in frames, then the time reference
            EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=duration_ts:format_tags="
                                 "time_reference -of default=nw=1:nk=1 '" +
                                 c.path + "'"),
                      std::to_string(c.frames) + "\n" + std::to_string(c.start) + "\n");
        }
        EXPECT_EQ(doc["description"], c.description);
        EXPECT_EQ(doc["markers"], c.markers);
        EXPECT_EQ(doc["identity"].get<std::string>().size(), 52u);
    }

    const std::string text = Proj2wav({"info", left}).out;
    EXPECT_PRED2(Contains, text, "Time reference: 0:00:01.00 (sample 48000)\n");
    EXPECT_PRED2(Contains, text, "Originator:     proj2wav ");
    EXPECT_PRED2(Contains, text, "0:00:02.12      102000  A\n");
}

TEST(CliInfoFile, WhatIsNoWaveFileIsRefused) {
    TempDir dir;
    WriteFileBytes(dir / "notes.txt", {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e', '!', '!'});
    const Result r = Proj2wav({"info", dir / "notes.txt"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "proj2wav: \"" + (dir / "notes.txt") + "\": not a WAVE file\n");
    EXPECT_EQ(Proj2wav({"info", dir / "notes.txt", "--csv"}).code, 2);
}
