#include "engine/ProjectSession.h"

#include <cerrno>
#include <new>

bool ProjectSession::Load(const std::string& projectDir) {
    dir = projectDir;
    const OutputFormat format = writer.Format();
    writer.Init();
    writer.SetParams(format);
    loaded = writer.LoadProject(dir.c_str()) != 0;
    return loaded;
}

std::vector<const kxFile*> ProjectSession::Takes() const {
    std::vector<const kxFile*> takes;
    for (const kxListItem* item = writer.projectFiles.head; item != nullptr; item = item->next) {
        takes.push_back(static_cast<const TakeItem*>(item)->take);
    }
    return takes;
}

const AudioEvent* ProjectSession::FirstEvent() const {
    return writer.edl != nullptr ? writer.edl->firstEvent : nullptr;
}

uint64_t ProjectSession::First() const {
    return writer.edl != nullptr ? writer.edl->FirstSampleInEDL() : 0;
}

uint64_t ProjectSession::Last() const {
    return writer.edl != nullptr ? writer.edl->LastSampleInEDL() : 0;
}

timeParts ProjectSession::TimeOf(uint64_t frame) const {
    timeParts time;
    writer.GetTime(frame, time);
    return time;
}

OutputPlan ProjectSession::Plan(const OutputFormat& format) const {
    OutputPlan plan;
    plan.first = First();
    plan.frames = Frames();
    plan.files = format.Files();
    // Every take lies within the timeline's 2^40 frames, so a span times at most
    // six bytes a frame is exact in 64 bits.
    plan.fileBytes = plan.frames * format.FileFrameBytes();
    plan.audioBytes = plan.fileBytes * static_cast<uint64_t>(plan.files);
    plan.headerBytes = kHeaderSize;
    if (format.markers) {
        plan.markers = writer.OutputMarkers(plan.markersLeftOut);
        plan.headerBytes += MarkerChunkBytes(plan.markers).size();
    }
    return plan;
}

bool ProjectSession::CreateOutputs(const OutputFormat& format,
                                   const std::vector<std::string>& paths,
                                   const OutputTexts& texts) {
    writer.SetParams(format);
    writer.SetOutputTexts(texts.description, texts.originator);
    if (paths.size() != static_cast<size_t>(format.Files())) {
        errno = EINVAL;
        return false;
    }
    errno = 0;
    return (format.TwoFiles() ? writer.NewFiles(paths[0].c_str(), paths[1].c_str())
                              : writer.NewFile(paths[0].c_str())) != 0;
}

RunOutcome ProjectSession::Run(std::atomic<double>& progress) {
    errno = 0;
    bool ok = false;
    try {
        ok = writer.doConvert(progress) != 0;
    } catch (const std::bad_alloc&) {  // memory for a buffer could not be had
        errno = ENOMEM;
    }
    return Outcome(ok);
}

bool ProjectSession::Begin() {
    if (writer.BeginRun()) return true;
    writer.EndRun(false);
    return false;
}

int ProjectSession::Step(int blocks) {
    for (int i = 0; i < blocks && !writer.RunDone(); ++i) {
        if (!writer.StepRun()) return -1;
    }
    return writer.RunDone() ? 0 : 1;
}

RunOutcome ProjectSession::End(bool written) {
    errno = 0;
    return Outcome(writer.EndRun(written) != 0);
}

RunOutcome ProjectSession::Outcome(bool ok) const {
    RunOutcome outcome;
    outcome.frames = writer.outFile != nullptr ? writer.outFile->FrameCount() : 0;
    outcome.total = Frames();
    for (const kxFile* file : {writer.outFile, writer.outFileRight}) {
        if (file != nullptr) outcome.outputs.push_back(file->Path());
    }
    if (!ok) {
        outcome.end = RunOutcome::End::Failed;
        outcome.error = writer.lastWriteError != 0 ? writer.lastWriteError : errno;
    } else if (outcome.frames < outcome.total) {
        outcome.end = writer.stopRequested.load() ? RunOutcome::End::Stopped
                                                  : RunOutcome::End::Failed;
    } else {
        outcome.end = RunOutcome::End::Complete;
    }
    for (const SilencedSpan& span : writer.renderer.silencedSpans) {
        outcome.silenced.push_back(
            {span.take != nullptr ? span.take->Path() : std::string(), span.start, span.end,
             span.takeFrame});
    }
    return outcome;
}
