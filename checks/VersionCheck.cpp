#include "checks/VersionCheck.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "checks/UnreadableFolders.h"
#include "fs/ArchiveSource.h"
#include "fs/DirectoryListing.h"
#include "fs/LineScanner.h"
#include "fs/PathParts.h"

namespace veltrane {

namespace {

// Lines without this word cannot be version lines; the scanner hands over only lines with it.
constexpr std::string_view kVersionWord = "number";

enum class FileVerdict { Clean, NeedsFix, Escaped, ReadError, Unread };

// Reads the open file until its first line that needs fixing, its end, or Escape. The verdict is on
// whole physical lines, as the fix rewrites them: the pieces of a line cut at the reader's limit are
// judged together.
FileVerdict ReadOpenFile(CLineScanner& scanner) {
    bool needsFix = false;
    VersionLineMatcher matcher;
    ScanEnd end = scanner.Scan(kVersionWord, [&](std::string_view piece, uint32_t) {
        for (char c : piece) {
            if (matcher.Rejected()) {
                break;
            }
            matcher.Feed(c);
        }
        if (scanner.PieceIsCut()) {
            return true;
        }
        needsFix = matcher.Verdict() == VersionVerdict::NeedsFix;
        matcher.Reset();
        return !needsFix;
    });
    if (needsFix) {
        return FileVerdict::NeedsFix;
    }
    if (end == ScanEnd::Escaped) {
        return FileVerdict::Escaped;
    }
    return scanner.HadReadError() ? FileVerdict::ReadError : FileVerdict::Clean;
}

class VersionChecker {
public:
    VersionChecker(CFileRecordArray& records, RunContext& ctx, CArchiveTree* archive)
        : m_records(records), m_ctx(ctx), m_scanner(&ctx), m_archive(archive) {
        m_scanner.SetWholeLines(true);
        m_scanner.SetOverflowWarnings(&m_warnings);
    }

    VersionCheckResult CheckFile(const std::string& path) {
        if (m_archive) {
            return CheckArchiveFile(path);
        }
        CFileRecord entry;
        if (!QueryEntry(path, entry)) {
            return Stop(VersionCheckOutcome::PathMissing);
        }
        if (entry.IsFolder()) {
            return Stop(VersionCheckOutcome::PathIsFolder);
        }
        if (!m_scanner.Open(path)) {
            return Stop(VersionCheckOutcome::FileUnreadable);
        }
        if (!ReadCounted(path)) {
            m_result.outcome = VersionCheckOutcome::FileUnreadable;
        }
        m_scanner.Close();
        m_warnings.Finish(m_ctx, m_scanner.Capacity());
        return std::move(m_result);
    }

    VersionCheckResult CheckFolder(const std::string& path) {
        if (m_archive) {
            const CArchiveTree::Kind kind = m_archive->KindOf(path);
            if (kind != CArchiveTree::Kind::Folder) {
                return Stop(kind == CArchiveTree::Kind::None ? VersionCheckOutcome::PathMissing
                                                             : VersionCheckOutcome::NotAFolder);
            }
        } else {
            CFileRecord entry;
            if (!QueryEntry(path, entry)) {
                return Stop(VersionCheckOutcome::PathMissing);
            }
            if (!entry.IsFolder()) {
                return Stop(VersionCheckOutcome::NotAFolder);
            }
        }
        CFileRecordArray files;
        files.SetFillDetails(false);
        int32_t counter = 0;
        files.ScanFolder(WithTrailingSeparator(path), {.patterns = kVersionPatterns,
                                                       .recurse = true,
                                                       .counter = &counter,
                                                       .ctx = &m_ctx,
                                                       .archive = m_archive});
        m_result.cancelled = files.IsCancelled();
        m_result.unreadableFolders = files.UnreadableFolders();

        const int32_t count = std::min(counter, files.GetSize());
        if (m_archive) {
            return ReadArchiveFiles(files, count);
        }
        for (int32_t i = count - 1; i >= 0 && !m_escaped; --i) {
            const std::string& file = files.GetAt(i).m_path;
            if (!m_scanner.Open(file)) {
                m_result.unreadableFiles.push_back(file);
                continue;
            }
            if (!ReadCounted(file)) {
                m_result.unreadableFiles.push_back(file);
            }
            m_scanner.Close();
        }
        m_warnings.Finish(m_ctx, m_scanner.Capacity());
        return std::move(m_result);
    }

private:
    VersionCheckResult Stop(VersionCheckOutcome outcome) {
        m_result.outcome = outcome;
        return std::move(m_result);
    }

