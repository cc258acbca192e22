// The conversion flow every front end runs: the guards in their one order,
// creating the outputs (and removing only what a failed creation made), the words
// of the outcome, and the edit list as CSV.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/AppDecisions.h"
#include "app/ConversionFlow.h"
#include "app/EditListCsv.h"
#include "app/ProjectBatch.h"
#include "support/ProjectDir.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct Loaded {
    Loaded() {
        dir.Add("Take A.wav", NthTake(48000, 96000, 0));
        EXPECT_TRUE(session.Load(dir.Path()));
    }
    ProjectDir dir{"Gig"};
    ProjectSession session;
};

int64_t Plenty(const std::string&) {
    return int64_t{1} << 40;
}

}  // namespace

TEST(ConversionFlow, GuardsComeInOneOrderAndRoomLast) {
    Loaded p;
    TempDir out;
    WriteFileBytes(out / "old.wav", {1});
    const std::string take = p.dir.AudioDir() + "/Take A.wav";
    const OutputFormat dual{24, DualMono};
    const struct {
        std::vector<std::string> paths;
        bool overwrite;
        std::string refusal;
    } cases[] = {
        // The folder first, even where the name is also a take's.
        {{out / "gone/Take A.wav"}, true, "The folder \"" + (out / "gone") + "\" does not exist."},
        {{out / "old.wav"}, false, "\"" + (out / "old.wav") + "\" already exists (use --force to overwrite it)"},
        {{take}, true, "\"Take A.wav\" is one of the project's recordings. Choose another file for the "
                       "output, so that the recording is not overwritten."},
        {{out / "x.wav", out / "x.wav"}, true, app::kSameNames},
        {{out / "x.wav", out / "./x.wav"}, true,
         "The left and right channel files are both \"x.wav\". Choose two different files."},
        {{out / "L.wav", out / "R.wav"}, false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::OutputsRefusal(p.session, dual, c.paths, c.overwrite, Plenty), c.refusal)
            << c.paths[0];
    }
    // The folder is the reason given, whatever the free space.
    EXPECT_EQ(app::OutputsRefusal(p.session, dual, cases[0].paths, true,
                                  [](const std::string&) { return 0; }),
              cases[0].refusal);
    // Room is the last word: every path passes, the volume is full.
    const std::string full = app::OutputsRefusal(p.session, dual, {out / "L.wav", out / "R.wav"},
                                                 false, [](const std::string&) { return 0; });
    EXPECT_EQ(full.rfind(app::kInsufficientSpace, 0), 0u) << full;
}

TEST(ConversionFlow, AFailedCreationRemovesOnlyWhatItMade) {
    Loaded p;
    TempDir out;
    const OutputFormat dual{16, DualMono};
    // The right file's folder is gone: the new left file goes again.
    std::string refusal = app::CreateOutputs(p.session, dual, {out / "L.wav", out / "gone/R.wav"});
    EXPECT_EQ(refusal, "Could not create \"R.wav\": No such file or directory.");
    EXPECT_FALSE(fs::exists(out / "L.wav"));
    // A left file that was there before is the user's choice to overwrite; it stays.
    WriteFileBytes(out / "L.wav", {1, 2, 3});
    refusal = app::CreateOutputs(p.session, dual, {out / "L.wav", out / "gone/R.wav"});
    EXPECT_FALSE(refusal.empty());
    EXPECT_TRUE(fs::exists(out / "L.wav"));
}

TEST(ConversionFlow, TheOutcomeInWords) {
    Loaded p;
    TempDir out;
    const OutputFormat format{16, Stereo};
    ASSERT_EQ(app::CreateOutputs(p.session, format, {out / "A.wav"}), "");
    std::atomic<double> progress{0.0};
    app::OutcomeText words =
        app::OutcomeWords(p.session, format, p.session.Run(progress), {"A.wav"});
    EXPECT_EQ(words.headline, app::kComplete);
    EXPECT_EQ(words.summary,
              "A.wav: 16 Bit, Stereo, 48000 Hz, 0:00:02.00 (96000 frames), starts at 0:00:01.00 "
              "(sample 48000), 385 KB");
    EXPECT_EQ(words.unreadable, "");

    // Stopped before its first block: the file holds nothing, and says so.
    ASSERT_EQ(app::CreateOutputs(p.session, format, {out / "B.wav"}), "");
    p.session.Stop();
    const RunOutcome stopped = p.session.Run(progress);
    words = app::OutcomeWords(p.session, format, stopped, {"B.wav"});
    EXPECT_EQ(words.headline, app::kCancelled);
    EXPECT_EQ(words.summary,
              "\"B.wav\" holds the first 0:00:00.00 (0 of 96000 frames) of the project");
}

