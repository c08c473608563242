#include "checks/PathCheck.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>

#include "checks/ToolTexts.h"
#include "checks/UnreadableFolders.h"
#include "fs/read/LineScanner.h"
#include "fs/text/Ascii.h"
#include "fs/text/PathParts.h"
#include "fs/tree/ArchiveSource.h"
#include "fs/tree/ReadAhead.h"
#include "fs/walk/FileRecordArray.h"
#include "fs/write/FileOps.h"

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

// Why the scanner could not read its file: the open's error, or a read error. Ask before Close.
std::error_code ReadFailure(const CLineScanner& scanner) {
    return scanner.WasOpened() ? std::make_error_code(std::errc::io_error) : scanner.OpenError();
}

// Reads one file (or an archive's entry) for texture-map lines; the scanner polls Escape per line.
PathFileRead ReadPathFile(CLineScanner& scanner, const std::string& file,
                          ArchiveEntrySource* entry = nullptr) {
    PathFileRead read;
    if (entry != nullptr) {
        scanner.Attach(*entry);
    } else {
        scanner.Open(file);
    }
    read.end = scanner.Scan(kKeywordCore, [&](std::string_view line, uint32_t number) {
        AddPathLine(read, line, number);
        return true;
    });
    read.unreadable = !scanner.WasOpened() || scanner.HadReadError();
    if (read.unreadable) {
        read.failure = ReadFailure(scanner);
    }
    scanner.Close();
    return read;
}

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

void AddPathLine(PathFileRead& read, std::string_view line, uint32_t number) {
    std::string value;
    if (const unsigned found = ExaminePathLine(line, &value)) {
        read.kinds |= found;
        read.lines.push_back({number, found, std::move(value)});
    }
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
    if (IsAbsoluteValue(unquoted)) {
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

PathCheckResult CheckOneFile(const std::string& path, RunContext& ctx, CArchiveTree* archive) {
    PathCheckResult result;
    if (!IsPoserFileForFileMode(path)) {
        result.outcome = PathCheckOutcome::NotRecognised;
        return result;
    }
    CLineScanner scanner(&ctx);
    OverflowWarnings warnings;
    scanner.SetOverflowWarnings(&warnings);
    PathFileRead read;
    if (archive) {
        archive->ReadEntries({path}, [&](size_t, ArchiveEntrySource& source) {
            read = ReadPathFile(scanner, path, &source);
            return true;
        });
    } else {
        read = ReadPathFile(scanner, path);
    }
    warnings.Finish(ctx, scanner.Capacity());

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

PathCheckResult CheckFolder(const std::string& path, RunContext& ctx, SharedReads* shared,
                            CArchiveTree* archive) {
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
                                    .listings = shared ? shared->Listings() : nullptr,
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
    std::array<Findings, kPathFindingKinds> lineFindings;
    std::string unreadableSection;
    Findings unreadableFindings;
    CLineScanner scanner(&ctx);
    OverflowWarnings warnings;
    scanner.SetOverflowWarnings(&warnings);
    auto tally = [&](const std::string& file, const PathFileRead& read) {
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
    };
    if (archive) {
        // An archive is read in its own order; the files are then reported in the order above.
        std::vector<std::optional<PathFileRead>> reads(files.size());
        archive->ReadEntries(files, [&](size_t index, ArchiveEntrySource& source) {
            PathFileRead read = ReadPathFile(scanner, files[index], &source);
            if (read.end == ScanEnd::Escaped) {
                result.cancelled = true;  // the entry being read when Escape came adds nothing
                return false;
            }
            reads[index] = std::move(read);
            return true;
        });
        for (size_t i = 0; i < files.size(); ++i) {
            if (reads[i]) {
                tally(files[i], *reads[i]);
            }
        }
    } else {
        // Read ahead on the other threads, unless the reads are shared.
        CReadAhead<PathFileRead> ahead(
            shared ? 0 : files.size(), ctx.ReadThreads(),
            [&files](RunContext& readCtx) {
                auto reader = std::make_shared<CLineScanner>(&readCtx);
                return [reader, &files](size_t index) { return ReadPathFile(*reader, files[index]); };
            },
            PathReadBytes);
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string& file = files[i];
            std::optional<PathFileRead> taken;
            if (shared) {
                taken = shared->ForPaths(file);
                if (taken) {
                    RaiseSharedWarnings(ctx, &warnings, taken->warnings);
                }
            } else {
                taken = ahead.Take(i, ctx, &warnings);
            }
            const PathFileRead read = taken ? std::move(*taken) : ReadPathFile(scanner, file);
            if (read.end == ScanEnd::Escaped) {
                // The file being read when Escape came adds nothing.
                result.cancelled = true;
                break;
            }
            tally(file, read);
        }
        ahead.Stop();
    }
    for (Findings& kind : lineFindings) {
        std::move(kind.begin(), kind.end(), std::back_inserter(result.findings));
    }
    std::move(unreadableFindings.begin(), unreadableFindings.end(), std::back_inserter(result.findings));
    AddUnreadableFolders(result.findings, result.unreadableFolders);

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
                             SharedReads* shared, CArchiveTree* archive) {
    const size_t noticesBefore = ctx.Notices().size();
    PathCheckResult result;
    {
        WaitCursorScope wait(ctx);
        ProgressScope progress(ctx);
        result = mode == PathCheckMode::FileOnly ? CheckOneFile(path, ctx, archive)
                                                 : CheckFolder(path, ctx, shared, archive);
    }
    result.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                          ctx.Notices().end());
    return result;
}

}  // namespace

PathCheckResult CheckPaths(const std::string& path, PathCheckMode mode, RunContext& ctx,
                           SharedReads* shared) {
    CArchiveTree archive;
    const bool archived = archive.OpenFor(path);
    // Reads shared with other tools are of plain files: an archive is read here, entry by entry.
    return CheckPathsIn(path, mode, ctx, archived ? nullptr : shared, archived ? &archive : nullptr);
}

PathCheckRun RunPathCheck(const std::string& path, PathCheckMode mode, RunContext& ctx, SharedReads* shared) {
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
        PathCheckResult result =
            CheckPathsIn(path, mode, ctx, archived ? nullptr : shared, archived ? &archive : nullptr);
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
