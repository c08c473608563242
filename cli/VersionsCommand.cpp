#include "checks/VersionCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

CliRun VersionsRun(const std::string& path, bool fileMode, VersionRunResult result,
                   std::vector<Notice> notices, bool declinedAfterInterrupt, bool fix) {
    CliRun run = StartRun("versions", fileMode ? "file" : "folder", path, kVersionTexts);
    run.counters[0] = result.check.filesChecked;
    run.counters[1] = result.check.problemsFound;
    run.report = std::move(result.report);
    run.notices = std::move(notices);
    run.findings = std::move(result.findings);
    // Ctrl-C during the check with --fix: nothing was fixed, the flagged files are shown as after
    // Cancel, and the run counts as cancelled.
    run.cancelled = result.check.cancelled || declinedAfterInterrupt;

    if (!result.hasReport) {
        run.status = kExitUsage;  // stopped at an "ERROR" box before anything was checked
        run.stoppedBeforeChecking = true;
    } else if (fix && result.fixRefused) {
        run.status = kExitUsage;  // an archive's files are never fixed: nothing was changed
    } else if (result.fixRan && !result.fix.failures.empty()) {
        run.status = kExitFileError;
    } else if (run.cancelled) {
        run.status = kExitCancelled;
    } else if ((result.check.problemsFound > 0 && !result.fixRan) || !result.check.unreadableFiles.empty() ||
               !result.check.unreadableFolders.empty()) {
        run.status = kExitFindings;
    } else {
        run.status = kExitClean;
    }
    return run;
}

CliRun RunVersionsCommand(const std::string& path, bool fileMode, bool fix, CliContext& ctx) {
    ctx.m_answerQuestionsOk = fix;
    CFileRecordArray records;
    VersionRunResult result =
        RunVersionCheck(path, fileMode ? VersionCheckMode::File : VersionCheckMode::Folder, records, ctx);
    return VersionsRun(path, fileMode, std::move(result), ctx.Notices(), ctx.m_declinedAfterInterrupt, fix);
}

}  // namespace veltrane::cli
