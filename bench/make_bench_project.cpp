// make-bench-project OUTDIR --takes N --minutes M [--overlap | --short-takes [N]]
//                   [--seed S]
//
// Writes a large recorder project for the benchmarks to OUTDIR/"Audio Files":
// 48 kHz, 24-bit stereo takes whose samples are cheap pseudo-random noise. The
// headers are laid out by the test suite's independent take writer; the sample
// bytes are generated and written in large blocks, so an hour of audio (about
// 1 GB) is written in seconds. The same arguments give the same files, byte for
// byte.
//
// Layouts:
//   default        N takes back to back, covering M minutes from the first frame
//                  of the first take to the last frame of the last, with 100 ms
//                  of silence between neighbours. Recorded in timeline order.
//   --overlap      N takes of equal length, each starting half way into the one
//                  before and recorded after it, so that every take but the last
//                  loses its second half to a newer one; still M minutes long.
//                  About twice as many sample bytes as the default layout.
//   --short-takes  N takes of 0.5 to 2 s at random places over M minutes, many
//                  overlapping, recorded in random order: a test of scale in the
//                  number of takes and events rather than in bytes. A number
//                  right after the option is taken as N.
// Every take is its own recording (its own "TFID" identity), so each one fades
// in and out. The timeline starts 10 s in, not at zero.
//
// Exit status: 0 done, 1 failure (message on stderr), 2 wrong usage.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <system_error>
#include <vector>

#include "support/TakeBuilder.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr int kBits = 24;
constexpr int kChannels = 2;
constexpr uint64_t kFrameBytes = kChannels * (kBits / 8);
constexpr uint64_t kTimelineOffset = 10 * kRate;          // first take starts 10 s in
constexpr uint64_t kBackToBackGap = kRate / 10;           // 100 ms between takes
constexpr uint64_t kBlockFrames = uint64_t{1} << 20;      // 6 MiB of samples per write
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 4096;  // what a 32-bit RIFF size can hold

enum class Layout { BackToBack, Overlap, ShortTakes };

struct Options {
    std::filesystem::path outDir;
    uint64_t takes = 0;
    double minutes = 0.0;
    Layout layout = Layout::BackToBack;
    uint64_t seed = 1;
};

// Where one take lies on the timeline and when it was recorded.
struct TakePlan {
    uint64_t start = 0;  // time reference, frames
    uint64_t frames = 0;
    uint64_t recordedAt = 0;  // seconds after the first recording of the session
};

// xorshift64*: fast enough to fill a gigabyte in a fraction of a second.
class Noise {
public:
    explicit Noise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [0, n).
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }

private:
    uint64_t state_;
};

// Fills `bytes` (a multiple of 8) with noise. Any three bytes make a valid 24-bit
// sample, so the bytes are used as they come.
void FillNoise(Noise& noise, uint8_t* bytes, size_t count) {
    for (size_t i = 0; i + 8 <= count; i += 8) {
        const uint64_t v = noise.Next();
        std::memcpy(bytes + i, &v, 8);
    }
}

