// make-sample-project OUTDIR
//
// Writes a small but realistic recorder project to OUTDIR/"Audio Files": 48 kHz,
// 24-bit takes of tones and noise, about two minutes from the first frame to the
// last, that exercise what proj2wav has to get right:
//   - the first take starts 10 s into the project's timeline, not at zero;
//   - a punch-in wholly inside an older take, and one across the boundary
//     between two older takes (punch-ins are recorded later, so they win);
//   - one recording stored as two files with the same "TFID" identity, back to
//     back on the timeline (no fade may fall between them);
//   - a mono take, and gaps of silence between takes.
// Every take plays its own pitches (left and right differ), so a listener or a
// test can tell which take sounds where. The takes are laid out by the test
// suite's independent take writer, never by proj2wav's own, and the output is the
// same, byte for byte, on every run.
//
// Exit status: 0 done, 1 failure (message on stderr), 2 wrong usage.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "support/TakeBuilder.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr int kBits = 24;
constexpr double kPi = 3.14159265358979323846;
constexpr char kDate[] = "2026-03-14";

enum class Sound { Tone, Noise };

// One file of a recording, in timeline order.
struct Piece {
    const char* fileName;
    double seconds;    // length of this file
    const char* time;  // origination time of this file
};

// One pass of the recorder's transport: one identity, one or more files.
struct Recording {
    double startSeconds;  // timeline position of its first frame
    int channels;
    Sound sound;
    double leftHz;  // tone pitches; for noise, the cutoff of its low-pass
    double rightHz;
    uint32_t identity;  // TFID seed, shared by the files of one recording
    std::vector<Piece> pieces;
};

// The project, in the order the takes were recorded. Times on the timeline:
//   Take 01  10.00 - 50.00   stereo tones 220 / 330 Hz
//   Take 02  50.00 - 80.00   stereo noise, straight after Take 01
//   Take 03  21.35 - 29.80   punch-in inside Take 01 (tones 440 / 660 Hz)
//   Take 04  46.20 - 55.70   punch-in across the Take 01 / Take 02 boundary
//   Take 05  86.00 - 116.00  one recording in two files, split at 101.00
//   Take 06  120.00 - 130.00 mono tone 523.25 Hz
// with silence from 80 to 86 s and from 116 to 120 s.
const std::vector<Recording>& SampleRecordings() {
    static const std::vector<Recording> recordings = {
        {10.0, 2, Sound::Tone, 220.0, 330.0, 101, {{"Take 01.wav", 40.0, "14:02:10"}}},
        {50.0, 2, Sound::Noise, 1800.0, 2400.0, 102, {{"Take 02.wav", 30.0, "14:04:35"}}},
        {21.35, 2, Sound::Tone, 440.0, 660.0, 103, {{"Take 03.wav", 8.45, "14:11:05"}}},
        {46.2, 2, Sound::Tone, 293.66, 369.99, 104, {{"Take 04.wav", 9.5, "14:15:40"}}},
        {86.0,
         2,
         Sound::Tone,
         196.0,
         392.0,
         105,
         {{"Take 05a.wav", 15.0, "14:20:00"}, {"Take 05b.wav", 15.0, "14:20:15"}}},
        {120.0, 1, Sound::Tone, 523.25, 0.0, 106, {{"Take 06.wav", 10.0, "14:26:45"}}},
    };
    return recordings;
}

uint64_t Frames(double seconds) {
    return static_cast<uint64_t>(std::llround(seconds * kRate));
}

// A gentle envelope over a whole recording: a quarter-second rise and fall and a
// slow swell, so the takes sound played rather than switched.
double Envelope(uint64_t frame, uint64_t length) {
    const double rise = static_cast<double>(Frames(0.25));
    const double fromEdge = static_cast<double>(std::min(frame, length - 1 - frame));
    const double edge = fromEdge >= rise ? 1.0 : 0.5 - 0.5 * std::cos(kPi * fromEdge / rise);
    const double t = static_cast<double>(frame) / kRate;
    return edge * (0.85 + 0.15 * std::sin(2.0 * kPi * 0.25 * t));
}

// A small, fixed pseudo-random generator, so that noise is the same on every run
// and every platform.
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    // Uniform in [-1, 1).
    double Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<double>(state_ >> 11) / 4503599627370496.0 - 1.0;  // 2^52
    }

private:
    uint64_t state_;
};

void Put24(std::vector<uint8_t>& out, double value) {
    const double scaled = std::round(value * 8388607.0);
    const auto sample = static_cast<int32_t>(std::clamp(scaled, -8388608.0, 8388607.0));
    const auto bits = static_cast<uint32_t>(sample);
    out.push_back(static_cast<uint8_t>(bits));
    out.push_back(static_cast<uint8_t>(bits >> 8));
    out.push_back(static_cast<uint8_t>(bits >> 16));
}