TEST(EditListCsv, QuotesFieldsThatHoldACommaOrAQuote) {
    ProjectDir p;
    p.Add("Take, \"one\".wav", NthTake(48000, 96000, 0));
    p.Add("Take \"two\".wav", NthTake(96000, 24000, 1));
    p.Add("plain.wav", NthTake(150000, 6000, 2));
    ProjectSession session;
    ASSERT_TRUE(session.Load(p.Path()));
    EXPECT_EQ(app::EditListCsv(session),
              "file,start_sample,end_sample,file_offset,start,end,fade_in,fade_out\r\n"
              "\"Take, \"\"one\"\".wav\",48000,96000,0,0:00:01.00,0:00:02.00,yes,yes\r\n"
              "\"Take \"\"two\"\".wav\",96000,120000,0,0:00:02.00,0:00:02.50,yes,yes\r\n"
              "\"Take, \"\"one\"\".wav\",120000,144000,72000,0:00:02.50,0:00:03.00,yes,yes\r\n"
              "plain.wav,150000,156000,0,0:00:03.12,0:00:03.25,yes,yes\r\n");
}

TEST(ProjectBatch, TheTableAndTheProgressLineInWords) {
    app::BatchProject gig;
    gig.project = "/disk/Gig";
    gig.outputs = {"/out/GigL.wav", "/out/GigR.wav"};
    gig.state = app::BatchState::Converted;
    gig.sampleRate = 48000;
    gig.frames = 96000;
    app::BatchProject broken;
    broken.project = "/disk/Broken";
    broken.state = app::BatchState::Failed;
    broken.reason = "no take";
    EXPECT_EQ(app::BatchTable({gig, broken}),
              "project       outputs                       length      state      reason\n"
              "/disk/Gig     /out/GigL.wav, /out/GigR.wav  0:00:02.00  converted\n"
              "/disk/Broken  -                             -           failed     no take\n");
    app::BatchProgress progress;
    progress.index = 2;
    progress.count = 12;
    progress.name = "Gig";
    progress.current = 80;
    progress.overall = 45;
    progress.totalBytes = 100'000'000;
    EXPECT_EQ(app::BatchProgressText(progress, 9),
              "project 3 of 12: Gig  80% of it; all:  45%  0:09 elapsed  0:11 left  5.0 MB/s");
}

// A run driven a project at a time, as the page drives it, stopped early: the
// project in hand ends shorter, the next is not run and names no output, and the
// overall figure counts only what was written.
TEST(ProjectBatch, AStoppedRunCountsWhatWasWritten) {
    ProjectDir first{"First"}, second{"Second"};
    first.Add("Take.wav", NthTake(0, 48000 * 60, 0));
    second.Add("Take.wav", NthTake(0, 4800, 0));
    TempDir out;
    app::ProjectBatch batch({first.Path(), second.Path()}, out.Path(), OutputFormat{}, false);
    batch.Plan();
    ProjectSession session;
    const size_t index = batch.Next();
    ASSERT_TRUE(batch.Start(index, session, Plenty));
    ASSERT_TRUE(session.Begin());
    EXPECT_EQ(session.Step(1), 1);
    batch.Stop();
    batch.Finish(index, session, session.End(true));
    EXPECT_EQ(batch.Next(), app::ProjectBatch::kNone);
    const auto& projects = batch.Projects();
    EXPECT_EQ(projects[0].state, app::BatchState::Stopped);
    EXPECT_EQ(projects[1].state, app::BatchState::NotRun);
    EXPECT_TRUE(projects[1].outputs.empty());
    const double overall = batch.Now().overall;
    EXPECT_GT(overall, 0.0);
    EXPECT_NEAR(overall, 100.0 * static_cast<double>(projects[0].frames) / (48000 * 60 + 4800), 0.01);
}
