#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "checks/Finding.h"
#include "checks/KeptFindings.h"
#include "checks/LibraryReference.h"
#include "checks/PackageReport.h"
#include "checks/ReferenceFix.h"
#include "checks/ToolTexts.h"
#include "fs/run/RunContext.h"
#include "fs/tree/PackageTree.h"

namespace veltrane {

inline constexpr const char* kPackageFilesLabel = kPackageTexts.firstCounter;
inline constexpr const char* kPackageProblemsLabel = kPackageTexts.secondCounter;

// What Package Check learns from reading one library file through its compression.
struct PackageFileRead final : FileVerdict {
    std::optional<std::error_code> openError;  // the file would not open, and why
    bool compressed = false;                   // the content is gzip
    ScanEnd end = ScanEnd::EndOfInput;
    bool readError = false;
    bool damaged = false;     // the compressed data was damaged or cut short
    bool blank = true;        // not one line: the file is empty (or holds line ends only)
    std::string sourceError;  // a packed entry that could not be unpacked: why
    // One reference and the lines that hold it: the first kFindingsKept of them, and how many in all.
    struct Reference {
        LibraryReference reference;
        std::vector<uint32_t> lines;
        uint64_t count = 0;
    };
    std::vector<Reference> references;  // each different reference once, in the order first met
    // References met after the file's different references filled what one read may hold: not
    // judged, and said so. Only a file made to exhaust memory gets here.
    uint64_t unjudged = 0;
    uint32_t unjudgedFrom = 0;  // the line of the first of them

    size_t Bytes() const override;
};

// Package Check's judge of a library file's lines, for the package tree's reads.
JudgeMaker PackageJudge();

// Where a press of "&Check!" on the Package Check page stopped before showing a result.
enum class PackageCheckStop {
    None,            // the result is shown
    PathMissing,     // nothing exists at the path
    NotAFolder,      // the path is not a folder
    RuntimeMissing,  // an extra runtime to look in is not a folder
};

// Everything a press of "&Check!" on the Package Check page produces, for the page or the command line.
struct PackageCheckRun {
    PackageCheckStop stop = PackageCheckStop::None;
    std::string report;         // the results-box text ("No Problems found!" when there are none)
    int32_t filesChecked = 0;   // "Files checked: ": library files read
    int32_t problemsFound = 0;  // "Problems found:": findings that are problems
    bool refreshCounters = false;
    bool disableCheckButton = false;  // the path did not exist
    bool cancelled = false;
    std::vector<Notice> notices;
    Findings findings;  // in report order
    // A run asked not to list its findings keeps them here instead, and leaves findings and report
    // empty: whoever prints it makes both from here as it prints.
    std::shared_ptr<const KeptFindings> kept;
    // What a fix would make of the references of each library file that has something to change.
    std::vector<FileRewrites> rewrites;
    bool readOnly = false;  // the package cannot be rewritten (an archive's): checked, never fixed
};

// Checks the package at path (the folder that holds Runtime, or a Runtime folder itself): every
// reference in its library files must name a file of the package (or of one of the runtimes, which
// are Poser installations or their Runtime folders), spelt in the case it is stored in, inside
// Runtime and relative; compressed files are reported and read through their compression; files
// under Runtime's textures and Geometries that nothing refers to are listed for information.
// Validates the paths first (the "ERROR" boxes, raised through ctx). Shows the wait cursor and the
// progress window for the run and polls Escape once per folder entry and once per line read.
// The package tree is opened from path unless one is given. Without planFixes the run's rewrites stay
// empty: a run that will not be fixed does not work out what a fix would write. Without listFindings the
// findings stay in the run's kept findings.
PackageCheckRun RunPackageCheck(const std::string& path, const std::vector<std::string>& runtimes,
                                RunContext& ctx, CPackageTree* tree = nullptr, bool planFixes = true,
                                bool listFindings = true);

}  // namespace veltrane
