// Audio events: a placed stretch of one take on the project timeline, and the
// buffer through which its audio is read.
//
// An event plays file frame fileOffset + (t - startSample) at timeline sample t,
// for startSample <= t < endSample. Events are linked into a chain in timeline
// order (the EDL, see EDL.h); destroying an event destroys the rest of its chain.
// The same class stands for the output of a conversion, one file or the left and
// right files of dual mono: its buffer is where the recording buffer puts
// converted samples before WriteData writes them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "edl/ChanTypes.h"

class kxFile;

// The most one event's byte array holds: 2 MiB, so that a take is read in a few
// large reads (a megabyte or two each) rather than many small ones.
constexpr uint32_t kEventBufferBytes = uint32_t{1} << 21;

// An event's window of buffered sample bytes, exactly as they stand in the file.
// For two files the left file's frames start at byte 0 and the right file's at
// RightOffset(). The window holds timeline samples bufStart .. bufStart +
// bufSamples.
class fileBuffer {
public:
    fileBuffer() = default;
    fileBuffer(const fileBuffer&) = delete;
    fileBuffer& operator=(const fileBuffer&) = delete;

    // Bytes one fill may take per file: for 24-bit audio the most below
    // kEventBufferBytes that holds whole frames of every layout (a multiple of 12),
    // kEventBufferBytes otherwise; half of that for each of two files.
    uint32_t Max() const;
    uint32_t MaxBytes() const;
    // Buffered frames from `position` to the end of the window; 0 outside it.
    uint64_t SamplesLeft(uint64_t position) const;
    // The position's frame in the left (or only) file's bytes; null outside the window.
    const uint8_t* LeftData(uint64_t position) const;

    // The byte array, kept until Release, with room for `fileBytes` bytes of each
    // file (of two when dualFiles is set), at most kEventBufferBytes in all. 0 asks
    // for an array of kEventBufferBytes with the right file's bytes at its middle,
    // the layout of an output's blocks. Allocated at its first use, and again when
    // more room is asked for than it has: a short take gets a small array.
    uint8_t* Data(uint64_t fileBytes = 0);
    // Where the right file's bytes start in the array: the room for one file.
    uint32_t RightOffset() const { return fileRoom; }
    // Frees the byte array and empties the window.
    void Release();

    int32_t dualFiles = 0;
    uint64_t bufStart = 0;
    uint64_t bufSamples = 0;
    // When GetAudio found no audio to give: the timeline position up to which the
    // audio from the position asked for is known to be lost (at least one frame on).
    uint64_t unreadableEnd = 0;
    kxFile* file = nullptr;  // the file whose format governs the buffer; not owned

private:
    std::unique_ptr<uint8_t[]> data;
    uint32_t allocated = 0;  // bytes of the array
    uint32_t fileRoom = 0;   // bytes of it for each file
};

class AudioEvent {
public:
    // An unlinked event over a file (and a right file for dual mono), placed where
    // the file's time reference says, as long as the file's whole frames.
    AudioEvent(kxFile* file, kxFile* rightFile, ChanTypes type);
    // An unlinked event with the source's placement and files; its buffer is empty.
    explicit AudioEvent(const AudioEvent* source);
    // Closes its files and destroys the rest of the chain behind it.
    ~AudioEvent();
    AudioEvent(const AudioEvent&) = delete;
    AudioEvent& operator=(const AudioEvent&) = delete;

    // Moves the start, keeping the end and the audio's place on the timeline.
    void SetNewStart(uint64_t newStart);
    // Moves the end, keeping the start.
    void SetNewEnd(uint64_t newEnd);
    // Link an event directly in front of / behind this one; nothing for null.
    void InsertBefore(AudioEvent* event);
    void InsertAfter(AudioEvent* event);
    // Places an event of an older take than every event in the chain: where they
    // overlap, the chain's events win and the new one is trimmed, split or
    // destroyed. Called on the first event, returns the chain's first event.
    // Called on a later event, the events in front of it must all end before the
    // new event starts (they would only pass it on). When `linked` is given, every
    // event that went into the chain (the new one, and the front pieces of a
    // split) is added to it.
    AudioEvent* AddEvent(AudioEvent* event, std::vector<AudioEvent*>* linked = nullptr);
    AudioEvent* Head();
    AudioEvent* Tail();
    // The first event, from `from` (or the chain's head) on, that overlaps the
    // range first .. last (last excluded).
    AudioEvent* EventBetweenSamples(uint64_t first, uint64_t last, AudioEvent* from);
    // Whether the next event's file carries the same identity (one recording).
    bool NextHasSameID() const;
    // Whether a conversion fades this event in at its start and out at its end:
    // always, except where it joins a piece of the same recording.
    bool FadesIn() const;
    bool FadesOut() const { return !NextHasSameID(); }

    // Makes the buffer hold audio from timeline position `position` on (at most
    // `count` frames when count is not 0). A position inside the window never
    // reads. A read that fails (a bad sector, a take cut short or changed since it
    // was loaded) is tried again in pieces down to 4 KiB, and the window then holds
    // the frames in front of the first piece that cannot be read. Null when there
    // is no audio to be had at `position`; fileBuf.unreadableEnd then tells how far
    // that goes: the frames that touch pieces that cannot be read (up to 64 KiB of
    // them at a time), or the rest of the event when the take cannot be opened.
    // The file is closed once the event's last frame is buffered or a read fails.
    fileBuffer* GetAudio(uint64_t position, uint32_t count);
    // Writes `count` frames from the buffer to the output file or files.
    bool WriteData(uint64_t count);
    // Writes `count` frames held elsewhere, of any number: the output's frames (the
    // left file's in dual mono) from `left`, the right file's from `right`.
    bool WriteFrames(const uint8_t* left, const uint8_t* right, uint64_t count);
    // Closes the file or files; an output is finished on the way (see
    // kxFile::Close). False when finishing an output failed.
    bool Finish();

    kxFile* file = nullptr;       // not owned
    kxFile* rightFile = nullptr;  // not owned
    ChanTypes chanType = Stereo;
    uint64_t startSample = 0;
    uint64_t endSample = 0;
    uint64_t length = 0;
    uint64_t fileOffset = 0;
    AudioEvent* next = nullptr;
    AudioEvent* prev = nullptr;
    fileBuffer fileBuf;

private:
    AudioEvent* FirstForSearch(AudioEvent* from);
};
