#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fs/run/OverflowWarnings.h"
#include "fs/run/RunContext.h"
#include "fs/tree/ArchiveEntry.h"
#include "fs/tree/DirectoryListing.h"
#include "fs/tree/FileHeads.h"
#include "fs/tree/FileJudge.h"
#include "fs/tree/JudgedReader.h"
#include "fs/tree/TreeReads.h"

namespace veltrane {

// A package as every tool sees it: a folder of the file system, an archive (or a folder inside one),
// or one of these shared by several tools. Opened once per path; it alone tells a folder from an
// archive. It lists folders for the scanner (CFileRecordArray::ScanFolder with ScanOptions::tree),
// and reads files through the tools' judges.
class CPackageTree {
public:
    enum class Kind {
        None,        // nothing at the path
        Folder,      // a folder (a link to one included)
        File,        // anything else that is there
        BrokenLink,  // a link that leads nowhere (some tools take it for a file)
    };

    // The tree that path leads into: the archive it names or leads through, else the file system.
    static std::unique_ptr<CPackageTree> Open(const std::string& path);

    virtual ~CPackageTree() = default;

    virtual Kind KindOf(const std::string& path) = 0;

    // Lists folder (ending in a separator) for the scanner: false, with ec, when it could not be listed
    // whole. The entries are in scratch or held by the tree, and stay valid until the next call.
    virtual bool List(const std::string& folder, const std::vector<DirEntry>*& entries,
                      std::vector<DirEntry>& scratch, std::error_code& ec) = 0;
    // A listing for look-ups by name; a folder that cannot be listed holds nothing.
    virtual void ListInto(const std::string& folder, std::vector<DirEntry>& out) = 0;
    // The identity of a folder, for the scanner's guard against link loops; false when it has none.
    virtual bool Identity(const std::string& path, FileIdentity& id) = 0;
    // A deep scan of folder begins (threads read for it) and ends.
    virtual void BeginScan(const std::string& /*folder*/, unsigned /*threads*/) {}
    virtual void EndScan() {}
    // Keeps every listing for the tree's whole life (a tree shared by several tools' scans).
    virtual void KeepListings() {}
    // Whether the scanner can ask the file system for sizes and times.
    virtual bool HasDetails() const = 0;
    // A record of the file at path, as the file system describes it where it can.
    virtual CFileRecord RecordOf(const std::string& path) = 0;
    // Whether its files can be rewritten in place (a fix); an archive's cannot.
    virtual bool CanRewrite() const = 0;

    // A packed tree: the archive file ("" for a folder), its entries in archive order, the path each
    // unpacks to, the pairs that unpack onto one another where letter case does not count (later,
    // earlier), and its damage: what stopped its reading part way, or makes it unpack otherwise than
    // it lists (empty when nothing does), in one line, as a report, and note by note.
    virtual const std::string& ArchiveFile() const;
    virtual const std::vector<ArchiveEntry>& Entries() const;
    virtual std::string EntryPath(const ArchiveEntry& entry) const;
    virtual std::vector<std::pair<std::string, std::string>> CaseCollisions() const { return {}; }
    virtual const std::string& Damage() const;
    virtual std::string DamageReport() const { return {}; }
    virtual const ArchiveDamageNotes& DamageNotes() const;

    // Reads files (in the order given) through the judges that makers make, one verdict per judge.
    // cap is the run's cap on line-length warnings, for a read with one judge.
    virtual std::unique_ptr<CVerdictRun> ReadJudged(std::vector<std::string> files,
                                                    std::vector<JudgeMaker> makers, RunContext& ctx,
                                                    OverflowWarnings* cap, const ReadOptions& options) = 0;

    // A tool's read: files through its judge, polling ctx, warnings under cap.
    virtual std::unique_ptr<CTreeReads> Read(std::vector<std::string> files, JudgeMaker judge,
                                             RunContext& ctx, OverflowWarnings* cap,
                                             const ReadOptions& options = {});

    // The first size bytes (at most) of each file, in list order; threads as ReadThreads says.
    virtual std::unique_ptr<CHeadReads> ReadHeads(std::vector<std::string> files, size_t size,
                                                  HeadReadOptions options) {
        return ReadFolderHeads(std::move(files), size, std::move(options));
    }
};

// Raises the line-length warnings a read kept for a verdict through ctx, as the tool's own read would
// have, and clears them: each one the run's cap admits (every one without a cap) is shown, the rest,
// and those the read only counted, are counted for its closing box.
void RaiseKeptWarnings(RunContext& ctx, OverflowWarnings* cap, FileVerdict& verdict);

}  // namespace veltrane
