#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "checks/Finding.h"
#include "fs/run/RunContext.h"
#include "fs/text/PathParts.h"
#include "fs/tree/FileRecord.h"
#include "fs/tree/PackageTree.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

// One file of the list: the folder part as the scan holds it (with its trailing separator) and the
// name part, so that folder + name is the file's path. Both view the text of the ListEntries that
// holds the entry and live as long as it (or a copy of it) does.
struct ListEntry {
    std::string_view folder;
    std::string_view name;
    bool operator==(const ListEntry&) const = default;
};

// The files of a list in list order. Their texts are kept in one block that copies share, so a list
// of a hundred thousand files makes no string of its own for each.
class ListEntries {
public:
    ListEntries() = default;
    // entries view text and nothing else.
    ListEntries(std::shared_ptr<const std::string> text, std::vector<ListEntry> entries)
        : m_text(std::move(text)), m_entries(std::move(entries)) {}

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const ListEntry& operator[](size_t index) const { return m_entries[index]; }
    std::vector<ListEntry>::const_iterator begin() const { return m_entries.begin(); }
    std::vector<ListEntry>::const_iterator end() const { return m_entries.end(); }
    bool operator==(const ListEntries& other) const { return m_entries == other.m_entries; }

private:
    std::shared_ptr<const std::string> m_text;
    std::vector<ListEntry> m_entries;
};

// Everything one List Maker scan produced.
struct FileListResult {
    std::string listText;         // the packing list, "\r\n" line ends, no line end after the last line
    int32_t foldersScanned = 0;   // box 1008: folders that hold files directly (one group each)
    int32_t filesListed = 0;      // box 1009: the scan's record count
    std::string basePrefix;       // cut from the front of every folder heading
    std::vector<Notice> notices;  // the boxes this run raised, in order
    bool saveEnabled = false;     // "Save &List" is usable: the list is not empty
    bool cancelled = false;       // Escape stopped the scan early; the list covers what was found
    std::vector<UnreadableFolder> unreadableFolders;  // named in a warning box, never in the list
    ListEntries entries;                              // the files in list order
    Findings findings;                                // the unreadable folders
};

// The list text of a record sequence and the number of groups in it.
struct FileListText {
    std::string text;
    int32_t groups = 0;
    ListEntries entries;  // the files in list order
};

// The part of scanFolder cut from the front of every heading: scanFolder without its trailing
// separators and its last component ("C:\Content\MyProduct\" -> "C:\Content"); empty for a root.
std::string ListBasePrefix(std::string_view scanFolder, PathStyle style = kNativeStyle);

// Builds the list from records as the scanner stored them under the folder-grouped order: they
// are read from the last to the first, each run of records with the same folder part forms a group
// headed by ".." + that folder part less the first basePrefix.size() characters, and each file
// line is three spaces + the name part.
FileListText BuildListText(const std::vector<CFileRecord>& records, std::string_view basePrefix,
                           PathStyle style = kNativeStyle);

// Scans the folder at path (every file at every level) and builds its list; raises "Selected folder
// was empty!" (title "Veltrane", no icon) when there is nothing to list.
// The package tree is opened from path unless one is given.
FileListResult RunFileListCheck(const std::string& path, RunContext& ctx, CPackageTree* tree = nullptr);

// Writes text to path byte for byte, replacing an existing file atomically: a failed save leaves
// the file as it was.
bool SaveFileList(const std::string& path, std::string_view text, std::error_code& ec);

// The outcome of pressing "Save &List" with a chosen file.
struct FileListSaveResult {
    bool saved = false;           // the file now holds the list
    bool saveEnabled = false;     // "Save &List" stays usable afterwards (only after a failed write)
    std::vector<Notice> notices;  // the boxes this save raised
};

// Saves the list text to path with the page's messages: "Can't output a file, there are no files
// to list!" for an empty list (nothing is written), the file-error text naming path when the write
// fails (stop icon). Both carry the title "Veltrane".
FileListSaveResult SaveFileListWithNotices(const std::string& path, std::string_view text, RunContext& ctx);

}  // namespace veltrane
