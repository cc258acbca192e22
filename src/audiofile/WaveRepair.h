// Mending an unfinished WAVE file: one whose 'data' chunk is its last chunk and
// whose header disagrees with the samples that follow it — a conversion killed
// before it could finish its header, a copy cut short, a recorder that lost power.
//
// InspectWave reads the file and works out what mending it takes; MendWave does
// it. The mended header declares the whole frames on disk (RIFF and data sizes, or
// the 'ds64' sizes of RF64 and BW64); the bytes of an unfinished last frame are
// cut off and a pad byte follows a data chunk of odd size. A file that outgrows
// RIFF's 32-bit sizes becomes RF64 where its header has room for a 'ds64' chunk:
// a 'JUNK' or 'PAD ' chunk before the samples, reserved for that by writers such
// as proj2wav and ffmpeg. No sample byte is ever changed.
#pragma once

#include <cstdint>
#include <string>

// What InspectWave found.
enum class WaveCondition : int32_t {
    Finished,       // the header agrees with the bytes on disk: nothing to mend
    Unfinished,     // the header disagrees; the plan says how it is mended
    CannotOpen,     // the file cannot be opened (errno)
    NotWave,        // no RIFF, RF64 or BW64 WAVE file, or its chunks stop making
                    // sense before the samples
    NotPcm,         // no integer PCM format chunk before the samples: nothing tells
                    // how long a frame is
    NoRoomForRf64,  // unfinished, but the frames on disk need RF64 and the header
                    // has no room for a 'ds64' chunk
};

// What an unfinished WAVE file holds and what mending it does. Sizes are bytes.
struct WavePlan {
    WaveCondition condition = WaveCondition::NotWave;
    uint32_t form = 0;        // the identifier the file starts with (kRiffID, kRf64ID, ...)
    uint16_t frameBytes = 0;  // the format's block align
    uint32_t sampleRate = 0;
    uint64_t fileLength = 0;
    uint64_t dataStart = 0;  // where the samples begin
    uint64_t declared = 0;   // the data size the header declares now
    uint64_t audio = 0;      // the whole frames on disk: the data size once mended
    uint64_t cut = 0;        // bytes of an unfinished frame behind them, cut off
    bool padByte = false;    // a zero byte is added behind a data chunk of odd size
    bool toRf64 = false;     // the header becomes RF64
    uint64_t room = 0;       // with toRf64: the offset of the 'JUNK' or 'PAD ' chunk
                             // whose room takes the 'ds64' chunk
};

// Looks at the file at `path` and plans its mending; reads only.
WavePlan InspectWave(const std::string& path);

// Looks at the file again and, when it is Unfinished, mends it as planned and has
// it put on the disk. `plan` gets what was found. False when there was nothing
// that could be mended (plan.condition says why) or a write failed (errno).
bool MendWave(const std::string& path, WavePlan& plan);