// "YYYY-MM-DD" and "HH:MM:SS" of a moment `seconds` after 2026-03-14 08:00:00.
void RecordingStamp(uint64_t seconds, std::string& date, std::string& time) {
    using namespace std::chrono;
    const uint64_t total = seconds + 8 * 3600;
    const sys_days day = sys_days{year{2026} / March / 14} + days{static_cast<int>(total / 86400)};
    const year_month_day ymd{day};
    const uint64_t inDay = total % 86400;
    char d[16];
    char t[16];
    std::snprintf(d, sizeof d, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    std::snprintf(t, sizeof t, "%02u:%02u:%02u", static_cast<unsigned>(inDay / 3600),
                  static_cast<unsigned>(inDay / 60 % 60), static_cast<unsigned>(inDay % 60));
    date = d;
    time = t;
}

std::vector<TakePlan> PlanBackToBack(uint64_t takes, uint64_t span) {
    std::vector<TakePlan> plan(takes);
    const uint64_t gaps = (takes - 1) * kBackToBackGap;
    const uint64_t audio = span > gaps ? span - gaps : takes;
    uint64_t at = kTimelineOffset;
    for (uint64_t i = 0; i < takes; ++i) {
        // Spread the remainder so the last take ends exactly at the span.
        const uint64_t frames = audio / takes + (i < audio % takes ? 1 : 0);
        plan[i] = {at, std::max<uint64_t>(frames, 1), 0};
        at += plan[i].frames + kBackToBackGap;
    }
    uint64_t clock = 0;
    for (TakePlan& take : plan) {
        take.recordedAt = clock;
        clock += take.frames / kRate + 30;  // a pause between recordings
    }
    return plan;
}

std::vector<TakePlan> PlanOverlap(uint64_t takes, uint64_t span) {
    // N takes of length L, each starting L/2 after the one before: the span is
    // (N + 1) * L / 2.
    std::vector<TakePlan> plan(takes);
    const uint64_t half = std::max<uint64_t>(span / (takes + 1), 1);
    uint64_t clock = 0;
    for (uint64_t i = 0; i < takes; ++i) {
        plan[i] = {kTimelineOffset + i * half, 2 * half, clock};
        clock += 2 * half / kRate + 30;
    }
    // The last take runs to the end of the span.
    plan.back().frames = kTimelineOffset + span - plan.back().start;
    return plan;
}

std::vector<TakePlan> PlanShortTakes(uint64_t takes, uint64_t span, Noise& random) {
    std::vector<TakePlan> plan(takes);
    const uint64_t shortest = kRate / 2;
    const uint64_t longest = 2 * kRate;
    for (uint64_t i = 0; i < takes; ++i) {
        const uint64_t frames = shortest + random.Below(longest - shortest + 1);
        const uint64_t room = span > frames ? span - frames : 0;
        plan[i] = {kTimelineOffset + random.Below(room + 1), frames, 0};
    }
    // The first and last takes pin the project to the requested span.
    plan.front().start = kTimelineOffset;
    if (takes > 1 && span > plan.back().frames)
        plan.back().start = kTimelineOffset + span - plan.back().frames;
    // Recorded in random order, each at its own second, so newer-wins decisions
    // have nothing to do with timeline order.
    std::vector<uint64_t> order(takes);
    std::iota(order.begin(), order.end(), uint64_t{0});
    for (uint64_t i = takes; i > 1; --i) std::swap(order[i - 1], order[random.Below(i)]);
    for (uint64_t i = 0; i < takes; ++i) plan[i].recordedAt = order[i] * 3;
    return plan;
}

// Writes one take: the header from the independent take writer, then the samples
// in large blocks straight to the file.
bool WriteBenchTake(const std::filesystem::path& path, const TakePlan& take, uint32_t identity,
                    uint64_t seed, std::vector<uint8_t>& block) {
    std::string date;
    std::string time;
    RecordingStamp(take.recordedAt, date, time);
    const uint64_t dataBytes = take.frames * kFrameBytes;

    testsupport::TakeBuilder header;
    header.Riff().Form().Bext(take.start, date, time).Fmt(kChannels, kRate, kBits).Tfid(identity);
    header.Data({}, static_cast<uint32_t>(dataBytes));
    // The RIFF size counts what follows it: the header's chunks and the samples.
    const size_t headerBytes = header.Bytes().size();
    header.Riff("RIFF", static_cast<uint32_t>(headerBytes - 8 + dataBytes));
    const std::vector<uint8_t> head = header.Bytes();

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make-bench-project: cannot create \"%s\": %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::setvbuf(out, nullptr, _IONBF, 0);  // the blocks are large already
    bool ok = std::fwrite(head.data(), 1, head.size(), out) == head.size();
    Noise noise(seed);
    for (uint64_t done = 0; ok && done < dataBytes;) {
        const size_t bytes =
            static_cast<size_t>(std::min<uint64_t>(block.size(), dataBytes - done));
        FillNoise(noise, block.data(), (bytes + 7) / 8 * 8);
        ok = std::fwrite(block.data(), 1, bytes, out) == bytes;
        done += bytes;
    }
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "make-bench-project: cannot write \"%s\": %s\n", path.c_str(),
                     std::strerror(errno));
    }
    return ok;
}

int Usage(std::FILE* to) {
    std::fputs(
        "usage: make-bench-project OUTDIR --takes N --minutes M [--overlap | --short-takes [N]]\n"
        "                          [--seed S]\n"
        "Writes a benchmark project of 48 kHz 24-bit stereo noise takes to\n"
        "OUTDIR/Audio Files, covering M minutes (fractions allowed).\n"
        "  default        N takes back to back, 100 ms apart\n"
        "  --overlap      each take starts half way into the one before, and wins\n"
        "  --short-takes  N takes of 0.5 to 2 s at random places, recorded in random\n"
        "                 order (a number right after the option is taken as N)\n"
        "  --seed S       another set of random places and samples (default 1)\n",
        to);
    return to == stdout ? 0 : 2;
}

