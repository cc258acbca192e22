// Computes a project's waveform (app::ComputePeaks) on a thread of its own and
// hands the peaks to the main thread as they come, so the window never waits for
// them. Starting again cancels the computation before; so does the destructor,
// which also waits for the thread. Pieces of a cancelled computation that are
// still on their way are dropped.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "app/Waveform.h"

class WaveformLoader : public QObject {
    Q_OBJECT
public:
    explicit WaveformLoader(QObject* parent = nullptr) : QObject(parent) {}
    ~WaveformLoader() override { cancel(); }

    // Starts computing `job`; a job without events finishes at once.
    void start(app::WaveformJob job);
    // Stops the computation under way, if any, and waits for its thread.
    void cancel();
    // True from start until finished has been sent (or the job was cancelled).
    bool running() const { return running_; }

signals:
    // On the main thread: peaks to merge into the waveform (app::PeakSink).
    void peaksArrived(size_t first, const std::vector<app::Peak>& peaks);
    // On the main thread: every peak of the job has arrived.
    void finished();

private:
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    uint64_t generation_ = 0;  // of the job under way; pieces of older ones are dropped
    bool running_ = false;
};
