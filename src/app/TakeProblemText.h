// The words for a take that was refused, the same in every front end: the command
// line's `info` (text and JSON "reason"), the window and the page. Each reason
// names what was found in the file, so that a user sees at once why a recording
// is not in the output.
#pragma once

#include <string>

#include "audiofile/kxFile.h"

namespace app {

// Why a take was refused, in words for a recording engineer: `problem` as
// kxFile::Problem() gives it, `found` as kxFile::FoundFormat(). Empty for None.
std::string TakeProblemText(TakeProblem problem, const TakeFormat& found = {});

}  // namespace app
