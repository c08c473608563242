#pragma once

#include <string>
#include <vector>

#include "checks/Finding.h"
#include "fs/run/RunContext.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

inline constexpr const char* kUnreadableFoldersHeader = "These folders could not be read:\r\n";
inline constexpr const char* kLinksOutsideHeader =
    "These links lead out of the package and were not followed:\r\n";

// The report section of Check Paths and Version Number: the header, one path per line, an empty line.
// Empty when every folder was read.
std::string UnreadableFoldersSection(const std::vector<UnreadableFolder>& folders);

// File Names and List Maker name the folders in one warning box (title "Veltrane") after the run;
// nothing when every folder was read.
void NotifyUnreadableFolders(RunContext& ctx, const std::vector<UnreadableFolder>& folders);

// One unreadable-folder finding per folder, with the file-error text, in the order given.
void AddUnreadableFolders(Findings& findings, const std::vector<UnreadableFolder>& folders);

}  // namespace veltrane