    void Report() { m_ctx.CountersChanged(m_result.filesChecked, m_result.problemsFound); }

    // File mode on an entry of an archive.
    VersionCheckResult CheckArchiveFile(const std::string& path) {
        const CArchiveTree::Kind kind = m_archive->KindOf(path);
        if (kind != CArchiveTree::Kind::File) {
            return Stop(kind == CArchiveTree::Kind::None ? VersionCheckOutcome::PathMissing
                                                         : VersionCheckOutcome::PathIsFolder);
        }
        FileVerdict verdict = FileVerdict::ReadError;
        m_archive->ReadEntries({path}, [&](size_t, ArchiveEntrySource& source) {
            m_scanner.Attach(source);
            verdict = ReadOpenFile(m_scanner);
            m_scanner.Close();
            return true;
        });
        if (!Counted(path, verdict)) {
            m_result.outcome = VersionCheckOutcome::FileUnreadable;
        }
        m_warnings.Finish(m_ctx, m_scanner.Capacity());
        return std::move(m_result);
    }

    // Folder mode in an archive: the files are read in archive order, and their verdicts then taken
    // in the order a folder's files are (from the last record to the first).
    VersionCheckResult ReadArchiveFiles(const CFileRecordArray& files, int32_t count) {
        std::vector<std::string> order;
        order.reserve(static_cast<size_t>(std::max(count, 0)));
        for (int32_t i = count - 1; i >= 0; --i) {
            order.push_back(files.GetAt(i).m_path);
        }
        std::vector<FileVerdict> verdicts(order.size(), FileVerdict::Unread);
        m_archive->ReadEntries(order, [&](size_t index, ArchiveEntrySource& source) {
            m_scanner.Attach(source);
            verdicts[index] = ReadOpenFile(m_scanner);
            m_scanner.Close();
            return verdicts[index] != FileVerdict::Escaped;
        });
        for (size_t i = 0; i < order.size(); ++i) {
            if (verdicts[i] != FileVerdict::Unread && !Counted(order[i], verdicts[i])) {
                m_result.unreadableFiles.push_back(order[i]);
            }
        }
        m_warnings.Finish(m_ctx, m_scanner.Capacity());
        return std::move(m_result);
    }

    // Counts the open file as checked and reads it. False when a read error kept part of it
    // unread; the file then no longer counts as checked.
    bool ReadCounted(const std::string& path) { return Counted(path, ReadOpenFile(m_scanner)); }

    // Counts a file as checked and takes its verdict; false as for ReadCounted.
    bool Counted(const std::string& path, FileVerdict verdict) {
        ++m_result.filesChecked;
        Report();
        switch (verdict) {
            case FileVerdict::NeedsFix:
                if (!FirstTimeFlagged(path)) {
                    break;  // the same file by another name, through a folder link: fixed once
                }
                if (m_archive) {
                    m_records.InsertRecord(CFileRecord(path), InsertOrder::Append);
                } else {
                    m_records.AddFile(path, InsertOrder::Append);
                }
                ++m_result.problemsFound;
                m_result.flaggedText += path;
                m_result.flaggedText += "\r\n";
                Report();
                break;
            case FileVerdict::Escaped:
                m_escaped = true;
                m_result.cancelled = true;
                break;
            case FileVerdict::ReadError:
                --m_result.filesChecked;
                Report();
                return false;
            case FileVerdict::Clean:
            case FileVerdict::Unread:
                break;
        }
        return true;
    }

    // False when the directory entry behind path was flagged already under another name (its folder
    // reached again through a folder link). Entries, not files, are compared: two hard links are two
    // names that each need the fix.
    bool FirstTimeFlagged(const std::string& path) {
        FileIdentity folder;
        if (m_archive) {
            return true;  // an archive's tree has no links
        }
        if (!GetFileIdentity(CFileRecord(path).GetFolderPart(), folder)) {
            return true;
        }
        return m_flagged.emplace(folder.volume, folder.index, CFileRecord(path).GetNamePart()).second;
    }

