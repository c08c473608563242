#include "checks/FileNameLengthCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun RunNamesCommand(const std::string& path, bool recursive, CliContext& ctx) {
    CliRun run = StartRun("names", recursive ? "entire-directory" : "this-folder", path, kFileNamesTexts);

    FileNameCheckResult result =
        CheckFileNames(path, recursive ? NameCheckMode::EntireDirectory : NameCheckMode::ThisFolderOnly, ctx);
    run.counters[0] = result.itemsChecked;
    run.counters[1] = result.problemsFound;
    run.report = std::move(result.report);
    run.notices = std::move(result.notices);
    run.cancelled = result.cancelled;
    if (result.cancelled) {
        run.status = kExitCancelled;
    } else if (result.disableCheckButton) {
        run.status = kExitUsage;  // the path does not exist: nothing was checked
    } else {
        run.status =
            result.problemsFound > 0 || !result.unreadableFolders.empty() ? kExitFindings : kExitClean;
    }
    return run;
}

}  // namespace veltrane::cli
