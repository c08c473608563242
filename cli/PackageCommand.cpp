#include "checks/PackageCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun PackageRun(const std::string& path, PackageCheckRun check) {
    CliRun run = StartRun("package", std::nullopt, path, kPackageTexts);
    run.notices = std::move(check.notices);
    run.cancelled = check.cancelled;
    run.findings = std::move(check.findings);
    if (check.refreshCounters) {
        run.counters[0] = check.filesChecked;
        run.counters[1] = check.problemsFound;
        run.report = std::move(check.report);
    }
    if (check.stop != PackageCheckStop::None) {
        run.status = kExitUsage;
        run.stoppedBeforeChecking = true;
    } else if (check.cancelled) {
        run.status = kExitCancelled;
    } else {
        run.status = check.problemsFound > 0 ? kExitFindings : kExitClean;
    }
    return run;
}

CliRun RunPackageCommand(const std::string& path, const std::vector<std::string>& runtimes, CliContext& ctx) {
    return PackageRun(path, RunPackageCheck(path, runtimes, ctx));
}

}  // namespace veltrane::cli
