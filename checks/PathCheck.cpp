#include "checks/PathCheck.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>

#include "checks/LibraryReference.h"
#include "checks/ToolTexts.h"
#include "checks/UnreadableFolders.h"
#include "fs/run/FileErrors.h"
#include "fs/text/Ascii.h"
#include "fs/text/PathParts.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

namespace {

constexpr std::string_view kKeywords[] = {"textureMap", "reflectionMap", "transparencyMap"};

// Every keyword holds this, so the scanner hands over only the lines that may be texture-map lines.
constexpr std::string_view kKeywordCore = "Map";

// The nine extensions a single file may have, tried in this order; hand files only in file-only mode.
constexpr std::string_view kFileOnlyExtensions[] = {".CR2", ".FC2", ".LT2", ".HR2", ".PP2",
                                                    ".PZ3", ".PZ2", ".CM2", ".HD2"};

constexpr const char* kSingleFileLines[kPathFindingKinds] = {
    "This file contained paths that should be enclosed in quotes (spaces in path).\r\n",
    "This file contained absolute paths.\r\n",
    "This file contained relative paths that had backslashes (\\) in them.\r\n",
    "This file contained relative paths that are too long to be Mac compatible (>62 characters).\r\n",
};

constexpr const char* kSectionHeaders[kPathFindingKinds] = {
    "These files contained paths that should be enclosed in quotes (spaces in path):\r\n",
    "These files contained absolute paths in them:\r\n",
    "These files contained relative paths that had backslashes (\\) in them:\r\n",
    "These files contained relative paths that are too long to be Mac compatible (>62 characters):\r\n",
};

constexpr const char* kFileCancelled = "User Cancelled Operation, showing partial results\r\n\r\n";

constexpr const char* kNotAFileText = "Path specified does not point to a file.  ";
constexpr const char* kNotRecognisedText = "File type is not recognized.  ";
constexpr const char* kNothingFound = "No absolute paths found";

// How a run over a validated path ended.
enum class PathCheckOutcome {
    Checked,        // the report (possibly partial, see cancelled) is to be shown
    NotRecognised,  // file-only mode: the file has none of the nine Poser extensions; nothing was read
    Unreadable,     // file-only mode: the file could not be read
};

// What one run over a validated path produced.
struct PathCheckResult {
    PathCheckOutcome outcome = PathCheckOutcome::Checked;
    std::string report;           // empty when nothing was found
    int32_t filesChecked = 0;     // box 1008, "Files checked: "
    int32_t problemFiles = 0;     // box 1009, "Problem files:"; unreadable files count here too
    int32_t unreadableFiles = 0;  // folder mode: files listed that could not be read
    std::vector<UnreadableFolder> unreadableFolders;  // folder mode: folders that could not be listed
    bool cancelled = false;  // Escape ended the run; the report says so and holds what was found
    // Escape came during the folder scan: as described, the files listed so far are examined and the
    // report does not say so, but the run was cancelled all the same (the command line says it was).
    bool scanCancelled = false;
    std::vector<Notice> notices;  // the boxes raised during the run (line-length warnings), in order
    // In report order: the lines of each kind of problem (kind by kind, file by file, line by line),
    // then the unreadable files, then the unreadable folders.
    Findings findings;
};

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    const std::string_view end = text.substr(text.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(),
                      [](char a, char b) { return AsciiUpper(a) == b; });
}

bool IsPoserFileForFileMode(std::string_view path) {
    return std::any_of(std::begin(kFileOnlyExtensions), std::end(kFileOnlyExtensions),
                       [&](std::string_view ext) { return EndsWithNoCase(path, ext); });
}

// Judges a file's lines for texture-map paths.
class PathLineJudge final : public CFileJudge {
public:
    std::string_view Name() const override { return "paths"; }
    ReadPlan Plan() const override { return {kKeywordCore, false, false}; }
    void Begin() override { m_read = std::make_unique<PathFileRead>(); }
    bool Line(std::string_view piece, uint32_t number, bool /*cut*/) override {
        std::string value;
        if (const unsigned found = ExaminePathLine(piece, &value)) {
            m_read->kinds |= found;
            unsigned kept = 0;
            for (int k = 0; k < kPathFindingKinds; ++k) {
                if ((found & (1u << k)) == 0) {
                    continue;
                }
                if (m_read->kept[k] < kFindingsKept) {
                    ++m_read->kept[k];
                    kept |= 1u << k;
                } else {
                    ++m_read->more[k];
                }
            }
            if (kept != 0) {
                m_read->lines.push_back({number, kept, std::move(value)});
            }
        }
        return true;
    }
    std::unique_ptr<FileVerdict> End(const FileReadStatus& status) override {
        m_read->end = status.end;
        m_read->unreadable = !status.opened || status.readError;
        if (m_read->unreadable) {
            m_read->failure = status.opened ? std::make_error_code(std::errc::io_error) : status.openError;
        }
        return std::move(m_read);
    }

private:
    std::unique_ptr<PathFileRead> m_read;
};

