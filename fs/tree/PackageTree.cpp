#include "fs/tree/PackageTree.h"

#include "fs/read/LineReader.h"
#include "fs/tree/ArchivePackageTree.h"
#include "fs/tree/FolderPackageTree.h"

namespace veltrane {

std::unique_ptr<CPackageTree> CPackageTree::Open(const std::string& path) {
    auto archive = std::make_unique<CArchiveTree>();
    if (!path.empty() && archive->OpenFor(path)) {
        return std::make_unique<CArchivePackageTree>(std::move(archive));
    }
    return std::make_unique<CFolderPackageTree>();
}

const std::string& CPackageTree::ArchiveFile() const {
    static const std::string kNone;
    return kNone;
}

const std::vector<ArchiveEntry>& CPackageTree::Entries() const {
    static const std::vector<ArchiveEntry> kNone;
    return kNone;
}

std::string CPackageTree::EntryPath(const ArchiveEntry& /*entry*/) const {
    return {};
}

const std::string& CPackageTree::Damage() const {
    return ArchiveFile();  // empty
}

const ArchiveDamageNotes& CPackageTree::DamageNotes() const {
    static const ArchiveDamageNotes kNone;
    return kNone;
}

std::unique_ptr<CTreeReads> CPackageTree::Read(std::vector<std::string> files, JudgeMaker judge,
                                               RunContext& ctx, OverflowWarnings* cap,
                                               const ReadOptions& options) {
    const size_t count = files.size();
    return std::make_unique<CTreeReads>(ReadJudged(std::move(files), {std::move(judge)}, ctx, cap, options),
                                        count, ctx);
}

void RaiseKeptWarnings(RunContext& ctx, OverflowWarnings* cap, FileVerdict& verdict) {
    for (const uint32_t line : verdict.warnings) {
        if (cap == nullptr || cap->Admit()) {
            // The tree's reads cut lines where the line reader does.
            ctx.Notify(NoticeKind::Warning, kOverflowWarningTitle,
                       OverflowWarningText(line, kLineReaderCapacity));
        }
    }
    if (cap != nullptr) {
        cap->HoldBack(verdict.warningsHeldBack);
    }
    verdict.warnings.clear();
    verdict.warningsHeldBack = 0;
}

}  // namespace veltrane
