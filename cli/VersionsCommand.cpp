#include "cli/CliRun.h"

namespace veltrane::cli {

// Placeholder until the versions check lands.
CliRun RunVersionsCommand(const std::string& path, bool fileMode, bool /*fix*/, CliContext& /*ctx*/) {
    CliRun run;
    run.tool = "versions";
    run.mode = fileMode ? "file" : "folder";
    run.path = path;
    run.notices.push_back({NoticeKind::Error, "veltrane-cli", "versions: not available yet", NoticeButtons::Ok,
                           NoticeAnswer::None});
    run.status = kExitUsage;
    return run;
}

}  // namespace veltrane::cli
