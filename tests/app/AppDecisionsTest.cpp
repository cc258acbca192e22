// The words and numbers every front end shows, and the progress sheet's states.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/AppDecisions.h"
#include "app/TakeProblemText.h"
#include "engine/ProjectSession.h"

namespace {

app::ProjectStatus Loaded(uint32_t rate, int64_t bytes, bool ratesDiffer = false) {
    app::ProjectStatus s;
    s.hasTimes = s.hasSize = true;
    s.end = {0, 3, 25, 4};
    s.bytes = bytes;
    s.sampleRate = rate;
    s.ratesDiffer = ratesDiffer;
    return s;
}

}  // namespace

TEST(FormatBytes, SwitchesUnitsAndPrecisionAtEachBoundary) {
    const struct {
        double bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},           {999, "999 B"},
        {1000, "1.00 KB"},    {9999, "10.00 KB"},
        {10000, "10 KB"},     {999999, "1000 KB"},
        {1000000, "1.00 MB"}, {9999999, "10.00 MB"},
        {10000000, "10 MB"},  {5292000000.0, "5292 MB"},
        {-1, "0 B"},          {std::nan(""), "0 B"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::formatBytes(c.bytes), c.text) << c.bytes;
}

TEST(StatusText, SaysWhatTheDriverWillWrite) {
    const app::ProjectStatus none;
    const struct {
        int bits;
        int layout;
        app::ProjectStatus status;
        const char* text;
    } cases[] = {
        {24, 4, Loaded(48000, 59155200),
         "24 Bit, Dual Mono, 48.0Khz,  0:00:00.00- 0:03:25.04, 59 MB"},
        {16, 3, Loaded(44100, 999),
         "16 Bit, Mono Summed (L+R), 44.1Khz,  0:00:00.00- 0:03:25.04, 999 B"},
        {16, 0, Loaded(192000, 10000, true),
         "16 Bit, Stereo, 0.0Khz,  0:00:00.00- 0:03:25.04, 10 KB"},
        {16, 0, Loaded(88200, 10000), "16 Bit, Stereo, 88.2Khz,  0:00:00.00- 0:03:25.04, 10 KB"},
        {24, 1, none, "24 Bit, Mono Left"},
        {24, 2, none, "24 Bit, Mono Right"},
        // The driver writes any other width as 16 bit and any unknown layout as stereo.
        {7, -1, none, "16 Bit, Stereo"},
        {16, 5, none, "16 Bit, Stereo"},
    };
    for (const auto& c : cases) {
        const OutputFormat format{c.bits, static_cast<ChanTypes>(c.layout)};
        EXPECT_EQ(app::StatusText(format, c.status), c.text);
    }
}

TEST(TakeProblemText, NamesWhatWasFoundInTheFile) {
    using enum TakeProblem;
    const std::string onlyPcm = ": only 16- and 24-bit PCM takes can be used";
    EXPECT_EQ(app::TakeProblemText(FloatSamples, {3, 2, 48000, 64}),
              "64-bit float samples" + onlyPcm);
    EXPECT_EQ(app::TakeProblemText(CompressedFormat, {0x55}),
              "compressed (format tag 0x0055)" + onlyPcm);
    EXPECT_EQ(app::TakeProblemText(UnsupportedChannels, {1, 3}),
              "3 channels: only mono and stereo takes can be used");
    EXPECT_EQ(app::TakeProblemText(BadBlockAlign, {1, 2, 48000, 24, 8}),
              "frames of 8 bytes for 2 channels of 24-bit samples: only packed 16- and 24-bit PCM "
              "takes can be used");
}

