#include "engine/EDLWriter.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"
#include "engine/OutputBatch.h"

EDLWriter::~EDLWriter() {
    delete edl;
    edl = nullptr;
    ReleaseOutput();
    projectFiles.removeAll();
}

void EDLWriter::ReleaseOutput() {
    delete outEvent;  // closes its files, which finishes their headers
    outEvent = nullptr;
    delete outFile;
    outFile = nullptr;
    delete outFileRight;
    outFileRight = nullptr;
}

void EDLWriter::Init() {
    ratesDiffer = false;
    numChannels = 2;
    sampleRate = 44100;
    fadeStep = 16;
    bitWidth = 16;
    outType = Stereo;
    withMarkers = false;
    outDescription.clear();
    outOriginator.clear();
    stopRequested = false;
}

void EDLWriter::SetParams(const OutputFormat& format) {
    bitWidth = format.bits == 24 ? 24 : 16;
    switch (format.layout) {
        case MonoLeft:
        case MonoRight:
        case MonoSummed:
        case DualMono:
            outType = format.layout;
            break;
        default:
            outType = Stereo;
            break;
    }
    withMarkers = format.markers;
    numChannels = static_cast<int8_t>(Format().Channels());
}

OutputFormat EDLWriter::Format() const {
    return {bitWidth, outType, withMarkers};
}

void EDLWriter::ReleaseProject() {
    // The events point into the takes, so the edit list goes first.
    delete edl;
    edl = nullptr;
    projectFiles.removeAll();
}

int32_t EDLWriter::LoadProject(const char* dir) {
    ReleaseProject();
    LoadProjFiles(dir);
    if (projectFiles.GetCount() == 0) return 0;
    edl = new EDL(&projectFiles);
    if (sampleRate <= 87999) {
        fadeStep = 16;
    } else if (sampleRate <= 175999) {
        fadeStep = 8;
    } else {
        fadeStep = 4;
    }
    return ratesDiffer ? 0 : 1;
}

void EDLWriter::LoadProjFiles(const char* dir) {
    entries.clear();
    ratesDiffer = false;
    if (dir == nullptr) return;
    const std::string audioDir = AudioFilesDir(dir);

    // Listed in byte order, whatever the user's locale, so that every front end
    // breaks ties between takes of equal origination time alike.
    std::vector<std::string> names;
    if (!kxDiskMgr::ListDirectory(audioDir, names)) return;
    bool firstValid = true;
    std::vector<kxFile*> valid;
    for (const std::string& name : names) {
        auto take = std::make_unique<kxFile>(audioDir.c_str(), name.c_str());
        const bool accepted = take->Validate();
        entries.push_back({name, accepted, take->Problem(), take->FoundFormat()});
        if (accepted) {
            if (firstValid) {
                sampleRate = take->SampleRate();
                firstValid = false;
            } else if (take->SampleRate() != sampleRate) {
                ratesDiffer = true;
            }
            valid.push_back(take.release());
        }
    }
    // The list keeps takes in origination order, equal times in listing order;
    // sorting first (stably) makes each insertion an append.
    std::stable_sort(valid.begin(), valid.end(), [](const kxFile* a, const kxFile* b) {
        return a->GetLocation() < b->GetLocation();
    });
    for (kxFile* take : valid) projectFiles.addItem(new TakeItem(take));
}

int32_t EDLWriter::ProjectSize(int64_t& bytes) const {
    bytes = 0;
    if (edl == nullptr) return 0;
    // Every take lies within the timeline's 2^40 frames, so the span times at most
    // six bytes a frame is exact in 64 bits.
    const uint64_t frames = edl->LastSampleInEDL() - edl->FirstSampleInEDL();
    bytes = static_cast<int64_t>(frames * static_cast<uint64_t>(numChannels) *
                                 static_cast<uint64_t>(bitWidth / 8));
    return 1;
}

int32_t EDLWriter::ProjectTimes(timeParts& start, timeParts& end) const {
    if (edl == nullptr) return 0;
    GetTime(edl->FirstSampleInEDL(), start);
    GetTime(edl->LastSampleInEDL(), end);
    return 1;
}

void EDLWriter::GetTime(uint64_t sample, timeParts& time) const {
    time = TimeOfFrames(sample, sampleRate);
}

namespace {

// A take's name without its folder and without ".wav" in any letter case.
std::string MarkerLabel(const kxFile& take) {
    std::string name = paths::LastComponent(take.Path());
    const size_t stem = name.size() >= 4 ? name.size() - 4 : 0;
    std::string extension = name.substr(stem);
    for (char& c : extension) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (extension == ".wav") name.resize(stem);
    return name;
}

}  // namespace

std::vector<WaveMarker> EDLWriter::OutputMarkers(uint64_t& leftOut) const {
    std::vector<WaveMarker> markers;
    leftOut = 0;
    if (edl == nullptr) return markers;
    const uint64_t first = edl->FirstSampleInEDL();
    for (const AudioEvent* event = edl->firstEvent; event != nullptr; event = event->next) {
        if (event->file == nullptr || (event->prev != nullptr && event->prev->NextHasSameID())) {
            continue;
        }
        // A cue point holds a 32-bit position; a wrapped one would point elsewhere.
        const uint64_t position = event->startSample - first;
        if (position > UINT32_MAX) {
            ++leftOut;
            continue;
        }
        markers.push_back({static_cast<uint32_t>(position), MarkerLabel(*event->file)});
    }
    return markers;
}

