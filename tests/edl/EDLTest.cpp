// Placing takes on the timeline: newer takes win every overlap, older ones are
// trimmed, split or dropped, with the audio kept where it was on the timeline.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "audiofile/kxFile.h"
#include "edl/EDL.h"
#include "edl/kxLinkedList.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

struct Span {
    uint64_t start, end;
};
struct Expected {
    uint64_t start, end, fileOffset;
    int take;  // index into the takes, oldest first
};

// Loads the takes (oldest first) into a sorted list the way the project loader does.
class Project {
public:
    explicit Project(const std::vector<Span>& spans, int channels = 2) {
        for (size_t i = 0; i < spans.size(); ++i) {
            TakeRecipe recipe;
            recipe.channels = channels;
            recipe.bits = 16;
            recipe.start = spans[i].start;
            recipe.frames = spans[i].end - spans[i].start;
            recipe.time = TimeOfDay(static_cast<int>(i));
            recipe.identity = static_cast<uint32_t>(i + 1);
            recipe.seed = static_cast<uint32_t>(i + 1);
            names.push_back(dir.Add("take " + std::to_string(i) + ".wav", recipe));
            auto* file = new kxFile(dir.AudioDir().c_str(), names.back().c_str());
            EXPECT_TRUE(file->Validate());
            takes.push_back(file);
            list.addItem(file);
        }
    }
    int IndexOf(const kxFile* file) const {
        for (size_t i = 0; i < takes.size(); ++i)
            if (takes[i] == file) return static_cast<int>(i);
        return -1;
    }

    ProjectDir dir;
    std::vector<std::string> names;
    std::vector<kxFile*> takes;
    kxLinkedList list;
};

void ExpectChain(const EDL& edl, const Project& project, const std::vector<Expected>& expected) {
    std::vector<Expected> actual;
    const AudioEvent* previous = nullptr;
    for (AudioEvent* e = edl.firstEvent; e != nullptr; e = e->next) {
        EXPECT_EQ(e->prev, previous);
        EXPECT_EQ(e->endSample, e->startSample + e->length);
        actual.push_back({e->startSample, e->endSample, e->fileOffset, project.IndexOf(e->file)});
        previous = e;
    }
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(actual[i].start, expected[i].start);
        EXPECT_EQ(actual[i].end, expected[i].end);
        EXPECT_EQ(actual[i].fileOffset, expected[i].fileOffset);
        EXPECT_EQ(actual[i].take, expected[i].take);
    }
}

struct OverlapCase {
    const char* name;
    std::vector<Span> takesOldestFirst;
    std::vector<Expected> events;
};

}  // namespace

