#include <algorithm>

#include "checks/CombinedCheck.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

namespace {

// The combined run has no counters of its own: each tool's part carries its two.
constexpr ToolTexts kCheckTexts{"", "", nullptr, nullptr, "", ""};

constexpr const char* kVersionFixedFirst =
    "its file was just rewritten by the version fix, and its .old backup, which holds the original, "
    "stands in the way: fix its references once that backup is no longer needed.";

}  // namespace

CliRun RunCheckCommand(const std::string& path, const std::vector<std::string>& runtimes,
                       const FixOptions& options, CliContext& ctx) {
    const bool write = options.fix && !options.dryRun;
    ctx.m_answerQuestionsOk = write;
    CFileRecordArray records;
    CombinedCheckRun combined = RunCombinedCheck(path, runtimes, records, ctx, {}, options.fix, options.fix);

    // The reference fix comes after the version fix and leaves the files that one rewrote alone.
    std::map<std::string, std::string> leaveAlone;
    const std::vector<bool>& versionFixed = combined.versions.fix.fixed;
    for (int32_t i = 0; i < records.GetSize() && static_cast<size_t>(i) < versionFixed.size(); ++i) {
        if (versionFixed[static_cast<size_t>(i)]) {
            leaveAlone.emplace(records.GetAt(i).m_path, kVersionFixedFirst);
        }
    }
    const std::optional<ReferenceFixRun> fix =
        FixPackageReferences(combined.package, path, options, ctx, leaveAlone);

    CliRun run = StartRun("check", std::nullopt, path, kCheckTexts);
    run.parts.push_back(NamesRun(path, true, std::move(combined.names)));
    run.parts.push_back(PathsRun(path, false, std::move(combined.paths)));
    run.parts.push_back(VersionsRun(path, false, std::move(combined.versions),
                                    std::move(combined.versionNotices), ctx.m_declinedAfterInterrupt, write));
    run.parts.push_back(PackageRun(path, std::move(combined.package), fix ? &*fix : nullptr));
    // The run's findings are its parts' in order (names, paths, versions, package): not held twice.
    run.notices = ctx.Notices();
    for (const CliRun& part : run.parts) {
        run.cancelled = run.cancelled || part.cancelled;
        run.status = std::max(run.status, part.status);  // 130, a cancel, is the highest
    }
    return run;
}

}  // namespace veltrane::cli
