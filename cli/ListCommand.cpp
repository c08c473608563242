#include "checks/FileListBuilder.h"
#include "checks/ToolTexts.h"
#include "cli/CliRun.h"
#include "fs/tree/PackageTree.h"

namespace veltrane::cli {

CliRun RunListCommand(const std::string& path, const std::optional<std::string>& output, CliContext& ctx) {
    CliRun run = StartRun("list", std::nullopt, path, kListTexts);
    // The window shows a path that does not exist as an empty list; a script must tell a typo from
    // an empty folder, so here it is the missing-path error of the other tools.
    const std::unique_ptr<CPackageTree> tree = CPackageTree::Open(path);
    const CPackageTree::Kind kind = tree->KindOf(path);
    if (kind == CPackageTree::Kind::None || kind == CPackageTree::Kind::BrokenLink) {
        const size_t noticesBefore = ctx.Notices().size();
        ctx.Notify(NoticeKind::Error, kErrorTitle, kPathMissingText);
        run.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                           ctx.Notices().end());
        run.findings.emplace();
        run.entries.emplace();
        run.status = kExitUsage;
        run.stoppedBeforeChecking = true;
        return run;
    }

    FileListResult list = RunFileListCheck(path, ctx, tree.get());  // an archive is opened once
    run.counters[0] = list.foldersScanned;
    run.counters[1] = list.filesListed;
    run.report = std::move(list.listText);
    run.notices = std::move(list.notices);
    run.cancelled = list.cancelled;
    run.findings = std::move(list.findings);
    run.entries = std::move(list.entries);

    if (run.cancelled) {
        // A cancelled scan lists only part of the folder: show it, but never save it as the list.
        run.status = kExitCancelled;
        return run;
    }
    // A list that leaves out folders it could not read is no clean result, saved or not.
    run.status = run.report.empty() || !list.unreadableFolders.empty() ? kExitFindings : kExitClean;
    if (output && *output == "-") {
        // Standard output is the file: it carries the list byte for byte instead of the report. An
        // empty list raises the save's box and writes nothing.
        if (run.report.empty()) {
            FileListSaveResult save = SaveFileListWithNotices(*output, run.report, ctx);
            run.notices.insert(run.notices.end(), save.notices.begin(), save.notices.end());
        } else {
            run.listToStdout = true;
            run.saved = *output;
        }
        return run;
    }
    if (output) {
        FileListSaveResult save = SaveFileListWithNotices(*output, run.report, ctx);
        run.notices.insert(run.notices.end(), save.notices.begin(), save.notices.end());
        if (save.saved) {
            run.saved = *output;
        } else if (!run.report.empty()) {
            run.status = kExitFileError;
        }
    }
    return run;
}

}  // namespace veltrane::cli
