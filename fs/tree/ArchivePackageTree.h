#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fs/tree/ArchiveSource.h"
#include "fs/tree/PackageTree.h"

namespace veltrane {

struct ArchiveHeadsRequest;

// A package packed in an archive (or a folder inside one), walked as the tree it unpacks to. Its
// headers were read when it was opened; a read streams the wanted entries in one pass in archive
// order and hands their verdicts over in the order asked. Its files cannot be rewritten.
class CArchivePackageTree final : public CPackageTree {
public:
    explicit CArchivePackageTree(std::unique_ptr<CArchiveTree> archive) : m_archive(std::move(archive)) {}

    Kind KindOf(const std::string& path) override;
    bool List(const std::string& folder, const std::vector<DirEntry>*& entries,
              std::vector<DirEntry>& scratch, std::error_code& ec) override;
    void ListInto(const std::string& folder, std::vector<DirEntry>& out) override;
    bool Identity(const std::string& /*path*/, FileIdentity& /*id*/) override { return false; }  // no links
    bool HasDetails() const override { return false; }
    CFileRecord RecordOf(const std::string& path) override { return CFileRecord(path); }
    bool CanRewrite() const override { return false; }

    const std::string& ArchiveFile() const override { return m_archive->ArchiveFile(); }
    const std::vector<ArchiveEntry>& Entries() const override { return m_archive->Entries(); }
    std::string EntryPath(const ArchiveEntry& entry) const override { return m_archive->PathOf(entry); }
    std::vector<std::pair<std::string, std::string>> CaseCollisions() const override {
        return m_archive->CaseCollisions();
    }
    const std::string& Damage() const override { return m_archive->Damage(); }
    std::string DamageReport() const override { return m_archive->DamageReport(); }
    const ArchiveDamageNotes& DamageNotes() const override { return m_archive->DamageNotes(); }

    std::unique_ptr<CVerdictRun> ReadJudged(std::vector<std::string> files, std::vector<JudgeMaker> makers,
                                            RunContext& ctx, OverflowWarnings* cap,
                                            const ReadOptions& options) override;
    // Read along with the next read's pass through the archive (a run that asks for heads and then
    // reads its files goes through the archive once), or else in a pass of their own when the first
    // is taken.
    std::unique_ptr<CHeadReads> ReadHeads(std::vector<std::string> files, size_t size,
                                          HeadReadOptions options) override;

private:
    std::unique_ptr<CArchiveTree> m_archive;
    std::weak_ptr<ArchiveHeadsRequest> m_pendingHeads;  // the last heads asked for
};

}  // namespace veltrane
