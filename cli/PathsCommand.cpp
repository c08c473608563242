#include "cli/CliRun.h"

namespace veltrane::cli {

// Placeholder until the paths check lands.
CliRun RunPathsCommand(const std::string& path, bool fileMode, CliContext& /*ctx*/) {
    CliRun run;
    run.tool = "paths";
    run.mode = fileMode ? "file" : "folder";
    run.path = path;
    run.notices.push_back({NoticeKind::Error, "veltrane-cli", "paths: not available yet", NoticeButtons::Ok,
                           NoticeAnswer::None});
    run.status = kExitUsage;
    return run;
}

}  // namespace veltrane::cli
