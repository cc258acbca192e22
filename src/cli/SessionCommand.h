// `proj2wav session`: writes the project as an Ardour session into a new or empty
// folder, with a copy of every take, after checking the folder and the room on
// its volume. The copies go on a worker thread while the main thread draws the
// progress; Ctrl-C or SIGTERM stop it between blocks and remove what was written.
#pragma once

#include <string>

namespace cli {

struct SessionOptions {
    std::string project;
    std::string folder;    // the session's folder: new, or empty
    bool markers = false;  // a location marker where each recording begins
    bool quiet = false;    // no progress line and no report of success
};

// Writes the session; the result is one of the ExitCode values.
int RunSession(const SessionOptions& options);

}  // namespace cli
