// Where a conversion puts markers and what they are called. (What they look like
// in a file, and the samples around them, are the audio file's tests; dual mono's
// two files, the command line's.)
#include <gtest/gtest.h>

#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

// Takes by name, each at a start with a length and an identity (equal identities
// make one recording; 0 writes no identity chunk); listed in age order.
struct Placed {
    const char* name;
    uint64_t start;
    uint64_t frames;
    uint32_t identity;
};

void Fill(ProjectDir& dir, const std::vector<Placed>& takes) {
    for (size_t n = 0; n < takes.size(); ++n) {
        const Placed& t = takes[n];
        dir.Add(t.name, NthTake(t.start, t.frames, static_cast<int>(n)).Recording(t.identity));
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
        // Takes other programs wrote carry no identity: each is a recording of its own.
        {"no identity chunks",
         {{"x.wav", 0, 1000, 0}, {"y.wav", 1000, 1000, 0}, {"z.wav", 2000, 10, 1}},
         {{0, "x"}, {1000, "y"}, {2000, "z"}}},
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
