#include "cli/CliCommon.h"

#include <cstdio>

#include "app/AppDecisions.h"
#include "app/ProjectView.h"

namespace cli {

int OutputFormat::ChannelColumn() const {
    return app::ChannelColumnOf(layout);
}

bool OutputFormat::IsDualMono() const {
    return app::IsDualMono(ChannelColumn());
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "proj2wav: %s\n", message.c_str());
}

void PrintWarning(const std::string& message) {
    std::fprintf(stderr, "proj2wav: warning: %s\n", message.c_str());
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool LoadProjectDir(EDLWriter& writer, const std::string& dir, const OutputFormat& format,
                    std::string& why) {
    writer.Init();
    writer.SetParams(static_cast<int8_t>(format.WidthColumn()),
                     static_cast<int8_t>(format.ChannelColumn()));
    if (writer.LoadProject(dir.c_str()) != 0) return true;
    why = app::NotAProjectReason(dir, writer.entries.size(), writer.ratesDiffer);
    return false;
}

}  // namespace cli
