#include "cli/RepairCommand.h"

#include <cerrno>
#include <cstdio>

#include "app/WaveRepairText.h"

namespace cli {

int RunRepair(const RepairOptions& options) {
    const std::string& path = options.file;
    if (const std::string refusal = app::RepairRefusal(path); !refusal.empty()) {
        PrintError(refusal);
        return kExitFailed;
    }
    WavePlan plan = InspectWave(path);
    const bool mend = plan.condition == WaveCondition::Unfinished && !options.dryRun;
    errno = 0;
    if (mend && !MendWave(path, plan) && plan.condition == WaveCondition::Unfinished) {
        PrintError(app::MendFailedText(path, errno));
        return kExitFailed;
    }
    switch (plan.condition) {
        case WaveCondition::Finished:
        case WaveCondition::Unfinished:
            std::printf("%s\n", app::RepairText(path, plan, mend).c_str());
            return kExitDone;
        case WaveCondition::NotWave:
        case WaveCondition::NotPcm:
            PrintError(app::RepairText(path, plan, false));
            return kExitNotProject;
        default:
            PrintError(app::RepairText(path, plan, false));
            return kExitFailed;
    }
}

}  // namespace cli
