#include "edl/EDL.h"

#include <map>
#include <vector>

#include "audiofile/kxFile.h"

TakeItem::~TakeItem() {
    delete take;
}

int64_t TakeItem::GetLocation() const {
    return take->GetLocation();
}

EDL::EDL(kxLinkedList* files) {
    if (files == nullptr) return;
    // Events of the chain by their end. A new (older) event passes every event that
    // ends before it starts without touching it, so its placement can begin at the
    // first event that ends at or after its start: the chain comes out as if each
    // were placed from the head, at a cost that does not grow with the chain.
    std::map<uint64_t, AudioEvent*> byEnd;
    std::vector<AudioEvent*> linked;
    for (kxListItem* item = files->tail; item != nullptr; item = item->prev) {
        kxFile* take = static_cast<TakeItem*>(item)->take;
        if (take->FrameCount() == 0) continue;  // nothing to play, nothing to read
        auto* event = new AudioEvent(take, nullptr, take->Channels() == 2 ? Stereo : MonoLeft);
        if (firstEvent == nullptr) {
            firstEvent = event;
            byEnd[event->endSample] = event;
            continue;
        }
        const auto from = byEnd.lower_bound(event->startSample);
        AudioEvent* start = from != byEnd.end() ? from->second : byEnd.rbegin()->second;
        linked.clear();
        start->AddEvent(event, &linked);
        for (AudioEvent* e : linked) byEnd[e->endSample] = e;
    }
    if (firstEvent != nullptr && firstEvent->prev != nullptr) firstEvent = firstEvent->Head();
}

EDL::~EDL() {
    if (firstEvent == nullptr) return;
    delete firstEvent->Head();
}

uint64_t EDL::FirstSampleInEDL() const {
    if (firstEvent == nullptr) return 0;
    return firstEvent->Head()->startSample;
}

uint64_t EDL::LastSampleInEDL() const {
    if (firstEvent == nullptr) return 0;
    return firstEvent->Tail()->endSample;
}
