#include "checks/PathCheck.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "checks/ToolTexts.h"
#include "checks/UnreadableFolders.h"
#include "fs/ArchiveSource.h"
#include "fs/Ascii.h"
#include "fs/FileRecordArray.h"
#include "fs/LineScanner.h"
#include "fs/PathParts.h"

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

// Relative unless it begins with a backslash or has a colon as its second byte (a drive letter).
bool IsAbsoluteValue(std::string_view value) {
    return (!value.empty() && value[0] == '\\') || (value.size() >= 2 && value[1] == ':');
}

// One file's findings, collected line by line.
struct FileFindings {
    unsigned kinds = 0;

    bool Examine(std::string_view line) {
        kinds |= ExaminePathLine(line);
        return true;
    }
};

// Scans one open file for texture-map lines; returns how the scan ended.
ScanEnd ScanFile(CLineScanner& scanner, FileFindings& findings) {
    return scanner.Scan(kKeywordCore,
                        [&](std::string_view line, uint32_t) { return findings.Examine(line); });
}

}  // namespace

unsigned ExaminePathLine(std::string_view line) {
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
    if (IsAbsoluteValue(unquoted)) {
        found |= kFindingAbsolute;
    } else if (unquoted.find('\\') != std::string::npos) {
        found |= kFindingBackslash;
    } else if (unquoted.size() > kMaxRelativePathLength) {
        found |= kFindingTooLong;
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

PathCheckResult CheckOneFile(const std::string& path, RunContext& ctx, CArchiveTree* archive) {
    PathCheckResult result;
    if (!IsPoserFileForFileMode(path)) {
        result.outcome = PathCheckOutcome::NotRecognised;
        return result;
    }
    CLineScanner scanner(&ctx);
    OverflowWarnings warnings;
    scanner.SetOverflowWarnings(&warnings);
    FileFindings findings;
    ScanEnd end = ScanEnd::EndOfInput;
    bool unreadable = false;
    if (archive) {
        archive->ReadEntries({path}, [&](size_t, ArchiveEntrySource& source) {
            scanner.Attach(source);
            end = ScanFile(scanner, findings);
            unreadable = scanner.HadReadError();
            scanner.Close();
            return true;
        });
    } else {
        scanner.Open(path);
        end = ScanFile(scanner, findings);
        unreadable = !scanner.WasOpened() || scanner.HadReadError();
        scanner.Close();
    }
    warnings.Finish(ctx, scanner.Capacity());

    result.filesChecked = 1;
    result.problemFiles = findings.kinds != 0 || unreadable ? 1 : 0;
    if (end == ScanEnd::Escaped) {
        ctx.RestoreWait();
        result.cancelled = true;
        result.report = kFileCancelled;
        AppendSingleFileLines(result.report, findings.kinds);
        return result;
    }
    if (unreadable) {
        result.outcome = PathCheckOutcome::Unreadable;
        result.unreadableFiles = 1;
        return result;
    }
    AppendSingleFileLines(result.report, findings.kinds);
    return result;
}

PathCheckResult CheckFolder(const std::string& path, RunContext& ctx, CArchiveTree* archive) {
    PathCheckResult result;
    const std::string folder = WithTrailingSeparator(path);

    std::vector<std::string> files;
    int32_t listed = 0;
    {
        CFileRecordArray records;
        records.SetFillDetails(false);
        records.ScanFolder(folder, {.patterns = kPathCheckPatterns,
                                    .recurse = true,
                                    .order = InsertOrder::DescendingName,
                                    .counter = &listed,
                                    .ctx = &ctx,
                                    .archive = archive});
        result.scanCancelled = records.IsCancelled();
        result.unreadableFolders = records.UnreadableFolders();
        if (ctx.PollEscape()) {
            ctx.RestoreWait();
            result.cancelled = true;
            result.report = kCancelledNoResults;
            return result;
        }
        ctx.RestoreWait();
        // Only the paths are needed, read from the last record to the first.
        const std::vector<CFileRecord>& all = records.Records();
        files.reserve(all.size());
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            files.push_back(it->m_path);
        }
    }
    result.filesChecked = listed;

    std::array<std::string, kPathFindingKinds> sections;
    std::string unreadableSection;
    CLineScanner scanner(&ctx);
    OverflowWarnings warnings;
    scanner.SetOverflowWarnings(&warnings);
    auto tally = [&](const std::string& file, unsigned kinds, bool unreadable) {
        for (int k = 0; k < kPathFindingKinds; ++k) {
            if ((kinds & (1u << k)) != 0) {
                sections[k] += file;
                sections[k] += "\r\n";
            }
        }
        if (unreadable) {
            unreadableSection += file;
            unreadableSection += "\r\n";
            ++result.unreadableFiles;
        }
        if (kinds != 0 || unreadable) {
            ++result.problemFiles;
        }
    };
    if (archive) {
        // An archive is read in its own order; the files are then reported in the order above.
        struct Outcome {
            bool read = false;
            bool unreadable = false;
            unsigned kinds = 0;
        };
        std::vector<Outcome> outcomes(files.size());
        archive->ReadEntries(files, [&](size_t index, ArchiveEntrySource& source) {
            scanner.Attach(source);
            FileFindings findings;
            const ScanEnd end = ScanFile(scanner, findings);
            outcomes[index] = {true, scanner.HadReadError(), findings.kinds};
            scanner.Close();
            if (end == ScanEnd::Escaped) {
                outcomes[index].read = false;
                result.cancelled = true;
                return false;
            }
            return true;
        });
        for (size_t i = 0; i < files.size(); ++i) {
            if (outcomes[i].read) {
                tally(files[i], outcomes[i].kinds, outcomes[i].unreadable);
            }
        }
    } else {
        for (const std::string& file : files) {
            scanner.Open(file);
            FileFindings findings;
            const ScanEnd end = ScanFile(scanner, findings);
            const bool unreadable = !scanner.WasOpened() || scanner.HadReadError();
            scanner.Close();
            if (end == ScanEnd::Escaped) {
                // The file being read when Escape came adds nothing.
                result.cancelled = true;
                break;
            }
            tally(file, findings.kinds, unreadable);
        }
    }

    warnings.Finish(ctx, scanner.Capacity());
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
    if (result.cancelled) {
        ctx.RestoreWait();
    }
    return result;
}

PathCheckResult CheckPathsIn(const std::string& path, PathCheckMode mode, RunContext& ctx,
                             CArchiveTree* archive) {
    const size_t noticesBefore = ctx.Notices().size();
    PathCheckResult result;
    {
        WaitCursorScope wait(ctx);
        ProgressScope progress(ctx);
        result = mode == PathCheckMode::FileOnly ? CheckOneFile(path, ctx, archive)
                                                 : CheckFolder(path, ctx, archive);
    }
    result.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                          ctx.Notices().end());
    return result;
}

}  // namespace

