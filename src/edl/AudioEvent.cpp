#include "edl/AudioEvent.h"

#include <algorithm>

#include "audiofile/kxFile.h"

// ---- fileBuffer ----

uint32_t fileBuffer::MaxBytes() const {
    constexpr uint32_t k24BitBytes = kEventBufferBytes - kEventBufferBytes % 12;
    return file != nullptr && file->BitsPerSample() == 24 ? k24BitBytes : kEventBufferBytes;
}

uint32_t fileBuffer::Max() const {
    return dualFiles == 1 ? MaxBytes() / 2 : MaxBytes();
}

uint64_t fileBuffer::SamplesLeft(uint64_t position) const {
    const uint64_t end = bufStart + bufSamples;
    return position >= bufStart && position < end ? end - position : 0;
}

const uint8_t* fileBuffer::LeftData(uint64_t position) const {
    if (SamplesLeft(position) == 0 || data == nullptr || file == nullptr) return nullptr;
    return data.get() + (position - bufStart) * file->BytesPerSample();
}

uint8_t* fileBuffer::Data(uint64_t fileBytes) {
    // Not cleared: only bytes read or converted into it are ever used, and a short
    // take then touches a page or two of the buffer instead of all of them. (A plain
    // new[] rather than make_unique_for_overwrite, which the browser build's
    // standard library lacks.)
    const uint32_t files = dualFiles == 1 ? 2 : 1;
    const uint32_t room =
        fileBytes == 0
            ? kEventBufferBytes / 2
            : static_cast<uint32_t>(std::min<uint64_t>(fileBytes, kEventBufferBytes / files));
    const uint32_t bytes = fileBytes == 0 ? kEventBufferBytes : files * room;
    if (data == nullptr || bytes > allocated) {
        data.reset(new uint8_t[bytes]);
        allocated = bytes;
    }
    fileRoom = room;
    return data.get();
}

void fileBuffer::Release() {
    data.reset();
    allocated = fileRoom = 0;
    bufStart = 0;
    bufSamples = 0;
}

// ---- AudioEvent: placement and the chain ----

AudioEvent::AudioEvent(kxFile* theFile, kxFile* theRightFile, ChanTypes type)
    : file(theFile), rightFile(theRightFile), chanType(type) {
    if (file != nullptr) {
        startSample = file->StartLocation();
        length = file->FrameCount();
        if (rightFile != nullptr) {
            chanType = DualMono;
        } else if (file->Channels() == 2) {
            chanType = Stereo;
        }
    } else {
        chanType = Stereo;
    }
    endSample = startSample + length;
}

AudioEvent::AudioEvent(const AudioEvent* source) {
    if (source == nullptr) return;
    file = source->file;
    rightFile = source->rightFile;
    chanType = source->chanType;
    startSample = source->startSample;
    length = source->length;
    fileOffset = source->fileOffset;
    endSample = startSample + length;
}

AudioEvent::~AudioEvent() {
    if (file != nullptr) file->Close();
    if (rightFile != nullptr) rightFile->Close();
    // Release the rest of the chain one event at a time, so that a chain of any
    // length never deepens the stack.
    AudioEvent* following = next;
    next = nullptr;
    while (following != nullptr) {
        AudioEvent* after = following->next;
        following->next = nullptr;
        delete following;
        following = after;
    }
}

void AudioEvent::SetNewStart(uint64_t newStart) {
    fileOffset += newStart - startSample;
    length = endSample - newStart;
    startSample = newStart;
}

void AudioEvent::SetNewEnd(uint64_t newEnd) {
    endSample = newEnd;
    length = newEnd - startSample;
}

void AudioEvent::InsertBefore(AudioEvent* event) {
    if (event == nullptr) return;
    if (prev != nullptr) prev->next = event;
    event->prev = prev;
    event->next = this;
    prev = event;
}

void AudioEvent::InsertAfter(AudioEvent* event) {
    if (event == nullptr) return;
    if (next != nullptr) next->prev = event;
    event->next = next;
    event->prev = this;
    next = event;
}

