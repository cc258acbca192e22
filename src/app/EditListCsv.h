// The edit list as CSV (RFC 4180), to paste into a spreadsheet or a conform
// tool: one row per event of the loaded project, under the header
//   file,start_sample,end_sample,file_offset,start,end,fade_in,fade_out
// The file is the take's name (its bytes as on the disk); samples are timeline
// frames; file_offset is the take's frame played at start_sample; start and end
// read "H:MM:SS.cc"; the fades are "yes" or "no". Lines end in CR LF; a field
// holding a comma, a double quote, a CR or an LF is quoted, its quotes doubled.
#pragma once

#include <string>

class ProjectSession;

namespace app {

// The CSV of the session's edit list; just the header line when none is loaded.
// Read the session while no conversion runs.
std::string EditListCsv(const ProjectSession& session);

}  // namespace app
