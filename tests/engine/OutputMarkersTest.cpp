// Where a conversion puts markers, what they are called, and that an output with
// markers holds the very samples of one without, in every width and layout.
#include <gtest/gtest.h>

#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

// Takes by name, each at a start with a length and an identity (equal identities
// make one recording); listed in age order.
struct Placed {
    const char* name;
    uint64_t start;
    uint64_t frames;
    uint32_t identity;
};

void Fill(ProjectDir& dir, const std::vector<Placed>& takes) {
    for (size_t n = 0; n < takes.size(); ++n) {
        TakeRecipe recipe = NthTake(takes[n].start, takes[n].frames, static_cast<int>(n));
        recipe.identity = takes[n].identity;
        dir.Add(takes[n].name, recipe);
    }
}

}  // namespace

TEST(OutputMarkers, OneWhereEachRecordingBeginsNoneInsideOne) {
    struct Case {
        const char* what;
        std::vector<Placed> takes;
        std::vector<WaveMarker> markers;
        uint64_t leftOut = 0;
    } cases[] = {
        // One recording in two files, a gap, a newer take inside an older one:
        // the older resumes behind it as a new marker.
        {"pieces, gaps and a punch-in",
         {{"B1.wav", 48000, 1000, 1},
          {"B2.WAV", 49000, 1000, 1},
          {"Old take.Wav", 60000, 5000, 2},
          {"punch.wav.wav", 61000, 1000, 3},
          {"no extension", 70000, 10, 4}},
         {{0, "B1"},
          {12000, "Old take"},
          {13000, "punch.wav"},
          {14000, "Old take"},
          {22000, "no extension"}}},
        // A cue point cannot reach 2^32 frames: such markers are left out, never wrapped.
        {"beyond 32 bits",
         {{"a.wav", 5, 10, 1},
          {"b.wav", 5 + 0xFFFFFFFFull, 10, 2},
          {"c.wav", 5 + 0x100000000ull, 10, 3},
          {"d.wav", 5 + 0x100000010ull, 10, 3}},
         {{0, "a"}, {0xFFFFFFFF, "b"}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProjectDir dir;
        Fill(dir, c.takes);
        EDLWriter writer;
        writer.Init();
        ASSERT_EQ(writer.LoadProject(dir.Path().c_str()), 1);
        uint64_t leftOut = 99;
        EXPECT_EQ(writer.OutputMarkers(leftOut), c.markers);
        EXPECT_EQ(leftOut, c.leftOut);
    }
}

TEST(OutputMarkers, EveryLayoutCarriesThemAroundTheSameSamples) {
    ProjectDir dir;
    Fill(dir, {{"one.wav", 96000, 20000, 1},
               {"two.wav", 116000, 20000, 1},
               {"three.wav", 140000, 30000, 2}});
    const std::vector<WaveMarker> expected = {{0, "one"}, {44000, "three"}};
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(dir.Path().c_str()), 1);
    writer.SetOutputTexts("Session \xC3\x9C", "proj2wav 9.9");
    const std::string left = dir.Path() + "/L.wav", right = dir.Path() + "/R.wav";
    for (int width : {0, 1}) {
        for (int layout = Stereo; layout <= DualMono; ++layout) {
            SCOPED_TRACE(testing::Message() << "width " << width << ", layout " << layout);
            writer.SetParams(static_cast<int8_t>(width), static_cast<int8_t>(layout));
            std::vector<uint8_t> plain[2];  // the samples of each file without markers
            for (const bool markers : {false, true}) {
                writer.SetMarkers(markers);
                ASSERT_EQ(layout == DualMono ? writer.NewFiles(left.c_str(), right.c_str())
                                             : writer.NewFile(left.c_str()),
                          1);
                std::atomic<double> progress{0.0};
                ASSERT_EQ(writer.doConvert(progress), 1);
                const int files = layout == DualMono ? 2 : 1;
                for (int f = 0; f < files; ++f) {
                    const std::string path = f == 0 ? left : right;
                    WaveDescription d;
                    ASSERT_EQ(kxFile::Describe(path, d), TakeProblem::None);
                    EXPECT_EQ(d.markers, markers ? expected : std::vector<WaveMarker>{});
                    EXPECT_EQ(d.frames, 74000u);
                    EXPECT_EQ(d.bext.GetStartLocation(), 96000u);
                    EXPECT_STREQ(d.bext.description, "Session \xC3\x9C");
                    EXPECT_STREQ(d.bext.originator, "proj2wav 9.9");
                    const std::vector<uint8_t> bytes = ReadFileBytes(path);
                    const size_t samples = 74000 * d.format.blockAlign;
                    ASSERT_GE(bytes.size(), samples);
                    const std::vector<uint8_t> tail(bytes.end() - samples, bytes.end());
                    if (!markers) {
                        EXPECT_EQ(bytes.size(), 1024 + samples);
                        plain[f] = tail;
                    } else {
                        EXPECT_TRUE(tail == plain[f]);
                    }
                }
            }
        }
    }
}
