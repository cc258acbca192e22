#include "engine/BlockWriter.h"

#include <cerrno>

#include "edl/AudioEvent.h"

BlockWriter::BlockWriter(AudioEvent* theOutput) : output(theOutput) {
    // Not cleared: a block is converted into its array before it is handed over,
    // and only its own bytes are written.
    for (auto& array : arrays) array.reset(new uint8_t[kEventBufferBytes]);
    thread = std::thread(&BlockWriter::Run, this);
}

BlockWriter::~BlockWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

uint8_t* BlockWriter::FreeArray() {
    std::unique_lock<std::mutex> lock(mutex);
    uint8_t* array = arrays[next].get();
    // The array is busy while it waits to be written or is being written; with two
    // arrays, the one handed out next is busy only while it is still pending.
    changed.wait(lock, [&] { return pending != array; });
    next = 1 - next;
    return array;
}

void BlockWriter::Submit(uint8_t* array, uint64_t frames) {
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return pending == nullptr; });
        pending = array;
        pendingFrames = frames;
    }
    changed.notify_all();
}

bool BlockWriter::Failed() {
    std::lock_guard<std::mutex> lock(mutex);
    return failed;
}

int BlockWriter::Error() {
    std::lock_guard<std::mutex> lock(mutex);
    return error;
}

bool BlockWriter::Finish() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return pending == nullptr && !writing; });
    return !failed;
}

void BlockWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return pending != nullptr || stopping; });
        if (pending == nullptr) return;  // stopping, nothing left to write
        const uint8_t* array = pending;
        const uint64_t frames = pendingFrames;
        const bool drop = failed;  // nothing is written behind a gap
        writing = true;
        lock.unlock();
        errno = 0;
        const bool written = !drop && output->WriteFrom(array, frames);
        const int writeError = errno;
        lock.lock();
        // The array stays reserved until its write is over.
        pending = nullptr;
        writing = false;
        if (!written && !failed) {
            failed = true;
            error = writeError;
        }
        changed.notify_all();
    }
}
