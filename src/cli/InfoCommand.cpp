#include "cli/InfoCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/AppDecisions.h"
#include "app/ConversionFlow.h"
#include "app/EditListCsv.h"
#include "app/ProjectBatch.h"
#include "app/ProjectReport.h"
#include "platform/kxDiskMgr.h"

namespace cli {

namespace {

const char* FadeWords(const app::ReportEvent& event) {
    if (event.fadeIn && event.fadeOut) return "in+out";
    if (event.fadeIn) return "in";
    if (event.fadeOut) return "out";
    return "-";
}

void PrintText(const app::ProjectReport& report) {
    std::printf("Project: %s\n", report.project.c_str());
    std::printf("Status:  %s\n", report.status.c_str());

    size_t nameWidth = 4;
    for (const app::TakeRow& e : report.entries) nameWidth = std::max(nameWidth, e.name.size());
    nameWidth = std::min<size_t>(nameWidth, 40);
    std::printf("\n%s\n", app::EntriesSummary(report.entries).c_str());
    for (const app::TakeRow& e : report.entries) {
        const int width = static_cast<int>(nameWidth);
        if (!e.accepted) {
            std::printf("  %-*s  refused   %s\n", width, e.name.c_str(), e.reason.c_str());
            continue;
        }
        std::printf(
            "  %-*s  accepted  %s %u-bit %u Hz, starts at %s (sample %llu), %llu frames, "
            "recorded %s\n",
            width, e.name.c_str(), app::LayoutWord(e.channels), e.bits, e.sampleRate,
            e.startText.c_str(), static_cast<unsigned long long>(e.startSample),
            static_cast<unsigned long long>(e.frames), e.origination.c_str());
    }

    std::printf("\nEdit list: %zu events\n", report.events.size());
    if (report.events.empty()) return;
    std::printf("  %11s  %11s  %13s  %13s  %12s  %-6s  %s\n", "start", "end", "start sample",
                "end sample", "file offset", "fades", "file");
    for (const app::ReportEvent& e : report.events) {
        std::printf("  %11s  %11s  %13llu  %13llu  %12llu  %-6s  %s\n", e.startText.c_str(),
                    e.endText.c_str(), static_cast<unsigned long long>(e.start),
                    static_cast<unsigned long long>(e.end),
                    static_cast<unsigned long long>(e.offset), FadeWords(e), e.file.c_str());
    }
}

}  // namespace

// Each project found with its status line, or all their reports as one JSON
// document.
int ListProjects(const InfoOptions& options, const std::vector<std::string>& projects) {
    if (options.csv) {
        PrintError("--csv gives the edit list of one project");
        return kExitUsage;
    }
    std::vector<app::ProjectReport> reports;
    for (const std::string& project : projects) {
        ProjectSession session;
        session.Load(project);
        reports.push_back(app::BuildProjectReport(session, options.format));
        if (options.json) continue;
        const app::ProjectReport& report = reports.back();
        std::printf("%s: %s\n", project.c_str(),
                    report.valid ? report.status.c_str()
                                 : (report.status + " (" + report.problem + ")").c_str());
    }
    if (options.json) std::printf("%s\n", app::ReportsJson(reports).c_str());
    return kExitDone;
}

int RunInfo(const InfoOptions& options) {
    for (const std::string& path : options.paths) {
        if (!kxDiskMgr::Identify(path).exists) {
            PrintError(Quoted(path) + ": " + std::strerror(errno));
            return kExitFailed;
        }
    }
    const std::string& first = options.paths.front();
    if (options.paths.size() == 1 && kxDiskMgr::Identify(first).regular) {
        return RunFileInfo(options, first);
    }
    const std::vector<std::string> projects = app::FindProjects(options.paths);
    const bool one = options.paths.size() == 1 &&
                     (projects.empty() || projects.front() == app::ProjectDirFor(first));
    if (!one) {
        if (!projects.empty()) return ListProjects(options, projects);
        PrintError("no project found in " + app::OutputNames(options.paths));
        return kExitNotProject;
    }
    const std::string project = projects.empty() ? first : projects.front();
    ProjectSession session;
    const bool valid = session.Load(project);
    const app::ProjectReport report = app::BuildProjectReport(session, options.format);
    if (options.csv) {
        const std::string csv = app::EditListCsv(session);
        std::fwrite(csv.data(), 1, csv.size(), stdout);
    } else if (options.json) {
        std::printf("%s\n", app::ReportJson(report).c_str());
    } else {
        PrintText(report);
    }
    if (valid) return kExitDone;
    PrintError(Quoted(project) + ": " + app::kNotValidProject + " (" + report.problem + ")");
    return kExitNotProject;
}

}  // namespace cli