PathCheckResult CheckPaths(const std::string& path, PathCheckMode mode, RunContext& ctx) {
    CArchiveTree archive;
    return CheckPathsIn(path, mode, ctx, archive.OpenFor(path) ? &archive : nullptr);
}

PathCheckRun RunPathCheck(const std::string& path, PathCheckMode mode, RunContext& ctx) {
    const size_t noticesBefore = ctx.Notices().size();
    PathCheckRun run;
    auto stopWith = [&](PathCheckStop stop, const char* text) {
        run.stop = stop;
        ctx.Notify(NoticeKind::Error, kErrorTitle, text);
    };

    // An archive, and a folder inside one, is a folder; an entry in one is a file.
    CArchiveTree archive;
    const bool archived = !path.empty() && archive.OpenFor(path);
    std::error_code ec;
    const std::filesystem::path fsPath = ToFsPath(path);
    const CArchiveTree::Kind kind = archived ? archive.KindOf(path) : CArchiveTree::Kind::None;
    const bool exists =
        archived ? kind != CArchiveTree::Kind::None : !path.empty() && std::filesystem::exists(fsPath, ec);
    const bool isFolder =
        archived ? kind == CArchiveTree::Kind::Folder : exists && std::filesystem::is_directory(fsPath, ec);
    if (!exists) {
        stopWith(PathCheckStop::PathMissing, kPathMissingText);
        run.disableCheckButton = true;
    } else if (mode == PathCheckMode::AllFiles && !isFolder) {
        stopWith(PathCheckStop::NotAFolder, kNotAFolderText);
    } else if (mode == PathCheckMode::FileOnly && isFolder) {
        stopWith(PathCheckStop::NotAFile, kNotAFileText);
    } else {
        PathCheckResult result = CheckPathsIn(path, mode, ctx, archived ? &archive : nullptr);
        run.cancelled = result.cancelled || result.scanCancelled;
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
