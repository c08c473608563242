#include "checks/PackageCheck.h"
#include "checks/ReferenceFix.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun PackageRun(const std::string& path, PackageCheckRun check, const ReferenceFixRun* fix) {
    CliRun run = StartRun("package", std::nullopt, path, kPackageTexts);
    const int32_t problemsLeft = fix != nullptr ? ProblemsLeft(check) : check.problemsFound;
    run.notices = std::move(check.notices);
    run.cancelled = check.cancelled;
    if (check.kept) {
        run.kept = std::move(check.kept);
    } else {
        run.findings = std::move(check.findings);
    }
    if (check.refreshCounters) {
        run.counters[0] = check.filesChecked;
        run.counters[1] = check.problemsFound;
        run.report = std::move(check.report);
    }
    if (check.stop != PackageCheckStop::None) {
        run.status = kExitUsage;
        run.stoppedBeforeChecking = true;
    } else if (fix != nullptr && fix->refused) {
        run.status = kExitUsage;  // an archive's files are never fixed: nothing was changed
    } else if (fix != nullptr && !fix->fix.failures.empty()) {
        run.status = kExitFileError;
    } else if (check.cancelled) {
        run.status = kExitCancelled;
    } else {
        run.status = problemsLeft > 0 ? kExitFindings : kExitClean;
    }
    return run;
}

std::optional<ReferenceFixRun> FixPackageReferences(PackageCheckRun& check, const std::string& path,
                                                    const FixOptions& options, CliContext& ctx,
                                                    const std::map<std::string, std::string>& leaveAlone) {
    if (!options.fix || check.stop != PackageCheckStop::None || check.cancelled) {
        return std::nullopt;
    }
    const size_t noticesBefore = ctx.Notices().size();
    ReferenceFixRun fix = RunReferenceFix(check, path, options.dryRun, ctx, leaveAlone);
    check.notices.insert(check.notices.end(),
                         ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                         ctx.Notices().end());
    if (options.dryRun && !options.json) {
        check.report += fix.diff;  // the plain output shows what the fix would change
    }
    return fix;
}

CliRun RunPackageCommand(const std::string& path, const std::vector<std::string>& runtimes,
                         const FixOptions& options, CliContext& ctx) {
    ctx.m_answerQuestionsOk = options.fix && !options.dryRun;
    // Without a fix the findings are only printed: made from the kept ones as they are written.
    PackageCheckRun check = RunPackageCheck(path, runtimes, ctx, nullptr, options.fix, options.fix);
    const std::optional<ReferenceFixRun> fix = FixPackageReferences(check, path, options, ctx, {});
    return PackageRun(path, std::move(check), fix ? &*fix : nullptr);
}

}  // namespace veltrane::cli
