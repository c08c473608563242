#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fs/run/RunContext.h"
#include "fs/tree/FileRecord.h"

namespace veltrane {

class CPackageTree;

// Where CFileRecordArray::InsertRecord puts a record; the values are the order codes.
enum class InsertOrder {
    Append = 0,          // at the end
    DescendingName = 4,  // Check Paths
    FolderGrouped = 5,   // List Maker
};

// What CFileRecordArray::ScanFolder looks for and how it reports.
struct ScanOptions {
    std::string_view patterns = "*.*";  // ";"-separated wildcard patterns for files
    bool recurse = false;               // descend into subfolders
    InsertOrder order = InsertOrder::Append;
    bool listFolders = false;    // add a record for each subfolder too
    int32_t* counter = nullptr;  // when set, raised by one per record added
    RunContext* ctx = nullptr;   // polls and the cursor; none when null
    // The package tree the folder is in, which lists its folders (a folder of the file system, an
    // archive, a tree whose listings are kept for several scans); the scan is the same, entry for
    // entry and poll for poll. A packed tree that could not be read to its end counts as an unreadable
    // folder, and its records carry no size or times. Without one, the file system is listed.
    CPackageTree* tree = nullptr;
};

// A folder that a scan could not list (or not list to its end), and why.
struct UnreadableFolder {
    std::string path;    // as the scan composed it, without the trailing separator (a root keeps it)
    std::error_code ec;  // what the file system said
    std::string error;   // the program's file-error text for it, naming the path
    // Not a folder that failed but a link that leads out of the folder scanned, to this target: it
    // was not followed (a package's link must not take a check, or a fix, into other files).
    std::string linkTarget;
};

// A growable list of file records, filled by one scan or by AddFile calls.
//
// Ordered insertion keeps exactly the order of the described linear rules, but through an index
// (order-statistic trees for codes 4 and 5; a scan in code 5 fills per-folder runs sorted when read) while
// the array is filled by one code; the records are laid out as a plain vector the first time they are read.
class CFileRecordArray {
public:
    CFileRecordArray();
    virtual ~CFileRecordArray();
    CFileRecordArray(const CFileRecordArray&) = delete;
    CFileRecordArray& operator=(const CFileRecordArray&) = delete;

    // Inserts record by the order and returns the index at which it now stands.
    virtual int32_t InsertRecord(CFileRecord record, InsertOrder order);

    // Scans folder (ending in a separator) as the options say; see the scanner notes in
    // FileRecordArray.cpp. Returns the number of records added by this call.
    int32_t ScanFolder(const std::string& folder, const ScanOptions& options);

    // Looks up the one entry named by path and inserts its record (a default record when nothing
    // is there); returns its index.
    int32_t AddFile(const std::string& path, InsertOrder order);

    int32_t GetSize() const;
    const CFileRecord& GetAt(int32_t index) const;
    const std::vector<CFileRecord>& Records() const;
    void RemoveAll();

    // The folders the scans of this array could not list, in the order met. The scanned folder
    // itself is not among them when it does not exist or is no folder: callers check that first.
    const std::vector<UnreadableFolder>& UnreadableFolders() const { return m_unreadable; }

    // True once a scan saw an Escape request; never reset.
    bool IsCancelled() const { return m_cancelled; }

    // Whether scans fill size and times (one stat per entry). Attributes are always filled.
    // Nothing in the program reads size or times, so the checks switch this off for speed.
    void SetFillDetails(bool fill) { m_fillDetails = fill; }

private:
    struct Index;
    struct ScanState;

    int32_t ScanOne(const std::string& folder, ScanState& state);
    int32_t Descend(const std::string& sub, ScanState& state);
    void AddUnreadable(const std::string& folder, const std::error_code& ec, bool top);
    // Whether link leads out of the folder scanned; such a link is recorded and not followed.
    bool LeadsOutside(const std::string& link, const ScanState& state);
    void Materialize() const;
    int32_t InsertLiteral(CFileRecord record, InsertOrder order);
    // A scan's insertion: as InsertRecord, without working out where the record stands.
    void AddScanned(CFileRecord record, InsertOrder order);

    mutable std::vector<CFileRecord> m_records;
    mutable std::unique_ptr<Index> m_index;  // pending ordered insertions, laid out on first read
    std::vector<UnreadableFolder> m_unreadable;
    bool m_cancelled = false;
    bool m_fillDetails = true;
};

// Matches a whole entry name against a wildcard pattern: "*" any run, "?" one character, letters
// without regard to case; "*.*" matches every name, with or without a dot.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace veltrane