// The findings of one kind in one file, line by line.
void AddKind(int kind, const std::string& file, const PathFileRead& read, Findings& out) {
    for (const PathFileRead::Line& line : read.lines) {
        if ((line.kinds & (1u << kind)) != 0) {
            Finding& finding = out.emplace_back();
            finding.rule = PathFindingRule(kind);
            finding.path = file;
            finding.line = line.number;
            finding.value = line.value;
        }
    }
    if (read.more[kind] != 0) {
        out.back().more = read.more[kind];
    }
}

void AddUnreadableFile(Findings& findings, const std::string& file, const std::error_code& ec) {
    Finding& finding = findings.emplace_back();
    finding.rule = Rule::UnreadableFile;
    finding.path = file;
    finding.error = FileErrorText(ec, file);
}

}  // namespace

Rule PathFindingRule(int kind) {
    static constexpr Rule kRules[kPathFindingKinds] = {Rule::UnquotedSpaces, Rule::AbsolutePath,
                                                       Rule::Backslash, Rule::TooLong};
    return kRules[kind];
}

size_t PathFileRead::Bytes() const {
    size_t bytes = sizeof *this;
    for (const Line& line : lines) {
        bytes += sizeof line + line.value.size();
    }
    return bytes;
}

JudgeMaker PathJudge() {
    return [] { return std::make_unique<PathLineJudge>(); };
}

unsigned ExaminePathLine(std::string_view line, std::string* judged) {
    size_t keywordEnd = std::string_view::npos;
    size_t keywordAt = std::string_view::npos;
    for (std::string_view keyword : kKeywords) {
        const size_t at = line.find(keyword);
        if (at < keywordAt) {
            keywordAt = at;
            keywordEnd = at + keyword.size();
        }
    }
    if (keywordAt == std::string_view::npos) {
        return 0;
    }
    // The value follows the line's first "Map " (which need not belong to the keyword found); a line
    // without one has its value right after its first keyword.
    const size_t mapAt = line.find("Map ");
    std::string_view value = line.substr(mapAt != std::string_view::npos ? mapAt + 4 : keywordEnd);

    // White space at both ends goes; spaces inside the value stay and count. The quotes go too, and
    // the white space they enclosed at either end with them, so "  C:\x.bmp" is judged as C:\x.bmp.
    value = TrimAsciiSpace(value);
    std::string unquoted;
    unquoted.reserve(value.size());
    size_t quotes = 0;
    for (char c : value) {
        if (c == '"') {
            ++quotes;
        } else {
            unquoted.push_back(c);
        }
    }
    if (quotes != 0) {
        unquoted = std::string(TrimAsciiSpace(unquoted));
    }

    unsigned found = 0;
    if (quotes == 0 && unquoted.find(' ') != std::string::npos) {
        found |= kFindingUnquotedSpaces;
    }
    if (IsAbsoluteReference(unquoted)) {  // the test Package Check applies too
        found |= kFindingAbsolute;
    } else if (unquoted.find('\\') != std::string::npos) {
        found |= kFindingBackslash;
    } else if (unquoted.size() > kMaxRelativePathLength) {
        found |= kFindingTooLong;
    }
    if (judged != nullptr && found != 0) {
        *judged = std::move(unquoted);
    }
    return found;
}

