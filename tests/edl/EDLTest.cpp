// Placing takes on the timeline: newer takes win every overlap, older ones are
// trimmed, split or dropped, with the audio kept where it was on the timeline; and
// the files of the events are open only while they are read.
#include <gtest/gtest.h>

#include <random>

#include "support/LoadedProject.h"

using namespace testsupport;

namespace {

struct Span {
    uint64_t start, end;
};
LoadedProject Load(const std::vector<Span>& spans) {
    std::vector<TakeRecipe> takes;
    for (const Span& span : spans) {
        takes.push_back(NthTake(span.start, span.end - span.start, 0, 2, 16));
    }
    return LoadedProject(takes);
}

}  // namespace

TEST(EDL, EmptyListAndTakesWithoutFramesGiveNoEvents) {
    kxLinkedList empty;
    EDL none(&empty);
    EXPECT_EQ(none.firstEvent, nullptr);
    EXPECT_EQ(none.FirstSampleInEDL(), 0u);
    EXPECT_EQ(none.LastSampleInEDL(), 0u);

    // A take with an empty data chunk is listed but never becomes an event.
    const LoadedProject project = Load({{100, 100}, {0, 50}});
    ASSERT_NE(project.edl->firstEvent, nullptr);
    EXPECT_EQ(project.edl->firstEvent->file, project.takes[1]);
    EXPECT_EQ(project.edl->firstEvent->next, nullptr);
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
// take that covers it plays, at the frame that lines up with its time reference;
// older takes are trimmed, split or dropped around it.
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
        const LoadedProject project = Load(spans);

        uint64_t last = 0;
        for (const auto& s : spans) last = std::max(last, s.end);
        for (uint64_t t = 0; t <= last; ++t) {
            int newest = -1;
            for (int i = 0; i < takes; ++i)
                if (spans[i].start <= t && t < spans[i].end) newest = i;
            AudioEvent* e = project.edl->firstEvent->EventAtSample(t, nullptr);
            if (newest < 0) {
                ASSERT_EQ(e, nullptr) << "t=" << t;
                continue;
            }
            ASSERT_NE(e, nullptr) << "t=" << t;
            ASSERT_EQ(project.IndexOf(e->file), newest) << "t=" << t;
            ASSERT_EQ(e->fileOffset + (t - e->startSample), t - spans[newest].start) << "t=" << t;
        }
        for (AudioEvent* e = project.edl->firstEvent; e && e->next; e = e->next) {
            ASSERT_EQ(e->next->prev, e);
            ASSERT_LE(e->endSample, e->next->startSample);
            ASSERT_LT(e->startSample, e->endSample);
        }
    }
}

TEST(EventAudio, TheFileIsOpenOnlyWhileTheEventIsRead) {
    const LoadedProject project({NthTake(1000, 50000, 0, 2, 16)});
    kxFile& take = *project.takes[0];
    AudioEvent& event = *project.edl->firstEvent;
    const auto open = [&] { return take.Mode() != kRiffClosed; };
    ASSERT_NE(event.GetAudio(1100, 500), nullptr);
    EXPECT_EQ(event.fileBuf.SamplesLeft(1100), 500u) << "the count limits the fill";
    EXPECT_TRUE(open());
    // A fill that reaches the event's end closes the file; a later read opens it
    // again; the event's end itself has nothing to give.
    ASSERT_NE(event.GetAudio(41000, 0), nullptr);
    EXPECT_FALSE(open());
    ASSERT_NE(event.GetAudio(1000, 0), nullptr);
    EXPECT_TRUE(open());
    EXPECT_EQ(event.GetAudio(51000, 0), nullptr);
    EXPECT_FALSE(open());
}
