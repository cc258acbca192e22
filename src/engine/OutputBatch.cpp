#include "engine/OutputBatch.h"

#include <algorithm>

#include "edl/AudioEvent.h"
#include "render/StagingBuffer.h"

namespace {

// A batch is written once it holds this many bytes per file: writes of 1 MiB cost
// the system about what a copy of the bytes costs, smaller ones cost more per byte.
constexpr uint64_t kBatchBytes = uint64_t{1} << 20;

}  // namespace

OutputBatch::OutputBatch(uint64_t theFrameBytes, bool dualFiles)
    : frameBytes(std::max<uint64_t>(theFrameBytes, 1)) {
    // Short of kBatchBytes, one more block always fits.
    const uint64_t stretch = kBatchBytes + kStageFrames * frameBytes;
    // Not cleared: only the frames converted into it are ever written.
    storage.reset(new uint8_t[dualFiles ? 2 * stretch : stretch]);
    left = storage.get();
    right = dualFiles ? left + stretch : nullptr;
}

bool OutputBatch::Full() const {
    return frames * frameBytes >= kBatchBytes;
}

bool OutputBatch::WriteTo(AudioEvent& output) {
    const uint64_t count = frames;
    frames = 0;
    return count == 0 || output.WriteFrames(left, right, count);
}
