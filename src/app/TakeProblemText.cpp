#include "app/TakeProblemText.h"

#include <cstdio>

namespace app {

namespace {

constexpr char kOnlyPcm[] = "only 16- and 24-bit PCM takes can be used";
constexpr char kOnlyPackedPcm[] = "only packed 16- and 24-bit PCM takes can be used";

}  // namespace

std::string TakeProblemText(TakeProblem problem, const TakeFormat& found) {
    const std::string bits = std::to_string(found.bitsPerSample) + "-bit ";
    switch (problem) {
        case TakeProblem::None:
            return "";
        case TakeProblem::NoPath:
            return "no file name";
        case TakeProblem::CannotOpen:
            return "not a regular file or cannot be opened";
        case TakeProblem::NotWave:
            return "not a WAVE file";
        case TakeProblem::BigEndian:
            return "big-endian (RIFX) file: only little-endian WAVE takes can be used";
        case TakeProblem::NoDs64Chunk:
            return "RF64 or BW64 file without its 'ds64' size chunk";
        case TakeProblem::NoFormatChunk:
            return "no format chunk";
        case TakeProblem::DataBeforeFormat:
            return "audio data before the format chunk";
        case TakeProblem::BadBextChunk:
            return "broadcast extension chunk too short";
        case TakeProblem::DamagedChunks:
            return "chunk sizes run past the end of the file";
        case TakeProblem::NoDataChunk:
            return "no audio data chunk";
        case TakeProblem::FloatSamples:
            return bits + "float samples: " + kOnlyPcm;
        case TakeProblem::CompressedFormat: {
            if (found.encoding == kFormatExtensible) {
                return std::string("unknown extensible sub-format: ") + kOnlyPcm;
            }
            char tag[8];
            std::snprintf(tag, sizeof tag, "0x%04X", found.encoding);
            return std::string("compressed (format tag ") + tag + "): " + kOnlyPcm;
        }
        case TakeProblem::UnsupportedBits:
            return bits + "samples: " + kOnlyPcm;
        case TakeProblem::UnsupportedChannels:
            return std::to_string(found.channels) +
                   " channels: only mono and stereo takes can be used";
        case TakeProblem::NoSampleRate:
            return "sample rate of 0 Hz (damaged format chunk)";
        case TakeProblem::BadBlockAlign:
            return "frames of " + std::to_string(found.blockAlign) + " bytes for " +
                   std::to_string(found.channels) + " channels of " + bits +
                   "samples: " + kOnlyPackedPcm;
        case TakeProblem::BadTimeReference:
            return "time reference beyond any timeline (damaged 'bext' chunk)";
    }
    return "refused";
}

}  // namespace app