AudioEvent* AudioEvent::AddEvent(AudioEvent* event, std::vector<AudioEvent*>* linked) {
    if (event == nullptr) return this;
    // The result is decided by what happens in front of this event; the new
    // event then travels along the chain until it is linked or destroyed.
    AudioEvent* result = this;
    AudioEvent* t = this;
    for (;;) {
        const uint64_t ts = t->startSample, te = t->endSample;
        const uint64_t ns = event->startSample, ne = event->endSample;
        if (ts > ne) {  // wholly before t
            t->InsertBefore(event);
            if (linked != nullptr) linked->push_back(event);
            return t == this ? event : result;
        }
        if (ns > te) {
            // wholly after t: pass it on
        } else if (ts <= ns) {
            if (ne <= te) {  // wholly under t
                delete event;
                return result;
            }
            event->SetNewStart(te);  // drop the part under t
        } else if (ne <= te) {       // starts before t, ends under it
            event->SetNewEnd(ts);
            t->InsertBefore(event);
            if (linked != nullptr) linked->push_back(event);
            return t == this ? event : result;
        } else {  // sticks out on both sides: split around t
            auto* front = new AudioEvent(event);
            front->SetNewEnd(ts);
            t->InsertBefore(front);
            if (linked != nullptr) linked->push_back(front);
            if (t == this) result = front;
            event->SetNewStart(te);
        }
        if (t->next == nullptr) {
            t->InsertAfter(event);
            if (linked != nullptr) linked->push_back(event);
            return result;
        }
        t = t->next;
    }
}

AudioEvent* AudioEvent::Head() {
    AudioEvent* e = this;
    while (e->prev != nullptr) e = e->prev;
    return e;
}

AudioEvent* AudioEvent::Tail() {
    AudioEvent* e = this;
    while (e->next != nullptr) e = e->next;
    return e;
}

AudioEvent* AudioEvent::FirstForSearch(AudioEvent* from) {
    if (from != nullptr) return from;
    return prev != nullptr ? Head() : this;
}

AudioEvent* AudioEvent::EventBetweenSamples(uint64_t first, uint64_t last, AudioEvent* from) {
    for (AudioEvent* e = FirstForSearch(from); e != nullptr; e = e->next) {
        const bool startsInside = first <= e->startSample && e->startSample < last;
        const bool endsInside = first < e->endSample && e->endSample <= last;
        const bool covers = e->startSample <= first && last <= e->endSample;
        if (startsInside || endsInside || covers) return e;
    }
    return nullptr;
}

bool AudioEvent::NextHasSameID() const {
    if (next == nullptr || file == nullptr || next->file == nullptr) return false;
    return file->SameFileID(next->file);
}

bool AudioEvent::FadesIn() const {
    return prev == nullptr || file == nullptr || !file->SameFileID(prev->file);
}

// ---- AudioEvent: reading and writing audio ----

namespace {

// A read of a take that fails is tried again in pieces of kSalvageBytes, and a
// piece that fails in pieces of kSectorBytes, so that only the small pieces that
// cannot be read are lost. Pieces end on the file's own multiples of their size,
// where the disk's sectors and blocks end.
constexpr uint64_t kSalvageBytes = uint64_t{64} << 10;
constexpr uint64_t kSectorBytes = uint64_t{4} << 10;

// Bytes from file offset `at` to the next multiple of `piece`.
uint64_t ToBoundary(uint64_t at, uint64_t piece) {
    return piece - at % piece;
}

// Reads `count` audio bytes at `offset` of `take` into `buffer` piece by piece;
// returns how many were read from the start on, up to the first small piece that
// cannot be read.
uint64_t ReadUpToUnreadable(kxFile& take, uint8_t* buffer, uint64_t offset, uint64_t count) {
    uint64_t done = 0, got = 0;
    uint64_t smallUntil = 0;  // the file offset up to which pieces are small
    while (done < count) {
        const uint64_t at = take.DataStart() + offset + done;
        const bool small = at < smallUntil;
        const uint64_t piece =
            std::min(ToBoundary(at, small ? kSectorBytes : kSalvageBytes), count - done);
        if (take.ReadAudioData(buffer + done, offset + done, piece, got)) {
            done += piece;
        } else if (small) {
            break;
        } else {
            smallUntil = at + piece;
        }
    }
    return done;
}

// How many audio bytes of `take` from `offset` on cannot be read, in small pieces,
// looking at `limit` bytes at most; `scratch` takes what the reads bring.
uint64_t UnreadableLength(kxFile& take, uint8_t* scratch, uint64_t offset, uint64_t limit) {
    uint64_t done = 0, got = 0;
    while (done < limit) {
        const uint64_t at = take.DataStart() + offset + done;
        const uint64_t piece = std::min(ToBoundary(at, kSectorBytes), limit - done);
        if (take.ReadAudioData(scratch, offset + done, piece, got)) break;
        done += piece;
    }
    return done;
}

}  // namespace

