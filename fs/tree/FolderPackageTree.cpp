#include "fs/tree/FolderPackageTree.h"

#include <filesystem>
#include <utility>

#include "fs/text/PathParts.h"
#include "fs/tree/ReadAhead.h"

namespace veltrane {

namespace {

// The files of a folder, read ahead on the other threads and handed over in list order.
class FolderRun final : public CVerdictRun {
public:
    FolderRun(std::vector<std::string> files, std::vector<bool> listedRegular,
              const std::vector<JudgeMaker>& makers, RunContext& ctx, OverflowWarnings* cap)
        : m_files(std::move(files)),
          m_listedRegular(std::move(listedRegular)),
          m_ctx(ctx),
          m_cap(cap),
          m_own(ctx, cap, makers),
          m_ahead(
              m_files.size(), ctx.ReadThreads(),
              [this, makers](RunContext& readCtx) {
                  auto reader = std::make_shared<CJudgedReader>(readCtx, nullptr, makers);
                  return [this, reader](size_t index) { return reader->Read(m_files[index], Listed(index)); };
              },
              VerdictsBytes, cap) {}

    ~FolderRun() override { m_ahead.Stop(); }

    FileVerdicts Take(size_t index) override {
        std::optional<FileVerdicts> taken = m_ahead.Take(index, m_ctx, m_cap);
        if (!taken) {
            return m_own.Read(m_files[index], Listed(index));
        }
        // The boxes of a read done ahead were shown as it took them; those it only counted go with them.
        for (std::unique_ptr<FileVerdict>& verdict : *taken) {
            if (verdict && m_cap != nullptr) {
                m_cap->HoldBack(std::exchange(verdict->warningsHeldBack, 0));
            }
        }
        return std::move(*taken);
    }

private:
    bool Listed(size_t index) const { return index < m_listedRegular.size() && m_listedRegular[index]; }

    const std::vector<std::string> m_files;
    const std::vector<bool> m_listedRegular;
    RunContext& m_ctx;
    OverflowWarnings* m_cap;
    CJudgedReader m_own;               // the run's own thread reads with this
    CReadAhead<FileVerdicts> m_ahead;  // declared last: its threads read m_files
};

}  // namespace

CFolderPackageTree::CFolderPackageTree() = default;
CFolderPackageTree::~CFolderPackageTree() {
    EndScan();
}

void CFolderPackageTree::KeepListings() {
    if (!m_kept) {
        m_kept = std::make_unique<CListingCache>();
    }
}

CPackageTree::Kind CFolderPackageTree::KindOf(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) {
        return Kind::None;
    }
    std::error_code ec;
    const fs::file_status status = fs::status(ToFsPath(path), ec);
    if (!ec && fs::exists(status)) {
        return fs::is_directory(status) ? Kind::Folder : Kind::File;
    }
    const fs::file_status link = fs::symlink_status(ToFsPath(path), ec);
    return !ec && fs::is_symlink(link) ? Kind::BrokenLink : Kind::None;
}

bool CFolderPackageTree::List(const std::string& folder, const std::vector<DirEntry>*& entries,
                              std::vector<DirEntry>& scratch, std::error_code& ec) {
    CListingCache* cache = m_scan ? m_scan.get() : m_kept.get();
    if (cache) {
        return cache->List(folder, entries, ec);
    }
    entries = &scratch;
    return ListFolder(folder, scratch, ec);
}

void CFolderPackageTree::ListInto(const std::string& folder, std::vector<DirEntry>& out) {
    ListFolder(folder, out);
}

bool CFolderPackageTree::Identity(const std::string& path, FileIdentity& id) {
    CListingCache* cache = m_scan ? m_scan.get() : m_kept.get();
    return cache ? cache->Identity(path, id) : GetFileIdentity(path, id);
}

void CFolderPackageTree::BeginScan(const std::string& folder, unsigned threads) {
    EndScan();
    if (threads < 2) {
        return;
    }
    if (!m_kept) {
        m_scan = std::make_unique<CListingCache>();  // for this scan only
    }
    (m_scan ? m_scan.get() : m_kept.get())->ListAhead(folder, threads);
    m_listingAhead = true;
}

void CFolderPackageTree::EndScan() {
    if (m_listingAhead) {
        (m_scan ? m_scan.get() : m_kept.get())->StopListingAhead();
        m_listingAhead = false;
    }
    m_scan.reset();
}

CFileRecord CFolderPackageTree::RecordOf(const std::string& path) {
    return StoredRecord(path);
}

std::unique_ptr<CVerdictRun> CFolderPackageTree::ReadJudged(std::vector<std::string> files,
                                                            std::vector<JudgeMaker> makers, RunContext& ctx,
                                                            OverflowWarnings* cap,
                                                            const ReadOptions& options) {
    return std::make_unique<FolderRun>(std::move(files), options.listedRegular, makers, ctx, cap);
}

}  // namespace veltrane
