#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Finding.h"
#include "fs/run/RunContext.h"
#include "fs/tree/PackageTree.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

// "File Only" checks the one file named; "All files in this folder" every Poser file below the folder.
enum class PathCheckMode { FileOnly, AllFiles };

// The kinds of texture-map path problem, as bits; also the order in which reports list them.
enum PathFinding : unsigned {
    kFindingUnquotedSpaces = 1u << 0,
    kFindingAbsolute = 1u << 1,
    kFindingBackslash = 1u << 2,
    kFindingTooLong = 1u << 3,
};
inline constexpr int kPathFindingKinds = 4;

// A relative texture-map path longer than this many bytes does not load on the Mac.
inline constexpr size_t kMaxRelativePathLength = 62;

// The folder mode's file patterns.
inline constexpr const char* kPathCheckPatterns = "*.CR2;*.FC2;*.LT2;*.HR2;*.PP2;*.PZ3;*.PZ2;*.CM2";

// What Check Paths learns from reading one Poser file.
struct PathFileRead final : FileVerdict {
    struct Line {
        uint32_t number = 0;
        unsigned kinds = 0;  // PathFinding bits
        std::string value;   // the value as judged
    };
    ScanEnd end = ScanEnd::EndOfInput;
    bool unreadable = false;
    std::error_code failure;  // why it was unreadable
    unsigned kinds = 0;
    std::vector<Line> lines;  // the lines with findings, in file order: kFindingsKept of each kind
    std::array<uint32_t, kPathFindingKinds> kept{};
    std::array<uint64_t, kPathFindingKinds> more{};  // the findings of each kind after those

    size_t Bytes() const override;
};

// Check Paths' judge of a file's lines, for the package tree's reads.
JudgeMaker PathJudge();

// The findings of one line of a Poser file (0 when it is not a texture-map line or its value passes).
// A texture-map line holds "textureMap", "reflectionMap" or "transparencyMap"; its value is the text
// after the line's first "Map " (after the first keyword when the line has no "Map "), without white
// space at either end and without its double quotes. When judged is given and the line has findings,
// it receives that value.
unsigned ExaminePathLine(std::string_view line, std::string* judged = nullptr);

// The rule of one kind of texture-map path problem (kFindingUnquotedSpaces -> Rule::UnquotedSpaces).
Rule PathFindingRule(int kind);

// Where a press of "&Check!" stopped before showing a result.
enum class PathCheckStop {
    None,           // the result is shown
    PathMissing,    // nothing exists at the path
    NotAFolder,     // all-files mode on something that is not a folder
    NotAFile,       // file-only mode on a folder
    NotRecognised,  // file-only mode on a file of another type
    Unreadable,     // file-only mode on a file that could not be read
};

// Everything a press of "&Check!" on the Check Paths page produces, for the page or the command line.
struct PathCheckRun {
    PathCheckStop stop = PathCheckStop::None;
    std::string report;        // the results-box text ("No absolute paths found" for an empty report)
    int32_t filesChecked = 0;  // the counters to show, when refreshCounters is set
    int32_t problemFiles = 0;
    int32_t unreadableFiles = 0;
    std::vector<UnreadableFolder> unreadableFolders;
    bool refreshCounters = false;     // the page puts the report and the counters into their boxes
    bool disableCheckButton = false;  // the path did not exist: "&Check!" stays off until the path changes
    bool cancelled = false;           // Escape during the scan or the reading
    std::vector<Notice> notices;      // every box of the press, in order
    Findings findings;                // as PathCheckResult's; the unreadable file of file-only mode too
};

// The "&Check!" handler without the page: validates the path for the mode (the "ERROR" boxes, raised
// through ctx), reads the file (file-only mode) or every Poser file below the folder (all-files mode)
// and reports the texture-map paths that are absolute, hold backslashes, are too long, or hold spaces
// without quotes. Shows the wait cursor and the progress window through ctx for the run and polls
// Escape once per line read (and once after the folder scan). When stop is not None the results box
// and the counter boxes keep what they showed. The package tree is opened from path unless one is given.
PathCheckRun RunPathCheck(const std::string& path, PathCheckMode mode, RunContext& ctx,
                          CPackageTree* tree = nullptr);

}  // namespace veltrane