namespace {

void AppendSingleFileLines(std::string& report, unsigned kinds) {
    for (int k = 0; k < kPathFindingKinds; ++k) {
        if ((kinds & (1u << k)) != 0) {
            report += kSingleFileLines[k];
        }
    }
}

void AddKinds(Findings& out, const std::string& file, const PathFileRead& read) {
    for (int k = 0; k < kPathFindingKinds; ++k) {
        AddKind(k, file, read, out);
    }
}

// The one file's read; an unreadable one when the read gave nothing.
PathFileRead ReadOneFile(CPackageTree& tree, const std::string& path, RunContext& ctx,
                         OverflowWarnings& warnings) {
    std::optional<TreeRead> taken = tree.Read({path}, PathJudge(), ctx, &warnings)->Next();
    if (!taken) {
        PathFileRead read;
        read.unreadable = true;
        read.failure = std::make_error_code(std::errc::io_error);
        return read;
    }
    return std::move(VerdictAs<PathFileRead>(*taken->verdict));
}

PathCheckResult CheckOneFile(const std::string& path, RunContext& ctx, CPackageTree& tree) {
    PathCheckResult result;
    if (!IsPoserFileForFileMode(path)) {
        result.outcome = PathCheckOutcome::NotRecognised;
        return result;
    }
    OverflowWarnings warnings;
    const PathFileRead read = ReadOneFile(tree, path, ctx, warnings);
    warnings.Finish(ctx, kLineReaderCapacity);

    result.filesChecked = 1;
    result.problemFiles = read.kinds != 0 || read.unreadable ? 1 : 0;
    if (read.end == ScanEnd::Escaped) {
        ctx.RestoreWait();
        result.cancelled = true;
        result.report = kFileCancelled;
        AppendSingleFileLines(result.report, read.kinds);
        AddKinds(result.findings, path, read);
        return result;
    }
    if (read.unreadable) {
        result.outcome = PathCheckOutcome::Unreadable;
        result.unreadableFiles = 1;
        AddUnreadableFile(result.findings, path, read.failure);
        return result;
    }
    AppendSingleFileLines(result.report, read.kinds);
    AddKinds(result.findings, path, read);
    return result;
}

// The Poser files below the folder, in the order they are read (the last record first); empty when
// Escape came during the scan or right after it, which ends the run with no results.
std::vector<std::string> ListPoserFiles(const std::string& folder, RunContext& ctx, CPackageTree& tree,
                                        PathCheckResult& result, ReadOptions& options) {
    std::vector<std::string> files;
    int32_t listed = 0;
    CFileRecordArray records;
    records.SetFillDetails(false);
    records.ScanFolder(folder, {.patterns = kPathCheckPatterns,
                                .recurse = true,
                                .order = InsertOrder::DescendingName,
                                .counter = &listed,
                                .ctx = &ctx,
                                .tree = &tree});
    result.scanCancelled = records.IsCancelled();
    result.unreadableFolders = records.UnreadableFolders();
    if (ctx.PollEscape()) {
        ctx.RestoreWait();
        result.cancelled = true;
        result.report = kCancelledNoResults;
        return files;
    }
    ctx.RestoreWait();
    const std::vector<CFileRecord>& all = records.Records();
    files.reserve(all.size());
    options.listedRegular.reserve(all.size());
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        files.push_back(it->m_path);
        options.listedRegular.push_back(it->ListedRegular());
    }
    result.filesChecked = listed;
    return files;
}

// The report's sections and their findings, filled file by file in the order read.
struct FolderTally {
    std::array<std::string, kPathFindingKinds> sections;
    std::array<Findings, kPathFindingKinds> lineFindings;
    std::string unreadableSection;
    Findings unreadableFindings;

    void Add(const std::string& file, const PathFileRead& read, PathCheckResult& result) {
        for (int k = 0; k < kPathFindingKinds; ++k) {
            if ((read.kinds & (1u << k)) != 0) {
                sections[k] += file;
                sections[k] += "\r\n";
                AddKind(k, file, read, lineFindings[k]);
            }
        }
        if (read.unreadable) {
            unreadableSection += file;
            unreadableSection += "\r\n";
            AddUnreadableFile(unreadableFindings, file, read.failure);
            ++result.unreadableFiles;
        }
        if (read.kinds != 0 || read.unreadable) {
            ++result.problemFiles;
        }
    }

    // Puts the findings and the report together.
    void Finish(PathCheckResult& result) {
        for (Findings& kind : lineFindings) {
            std::move(kind.begin(), kind.end(), std::back_inserter(result.findings));
        }
        std::move(unreadableFindings.begin(), unreadableFindings.end(), std::back_inserter(result.findings));
        AddUnreadableFolders(result.findings, result.unreadableFolders);
        if (result.cancelled) {
            result.report = kCancelledPartialResults;
        }
        for (int k = 0; k < kPathFindingKinds; ++k) {
            if (!sections[k].empty()) {
                result.report += kSectionHeaders[k];
                result.report += sections[k];
                result.report += "\r\n";
            }
        }
        if (!unreadableSection.empty()) {
            result.report += kUnreadableFilesHeader;
            result.report += unreadableSection;
            result.report += "\r\n";
        }
        result.report += UnreadableFoldersSection(result.unreadableFolders);
    }
};

