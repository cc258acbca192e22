// The one place where the Ardour session meets the engine: the loaded project of
// an EDLWriter read into an ArdourProject.
#include <map>

#include "app/AppDecisions.h"
#include "app/ArdourSession.h"
#include "engine/EDLWriter.h"

namespace app {

ArdourProject ArdourProjectOf(const EDLWriter& writer, const std::string& name, bool markers) {
    ArdourProject project;
    project.name = name;
    project.sampleRate = writer.sampleRate;
    // Fade steps of 16, 8 and 4 fade over 1024, 2048 and 4096 frames.
    project.fadeFrames =
        writer.fadeStep >= 4 ? 4096u / static_cast<uint32_t>(writer.fadeStep / 4) : 1024u;
    if (writer.edl == nullptr) return project;
    project.first = writer.edl->FirstSampleInEDL();
    project.last = writer.edl->LastSampleInEDL();

    // The project list holds the accepted takes oldest first.
    std::map<const kxFile*, size_t> indexOf;
    for (const kxListItem* item = writer.projectFiles.head; item != nullptr; item = item->next) {
        const auto* take = static_cast<const kxFile*>(item);
        if (take->FrameCount() == 0) continue;  // no event, nothing Ardour could show
        const std::string entry = LastPathComponent(take->Path());
        indexOf[take] = project.takes.size();
        project.takes.push_back({take->Path(), entry, TakeLabel(entry), take->StartLocation(),
                                 take->FrameCount(), take->Channels(), take->BitsPerSample()});
    }
    for (const AudioEvent* e = writer.edl->firstEvent; e != nullptr; e = e->next) {
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
