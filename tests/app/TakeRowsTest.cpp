// The takes panel's rows, the link between a row and its timeline blocks, the
// project a chosen or dropped path stands for, and the window's small decisions:
// proposed output folders, recent projects, the command line and the ruler.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/AppDecisions.h"
#include "app/ProjectView.h"
#include "app/TakeProblemText.h"
#include "engine/ProjectSession.h"
#include "platform/Paths.h"
#include "support/ProjectDir.h"

using namespace testsupport;
namespace fs = std::filesystem;

TEST(TakeRows, EveryEntryWithItsFactsOrWhyItWasRefused) {
    ProjectDir project;
    project.Add("A.wav", NthTake(48000, 96000, 0));
    // Cut after 1 s of its 4 s of 16-bit mono: 2 bytes a frame behind the header.
    const TakeRecipe cut = NthTake(3 * 48000, 4 * 48000, 1, 1, 16);
    const std::vector<uint8_t> bytes = BuildTake(cut).Bytes();
    const size_t header = bytes.size() - 4 * 48000 * 2;
    BuildTake(cut).Write(project.AudioDir() + "/B.wav", header + 48000 * 2 + 1);
    WriteFileBytes(project.AudioDir() + "/notes.txt", {'h', 'i'});
    ProjectSession session;
    ASSERT_TRUE(session.Load(project.Path()));

    const std::vector<app::TakeRow> rows = app::BuildTakeRows(session);
    ASSERT_EQ(rows.size(), 3u);  // in listing order
    // (Each fact of a row, the refused one's too, is compared in tests/cli through
    // `info --json`; each timeline block's row shows in the window's selection.)
    const app::TakeRow& a = rows[0];
    EXPECT_EQ(a.startText, "0:00:01.00");
    EXPECT_EQ(a.lengthText, "0:00:02.00");
    EXPECT_EQ(app::TakeStatusText(a), "accepted");

    const app::TakeRow& b = rows[1];
    EXPECT_TRUE(b.accepted);
    EXPECT_EQ(b.frames, 48000u);
    EXPECT_EQ(b.declaredFrames, 4u * 48000);
    EXPECT_TRUE(b.truncated());
    EXPECT_EQ(app::TakeStatusText(b), "truncated: holds 0:00:01.00 of 0:00:04.00");
}

TEST(TakeRows, RefusalsAreCountedAndTakesAtAnotherRateMarked) {
    std::vector<app::TakeRow> rows(3);
    rows[0].accepted = rows[1].accepted = true;
    rows[0].sampleRate = rows[0].projectRate = rows[1].projectRate = 48000;
    rows[1].sampleRate = 44100;
    EXPECT_EQ(app::TakeStatusText(rows[0]), "accepted");
    EXPECT_EQ(app::TakeStatusText(rows[1]), "accepted: 44100 Hz, the project is 48000 Hz");
    EXPECT_EQ(app::LeftOutEntriesText(rows),
              "1 of 3 entries refused, 1 take at another rate; they are not in the output");
    rows.pop_back();
    EXPECT_EQ(app::LeftOutEntriesText(rows), "");
    EXPECT_EQ(app::RefusedEntriesText({rows[0]}), "0 of 1 entry refused");
    EXPECT_EQ(app::RefusedEntriesText({}), "");
}

// Sorted by any column: facts by value (ten hours start after two), refused
// entries after the takes.
TEST(TakeRows, SortByTheFactsValues) {
    const auto take = [](const char* name, uint64_t hours, uint32_t rate) {
        app::TakeRow row;
        row.name = name;
        row.accepted = true;
        row.startSample = row.frames = hours * 3600 * 48000;
        row.sampleRate = rate;
        return row;
    };
    const app::TakeRow early = take("a.wav", 2, 44100), late = take("b.wav", 10, 48000);
    for (const int column : {app::kTakeName, app::kTakeStart, app::kTakeLength, app::kTakeRate}) {
        EXPECT_TRUE(app::TakeRowBefore(early, late, column)) << column;
        EXPECT_FALSE(app::TakeRowBefore(late, early, column)) << column;
    }
    EXPECT_TRUE(app::TakeRowBefore(late, app::TakeRow{}, app::kTakeStart));
    EXPECT_FALSE(app::TakeRowBefore(app::TakeRow{}, late, app::kTakeStart));
}

