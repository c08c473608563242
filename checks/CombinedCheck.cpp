// The combined check: the four tools run one after another over one shared package tree, which
// lists each folder once (a scan polls once per entry whatever its patterns, so every tool's scan
// meets exactly the folders, entries and polls its own walk would) and reads each Poser file once,
// the first time any tool asks for it, through the judges of all three reading tools; each tool then
// takes its own verdict (and the line-length warnings of it) in its own order.

#include "checks/CombinedCheck.h"

#include "fs/tree/SharedPackageTree.h"

namespace veltrane {

namespace {

// What each tool sees of the caller's context. Boxes go through to the caller (and are recorded here
// too, so each tool's boxes stay apart); counters stay here, as they belong to the tool's own page. An
// Escape seen by one tool is seen by every later tool at its first poll.
class ToolContext : public RunContext {
public:
    ToolContext(RunContext& parent, bool& cancelled) : m_parent(parent), m_cancelled(cancelled) {
        m_pendingEscape = cancelled;
        SetReadThreads(parent.ReadThreads());
    }

    bool PollEscape() override {
        if (m_pendingEscape) {
            m_pendingEscape = false;
            return true;
        }
        if (m_parent.PollEscape()) {
            m_cancelled = true;
            return true;
        }
        return false;
    }
    uint64_t PollEscapeRun(uint64_t count) override {
        if (count > 0 && m_pendingEscape) {
            m_pendingEscape = false;
            return 1;
        }
        const uint64_t escaped = m_parent.PollEscapeRun(count);
        if (escaped != 0) {
            m_cancelled = true;
        }
        return escaped;
    }
    void ItemCounted(int32_t total) override { m_parent.ItemCounted(total); }
    void FilesRead(uint64_t done, uint64_t total) override { m_parent.FilesRead(done, total); }
    void BeginWait() override { m_parent.BeginWait(); }
    void RestoreWait() override { m_parent.RestoreWait(); }
    void EndWait() override { m_parent.EndWait(); }
    void ShowProgress() override { m_parent.ShowProgress(); }
    void CloseProgress() override { m_parent.CloseProgress(); }

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override {
        return m_parent.Notify(notice.kind, notice.title, notice.text, notice.buttons);
    }

private:
    RunContext& m_parent;
    bool& m_cancelled;
    bool m_pendingEscape = false;
};

}  // namespace

CombinedCheckRun RunCombinedCheck(const std::string& path, const std::vector<std::string>& runtimes,
                                  CFileRecordArray& records, RunContext& ctx, const ReplaceHooks& hooks,
                                  bool planFixes, bool listFindings) {
    CombinedCheckRun run;
    // Package Check reads first: it asks for every library file and takes its verdict of each read at
    // once, so the references of a file are held only while that file is being judged.
    CSharedPackageTree tree(CPackageTree::Open(path), {PackageJudge(), PathJudge(), VersionJudge()},
                            run.cancelled);
    {
        ToolContext names(ctx, run.cancelled);
        run.names = RunFileNameCheck(path, NameCheckMode::EntireDirectory, names, &tree);
    }
    {
        ToolContext package(ctx, run.cancelled);
        run.package = RunPackageCheck(path, runtimes, package, &tree, planFixes, listFindings);
    }
    {
        ToolContext paths(ctx, run.cancelled);
        run.paths = RunPathCheck(path, PathCheckMode::AllFiles, paths, &tree);
    }
    {
        ToolContext versions(ctx, run.cancelled);
        run.versions = RunVersionCheck(path, VersionCheckMode::Folder, records, versions, hooks, &tree);
        run.versionNotices = versions.Notices();
    }
    return run;
}

Findings CombinedFindings(const CombinedCheckRun& run) {
    Findings all;
    all.reserve(run.names.findings.size() + run.paths.findings.size() + run.versions.findings.size() +
                run.package.findings.size());
    for (const Findings* some :
         {&run.names.findings, &run.paths.findings, &run.versions.findings, &run.package.findings}) {
        all.insert(all.end(), some->begin(), some->end());
    }
    return all;
}

}  // namespace veltrane
