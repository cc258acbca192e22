#include "gui/WaveformLoader.h"

#include <QMetaObject>

void WaveformLoader::start(app::WaveformJob job) {
    cancel();
    cancel_ = false;
    running_ = true;
    const uint64_t generation = ++generation_;
    thread_ = std::thread([this, generation, job = std::move(job)] {
        const app::PeakSink sink = [this, generation](size_t first, std::vector<app::Peak> peaks) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, first, peaks = std::move(peaks)] {
                    if (generation == generation_) emit peaksArrived(first, peaks);
                },
                Qt::QueuedConnection);
        };
        const bool done = app::ComputePeaks(job, cancel_, sink);
        QMetaObject::invokeMethod(
            this,
            [this, generation, done] {
                if (generation != generation_) return;
                if (thread_.joinable()) thread_.join();
                running_ = false;
                if (done) emit finished();
            },
            Qt::QueuedConnection);
    });
}

void WaveformLoader::cancel() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
    running_ = false;
    ++generation_;
}
