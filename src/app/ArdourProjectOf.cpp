// The one place where the Ardour session meets the engine: the loaded project of a
// session read into an ArdourProject.
#include <map>

#include "app/AppDecisions.h"
#include "app/ArdourSession.h"
#include "engine/ProjectSession.h"
#include "platform/Paths.h"

namespace app {

ArdourProject ArdourProjectOf(const ProjectSession& session, const std::string& name,
                              bool markers) {
    ArdourProject project;
    project.name = name;
    project.sampleRate = session.SampleRate();
    project.fadeFrames = session.FadeFrames();
    if (!session.HasEdl()) return project;
    project.first = session.First();
    project.last = session.Last();

    // The accepted takes, oldest first.
    std::map<const kxFile*, size_t> indexOf;
    for (const kxFile* take : session.Takes()) {
        if (take->FrameCount() == 0) continue;  // no event, nothing Ardour could show
        const std::string entry = paths::LastComponent(take->Path());
        indexOf[take] = project.takes.size();
        project.takes.push_back({take->Path(), entry, TakeLabel(entry), take->StartLocation(),
                                 take->FrameCount(), take->Channels(), take->BitsPerSample()});
    }
    for (const AudioEvent* e = session.FirstEvent(); e != nullptr; e = e->next) {
        const auto found = indexOf.find(e->file);
        if (found == indexOf.end()) continue;
        project.events.push_back({found->second, e->startSample, e->fileOffset,
                                  e->endSample - e->startSample, e->FadesIn(), e->FadesOut()});
        // A new recording begins wherever an event does not continue the one before.
        if (markers && (e->prev == nullptr || !e->prev->NextHasSameID())) {
            project.markers.push_back({e->startSample, project.takes[found->second].label});
        }
    }
    return project;
}

}  // namespace app