TEST(OutputNames, ComeFromTheProjectAndTheRightFollowsTheLeft) {
    EXPECT_EQ(app::ProposedSingleName("/home/me/Gig/"), "Gig");
    EXPECT_EQ(app::ProposedSingleName("/"), "");
    EXPECT_EQ(app::ProposedLeftName("Gig//"), "GigL");
    const struct {
        const char* left;
        const char* right;
    } cases[] = {
        {"/out/MixL.wav", "/out/MixR.wav"},
        {"/out/L.wav", "/out/R.wav"},
        {"same.wav", "sameR.wav"},
        {"/out/Mix", "/out/MixR.wav"},
        // Only a capital L right before the type is the left file's mark, and only
        // the last ".wav" is the type.
        {"/out/mixl.wav", "/out/mixlR.wav"},
        {"/outL.wav/Mix.wav", "/outL.wav/MixR.wav"},
        {"/out/MixL.wav.wav", "/out/MixL.wavR.wav"},
        {"/out/MixL.WAV", "/out/MixR.wav"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::RightOutputPath(c.left), c.right) << c.left;
}

// At QT_SCALE_FACTOR=2 a 1600x1000 screen holds 800x500 of a window's pixels.
TEST(FirstWindowSize, WhatTheWindowAsksForWithinTheScreen) {
    const auto size = [](app::WindowSize wanted, app::WindowSize available) {
        const app::WindowSize s = app::FirstWindowSize(wanted, {900, 620}, {690, 405}, available);
        return std::pair(s.width, s.height);
    };
    EXPECT_EQ(size({1000, 700}, {1920, 1080}), std::pair(1000, 700));
    EXPECT_EQ(size({600, 400}, {1920, 1080}), std::pair(900, 620));
    EXPECT_EQ(size({1000, 700}, {800, 500}), std::pair(800 - 16, 500 - 48));
    EXPECT_EQ(size({1000, 700}, {600, 400}), std::pair(690, 405));  // the controls still fit
}

// ---- Progress sheet ----

using State = app::ProgressSheet::State;
using Action = app::ProgressSheet::ButtonAction;

void ExpectSheet(const app::ProgressSheet& sheet, State state, double bar, const char* text,
                 const char* button) {
    EXPECT_EQ(sheet.state(), state);
    EXPECT_EQ(sheet.bar(), bar);
    EXPECT_STREQ(sheet.text(), text);
    EXPECT_STREQ(sheet.button(), button);
}

// A Cancel shows at once; the run's end then says what the outputs hold.
TEST(ProgressSheet, TheRunsEndHasTheLastWord) {
    using End = RunOutcome::End;
    const struct {
        double cancelAt;  // the bar when Cancel is pressed; negative: never
        End end;
        uint64_t frames;  // of 1000
        State state;
        double bar;
        const char* text;
        const char* title;
    } cases[] = {
        {-1, End::Complete, 1000, State::Done, 100, app::kComplete, "Conversion Complete"},
        {-1, End::Failed, 250, State::Failed, 25, app::kFailed, "Conversion Failed"},
        {-1, End::Failed, 0, State::Failed, 0, app::kFailed, "Conversion Failed"},
        {-1, End::Stopped, 500, State::Cancelled, 50, app::kCancelled, "Conversion Cancelled"},
        {60, End::Stopped, 615, State::Cancelled, 61.5, app::kCancelled, "Conversion Cancelled"},
        {98, End::Complete, 1000, State::Done, 100, app::kComplete, "Conversion Complete"},
        {60, End::Failed, 620, State::Failed, 62, app::kFailed, "Conversion Failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        app::ProgressSheet sheet;
        const uint64_t run = sheet.Open();
        ExpectSheet(sheet, State::Converting, 0.0, "Converting file...", "Cancel");
        EXPECT_STREQ(sheet.title(), "Converting");
        if (c.cancelAt >= 0) {
            sheet.Tick(c.cancelAt);
            EXPECT_EQ(sheet.PressButton(), Action::StopConversion);
            ExpectSheet(sheet, State::Cancelled, c.cancelAt, "Operation cancelled...", "OK");
            sheet.Tick(c.cancelAt + 1);  // a late tick moves nothing
            EXPECT_EQ(sheet.bar(), c.cancelAt);
        }
        RunOutcome outcome;
        outcome.end = c.end;
        outcome.frames = c.frames;
        outcome.total = 1000;
        EXPECT_TRUE(sheet.Finished(run, outcome));
        ExpectSheet(sheet, c.state, c.bar, c.text, "OK");
        EXPECT_STREQ(sheet.title(), c.title);
        EXPECT_EQ(sheet.percent(), static_cast<int>(c.bar));
        // The outcome shows: nothing changes it any more.
        EXPECT_FALSE(sheet.Cancel());
        EXPECT_FALSE(sheet.Finished(run, {}));
        ExpectSheet(sheet, c.state, c.bar, c.text, "OK");
        EXPECT_EQ(sheet.PressButton(), Action::CloseSheet);
        EXPECT_FALSE(sheet.shown());
        EXPECT_EQ(sheet.PressButton(), Action::None);
    }
}

TEST(ProgressSheet, TicksStayWithinTheBar) {
    app::ProgressSheet sheet;
    sheet.Open();
    const std::pair<double, double> ticks[] = {{100.00000000001, 100.0},
                                               {-3, 0.0},
                                               {std::nan(""), 0.0},
                                               {std::numeric_limits<double>::infinity(), 100.0}};
    for (const auto& [tick, bar] : ticks) {
        sheet.Tick(tick);
        EXPECT_EQ(sheet.bar(), bar) << tick;
    }
    // The bar and the figures beside it give the same whole percent.
    for (const double tick : {49.6, 99.99, 0.5}) {
        sheet.Tick(tick);
        const std::string figures = app::ProgressFigures(tick, 10, 1e6);
        EXPECT_EQ(std::stoi(figures), sheet.percent()) << figures;
    }
}