TEST(ProjectDirFor, AudioFilesAndTakesStandForTheProject) {
    ProjectDir project;
    const std::string take = project.Add("Take 1.wav", NthTake(0, 100, 0));
    const std::string root = project.Path();
    const std::string audio = project.AudioDir();
    // A project that happens to be called "Audio Files".
    const std::string named = root + "/elsewhere/Audio Files";
    fs::create_directories(named + "/Audio Files");
    const struct {
        std::string path, project;
    } cases[] = {
        {root, root},
        {root + "/", root},
        {audio, root},
        {audio + "//", root},
        {audio + "/" + take, root},
        {named, named},
        {root + "/missing", root + "/missing"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::ProjectDirFor(c.path), c.project) << c.path;
}

TEST(OutputProposal, ANameWithTypeInTheLastFolderOrBesideTheProject) {
    EXPECT_EQ(app::WithOutputType(""), "");  // the rest shows in the window's panels
    EXPECT_EQ(paths::Folder("/a/Gig"), "/a");
    EXPECT_EQ(paths::Folder("/a//Gig/"), "/a");
    EXPECT_EQ(paths::Folder("/Gig"), "/");
    EXPECT_EQ(paths::Folder("Gig"), "");
    EXPECT_EQ(paths::Join("/", "Gig"), "/Gig");
    EXPECT_EQ(paths::Join("/out/", "Gig"), "/out/Gig");
    EXPECT_EQ(paths::Join("", "Gig"), "Gig");
}

TEST(RecentProjects, NewestFirstOnceAndAtMostTen) {
    std::vector<std::string> recent;
    for (int i = 0; i < 12; ++i) recent = app::WithRecentProject(recent, "/p" + std::to_string(i));
    ASSERT_EQ(recent.size(), app::kMaxRecentProjects);
    EXPECT_EQ(recent.front(), "/p11");
    EXPECT_EQ(recent.back(), "/p2");
    recent = app::WithRecentProject(recent, "/p5");
    EXPECT_EQ(recent.size(), app::kMaxRecentProjects);
    EXPECT_EQ(recent[0], "/p5");
    EXPECT_EQ(std::count(recent.begin(), recent.end(), "/p5"), 1);
}

TEST(CommandLine, MatchesTheChoicesAndSurvivesTheShell) {
    EXPECT_EQ(app::ConvertCommandLine("/a/Gig", "/out", {24, Stereo}),
              "proj2wav convert /a/Gig -o /out/Gig.wav --bits 24 --channels stereo");
    // Dual mono names the left file; the command line makes the right one.
    EXPECT_EQ(app::ConvertCommandLine("/a/My Gig", "/out/", {16, DualMono}),
              "proj2wav convert '/a/My Gig' -o '/out/My GigL.wav' --bits 16 --channels dual");
    // The program by its full path when a shell would not find it by its name.
    EXPECT_EQ(app::CommandLineProgram("/usr/bin/proj2wav", "/usr/bin/proj2wav"), "proj2wav");
    EXPECT_EQ(app::CommandLineProgram("", "/usr/bin/proj2wav"), "proj2wav");
    const std::string built = "/home/me/My Build/src/cli/proj2wav";
    for (const std::string onPath : {"/usr/bin/proj2wav", ""}) {
        EXPECT_EQ(app::CommandLineProgram(built, onPath), built);
    }
    EXPECT_EQ(app::ConvertCommandLine("/a/Gig", "/out", {16, Stereo}, built),
              "'" + built + "' convert /a/Gig -o /out/Gig.wav --bits 16 --channels stereo");
    // What a shell makes of a quoted word is the word itself.
    for (const std::string word :
         {"plain", "two words", "it's", "$HOME `x` \\ \"q\"", "Ærø 日本", "-"}) {
        EXPECT_EQ(RunCommand("printf '%s' " + app::ShellQuoted(word)), word) << word;
    }
}

TEST(RulerStep, ThePlainestStepThatLeavesRoomForTheTimes) {
    const struct {
        double framesPerPixel, minPixels, seconds;
    } cases[] = {
        {48, 100, 0.1},         // 0.1 s to 100 pixels
        {480, 100, 1},          // exactly 1 s
        {481, 100, 2},          // a hair more: the next step
        {48000, 90, 120},       // 90 s: 2 min
        {1e8, 100, 3 * 86400},  // 2.4 days: whole days
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(app::RulerStep(c.framesPerPixel, 48000, c.minPixels), c.seconds * 48000)
            << c.framesPerPixel;
    }
}