uint64_t EDLWriter::OutputHeaderBytes() const {
    if (!withMarkers) return kHeaderSize;
    uint64_t leftOut = 0;
    return kHeaderSize + MarkerChunkBytes(OutputMarkers(leftOut)).size();
}

void EDLWriter::SetOutputTexts(const std::string& description, const std::string& originator) {
    outDescription = description;
    outOriginator = originator;
}

std::string AudioFilesDir(const std::string& projectDir) {
    return paths::Join(projectDir, kAudioFilesFolder);
}

kxFile* EDLWriter::CreateOutput(const char* path, int8_t channels) {
    auto* file = new kxFile(path, channels, sampleRate, bitWidth, edl->FirstSampleInEDL());
    file->header.bext.data.SetDescription(outDescription);
    file->header.bext.data.SetOriginator(outOriginator);
    file->header.bext.SetCodingHistory(CodingHistoryLine(file->header.format.data, outOriginator));
    if (withMarkers) {
        uint64_t leftOut = 0;
        file->SetMarkers(OutputMarkers(leftOut));
    }
    if (!file->OpenForWrite()) {
        delete file;
        return nullptr;
    }
    return file;
}

int32_t EDLWriter::NewFile(const char* path) {
    ReleaseOutput();
    stopRequested = false;
    if (path == nullptr || edl == nullptr) return 0;
    outFile = CreateOutput(path, numChannels);
    if (outFile == nullptr) return 0;
    outEvent = new AudioEvent(outFile, nullptr, outType);
    return 1;
}

int32_t EDLWriter::NewFiles(const char* left, const char* right) {
    ReleaseOutput();
    stopRequested = false;
    if (left == nullptr || right == nullptr || edl == nullptr) return 0;
    outFile = CreateOutput(left, 1);
    if (outFile == nullptr) return 0;
    outFileRight = CreateOutput(right, 1);
    if (outFileRight == nullptr) {
        // The left file stays on disk, holding its provisional header only.
        ReleaseOutput();
        return 0;
    }
    outEvent = new AudioEvent(outFile, outFileRight, outType);
    return 1;
}

bool EDLWriter::FinishOutput() {
    errno = 0;
    const bool finished = outEvent->Finish();
    if (!finished && lastWriteError == 0) lastWriteError = errno;
    delete outEvent;
    outEvent = nullptr;
    return finished;
}

bool EDLWriter::BeginRun() {
    if (edl == nullptr || outEvent == nullptr) return false;
    runFirst = edl->FirstSampleInEDL();
    runLast = edl->LastSampleInEDL();
    runPos = runFirst;
    if (runLast <= runPos) return false;
    lastWriteError = 0;
    renderer.Init();
    recorder.Initialize(outEvent, Format());
    return true;
}

bool EDLWriter::RunDone() const {
    return runPos >= runLast || stopRequested.load(std::memory_order_relaxed);
}

bool EDLWriter::RenderBlock(uint8_t* left, uint8_t* right, uint64_t& frames) {
    const uint64_t before = runPos;
    renderer.Fill(edl, runPos, fadeStep);
    frames = std::min(runPos, runLast) - before;
    return recorder.ConvertBuffer(renderer.stageBuf.memBuffer, frames, left, right);
}

bool EDLWriter::StepRun() {
    uint8_t* array = outEvent->fileBuf.Data();
    uint64_t frames = 0;
    if (!RenderBlock(array, array + outEvent->fileBuf.RightOffset(), frames)) return false;
    errno = 0;
    if (outEvent->WriteData(frames)) return true;
    lastWriteError = errno;
    return false;
}

double EDLWriter::RunProgress() const {
    if (runLast <= runFirst) return 0.0;
    const uint64_t done = std::min(runPos, runLast) - runFirst;
    return 100.0 * static_cast<double>(done) / static_cast<double>(runLast - runFirst);
}

int32_t EDLWriter::EndRun(bool written) {
    const bool ended = runPos >= runLast || stopRequested.load();
    // A failed run is finished too: the header then matches what reached the disk.
    const bool finished = FinishOutput();
    return written && ended && finished ? 1 : 0;
}

int32_t EDLWriter::doConvert(std::atomic<double>& progress) {
    if (!BeginRun()) return 0;
    // A span shorter than one block still reaches 100 after its block.
    const uint64_t blocks = std::max<uint64_t>((runLast - runFirst) / kStageFrames, 1);
    const double increment = 100.0 / static_cast<double>(blocks);

    OutputBatch batch(outFile->BytesPerSample(), outFileRight != nullptr);
    bool written = true;
    auto writeBatch = [&] {
        errno = 0;
        written = batch.WriteTo(*outEvent);
        if (!written) lastWriteError = errno;
    };
    while (written && !RunDone()) {
        uint64_t frames = 0;
        if (!RenderBlock(batch.Left(), batch.Right(), frames)) break;
        batch.Add(frames);
        if (batch.Full()) writeBatch();
        progress.store(progress.load(std::memory_order_relaxed) + increment,
                       std::memory_order_relaxed);
    }
    if (written) writeBatch();
    return EndRun(written);
}
