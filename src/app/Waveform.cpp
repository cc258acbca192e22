#include "app/Waveform.h"

#include <algorithm>

#include "platform/kxDiskMgr.h"
#include "engine/ProjectSession.h"

namespace app {

namespace {

constexpr uint64_t kReadFrames = 65536;  // at most 384 KiB per read
constexpr size_t kPiecePeaks = 8192;     // peaks handed over at a time

// Collects peaks in runs and hands each run to the sink once it is long enough,
// or when the next peak does not follow on.
class PeakCollector {
public:
    explicit PeakCollector(const PeakSink& sink) : sink_(sink) {}

    void Add(size_t index, const Peak& peak) {
        if (!peaks_.empty() && (index < first_ || index > first_ + peaks_.size())) Flush();
        if (peaks_.empty()) first_ = index;
        if (index == first_ + peaks_.size()) peaks_.emplace_back();
        peaks_[index - first_].Merge(peak);
        if (peaks_.size() >= kPiecePeaks) Flush();
    }

    void Flush() {
        if (peaks_.empty()) return;
        sink_(first_, std::move(peaks_));
        peaks_.clear();
    }

private:
    const PeakSink& sink_;
    size_t first_ = 0;
    std::vector<Peak> peaks_;
};

// The range of `count` little-endian samples of `Bytes` bytes each, by their
// upper 16 bits.
template <int Bytes>
void AddRange(const uint8_t* samples, uint64_t count, Peak& peak) {
    int low = peak.low;
    int high = peak.high;
    const uint8_t* upper = samples + Bytes - 2;
    for (uint64_t i = 0; i < count; ++i, upper += Bytes) {
        const int value = static_cast<int16_t>(static_cast<uint16_t>(upper[0] | upper[1] << 8));
        low = std::min(low, value);
        high = std::max(high, value);
    }
    peak.low = static_cast<int16_t>(low);
    peak.high = static_cast<int16_t>(high);
}

// One file open at a time: consecutive events often play the same take.
class OpenFile {
public:
    ~OpenFile() { Close(); }
    kxDiskFile* Get(const std::string& path) {
        if (file_ == nullptr || path != path_) {
            Close();
            file_ = kxDiskMgr::FileOpen(path.c_str(), kxOpenMode::Read);
            path_ = path;
        }
        return file_;
    }

private:
    void Close() {
        if (file_ != nullptr) kxDiskMgr::FileClose(file_);
        file_ = nullptr;
    }
    kxDiskFile* file_ = nullptr;
    std::string path_;
};

// Adds the peaks of one event; false when cancelled.
bool AddSource(const WaveformSource& source, uint64_t origin, uint64_t framesPerPeak,
               const std::atomic<bool>& cancel, OpenFile& files, std::vector<uint8_t>& buffer,
               PeakCollector& collector) {
    if ((source.bits != 16 && source.bits != 24) || source.channels == 0) return true;
    const uint64_t sampleBytes = source.bits / 8u;
    const uint64_t frameBytes = sampleBytes * source.channels;
    kxDiskFile* file = files.Get(source.path);
    if (file == nullptr ||
        !kxDiskMgr::FileSeek(file, source.dataStart + source.fileFrame * frameBytes)) {
        return true;
    }
    buffer.resize(kReadFrames * frameBytes);

    uint64_t position = source.start;
    auto index = static_cast<size_t>((position - origin) / framesPerPeak);
    Peak peak;
    while (position < source.end) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        const uint64_t frames = std::min(kReadFrames, source.end - position);
        if (!kxDiskMgr::FileRead(file, buffer.data(), frames * frameBytes)) break;
        const uint8_t* bytes = buffer.data();
        for (uint64_t left = frames; left > 0;) {
            const uint64_t peakEnd = origin + (index + 1) * framesPerPeak;
            const uint64_t run = std::min(left, peakEnd - position);
            if (sampleBytes == 2) {
                AddRange<2>(bytes, run * source.channels, peak);
            } else {
                AddRange<3>(bytes, run * source.channels, peak);
            }
            bytes += run * frameBytes;
            position += run;
            left -= run;
            if (position == peakEnd) {
                collector.Add(index++, peak);
                peak = Peak{};
            }
        }
    }
    if ((position - origin) % framesPerPeak != 0) collector.Add(index, peak);
    return true;
}

}  // namespace

void Peak::Merge(const Peak& other) {
    low = std::min(low, other.low);
    high = std::max(high, other.high);
}

uint64_t FramesPerPeak(uint64_t first, uint64_t last) {
    const uint64_t span = last > first ? last - first : 0;
    return std::max(kFramesPerPeak, (span + kMaxPeaks - 1) / kMaxPeaks);
}

size_t PeakCount(uint64_t first, uint64_t last) {
    if (last <= first) return 0;
    const uint64_t perPeak = FramesPerPeak(first, last);
    return static_cast<size_t>((last - first + perPeak - 1) / perPeak);
}

WaveformJob MakeWaveformJob(const ProjectSession& session) {
    WaveformJob job;
    if (!session.HasEdl()) return job;
    job.first = session.First();
    job.last = session.Last();
    for (const AudioEvent* event = session.FirstEvent(); event != nullptr; event = event->next) {
        if (event->file == nullptr) continue;
        const kxFile& take = *event->file;
        job.sources.push_back({take.Path(), take.DataStart(), take.Channels(), take.BitsPerSample(),
                               event->fileOffset, event->startSample, event->endSample});
    }
    return job;
}

bool ComputePeaks(const WaveformJob& job, const std::atomic<bool>& cancel, const PeakSink& sink) {
    PeakCollector collector(sink);
    OpenFile files;
    std::vector<uint8_t> buffer;
    const uint64_t framesPerPeak = FramesPerPeak(job.first, job.last);
    for (const WaveformSource& source : job.sources) {
        if (source.start < job.first || source.end > job.last) continue;
        if (!AddSource(source, job.first, framesPerPeak, cancel, files, buffer, collector)) {
            return false;
        }
    }
    collector.Flush();
    return !cancel.load();
}

Peak PeakOver(const std::vector<Peak>& peaks, uint64_t origin, uint64_t framesPerPeak,
              uint64_t first, uint64_t last) {
    Peak peak;
    if (peaks.empty() || framesPerPeak == 0 || last <= first || last <= origin) return peak;
    const uint64_t from = (std::max(first, origin) - origin) / framesPerPeak;
    const uint64_t to = std::min<uint64_t>((last - 1 - origin) / framesPerPeak, peaks.size() - 1);
    for (uint64_t i = from; i <= to; ++i) peak.Merge(peaks[static_cast<size_t>(i)]);
    return peak;
}

}  // namespace app