bool ParseCount(const char* text, uint64_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

// Parses the command line; returns -1 to go on, otherwise the exit status.
int ParseArgs(int argc, char** argv, Options& options) {
    bool minutesGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") return Usage(stdout);
        if (arg == "--takes") {
            if (!ParseCount(next, options.takes)) return Usage(stderr);
            ++i;
        } else if (arg == "--minutes") {
            char* end = nullptr;
            options.minutes = next != nullptr ? std::strtod(next, &end) : 0.0;
            if (next == nullptr || end == next || *end != '\0' || !(options.minutes > 0.0)) {
                return Usage(stderr);
            }
            minutesGiven = true;
            ++i;
        } else if (arg == "--overlap") {
            options.layout = Layout::Overlap;
        } else if (arg == "--short-takes") {
            options.layout = Layout::ShortTakes;
            if (ParseCount(next, options.takes)) ++i;
        } else if (arg == "--seed") {
            if (!ParseCount(next, options.seed)) return Usage(stderr);
            ++i;
        } else if (!arg.empty() && arg[0] != '-' && options.outDir.empty()) {
            options.outDir = arg;
        } else {
            std::fprintf(stderr, "make-bench-project: unexpected argument \"%s\"\n", arg.c_str());
            return Usage(stderr);
        }
    }
    if (options.outDir.empty() || options.takes == 0 || !minutesGiven) return Usage(stderr);
    return -1;
}

int Run(const Options& options) {
    const auto begun = std::chrono::steady_clock::now();
    const std::filesystem::path audioDir = options.outDir / "Audio Files";
    std::error_code error;
    std::filesystem::create_directories(audioDir, error);
    if (error || !std::filesystem::is_directory(audioDir)) {
        std::fprintf(stderr, "make-bench-project: cannot create directory \"%s\": %s\n",
                     audioDir.c_str(),
                     error ? error.message().c_str() : "a file of that name is in the way");
        return 1;
    }
    if (!std::filesystem::is_empty(audioDir, error)) {
        std::fprintf(stderr,
                     "make-bench-project: \"%s\" already holds files; give an empty or new "
                     "directory\n",
                     audioDir.c_str());
        return 1;
    }

    const auto span = static_cast<uint64_t>(std::llround(options.minutes * 60.0 * kRate));
    Noise random(options.seed);
    std::vector<TakePlan> plan;
    switch (options.layout) {
        case Layout::BackToBack:
            plan = PlanBackToBack(options.takes, span);
            break;
        case Layout::Overlap:
            plan = PlanOverlap(options.takes, span);
            break;
        case Layout::ShortTakes:
            plan = PlanShortTakes(options.takes, span, random);
            break;
    }

    const size_t digits = std::max<size_t>(2, std::to_string(options.takes).size());
    std::vector<uint8_t> block(kBlockFrames * kFrameBytes + 8);
    uint64_t totalBytes = 0;
    uint64_t first = UINT64_MAX;
    uint64_t last = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        const TakePlan& take = plan[i];
        if (take.frames * kFrameBytes > kMaxDataBytes) {
            std::fprintf(stderr,
                         "make-bench-project: a take of %.1f minutes does not fit in one file; "
                         "use more takes\n",
                         static_cast<double>(take.frames) / kRate / 60.0);
            return 1;
        }
        std::string number = std::to_string(i + 1);
        number.insert(0, number.size() < digits ? digits - number.size() : 0, '0');
        const std::string name = "Take " + number + ".wav";
        const uint64_t seed = options.seed * 1000003u + i;
        if (!WriteBenchTake(audioDir / name, take, static_cast<uint32_t>(i + 1), seed, block)) {
            return 1;
        }
        totalBytes += take.frames * kFrameBytes;
        first = std::min(first, take.start);
        last = std::max(last, take.start + take.frames);
    }

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    const char* layout = options.layout == Layout::Overlap      ? "overlapping"
                         : options.layout == Layout::ShortTakes ? "short"
                                                                : "back-to-back";
    std::printf(
        "%zu %s takes, timeline %.2f s to %.2f s (%.2f min), %.1f MiB of samples, "
        "written in %.2f s\n",
        plan.size(), layout, static_cast<double>(first) / kRate, static_cast<double>(last) / kRate,
        static_cast<double>(last - first) / kRate / 60.0,
        static_cast<double>(totalBytes) / (1024.0 * 1024.0), seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int status = ParseArgs(argc, argv, options);
    if (status >= 0) return status;
    try {
        return Run(options);
    } catch (const std::exception& failure) {  // out of memory, a failing directory walk
        std::fprintf(stderr, "make-bench-project: %s\n", failure.what());
        return 1;
    }
}
