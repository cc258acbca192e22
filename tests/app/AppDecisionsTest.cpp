#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/AppDecisions.h"
#include "app/TakeProblemText.h"

namespace {

timeParts Time(int64_t hours, int minutes, int seconds, int hundredths) {
    timeParts t;
    t.hours = hours;
    t.minutes = static_cast<int8_t>(minutes);
    t.seconds = static_cast<int8_t>(seconds);
    t.hundredths = static_cast<int8_t>(hundredths);
    return t;
}

app::ProjectStatus Loaded(uint32_t rate, int64_t bytes) {
    app::ProjectStatus s;
    s.hasTimes = s.hasSize = true;
    s.start = Time(0, 0, 0, 0);
    s.end = Time(0, 3, 25, 4);
    s.bytes = bytes;
    s.sampleRate = rate;
    return s;
}

TEST(FormatTime, PadsHoursWithABlankAndTheRestWithZeros) {
    EXPECT_EQ(app::formatTime(Time(1, 2, 3, 4)), " 1:02:03.04");
    EXPECT_EQ(app::formatTime(Time(0, 0, 0, 0)), " 0:00:00.00");
    EXPECT_EQ(app::formatTime(Time(0, 0, 21, 35)), " 0:00:21.35");
    EXPECT_EQ(app::formatTime(Time(12, 59, 59, 99)), "12:59:59.99");
    EXPECT_EQ(app::formatTime(Time(128, 0, 0, 0)), "128:00:00.00");
    EXPECT_EQ(app::formatTime(Time(6362, 54, 52, 24)), "6362:54:52.24");
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
    EXPECT_EQ(app::TakeProblemText(None), "");
}

TEST(FormatBytes, SwitchesUnitsAndPrecisionAtEachBoundary) {
    const struct {
        double bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},          {999, "999 B"},      {1000, "1.00 KB"},         {9999, "10.00 KB"},
        {10000, "10 KB"},    {999999, "1000 KB"}, {1000000, "1.00 MB"},      {9999999, "10.00 MB"},
        {10000000, "10 MB"}, {59155200, "59 MB"}, {5292000000.0, "5292 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::formatBytes(c.bytes), c.text) << c.bytes;
}

TEST(FormatBytes, NonsenseCountsReadZero) {
    EXPECT_EQ(app::formatBytes(-1), "0 B");
    EXPECT_EQ(app::formatBytes(std::nan("")), "0 B");
}

TEST(StatusText, LongFormWhenTheProjectIsKnown) {
    EXPECT_EQ(app::StatusText(1, 4, Loaded(48000, 59155200)),
              "24 Bit, Dual Mono, 48.0Khz,  0:00:00.00- 0:03:25.04, 59 MB");
    EXPECT_EQ(app::StatusText(0, 3, Loaded(44100, 999)),
              "16 Bit, Mono Summed (L+R), 44.1Khz,  0:00:00.00- 0:03:25.04, 999 B");
}

TEST(StatusText, ShortFormWithoutAProject) {
    EXPECT_EQ(app::StatusText(0, 0, app::ProjectStatus{}), "16 Bit, Stereo");
    EXPECT_EQ(app::StatusText(1, 1, app::ProjectStatus{}), "24 Bit, Mono Left");
    EXPECT_EQ(app::StatusText(1, 2, app::ProjectStatus{}), "24 Bit, Mono Right");
}

TEST(StatusText, ColumnsOutsideTheControlsFollowTheDriver) {
    // The driver reads any width column but 0 as 24 bit and any unknown layout as
    // stereo; the status line must say what will be written.
    EXPECT_EQ(app::StatusText(7, -1, app::ProjectStatus{}), "24 Bit, Stereo");
    EXPECT_EQ(app::StatusText(0, 5, app::ProjectStatus{}), "16 Bit, Stereo");
}

TEST(StatusText, RateTextAndMixedRates) {
    EXPECT_EQ(app::RateText(44100, false), "44.1Khz");
    EXPECT_EQ(app::RateText(48000, false), "48.0Khz");
    EXPECT_EQ(app::RateText(88200, false), "88.2Khz");
    EXPECT_EQ(app::RateText(96000, false), "96.0Khz");
    EXPECT_EQ(app::RateText(192000, false), "192.0Khz");
    EXPECT_EQ(app::RateText(48000, true), "0.0Khz");

    app::ProjectStatus mixed = Loaded(44100, 10000);
    mixed.ratesDiffer = true;
    EXPECT_EQ(app::StatusText(0, 0, mixed),
              "16 Bit, Stereo, 0.0Khz,  0:00:00.00- 0:03:25.04, 10 KB");
}

TEST(OutputNames, SingleAndLeftNamesComeFromTheProjectDirectory) {
    EXPECT_EQ(app::ProposedSingleName("/home/me/Gig"), "Gig");
    EXPECT_EQ(app::ProposedLeftName("/home/me/Gig"), "GigL");
    EXPECT_EQ(app::ProposedLeftName("/home/me/Gig/"), "GigL");
    EXPECT_EQ(app::ProposedLeftName("Gig//"), "GigL");
    EXPECT_EQ(app::ProposedSingleName("/"), "");
    EXPECT_EQ(app::ProposedSingleName(""), "");
}

TEST(OutputNames, RightNameFollowsALeftNameEndingInL) {
    EXPECT_EQ(app::ProposedRightName("/out/MixL.wav", "/a/Gig"), "MixR");
    EXPECT_EQ(app::ProposedRightName("/out/GigL.wav", "/a/Gig"), "GigR");
    EXPECT_EQ(app::ProposedRightName("/out/L.wav", "/a/Gig"), "R");
    // The ending is tested case-sensitively and on the name, not the directory.
    EXPECT_EQ(app::ProposedRightName("/out/Mix.wav", "/a/Gig"), "GigR");
    EXPECT_EQ(app::ProposedRightName("/out/mixl.wav", "/a/Gig"), "GigR");
    EXPECT_EQ(app::ProposedRightName("/out/MixL.WAV", "/a/Gig"), "GigR");
    EXPECT_EQ(app::ProposedRightName("/outL.wav/Mix.wav", "/a/Gig/"), "GigR");
    EXPECT_EQ(app::ProposedRightName("/out/.wav", "/a/Gig"), "GigR");
}

TEST(OutputNames, OnlyIdenticalPathsCountAsTheSameFile) {
    EXPECT_TRUE(app::SameOutputPaths("/out/GigL.wav", "/out/GigL.wav"));
    EXPECT_FALSE(app::SameOutputPaths("/out/GigL.wav", "/out/gigl.wav"));
}

TEST(Room, FreeSpaceMustExceedSizePlusMargin) {
    const int64_t size = 59155200;
    const uint64_t needed = static_cast<uint64_t>(size) + 1024000;
    EXPECT_EQ(app::RoomNeeded(size), needed);
    EXPECT_FALSE(app::HasRoom(needed, size));
    EXPECT_TRUE(app::HasRoom(needed + 1, size));
    EXPECT_FALSE(app::HasRoom(needed - 1, size));
    EXPECT_FALSE(app::HasRoom(0, 0));  // free space unknown
    EXPECT_TRUE(app::HasRoom(1024001, 0));
}

TEST(Room, ExtremeSizesDoNotWrap) {
    constexpr int64_t kLargest = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(app::RoomNeeded(kLargest), uint64_t{kLargest} + 1024000);
    EXPECT_FALSE(app::HasRoom(uint64_t{kLargest}, kLargest));
    EXPECT_EQ(app::RoomNeeded(-5), 1024000u);
}

// ---- Progress sheet ----

void ExpectSheet(const app::ProgressSheet& sheet, app::ProgressSheet::State state, double bar,
                 const char* text, const char* button) {
    EXPECT_EQ(sheet.state(), state);
    EXPECT_EQ(sheet.bar(), bar);
    EXPECT_STREQ(sheet.text(), text);
    EXPECT_STREQ(sheet.button(), button);
}

using State = app::ProgressSheet::State;
using Action = app::ProgressSheet::ButtonAction;

TEST(ProgressSheet, CompletedRunShowsItsOutcomeAndIgnoresLaterTicks) {
    for (bool success : {true, false}) {
        app::ProgressSheet sheet;
        const uint64_t run = sheet.Open();
        ExpectSheet(sheet, State::Converting, 0.0, "Converting file...", "Cancel");
        sheet.Tick(42.5);
        EXPECT_EQ(sheet.bar(), 42.5);
        EXPECT_TRUE(sheet.Finished(run, success));
        ExpectSheet(sheet, State::Done, 100.0,
                    success ? "Conversion complete..." : "Operation failed...", "Ok");
        sheet.Tick(30.0);
        EXPECT_EQ(sheet.bar(), 100.0);
        EXPECT_FALSE(sheet.Cancel());  // too late: the outcome is shown
        EXPECT_EQ(sheet.state(), State::Done);
        EXPECT_EQ(sheet.PressButton(), Action::CloseSheet);
        EXPECT_FALSE(sheet.shown());
    }
}

TEST(ProgressSheet, TicksStayWithinTheBar) {
    app::ProgressSheet sheet;
    sheet.Open();
    sheet.Tick(100.00000000001);
    EXPECT_EQ(sheet.bar(), 100.0);
    sheet.Tick(-3);
    EXPECT_EQ(sheet.bar(), 0.0);
    sheet.Tick(std::nan(""));
    EXPECT_EQ(sheet.bar(), 0.0);
    sheet.Tick(std::numeric_limits<double>::infinity());
    EXPECT_EQ(sheet.bar(), 100.0);
}

TEST(ProgressSheet, CancelDecidesAndTheWorkersEndChangesNothing) {
    app::ProgressSheet sheet;
    const uint64_t run = sheet.Open();
    sheet.Tick(60);
    EXPECT_EQ(sheet.PressButton(), Action::StopConversion);
    ExpectSheet(sheet, State::Cancelled, 0.0, "Operation cancelled...", "Ok");
    EXPECT_FALSE(sheet.Finished(run, true));
    sheet.Tick(80);
    ExpectSheet(sheet, State::Cancelled, 0.0, "Operation cancelled...", "Ok");
    EXPECT_FALSE(sheet.Cancel());
    EXPECT_EQ(sheet.PressButton(), Action::CloseSheet);
    EXPECT_EQ(sheet.PressButton(), Action::None);
}

TEST(ProgressSheet, AnEarlierRunsLateEndCannotDecideTheNextRun) {
    // A cancelled run's worker may still be closing its file when the next run
    // opens the sheet; its end must not show an outcome for the new run.
    app::ProgressSheet sheet;
    const uint64_t first = sheet.Open();
    sheet.Tick(100);
    sheet.Cancel();
    sheet.PressButton();
    const uint64_t second = sheet.Open();
    EXPECT_NE(first, second);
    ExpectSheet(sheet, State::Converting, 0.0, "Converting file...", "Cancel");
    EXPECT_FALSE(sheet.Finished(first, false));
    EXPECT_EQ(sheet.state(), State::Converting);
    EXPECT_TRUE(sheet.Finished(second, true));
    EXPECT_STREQ(sheet.text(), "Conversion complete...");
}

}  // namespace
