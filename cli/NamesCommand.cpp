#include "checks/FileNameLengthCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun NamesRun(const std::string& path, bool recursive, FileNameCheckResult result) {
    CliRun run = StartRun("names", recursive ? "entire-directory" : "this-folder", path, kFileNamesTexts);
    run.counters[0] = result.itemsChecked;
    run.counters[1] = result.problemsFound;
    run.report = std::move(result.report);
    run.notices = std::move(result.notices);
    run.cancelled = result.cancelled;
    run.findings = std::move(result.findings);
    if (result.cancelled) {
        run.status = kExitCancelled;
    } else if (result.disableCheckButton) {
        run.status = kExitUsage;  // the path does not exist: nothing was checked
        run.stoppedBeforeChecking = true;
    } else {
        run.status =
            result.problemsFound > 0 || !result.unreadableFolders.empty() ? kExitFindings : kExitClean;
    }
    return run;
}

CliRun RunNamesCommand(const std::string& path, bool recursive, CliContext& ctx) {
    return NamesRun(
        path, recursive,
        RunFileNameCheck(path, recursive ? NameCheckMode::EntireDirectory : NameCheckMode::ThisFolderOnly,
                         ctx));
}

}  // namespace veltrane::cli
