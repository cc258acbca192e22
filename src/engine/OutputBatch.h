// Converted blocks gathered into one write per output file, so that a conversion
// hands the system a few large writes instead of a small one per block. The
// output's frames (the left file's in dual mono) stand in one stretch, the right
// file's in another.
#pragma once

#include <cstdint>
#include <memory>

class AudioEvent;

class OutputBatch {
public:
    // A batch for frames of `frameBytes` bytes in each output file; `dualFiles`
    // when the output is a left and a right file.
    OutputBatch(uint64_t frameBytes, bool dualFiles);

    // Where the next block's frames go, with room for a whole block: the output's
    // (the left file's), and the right file's (null unless dualFiles).
    uint8_t* Left() const { return left + frames * frameBytes; }
    uint8_t* Right() const { return right != nullptr ? right + frames * frameBytes : nullptr; }
    // Counts `count` frames just converted to Left() and Right().
    void Add(uint64_t count) { frames += count; }
    // True once enough is gathered for a write (and no other block may be added).
    bool Full() const;
    // Writes the frames gathered to `output` and empties the batch; true when all
    // of them were written (or there were none).
    bool WriteTo(AudioEvent& output);

private:
    uint64_t frameBytes;
    uint64_t frames = 0;
    std::unique_ptr<uint8_t[]> storage;
    uint8_t* left;
    uint8_t* right;
};