TEST(EDL, ResolvesEveryKindOfOverlap) {
    const std::vector<OverlapCase> cases = {
        {"newer inside older splits it",
         {{0, 100}, {40, 60}},
         {{0, 40, 0, 0}, {40, 60, 0, 1}, {60, 100, 60, 0}}},
        {"newer over older's end", {{0, 100}, {50, 100}}, {{0, 50, 0, 0}, {50, 100, 0, 1}}},
        {"newer over older's start", {{0, 100}, {0, 40}}, {{0, 40, 0, 1}, {40, 100, 40, 0}}},
        {"older wholly under newer is dropped", {{20, 30}, {0, 100}}, {{0, 100, 0, 1}}},
        {"identical spans keep the newer", {{0, 100}, {0, 100}}, {{0, 100, 0, 1}}},
        {"older trimmed at its end", {{0, 50}, {30, 80}}, {{0, 30, 0, 0}, {30, 80, 0, 1}}},
        {"older trimmed at its start", {{60, 100}, {30, 80}}, {{30, 80, 0, 1}, {80, 100, 20, 0}}},
        {"touching takes are both kept", {{0, 50}, {50, 90}}, {{0, 50, 0, 0}, {50, 90, 0, 1}}},
        {"gap between takes", {{0, 10}, {30, 40}}, {{0, 10, 0, 0}, {30, 40, 0, 1}}},
        {"older after newer, touching", {{50, 90}, {0, 50}}, {{0, 50, 0, 1}, {50, 90, 0, 0}}},
        {"two older takes around a newest",
         {{0, 150}, {180, 250}, {100, 200}},
         {{0, 100, 0, 0}, {100, 200, 0, 2}, {200, 250, 20, 1}}},
        {"older spans several newer takes",
         {{0, 1000}, {100, 200}, {300, 400}},
         {{0, 100, 0, 0},
          {100, 200, 0, 1},
          {200, 300, 200, 0},
          {300, 400, 0, 2},
          {400, 1000, 400, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Project project(c.takesOldestFirst);
        EDL edl(&project.list);
        ExpectChain(edl, project, c.events);
        EXPECT_EQ(edl.FirstSampleInEDL(), c.events.front().start);
        EXPECT_EQ(edl.LastSampleInEDL(), c.events.back().end);
    }
}

TEST(EDL, EmptyListAndTakesWithoutFramesGiveNoEvents) {
    kxLinkedList empty;
    EDL none(&empty);
    EXPECT_EQ(none.firstEvent, nullptr);
    EXPECT_EQ(none.FirstSampleInEDL(), 0u);
    EXPECT_EQ(none.LastSampleInEDL(), 0u);
    EXPECT_EQ(none.FileAtSample(0), nullptr);

    // A take with an empty data chunk is listed but never becomes an event.
    Project project({{100, 100}, {0, 50}});
    EDL edl(&project.list);
    ExpectChain(edl, project, {{0, 50, 0, 1}});
}

TEST(EDL, SearchesAndNeighbours) {
    Project project({{0, 50}, {50, 90}, {200, 300}});
    EDL edl(&project.list);
    AudioEvent* first = edl.firstEvent;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->EventAtSample(50, nullptr)->startSample, 50u);     // end of one, start of next
    EXPECT_EQ(first->EventAtSample(90, nullptr), nullptr);              // end, then a gap
    EXPECT_EQ(first->EventBetweenSamples(100, 200, nullptr), nullptr);  // wholly in the gap
    EXPECT_EQ(first->EventBetweenSamples(95, 205, nullptr)->startSample, 200u);
    EXPECT_EQ(first->EventBetweenSamples(210, 220, nullptr)->startSample, 200u);  // covered
    EXPECT_EQ(first->next->next->EventAtSample(10, nullptr), first);  // searches from the head
    EXPECT_EQ(edl.FileAtSample(60), project.takes[1]);
    EXPECT_FALSE(first->Tail()->NextHasSameID());
    EXPECT_FALSE(first->NextHasSameID());  // different identities
}

TEST(EDL, SplitPiecesShareTheirFileAndIdentity) {
    Project project({{0, 100}, {40, 60}});
    EDL edl(&project.list);
    AudioEvent* e = edl.firstEvent;
    EXPECT_EQ(e->file, e->next->next->file);
    EXPECT_TRUE(e->file->SameFileID(e->next->next->file));
    EXPECT_FALSE(e->NextHasSameID());
}

TEST(EDL, LongChainsNeverDeepenTheStack) {
    // 100,000 events built and destroyed; an event passed along all of them.
    constexpr uint64_t kEvents = 100000;
    auto* first = new AudioEvent(nullptr, nullptr, Stereo);
    first->startSample = 2 * kEvents;
    first->endSample = first->startSample + 1;
    first->length = 1;
    for (uint64_t i = kEvents - 1; i > 0; --i) {
        auto* e = new AudioEvent(nullptr, nullptr, Stereo);
        e->startSample = 2 * i;
        e->endSample = 2 * i + 1;
        e->length = 1;
        first = first->AddEvent(e);  // each lands in front of the head
    }
    auto* last = new AudioEvent(nullptr, nullptr, Stereo);
    last->startSample = 4 * kEvents;
    last->endSample = last->startSample + 10;
    last->length = 10;
    EXPECT_EQ(first->AddEvent(last), first);  // travels past every event to the end
    EXPECT_EQ(first->Tail(), last);
    uint64_t count = 0;
    for (AudioEvent* e = first; e != nullptr; e = e->next) ++count;
    EXPECT_EQ(count, kEvents + 1);
    delete first;
}

// Random projects against a per-sample model: at every timeline sample the newest
// take that covers it plays, at the frame that lines up with its time reference.
TEST(EDL, RandomProjectsMatchThePerSampleModel) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 42; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Mostly a handful of takes; the last rounds pile up hundreds.
        const int takes = round < 40 ? 1 + static_cast<int>(rng() % 8) : 300;
        std::vector<Span> spans;
        for (int i = 0; i < takes; ++i) {
            const uint64_t start = rng() % 400;
            spans.push_back({start, start + 1 + rng() % 200});
        }
        Project project(spans);
        EDL edl(&project.list);

        uint64_t last = 0;
        for (const auto& s : spans) last = std::max(last, s.end);
        for (uint64_t t = 0; t <= last; ++t) {
            int newest = -1;
            for (int i = 0; i < takes; ++i)
                if (spans[i].start <= t && t < spans[i].end) newest = i;
            AudioEvent* e = edl.firstEvent->EventAtSample(t, nullptr);
            if (newest < 0) {
                ASSERT_EQ(e, nullptr) << "t=" << t;
                continue;
            }
            ASSERT_NE(e, nullptr) << "t=" << t;
            ASSERT_EQ(project.IndexOf(e->file), newest) << "t=" << t;
            ASSERT_EQ(e->fileOffset + (t - e->startSample), t - spans[newest].start) << "t=" << t;
        }
        for (AudioEvent* e = edl.firstEvent; e != nullptr && e->next != nullptr; e = e->next) {
            ASSERT_LE(e->endSample, e->next->startSample);
            ASSERT_LT(e->startSample, e->endSample);
        }
    }
}
