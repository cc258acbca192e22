// A project's takes validated and listed as the project scan lists them, with the
// edit list built over them: for the tests of the edit list and the renderer,
// which work below the driver that loads projects. Header only, so that the
// support library itself needs nothing of proj2wav.
#pragma once

#include <memory>

#include "audiofile/kxFile.h"
#include "edl/EDL.h"
#include "edl/kxLinkedList.h"
#include "support/ProjectDir.h"

namespace testsupport {

struct LoadedProject {
    // The takes oldest first: each is stamped a second later than the one before.
    explicit LoadedProject(std::vector<TakeRecipe> oldestFirst) {
        for (size_t i = 0; i < oldestFirst.size(); ++i) {
            oldestFirst[i].time = TimeOfDay(static_cast<int>(i));
        }
        for (const std::string& name : dir.AddAll(oldestFirst)) {
            auto* file = new kxFile(dir.AudioDir().c_str(), name.c_str());
            file->Validate();
            takes.push_back(file);
            list.addItem(new TakeItem(file));
        }
        edl = std::make_unique<EDL>(&list);
    }

    ProjectDir dir;
    std::vector<kxFile*> takes;  // owned by the list's items
    kxLinkedList list;
    std::unique_ptr<EDL> edl;  // declared last: released before the list
};

}  // namespace testsupport