fileBuffer* AudioEvent::GetAudio(uint64_t position, uint32_t count) {
    fileBuf.unreadableEnd = endSample;
    if (file == nullptr) return nullptr;
    if (fileBuf.SamplesLeft(position) != 0) return &fileBuf;

    // A take is always one file; only an output is ever two.
    fileBuf.dualFiles = 0;
    fileBuf.file = file;
    fileBuf.bufStart = 0;
    fileBuf.bufSamples = 0;

    const uint64_t frameBytes = file->BytesPerSample();
    if (frameBytes == 0 || position < startSample || position >= endSample) {
        // Nothing to read here: the end of the event, or a take without frames.
        Finish();
        return nullptr;
    }
    const uint64_t fileFrame = fileOffset + (position - startSample);
    uint64_t frames = endSample - position;
    if (count != 0 && count < frames) frames = count;
    const uint64_t bytes = std::min<uint64_t>(frames * frameBytes, fileBuf.Max());

    // Room for the longest read of this event: all of a short one.
    uint8_t* data =
        fileBuf.Data(std::min<uint64_t>((endSample - startSample) * frameBytes, fileBuf.Max()));
    uint64_t got = 0;
    const uint64_t offset = fileFrame * frameBytes;
    if (!file->ReadAudioData(data, offset, bytes, got)) {
        // Read again in pieces (unless the take cannot even be opened), keeping the
        // frames in front of the first piece that cannot be read and the end of the
        // file, which may have moved since the take was loaded.
        const bool open = file->IsReading();
        const uint64_t start = file->DataStart() + offset;
        const uint64_t held = open && file->FileLength() > start ? file->FileLength() - start : 0;
        const uint64_t readable = ReadUpToUnreadable(*file, data, offset, std::min(bytes, held));
        got = readable - readable % frameBytes;
        if (got == 0) {
            // The frames from here on that touch pieces that cannot be read.
            const uint64_t rest = (endSample - position) * frameBytes;
            const uint64_t lost =
                open ? readable + UnreadableLength(*file, data, offset + readable,
                                                   std::min(kSalvageBytes, rest - readable))
                     : rest;
            fileBuf.unreadableEnd =
                position + std::max<uint64_t>(1, (lost + frameBytes - 1) / frameBytes);
            file->Close();
            return nullptr;
        }
        file->Close();
    }
    fileBuf.bufStart = position;
    fileBuf.bufSamples = got / frameBytes;
    if (fileBuf.bufStart + fileBuf.bufSamples == endSample) Finish();
    return &fileBuf;
}

bool AudioEvent::WriteData(uint64_t count) {
    if (file == nullptr) return false;
    const uint64_t bytes = count * file->BytesPerSample();
    uint8_t* data = fileBuf.Data();
    if (bytes > (chanType == DualMono ? fileBuf.RightOffset() : kEventBufferBytes)) return false;
    return WriteFrames(data, data + fileBuf.RightOffset(), count);
}

bool AudioEvent::WriteFrames(const uint8_t* left, const uint8_t* right, uint64_t count) {
    if (file == nullptr || left == nullptr) return false;
    const uint64_t bytes = count * file->BytesPerSample();
    if (chanType != DualMono) return file->WriteData(left, bytes);
    return rightFile != nullptr && right != nullptr && file->WriteData(left, bytes) &&
           rightFile->WriteData(right, bytes);
}

bool AudioEvent::Finish() {
    bool finished = file == nullptr || file->Close();
    if (chanType == DualMono && rightFile != nullptr && !rightFile->Close()) finished = false;
    return finished;
}
