#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "checks/FileRewrite.h"
#include "checks/Finding.h"
#include "checks/LibraryReference.h"
#include "fs/run/RunContext.h"
#include "fs/write/SafeReplace.h"

namespace veltrane {

struct PackageCheckRun;

// Texts of the reference fix, shared by the page and the command line.
inline constexpr const char* kReferenceFixTitle = "Fix References";
inline constexpr const char* kReferenceFixQuestion =
    "These references will be rewritten to the files the package holds; every file changed keeps its "
    "previous content as a .old backup beside it.\r\n\r\n";
inline constexpr const char* kReferencesFixedHeader = "These references have been fixed:\r\n";
inline constexpr const char* kReferencesNotFixedHeader = "These references could not be fixed:\r\n";
inline constexpr const char* kReferenceFixStoppedText = "the fix ended before it reached this file.";

// What becomes of one reference, decided when the check judged it.
struct ReferenceRewrite {
    std::string value;   // the new value, without quotes; empty when it cannot be fixed
    std::string whyNot;  // why it cannot be fixed, for the user
};

// The rewrites of one library file's references, by ReferenceKey of keyword and value as read.
struct FileRewrites {
    std::string path;
    std::string whyNot;  // why the file itself is never rewritten (compressed, in an archive, ...)
    std::unordered_map<std::string, ReferenceRewrite> byReference;
};

std::string ReferenceKey(std::string_view keyword, std::string_view value);

// True for the keywords whose values Poser reads in quotes, when value holds a blank.
bool NeedsQuotes(std::string_view keyword, std::string_view value);

// One change of one line, as planned.
struct ReferenceEdit {
    uint32_t line = 0;          // as the line reader counts it, as in the findings
    uint64_t physicalLine = 0;  // counted from 1 at every line break, for diffs
    size_t begin = 0;           // the bytes [begin, end) of the line are replaced
    size_t end = 0;
    std::string oldText;  // what stood there
    std::string newText;  // what is written instead: the new value in the line's own quoting
    std::string oldLine;  // the line (as the line reader delivers it) before and after
    std::string newLine;
};

struct FileEdits {
    std::string path;
    std::vector<ReferenceEdit> edits;
};

// Walks a library file's bytes with exactly the line rules of the line reader (the same pieces and
// numbers the check judged), rewrites the value of each reference that rewrites can fix and hands on
// every byte, changed or not, to out. Memory stays within one line piece.
class CReferenceRewriter {
public:
    using Sink = std::function<bool(std::string_view bytes)>;
    using EditSink = std::function<void(const ReferenceEdit& edit)>;

    CReferenceRewriter(const FileRewrites& rewrites, Sink out, EditSink edits = {});

    // False when out refused the bytes.
    bool Feed(std::string_view bytes);
    bool Finish();

private:
    enum class After : uint8_t { Byte, Delivered, BlankCandidate };
    bool Deliver();
    bool LineEndByte(char c);

    const FileRewrites& m_rewrites;
    Sink m_out;
    EditSink m_edits;
    CReferenceReader m_reader;
    std::string m_piece;
    uint64_t m_offset = 0;  // of the next byte
    uint32_t m_number = 0;
    uint64_t m_breaks = 0;  // line breaks before the next byte
    uint64_t m_pieceBreaks = 0;
    bool m_afterCr = false;
    After m_after = After::Byte;
};

// Reads each rewritable file that has something to fix and lists its changes, in file order. A file
// that cannot be read now is left out (the check reported it).
std::vector<FileEdits> PlanReferenceFix(const std::vector<FileRewrites>& rewrites);

// The planned changes as a unified diff per file ("--- a/NAME", "+++ b/NAME", one hunk per line),
// NAME being the file's path below base.
std::string ReferenceFixDiff(const std::vector<FileEdits>& plan, const std::string& base);

struct ReferenceFixResult {
    std::vector<std::string> written;  // the files rewritten, in plan order
    std::vector<FixFailure> failures;  // in the order met
    bool stopped = false;              // a failure ended the fix early
};

// Rewrites each planned file through the safe write core, with its .old backup beside it; a file
// with a backup already is refused, and a failure ends the fix there. Cannot be cancelled.
ReferenceFixResult FixReferences(const std::vector<FileRewrites>& rewrites,
                                 const std::vector<FileEdits>& plan, RunContext& ctx,
                                 const ReplaceHooks& hooks = {});

// Everything the reference fix did after a check.
struct ReferenceFixRun {
    bool refused = false;  // an archive had something to fix: the box said why nothing was
    bool asked = false;    // the list of changes was shown with OK and Cancel
    bool ran = false;      // it was answered OK and the files were written
    std::vector<FileEdits> plan;
    ReferenceFixResult fix;
    std::string diff;  // dry run: the planned changes
};

// After a Package Check: plans the fix of run's references and asks with the list of changes (file,
// line, old, new) whether to write them. Cancel changes nothing, run included. OK writes them,
// raises a box per failure, marks each reference finding of run fixed (with its new value) or says
// why not, and adds to run.report what was fixed and what not. A dry run asks nothing, writes nothing,
// marks the findings with the values planned and gives the diff. leaveAlone: files not to touch, with
// the reason (the version fix rewrote them in the same run).
ReferenceFixRun RunReferenceFix(PackageCheckRun& run, const std::string& base, bool dryRun, RunContext& ctx,
                                const std::map<std::string, std::string>& leaveAlone = {},
                                const ReplaceHooks& hooks = {});

// Problems of run that a fix left: the problem findings that were not fixed, with those only counted.
int32_t ProblemsLeft(const PackageCheckRun& run);

}  // namespace veltrane
