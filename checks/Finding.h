#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// Every kind of problem (and of information) that a tool reports, for scripts as well as for the
// report text. The order is the order in which reports list them.
enum class Rule {
    LongName,
    UnquotedSpaces,
    AbsolutePath,
    Backslash,
    TooLong,
    Version,
    UnreadableFile,
    UnreadableFolder,
    LinkOutside,  // a link that leads out of the package: not followed
    MissingFile,
    CaseMismatch,
    OutsideRuntime,
    AnyPlatformAbsolute,
    Compressed,
    NoRuntime,
    Unreferenced,
    // What a store's tester sends a package back for (see checks/PackageRules.h).
    UnportableName,    // a name Windows cannot create, or that is not valid UTF-8
    NonAsciiName,      // a name with characters outside ASCII
    EmptyFile,         // a library file without a line, a zero-byte texture or geometry
    MissingThumbnail,  // a library file without its PNG thumbnail beside it
    ThumbnailSize,     // a thumbnail that is not a 91 x 91 PNG
    ImageMismatch,     // a texture whose content is not the image its extension says
    NoReadme,          // the package holds no readme
    // Only an archive has these: its layout and entries as they would unpack.
    ArchiveLayout,    // the top level does not hold Runtime (alone, but for loose files beside it)
    JunkEntry,        // __MACOSX, .DS_Store, Thumbs.db, desktop.ini, ._name (in a folder too)
    BackslashEntry,   // a stored name separates its folders with backslashes
    UnsafeEntry,      // an absolute name, or one that climbs out with ".."; never unpacked
    CaseCollision,    // two entries that differ only in letter case (in a folder too)
    NestedArchive,    // a file packed as an archive itself: its contents are not checked
    UnreadableEntry,  // encrypted, or compressed in a way that cannot be read, or its data damaged
    DamagedArchive,   // the archive cannot be read to its end, or would not unpack as it lists
};

// True for the rules that only an archive has.
bool IsArchiveRule(Rule rule);

// The rule's name in machine-readable output: "long-name", "missing-file", ...
const char* RuleName(Rule rule);

// False for rules that inform only (unreferenced): they are listed but not counted as problems.
bool IsProblem(Rule rule);

// How much a finding matters: an error, where Poser will fail to load something (or a tool could not
// look); a warning, where a store sends the package back or users see it degraded; information.
enum class Severity { Error, Warning, Info };
Severity SeverityOf(Rule rule);
// "error", "warning", "info".
const char* SeverityName(Severity severity);

// The members a finding of a rule carries, as bits, in the order printers write them.
enum FindingField : unsigned {
    kFieldPath = 1u << 0,      // the entry the finding is about
    kFieldFile = 1u << 1,      // the library file that holds the line (kept in Finding::path)
    kFieldLine = 1u << 2,      // line number as the line reader counts it
    kFieldLength = 1u << 3,    // name length
    kFieldKeyword = 1u << 4,   // first word of the line
    kFieldValue = 1u << 5,     // the value as judged
    kFieldText = 1u << 6,      // the whole line
    kFieldFixed = 1u << 7,     // whether a fix rewrote the line
    kFieldResolved = 1u << 8,  // what the reference led to, or null
    kFieldError = 1u << 9,     // the file-error text
};
unsigned FindingFields(Rule rule);

// One problem (or piece of information) found by a tool: plain data, from which both the report
// text and the machine-readable output are made. Members a rule does not carry stay empty.
struct Finding {
    Rule rule = Rule::MissingFile;
    std::string path;  // the entry, or for a line finding the library file
    uint32_t line = 0;
    uint32_t length = 0;
    std::string keyword;
    std::string value;
    std::string text;
    bool fixed = false;
    std::optional<std::string> resolved;
    std::string error;
    // The findings of its rule in its file after this one, counted but not kept (see kFindingsKept).
    uint64_t more = 0;

    bool operator==(const Finding&) const = default;
};

using Findings = std::vector<Finding>;

// A file's findings of one rule are kept up to this many; the rest are only counted, on the last one
// kept, so that a run's memory follows the number of files and not what a hostile file repeats.
inline constexpr uint32_t kFindingsKept = 100;

}  // namespace veltrane
