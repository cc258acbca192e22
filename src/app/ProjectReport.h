// The report on a project that every front end gives: the status line, every entry
// of "Audio Files" accepted or refused (and why), as the window's takes panel
// lists them (BuildTakeRows), and the edit list with its fades. The facts are
// plain values, for a front end to lay out as it likes (the command line's `info`
// prints them as text); ReportJson gives them as the one JSON document that
// `proj2wav info --json` prints and the page reads.
//
// Build it on the main thread while no conversion runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ProjectView.h"

class ProjectSession;
struct OutputFormat;

namespace app {

// One event of the edit list, as a conversion plays it.
struct ReportEvent {
    std::string file;  // the entry name of its take
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t offset = 0;  // the take's frame played at `start`
    bool fadeIn = false;
    bool fadeOut = false;
    std::string startText;
    std::string endText;
};

struct ProjectReport {
    std::string project;  // as the user gave or picked it
    bool valid = false;
    std::string problem;  // why it is not a valid project; empty when valid
    std::string status;   // the window's status line, or kNotValidProject
    int bits = 16;
    std::string layout;  // kLayoutNames
    bool anyTake = false;
    uint32_t sampleRate = 0;  // of the first accepted take; meaningful with anyTake
    bool ratesDiffer = false;
    bool hasEdl = false;
    uint64_t first = 0;  // the project's first frame and the frame past its end
    uint64_t last = 0;
    int64_t bytes = 0;             // the output's audio bytes at the chosen format
    std::vector<TakeRow> entries;  // every entry of "Audio Files", in listing order
    std::vector<ReportEvent> events;
};

// The report on what the session loaded, for an output in `format`.
ProjectReport BuildProjectReport(const ProjectSession& session, const OutputFormat& format);

// The status line for the session's project and `format`: the long form with a
// project's times and size, the short form "16 Bit, Stereo" without one.
std::string StatusLineOf(const ProjectSession& session, const OutputFormat& format);

// The report as a JSON document, indented by two blanks. Names that are not UTF-8
// have their stray bytes replaced by U+FFFD.
std::string ReportJson(const ProjectReport& report);

// Reports on many projects as one JSON document: {"projects": [report, ...]},
// each report as ReportJson gives it.
std::string ReportsJson(const std::vector<ProjectReport>& reports);

// "Audio Files: 12 entries, 11 accepted", the heading of a list of the entries.
std::string EntriesSummary(const std::vector<TakeRow>& entries);

}  // namespace app
