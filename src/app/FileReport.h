// The report on one WAVE file that `proj2wav info FILE` prints: its format and
// length, its place (the time reference), what its 'bext' chunk says of it, its
// identity and its markers — as text for people, or as one JSON document with the
// keys file, channels, bits, sample_rate, frames, time_reference, origination,
// description, originator, markers (objects with position and label), identity
// (hex; null when the file has none, as time_reference, origination,
// description and originator are without a 'bext' chunk), unfinished (true when
// the header declares other than the whole frames on disk, see WaveRepair.h) and
// frames_on_disk (the whole frames the file holds behind its header).
#pragma once

#include <string>

#include "audiofile/kxFile.h"

namespace app {

// The report on the file at `path` as kxFile::Describe found it.
std::string FileReportText(const std::string& path, const WaveDescription& description);
// The same as JSON, indented by two blanks; bytes that are not UTF-8 become U+FFFD.
std::string FileReportJson(const std::string& path, const WaveDescription& description);

}  // namespace app
