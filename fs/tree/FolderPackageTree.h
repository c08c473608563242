#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fs/tree/ListingCache.h"
#include "fs/tree/PackageTree.h"

namespace veltrane {

// A package that is a folder of the file system. A deep scan has its folders listed ahead on other
// threads, and the files of a read are read ahead on them (CReadAhead); with KeepListings, every
// folder is listed once for the tree's whole life, however many scans walk it.
class CFolderPackageTree final : public CPackageTree {
public:
    CFolderPackageTree();
    ~CFolderPackageTree() override;

    void KeepListings() override;

    Kind KindOf(const std::string& path) override;
    bool List(const std::string& folder, const std::vector<DirEntry>*& entries,
              std::vector<DirEntry>& scratch, std::error_code& ec) override;
    void ListInto(const std::string& folder, std::vector<DirEntry>& out) override;
    bool Identity(const std::string& path, FileIdentity& id) override;
    void BeginScan(const std::string& folder, unsigned threads) override;
    void EndScan() override;
    bool HasDetails() const override { return true; }
    CFileRecord RecordOf(const std::string& path) override;
    bool CanRewrite() const override { return true; }

    std::unique_ptr<CVerdictRun> ReadJudged(std::vector<std::string> files, std::vector<JudgeMaker> makers,
                                            RunContext& ctx, OverflowWarnings* cap,
                                            const ReadOptions& options) override;

private:
    std::unique_ptr<CListingCache> m_kept;  // KeepListings
    std::unique_ptr<CListingCache> m_scan;  // the listings of the deep scan under way
    bool m_listingAhead = false;
};

}  // namespace veltrane
