#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/tree/PackageTree.h"

namespace veltrane {

// One package tree shared by several tools that run one after another: each folder is listed once,
// and each file is read once, the first time any tool asks for it, through the judges of all of
// them; each tool then takes its own verdict (and raises the line-length warnings of it) when it
// asks. A file a judge could not be given from the shared read (the bytes as stored of a compressed
// file, a file that would not open) is read again for that tool alone.
//
// The reads poll the context of the tool that asks. Once escaped is set (a tool saw Escape), nothing
// more is read: every tool meets the Escape at the file it asks for.
class CSharedPackageTree final : public CPackageTree {
public:
    CSharedPackageTree(std::unique_ptr<CPackageTree> base, std::vector<JudgeMaker> judges,
                       const bool& escaped);
    ~CSharedPackageTree() override;

    Kind KindOf(const std::string& path) override { return m_base->KindOf(path); }
    bool List(const std::string& folder, const std::vector<DirEntry>*& entries,
              std::vector<DirEntry>& scratch, std::error_code& ec) override {
        return m_base->List(folder, entries, scratch, ec);
    }
    void ListInto(const std::string& folder, std::vector<DirEntry>& out) override {
        m_base->ListInto(folder, out);
    }
    bool Identity(const std::string& path, FileIdentity& id) override { return m_base->Identity(path, id); }
    void BeginScan(const std::string& folder, unsigned threads) override {
        m_base->BeginScan(folder, threads);
    }
    void EndScan() override { m_base->EndScan(); }
    bool HasDetails() const override { return m_base->HasDetails(); }
    CFileRecord RecordOf(const std::string& path) override { return m_base->RecordOf(path); }
    bool CanRewrite() const override { return m_base->CanRewrite(); }
    const std::string& ArchiveFile() const override { return m_base->ArchiveFile(); }
    const std::vector<ArchiveEntry>& Entries() const override { return m_base->Entries(); }
    std::string EntryPath(const ArchiveEntry& entry) const override { return m_base->EntryPath(entry); }
    std::vector<std::pair<std::string, std::string>> CaseCollisions() const override {
        return m_base->CaseCollisions();
    }
    const std::string& Damage() const override { return m_base->Damage(); }
    std::string DamageReport() const override { return m_base->DamageReport(); }
    const ArchiveDamageNotes& DamageNotes() const override { return m_base->DamageNotes(); }

    std::unique_ptr<CVerdictRun> ReadJudged(std::vector<std::string> files, std::vector<JudgeMaker> makers,
                                            RunContext& ctx, OverflowWarnings* cap,
                                            const ReadOptions& options) override {
        return m_base->ReadJudged(std::move(files), std::move(makers), ctx, cap, options);
    }
    std::unique_ptr<CTreeReads> Read(std::vector<std::string> files, JudgeMaker judge, RunContext& ctx,
                                     OverflowWarnings* cap, const ReadOptions& options = {}) override;
    std::unique_ptr<CHeadReads> ReadHeads(std::vector<std::string> files, size_t size,
                                          HeadReadOptions options) override {
        return m_base->ReadHeads(std::move(files), size, std::move(options));
    }

private:
    class SharedRun;

    std::unique_ptr<CPackageTree> m_base;
    std::vector<JudgeMaker> m_judges;
    std::vector<std::string> m_names;  // each judge's name
    const bool& m_escaped;
    // The verdicts of the files read so far that their tools have not taken yet, by file.
    std::unordered_map<std::string, FileVerdicts> m_kept;
};

}  // namespace veltrane
