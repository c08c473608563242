#include <algorithm>

#include "checks/CombinedCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

namespace {

// The combined run has no counters of its own: each tool's part carries its two.
constexpr ToolTexts kCheckTexts{"", "", nullptr, nullptr, "", ""};

}  // namespace

CliRun RunCheckCommand(const std::string& path, const std::vector<std::string>& runtimes, bool fix,
                       CliContext& ctx) {
    ctx.m_answerQuestionsOk = fix;
    CFileRecordArray records;
    CombinedCheckRun combined = RunCombinedCheck(path, runtimes, records, ctx);

    CliRun run = StartRun("check", std::nullopt, path, kCheckTexts);
    run.parts.push_back(NamesRun(path, true, std::move(combined.names)));
    run.parts.push_back(PathsRun(path, false, std::move(combined.paths)));
    run.parts.push_back(VersionsRun(path, false, std::move(combined.versions),
                                    std::move(combined.versionNotices), ctx.m_declinedAfterInterrupt, fix));
    run.parts.push_back(PackageRun(path, std::move(combined.package)));
    run.findings = std::move(combined.findings);
    run.notices = ctx.Notices();
    for (const CliRun& part : run.parts) {
        run.cancelled = run.cancelled || part.cancelled;
        run.status = std::max(run.status, part.status);  // 130, a cancel, is the highest
    }
    return run;
}

}  // namespace veltrane::cli
