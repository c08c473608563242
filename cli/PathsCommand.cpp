#include "checks/PathCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun RunPathsCommand(const std::string& path, bool fileMode, CliContext& ctx) {
    CliRun run = StartRun("paths", fileMode ? "file" : "folder", path, kPathsTexts);

    PathCheckRun check =
        RunPathCheck(path, fileMode ? PathCheckMode::FileOnly : PathCheckMode::AllFiles, ctx);
    run.notices = std::move(check.notices);
    run.cancelled = check.cancelled;
    if (check.refreshCounters) {
        // A fresh page shows its counters only when the run got as far as showing a result.
        run.counters[0] = check.filesChecked;
        run.counters[1] = check.problemFiles;
        run.report = std::move(check.report);
    }

    switch (check.stop) {
        case PathCheckStop::None:
            if (check.cancelled) {
                run.status = kExitCancelled;
            } else {
                run.status =
                    check.problemFiles > 0 || !check.unreadableFolders.empty() ? kExitFindings : kExitClean;
            }
            break;
        case PathCheckStop::Unreadable:  // stopped at its error box: the file was not checked
        case PathCheckStop::PathMissing:
        case PathCheckStop::NotAFolder:
        case PathCheckStop::NotAFile:
        case PathCheckStop::NotRecognised:
            run.status = kExitUsage;
            break;
    }
    return run;
}

}  // namespace veltrane::cli
