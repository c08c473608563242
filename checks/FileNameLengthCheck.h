#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Finding.h"
#include "fs/run/RunContext.h"
#include "fs/text/PathParts.h"
#include "fs/tree/PackageTree.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

// "This folder only" looks at the folder's own entries; "Entire directory" at every level below it.
enum class NameCheckMode { ThisFolderOnly, EntireDirectory };

// A name of this many characters or more is too long for the Mac file system.
inline constexpr size_t kLongNameThreshold = 32;

// Everything one File Names check produced, as its page shows it at the end of the run.
struct FileNameCheckResult {
    int32_t itemsChecked = 0;         // box 1008, "Items checked: "
    int32_t problemsFound = 0;        // box 1009, "Problems found:"
    std::string report;               // the results-box text
    std::vector<Notice> notices;      // the boxes this run raised, in order
    bool refreshCounters = false;     // the page writes the two counters into their boxes
    bool disableCheckButton = false;  // the path did not exist: "&Check!" stays off until the path changes
    bool cancelled = false;           // Escape stopped the scan early (the report covers what was found)
    std::vector<UnreadableFolder> unreadableFolders;  // named in a warning box after the run
    Findings findings;  // long names (full path and length), then the unreadable folders
};

// Runs the File Names check on path. Raises its boxes (title "Veltrane") through ctx, shows the
// progress window for a folder scan and reports the counters as they change.
// The package tree is opened from path unless one is given.
FileNameCheckResult RunFileNameCheck(const std::string& path, NameCheckMode mode, RunContext& ctx,
                                     CPackageTree* tree = nullptr);

// The name that the empty-folder outcome measures: the last component of folder without its
// trailing separator; a root ("C:\", "/") keeps its whole text.
std::string_view FolderOwnName(std::string_view folder, PathStyle style = kNativeStyle);

// One report line: "The folder '<name>' has <n> characters in its name." (or "The file ..."). The
// name is copied literally.
std::string LongNameLine(std::string_view name, size_t length, bool isFolder);

}  // namespace veltrane
