#pragma once

#include <string>
#include <vector>

#include "checks/FileNameLengthCheck.h"
#include "checks/Finding.h"
#include "checks/PackageCheck.h"
#include "checks/PathCheck.h"
#include "checks/VersionCheck.h"
#include "fs/run/RunContext.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

// Everything one combined check produced: for each tool exactly what its own run on the same path
// would have produced, with the boxes each one raised.
struct CombinedCheckRun {
    FileNameCheckResult names;  // File Names, "Entire directory"
    PathCheckRun paths;         // Check Paths, "All files in this folder"
    VersionRunResult versions;  // Version Number, "All files in this folder"
    std::vector<Notice> versionNotices;
    PackageCheckRun package;  // Package Check
    bool cancelled = false;   // Escape came during the run
};

// The findings of the four tools in the order they are reported: names, paths, versions, package.
// Each tool's run keeps its own; this copy is made only for whoever needs them in one list.
Findings CombinedFindings(const CombinedCheckRun& run);

// Runs File Names, Package Check, Check Paths and then Version Number (whose fix, when the "Files to
// Fix" question is answered OK, comes last, so that every tool judges the files as they were) on the
// folder or archive at path, over one shared package tree: each folder listed once, each Poser file
// read once (an archive opened once for its headers and once for its data). Each tool raises its own
// boxes through ctx, in that order. An Escape ends the tool that sees it as that tool's own run
// would end; the tools after it stop at their first poll. planFixes and listFindings go to Package
// Check.
CombinedCheckRun RunCombinedCheck(const std::string& path, const std::vector<std::string>& runtimes,
                                  CFileRecordArray& records, RunContext& ctx, const ReplaceHooks& hooks = {},
                                  bool planFixes = true, bool listFindings = true);

}  // namespace veltrane
