// Writes a conversion's output on a thread of its own, so that the disk writes of
// one block overlap the reading and converting of the next. Two arrays take
// turns: the conversion fills one while the other is being written. Blocks are
// written in the order they are handed over, exactly as a single thread would.
//
// After a write fails, later blocks are dropped and Failed() turns true, even
// when the disk would take them again: no block may land behind a gap. The output
// keeps the blocks that reached the disk whole before the failure.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class AudioEvent;

class BlockWriter {
public:
    // Starts the writing thread for the output event `output` (not owned).
    explicit BlockWriter(AudioEvent* output);
    // Writes what is still handed over, then ends the thread.
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // An array to convert the next block into, laid out like an event's buffer
    // (131072 bytes, the right file's half at 65536); waits while both are in use.
    uint8_t* FreeArray();
    // Hands over `array` (from FreeArray) holding `frames` frames to be written.
    void Submit(uint8_t* array, uint64_t frames);
    // True once a write has failed.
    bool Failed();
    // The errno of the write that failed, 0 while none has.
    int Error();
    // Waits until every block handed over is written (or dropped); true when all
    // were written.
    bool Finish();

private:
    void Run();

    AudioEvent* output;
    std::unique_ptr<uint8_t[]> arrays[2];
    int next = 0;                // the array FreeArray gives next
    uint8_t* pending = nullptr;  // handed over, not yet taken by the thread
    uint64_t pendingFrames = 0;
    bool writing = false;  // the thread is writing the other array
    bool failed = false;
    int error = 0;
    bool stopping = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
};
