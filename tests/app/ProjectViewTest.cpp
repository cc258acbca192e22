// The timeline the window draws: one block per event, colours by file, and fade
// marks exactly where the run fades.
#include <gtest/gtest.h>

#include "app/ProjectView.h"
#include "engine/ProjectSession.h"
#include "platform/Paths.h"
#include "support/ProjectDir.h"

using namespace testsupport;

TEST(Timeline, BlocksFollowTheEditList) {
    ProjectDir project;
    // A at 1 s for 4 s; B punched in newer at 2 s for 1 s; C one recording in two
    // files back to back from 8 s, after a gap.
    project.Add("A.wav", NthTake(48000, 4 * 48000, 0));
    project.Add("B.wav", NthTake(2 * 48000, 48000, 1));
    project.Add("C1.wav", NthTake(8 * 48000, 48000, 2).Recording(3));
    project.Add("C2.wav", NthTake(9 * 48000, 48000, 3).Recording(3));
    ProjectSession session;
    ASSERT_TRUE(session.Load(project.Path()));

    const app::Timeline timeline = app::BuildTimeline(session);
    EXPECT_EQ(timeline.first, 48000u);
    EXPECT_EQ(timeline.last, 10u * 48000);

    struct Expected {
        const char* name;
        uint64_t start, end;
        bool fadeIn, fadeOut;
    };
    const Expected expected[] = {
        {"A.wav", 48000, 96000, true, true},     {"B.wav", 96000, 144000, true, true},
        {"A.wav", 144000, 240000, true, true},   {"C1.wav", 384000, 432000, true, false},
        {"C2.wav", 432000, 480000, false, true},
    };
    ASSERT_EQ(timeline.blocks.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const app::TimelineBlock& block = timeline.blocks[i];
        EXPECT_EQ(block.name, expected[i].name);
        EXPECT_EQ(block.start, expected[i].start);
        EXPECT_EQ(block.end, expected[i].end);
        EXPECT_EQ(block.fadeIn, expected[i].fadeIn);
        EXPECT_EQ(block.fadeOut, expected[i].fadeOut);
    }
    // The two pieces of A share a colour; every other file has its own.
    EXPECT_EQ(timeline.blocks[0].take, timeline.blocks[2].take);
    EXPECT_NE(timeline.blocks[0].take, timeline.blocks[1].take);
    EXPECT_NE(timeline.blocks[3].take, timeline.blocks[4].take);
    EXPECT_EQ(timeline.blocks[1].startText, " 0:00:02.00");
    EXPECT_EQ(timeline.blocks[1].endText, " 0:00:03.00");
}

// Light and dark palettes alike: a waveform stands out from its block, and a
// warning from the list's background.
TEST(Timeline, ColoursHoldTheirContrastOnLightAndDarkPalettes) {
    EXPECT_DOUBLE_EQ(app::ContrastRatio({0, 0, 0}, {255, 255, 255}), 21.0);
    const struct {
        app::Rgb base, text;
    } palettes[] = {
        {{255, 255, 255}, {0, 0, 0}},              // light
        {{0xe0, 0xe0, 0xe0}, {0x20, 0x20, 0x20}},  // grey
        {{0x23, 0x26, 0x29}, {0xfc, 0xfc, 0xfc}},  // dark
        {{0, 0, 0}, {255, 255, 255}},              // black
    };
    for (const auto& p : palettes) {
        for (int take = 0; take < static_cast<int>(std::size(app::kTakeColours)); ++take) {
            const app::BlockColours colours = app::TakeBlockColours(take, p.base, p.text);
            EXPECT_GE(app::ContrastRatio(colours.fill, colours.wave), 3.0)
                << take << " on " << p.base.red;
        }
        EXPECT_GE(app::ContrastRatio(app::WarningTextColour(p.base), p.base), 4.5) << p.base.red;
    }
}
