#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Finding.h"
#include "checks/ToolTexts.h"
#include "checks/VersionFix.h"
#include "checks/VersionLine.h"
#include "fs/run/RunContext.h"
#include "fs/tree/PackageTree.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

// "File Only" reads the one file named by the path; "All files in this folder" reads every Poser
// library file below the folder, subfolders included.
enum class VersionCheckMode { File, Folder };

enum class VersionCheckOutcome {
    Checked,         // the files were read (possibly cut short by Escape)
    PathIsFolder,    // file mode, the path names a folder
    PathMissing,     // nothing exists at the path
    NotAFolder,      // folder mode, the path names a file
    FileUnreadable,  // file mode, the file could not be opened or read to its end
};

// Texts of the Version Number tool, shared by the page and the command line.
inline constexpr const char* kVersionPathIsFolderText = "Path specified points to a folder.  ";
inline constexpr const char* kVersionQuestionTitle = "Files to Fix";
inline constexpr const char* kVersionQuestionText =
    "There are one or more files to fix.\nYou won't be able to cancel while the files are being "
    "fixed...\n\nContinue?";
inline constexpr const char* kVersionArchiveNotFixedText =
    "Archives are checked, not fixed: unpack it to fix its files.";
inline constexpr const char* kVersionNothingToFix = "No Files To Fix!";
inline constexpr const char* kVersionFlaggedHeader =
    "These Files contain a version number higher than 4.0:\r\n";
inline constexpr const char* kVersionFixedHeader = "These Files have been fixed:\r\n";

// The Poser library files that folder mode reads.
inline constexpr const char* kVersionPatterns = "*.cm2;*.pz2;*.lt2;*.pp2;*.cr2;*.fc2;*.hr2;*.pz3;*.hd2";

struct VersionCheckResult {
    VersionCheckOutcome outcome = VersionCheckOutcome::Checked;
    int32_t filesChecked = 0;   // files whose lines were read
    int32_t problemsFound = 0;  // files that need fixing, one record each in the record list
    std::string flaggedText;    // the path of each file that needs fixing + "\r\n", in record order
    std::vector<std::string> unreadableFiles;         // folder mode: files that could not be read
    std::vector<UnreadableFolder> unreadableFolders;  // folder mode: folders that could not be listed
    bool cancelled = false;                           // Escape cut the scan or the reading short
    Findings flagged;       // one version finding per file that needs fixing, in record order
    Findings unreadable;    // one unreadable-file finding per file that could not be read
    bool readOnly = false;  // the files cannot be rewritten (an archive's): checked, never fixed
};

// What Version Number learns from reading one Poser file.
enum class VersionFileVerdict { Clean, NeedsFix, Escaped, ReadError };
struct VersionFileRead {
    VersionFileVerdict verdict = VersionFileVerdict::Clean;
    uint32_t line = 0;  // NeedsFix: where the deciding line begins
    std::string text;   // NeedsFix: the deciding line, whole
};

// Version Number's judge of a file's lines, for the package tree's reads: it reads until the first line
// that needs fixing, the pieces of a line cut at the reader's limit judged together.
JudgeMaker VersionJudge();

// Empties records, reads the file or the folder's Poser files and adds one record (append order)
// for each file that needs fixing. Polls Escape once per line read and reports every counter
// change through ctx.CountersChanged.
// The package tree is opened from path unless one is given.
VersionCheckResult CheckVersionNumbers(const std::string& path, VersionCheckMode mode,
                                       CFileRecordArray& records, RunContext& ctx,
                                       CPackageTree* tree = nullptr);

// The "ERROR" box text for an outcome other than Checked.
const char* VersionOutcomeText(VersionCheckOutcome outcome);

// Everything one press of "&Check!" produced.
struct VersionRunResult {
    VersionCheckResult check;
    bool hasReport = false;   // false when the run stopped at an "ERROR" box
    std::string report;       // the results-box text
    bool asked = false;       // the "Files to Fix" question was shown
    bool fixRan = false;      // it was answered OK and the fix ran
    bool fixRefused = false;  // files of an archive needed fixing: the box said why they are not fixed
    VersionFixResult fix;
    // In report order: the flagged files (fixed or not), the unreadable files, the unreadable folders.
    Findings findings;
};

// The whole "&Check!" sequence: counters to 0, progress window, the check, the "ERROR" box or the
// report, and for flagged files the "Files to Fix" question and the fix with its failure boxes.
VersionRunResult RunVersionCheck(const std::string& path, VersionCheckMode mode, CFileRecordArray& records,
                                 RunContext& ctx, const ReplaceHooks& hooks = {},
                                 CPackageTree* tree = nullptr);

}  // namespace veltrane