PathCheckResult CheckFolder(const std::string& path, RunContext& ctx, CPackageTree& tree) {
    PathCheckResult result;
    ReadOptions options;
    const std::vector<std::string> files =
        ListPoserFiles(WithTrailingSeparator(path), ctx, tree, result, options);
    if (result.cancelled) {
        return result;
    }
    FolderTally tally;
    OverflowWarnings warnings;
    {
        std::unique_ptr<CTreeReads> reads = tree.Read(files, PathJudge(), ctx, &warnings, options);
        while (std::optional<TreeRead> taken = reads->Next()) {
            const PathFileRead& read = VerdictAs<PathFileRead>(*taken->verdict);
            if (read.end == ScanEnd::Escaped) {
                result.cancelled = true;  // the file being read when Escape came adds nothing
                break;
            }
            tally.Add(files[taken->index], read, result);
        }
    }
    warnings.Finish(ctx, kLineReaderCapacity);
    tally.Finish(result);
    if (result.cancelled) {
        ctx.RestoreWait();
    }
    return result;
}

PathCheckResult CheckPathsIn(const std::string& path, PathCheckMode mode, RunContext& ctx,
                             CPackageTree& tree) {
    const size_t noticesBefore = ctx.Notices().size();
    PathCheckResult result;
    {
        WaitCursorScope wait(ctx);
        ProgressScope progress(ctx);
        result =
            mode == PathCheckMode::FileOnly ? CheckOneFile(path, ctx, tree) : CheckFolder(path, ctx, tree);
    }
    result.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                          ctx.Notices().end());
    return result;
}

}  // namespace

PathCheckRun RunPathCheck(const std::string& path, PathCheckMode mode, RunContext& ctx, CPackageTree* given) {
    const size_t noticesBefore = ctx.Notices().size();
    PathCheckRun run;
    auto stopWith = [&](PathCheckStop stop, const char* text) {
        run.stop = stop;
        ctx.Notify(NoticeKind::Error, kErrorTitle, text);
    };

    // An archive, and a folder inside one, is a folder; an entry in one is a file.
    std::unique_ptr<CPackageTree> opened = given ? nullptr : CPackageTree::Open(path);
    CPackageTree& tree = given ? *given : *opened;
    const CPackageTree::Kind kind = tree.KindOf(path);
    const bool exists = kind != CPackageTree::Kind::None && kind != CPackageTree::Kind::BrokenLink;
    const bool isFolder = kind == CPackageTree::Kind::Folder;
    if (!exists) {
        stopWith(PathCheckStop::PathMissing, kPathMissingText);
        run.disableCheckButton = true;
    } else if (mode == PathCheckMode::AllFiles && !isFolder) {
        stopWith(PathCheckStop::NotAFolder, kNotAFolderText);
    } else if (mode == PathCheckMode::FileOnly && isFolder) {
        stopWith(PathCheckStop::NotAFile, kNotAFileText);
    } else {
        PathCheckResult result = CheckPathsIn(path, mode, ctx, tree);
        run.cancelled = result.cancelled || result.scanCancelled;
        run.findings = std::move(result.findings);
        run.unreadableFiles = result.unreadableFiles;
        run.unreadableFolders = result.unreadableFolders;
        if (result.outcome == PathCheckOutcome::NotRecognised) {
            stopWith(PathCheckStop::NotRecognised, kNotRecognisedText);
        } else if (result.outcome == PathCheckOutcome::Unreadable) {
            stopWith(PathCheckStop::Unreadable, kFileUnreadableText);
        } else {
            run.filesChecked = result.filesChecked;
            run.problemFiles = result.problemFiles;
            run.report = result.report.empty() ? std::string(kNothingFound) : std::move(result.report);
            run.refreshCounters = true;
            ctx.CountersChanged(run.filesChecked, run.problemFiles);
        }
    }
    run.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                       ctx.Notices().end());
    return run;
}

}  // namespace veltrane
