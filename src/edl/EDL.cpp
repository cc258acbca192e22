#include "edl/EDL.h"

#include "audiofile/kxFile.h"
#include "edl/kxLinkedList.h"

EDL::EDL(kxLinkedList* files) {
    if (files == nullptr) return;
    for (kxListItem* item = files->tail; item != nullptr; item = item->prev) {
        auto* take = static_cast<kxFile*>(item);
        if (take->FrameCount() == 0) continue;  // nothing to play, nothing to read
        auto* event = new AudioEvent(take, nullptr, take->Channels() == 2 ? Stereo : MonoLeft);
        firstEvent = firstEvent == nullptr ? event : firstEvent->AddEvent(event);
    }
    if (firstEvent != nullptr && firstEvent->prev != nullptr) firstEvent = firstEvent->Head();
}

EDL::~EDL() {
    if (firstEvent == nullptr) return;
    delete firstEvent->Head();
}

kxFile* EDL::FileAtSample(uint64_t sample) {
    if (firstEvent == nullptr) return nullptr;
    AudioEvent* event = firstEvent->EventAtSample(sample, nullptr);
    return event != nullptr ? event->file : nullptr;
}

uint64_t EDL::FirstSampleInEDL() const {
    if (firstEvent == nullptr) return 0;
    return firstEvent->Head()->startSample;
}

uint64_t EDL::LastSampleInEDL() const {
    if (firstEvent == nullptr) return 0;
    return firstEvent->Tail()->endSample;
}