    CFileRecordArray& m_records;
    RunContext& m_ctx;
    OverflowWarnings m_warnings;
    CLineScanner m_scanner;
    std::set<std::tuple<uint64_t, uint64_t, std::string>> m_flagged;
    VersionCheckResult m_result;
    CArchiveTree* m_archive;
    bool m_escaped = false;
};

void AppendUnreadable(std::string& report, const std::vector<std::string>& files) {
    if (files.empty()) {
        return;
    }
    if (report.size() < 2 || report.compare(report.size() - 2, 2, "\r\n") != 0) {
        report += "\r\n";
    }
    report += "\r\n";
    report += kUnreadableFilesHeader;
    for (const std::string& file : files) {
        report += file;
        report += "\r\n";
    }
}

}  // namespace

VersionCheckResult CheckVersionNumbers(const std::string& path, VersionCheckMode mode,
                                       CFileRecordArray& records, RunContext& ctx) {
    records.RemoveAll();
    CArchiveTree archive;
    const bool archived = !path.empty() && archive.OpenFor(path);
    VersionChecker checker(records, ctx, archived ? &archive : nullptr);
    VersionCheckResult result =
        mode == VersionCheckMode::File ? checker.CheckFile(path) : checker.CheckFolder(path);
    result.inArchive = archived;
    return result;
}

const char* VersionOutcomeText(VersionCheckOutcome outcome) {
    switch (outcome) {
        case VersionCheckOutcome::PathIsFolder:
            return kVersionPathIsFolderText;
        case VersionCheckOutcome::PathMissing:
            return kPathMissingText;
        case VersionCheckOutcome::NotAFolder:
            return kNotAFolderText;
        case VersionCheckOutcome::FileUnreadable:
            return kFileUnreadableText;
        case VersionCheckOutcome::Checked:
            break;
    }
    return "";
}

VersionRunResult RunVersionCheck(const std::string& path, VersionCheckMode mode, CFileRecordArray& records,
                                 RunContext& ctx, const ReplaceHooks& hooks) {
    VersionRunResult run;
    ctx.CountersChanged(0, 0);
    ProgressScope progress(ctx);
    records.RemoveAll();
    WaitCursorScope wait(ctx);

    run.check = CheckVersionNumbers(path, mode, records, ctx);
    progress.Close();
    if (run.check.outcome != VersionCheckOutcome::Checked) {
        ctx.Notify(NoticeKind::Error, kErrorTitle, VersionOutcomeText(run.check.outcome));
        return run;
    }
    ctx.RestoreWait();

    if (run.check.problemsFound == 0) {
        run.report = kVersionNothingToFix;
    } else if (run.check.inArchive) {
        // The files of an archive cannot be rewritten in place: say so instead of offering the fix.
        run.fixRefused = true;
        ctx.Notify(NoticeKind::Warning, kVersionQuestionTitle, kVersionArchiveNotFixedText);
        run.report = kVersionFlaggedHeader + run.check.flaggedText;
    } else {
        run.asked = true;
        NoticeAnswer answer = ctx.Notify(NoticeKind::None, kVersionQuestionTitle, kVersionQuestionText,
                                         NoticeButtons::OkCancel);
        if (answer == NoticeAnswer::Ok) {
            run.fixRan = true;
            run.fix = FixVersionNumbers(records, ctx, hooks, mode == VersionCheckMode::File);
            for (const VersionFixFailure& failure : run.fix.failures) {
                ctx.Notify(NoticeKind::Error, kVersionFixFailureTitle, failure.text);
            }
            run.report = kVersionFixedHeader + run.fix.fixedListText;
        } else {
            run.report = kVersionFlaggedHeader + run.check.flaggedText;
        }
    }
    AppendUnreadable(run.report, run.check.unreadableFiles);
    if (!run.check.unreadableFolders.empty()) {
        if (run.report.size() < 2 || run.report.compare(run.report.size() - 2, 2, "\r\n") != 0) {
            run.report += "\r\n";
        }
        run.report += "\r\n" + UnreadableFoldersSection(run.check.unreadableFolders);
    }
    run.hasReport = true;
    return run;
}

}  // namespace veltrane
