// The edit list: the project's takes placed on the timeline as a chain of events
// in timeline order, no two overlapping. It is built newest take first, so where
// takes overlap the newer one wins and older ones are trimmed, split or dropped.
// Gaps between events are silence. The EDL owns its events, never the files.
#pragma once

#include <cstdint>

#include "edl/AudioEvent.h"

#include "edl/kxLinkedList.h"

class kxFile;

// An item of the project's sorted list of takes: it owns its take and sorts it by
// its origination date and time.
class TakeItem : public kxListItem {
public:
    explicit TakeItem(kxFile* owned) : take(owned) {}
    ~TakeItem() override;
    int64_t GetLocation() const override;

    kxFile* const take;
};

class EDL {
public:
    // Builds the chain from a list of TakeItems sorted oldest first. Takes without a
    // single whole frame become no event.
    explicit EDL(kxLinkedList* files);
    ~EDL();
    EDL(const EDL&) = delete;
    EDL& operator=(const EDL&) = delete;

    // The first event's start and the last event's end; 0 when there are no events.
    uint64_t FirstSampleInEDL() const;
    uint64_t LastSampleInEDL() const;

    AudioEvent* firstEvent = nullptr;
};
