#include "checks/PackageCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun RunPackageCommand(const std::string& path, const std::vector<std::string>& runtimes, CliContext& ctx) {
    CliRun run = StartRun("package", std::nullopt, path, kPackageTexts);

    PackageCheckRun check = RunPackageCheck(path, runtimes, ctx);
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
    } else if (check.cancelled) {
        run.status = kExitCancelled;
    } else {
        run.status = check.problemsFound > 0 ? kExitFindings : kExitClean;
    }
    return run;
}

}  // namespace veltrane::cli