// The whole recording's samples, interleaved 24-bit little-endian; its files
// take consecutive slices of it, so a split recording continues seamlessly.
std::vector<uint8_t> RenderRecording(const Recording& rec, uint64_t frames) {
    std::vector<uint8_t> out;
    out.reserve(frames * rec.channels * (kBits / 8));
    const double hz[2] = {rec.leftHz, rec.rightHz};
    const double level[2] = {0.30, 0.22};
    NoiseSource noise[2] = {NoiseSource(rec.identity * 2), NoiseSource(rec.identity * 2 + 1)};
    double lowPassed[2] = {0.0, 0.0};
    for (uint64_t f = 0; f < frames; ++f) {
        const double envelope = Envelope(f, frames);
        const double t = static_cast<double>(f) / kRate;
        for (int c = 0; c < rec.channels; ++c) {
            double value;
            if (rec.sound == Sound::Tone) {
                value = std::sin(2.0 * kPi * hz[c] * t);
            } else {
                // One-pole low-pass: a soft hiss rather than harsh white noise.
                const double k = 1.0 - std::exp(-2.0 * kPi * hz[c] / kRate);
                lowPassed[c] += k * (noise[c].Next() - lowPassed[c]);
                value = 2.5 * lowPassed[c];
            }
            Put24(out, level[c] * envelope * value);
        }
    }
    return out;
}

std::string TimelineText(uint64_t frame) {
    const uint64_t hundredths = frame * 100 / kRate;
    char text[48];
    std::snprintf(
        text, sizeof text, "%u:%02u:%02u.%02u", static_cast<unsigned>(hundredths / 360000),
        static_cast<unsigned>(hundredths / 6000 % 60), static_cast<unsigned>(hundredths / 100 % 60),
        static_cast<unsigned>(hundredths % 100));
    return text;
}

// Writes one take; on failure says why on stderr.
bool WriteTake(const testsupport::TakeBuilder& take, const std::filesystem::path& path) {
    errno = 0;
    try {
        take.Write(path.string());
        return true;
    } catch (const std::exception&) {
        std::fprintf(stderr, "make-sample-project: cannot write \"%s\": %s\n", path.c_str(),
                     errno != 0 ? std::strerror(errno) : "write failed");
        return false;
    }
}

int Usage(std::FILE* to) {
    std::fputs(
        "usage: make-sample-project OUTDIR\n"
        "Writes a sample recorder project (48 kHz, 24-bit takes with punch-ins, a\n"
        "recording split over two files, a mono take and gaps) to OUTDIR/Audio Files.\n",
        to);
    return to == stdout ? 0 : 2;
}

int Run(const std::filesystem::path& outDir) {
    const std::filesystem::path audioDir = outDir / "Audio Files";
    std::error_code error;
    std::filesystem::create_directories(audioDir, error);
    if (error || !std::filesystem::is_directory(audioDir)) {
        std::fprintf(stderr, "make-sample-project: cannot create directory \"%s\": %s\n",
                     audioDir.c_str(),
                     error ? error.message().c_str() : "a file of that name is in the way");
        return 1;
    }

    std::set<std::string> written;
    for (const Recording& rec : SampleRecordings()) {
        uint64_t length = 0;
        for (const Piece& piece : rec.pieces) length += Frames(piece.seconds);
        const std::vector<uint8_t> samples = RenderRecording(rec, length);
        const size_t frameBytes = static_cast<size_t>(rec.channels) * (kBits / 8);

        uint64_t offset = 0;  // frames of this recording already in earlier files
        for (const Piece& piece : rec.pieces) {
            const uint64_t frames = Frames(piece.seconds);
            const uint64_t start = Frames(rec.startSeconds) + offset;
            const auto first = samples.begin() + static_cast<std::ptrdiff_t>(offset * frameBytes);
            const std::vector<uint8_t> slice(
                first, first + static_cast<std::ptrdiff_t>(frames * frameBytes));

            testsupport::TakeBuilder take;
            take.Riff().Form().Bext(start, kDate, piece.time).Fmt(rec.channels, kRate, kBits);
            take.Tfid(rec.identity).Data(slice);
            if (!WriteTake(take, audioDir / piece.fileName)) return 1;
            written.insert(piece.fileName);

            std::printf("%-13s %-6s %s - %s  (frames %llu + %llu)  recorded %s %s  TFID %u\n",
                        piece.fileName, rec.channels == 2 ? "stereo" : "mono",
                        TimelineText(start).c_str(), TimelineText(start + frames).c_str(),
                        static_cast<unsigned long long>(start),
                        static_cast<unsigned long long>(frames), kDate, piece.time, rec.identity);
            offset += frames;
        }
    }

    // Whatever else lies in the directory becomes part of the project too.
    size_t others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(audioDir, error)) {
        if (!written.count(entry.path().filename().string())) ++others;
    }
    if (others > 0) {
        std::fprintf(stderr,
                     "make-sample-project: note: \"%s\" also holds %zu other entr%s, which "
                     "proj2wav will try as takes\n",
                     audioDir.c_str(), others, others == 1 ? "y" : "ies");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        return Usage(stdout);
    }
    if (argc != 2 || argv[1][0] == '\0') return Usage(stderr);
    try {
        return Run(argv[1]);
    } catch (const std::exception& failure) {  // out of memory, a failing directory walk
        std::fprintf(stderr, "make-sample-project: %s\n", failure.what());
        return 1;
    }
}
