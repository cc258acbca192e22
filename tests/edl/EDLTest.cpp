// The edit list's own promises: takes without frames give no events, chains of
// any length never deepen the stack, and the files of the events are open only
// while they are read. (Where newer takes win over older ones is compared with the
// reference model through whole conversions, in tests/engine.)
#include <gtest/gtest.h>

#include "edl/AudioEvent.h"
#include "support/LoadedProject.h"

using namespace testsupport;

TEST(EDL, EmptyListAndTakesWithoutFramesGiveNoEvents) {
    kxLinkedList empty;
    EDL none(&empty);
    EXPECT_EQ(none.firstEvent, nullptr);
    EXPECT_EQ(none.FirstSampleInEDL(), 0u);
    EXPECT_EQ(none.LastSampleInEDL(), 0u);

    // A take with an empty data chunk is listed but never becomes an event.
    const LoadedProject project({NthTake(100, 0, 0), NthTake(0, 50, 1)});
    ASSERT_NE(project.edl->firstEvent, nullptr);
    EXPECT_EQ(project.edl->firstEvent->file, project.takes[1]);
    EXPECT_EQ(project.edl->firstEvent->next, nullptr);
}

TEST(EDL, LongChainsNeverDeepenTheStack) {
    // 100,000 events built and destroyed; an event passed along all of them.
    constexpr uint64_t kEvents = 100000;
    const auto event = [](uint64_t start, uint64_t length) {
        auto* e = new AudioEvent(nullptr, nullptr, Stereo);
        e->startSample = start;
        e->endSample = start + length;
        e->length = length;
        return e;
    };
    AudioEvent* first = event(2 * kEvents, 1);
    for (uint64_t i = kEvents - 1; i > 0; --i) {
        first = first->AddEvent(event(2 * i, 1));  // each lands in front of the head
    }
    AudioEvent* last = event(4 * kEvents, 10);
    EXPECT_EQ(first->AddEvent(last), first);  // travels past every event to the end
    EXPECT_EQ(first->Tail(), last);
    uint64_t count = 0;
    for (AudioEvent* e = first; e != nullptr; e = e->next) ++count;
    EXPECT_EQ(count, kEvents + 1);
    delete first;
}

TEST(EventAudio, TheFileIsOpenOnlyWhileTheEventIsRead) {
    // 16-bit stereo, longer than one read window
    const uint64_t frames = kEventBufferBytes / 4 + 50000;
    const LoadedProject project({NthTake(1000, frames, 0, 2, 16)});
    kxFile& take = *project.takes[0];
    AudioEvent& event = *project.edl->firstEvent;
    const auto open = [&] { return take.Mode() != kRiffClosed; };
    ASSERT_NE(event.GetAudio(1100, 500), nullptr);
    EXPECT_EQ(event.fileBuf.SamplesLeft(1100), 500u) << "the count limits the fill";
    EXPECT_TRUE(open());
    // A fill that reaches the event's end closes the file; a later read opens it
    // again; the event's end itself has nothing to give.
    ASSERT_NE(event.GetAudio(1000 + frames - 10000, 0), nullptr);
    EXPECT_FALSE(open());
    ASSERT_NE(event.GetAudio(1000, 0), nullptr);
    EXPECT_EQ(event.fileBuf.SamplesLeft(1000), kEventBufferBytes / 4) << "a whole window";
    EXPECT_TRUE(open());
    EXPECT_EQ(event.GetAudio(1000 + frames, 0), nullptr);
    EXPECT_FALSE(open());
}
