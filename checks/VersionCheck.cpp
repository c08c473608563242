#include "checks/VersionCheck.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "checks/UnreadableFolders.h"
#include "fs/read/LineScanner.h"
#include "fs/text/PathParts.h"
#include "fs/tree/ArchiveSource.h"
#include "fs/tree/DirectoryListing.h"
#include "fs/tree/ReadAhead.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

// Lines without this word cannot be version lines; the scanner hands over only lines with it.
constexpr std::string_view kVersionWord = "number";

}  // namespace

bool VersionLineReader::Take(std::string_view piece, uint32_t number, bool cut) {
    if (!m_continuing) {
        m_line = number;
        m_text.clear();
    }
    m_continuing = cut;
    if (!m_matcher.Rejected()) {
        m_text.append(piece);  // only a line that may still be a version line is kept
    }
    for (char c : piece) {
        if (m_matcher.Rejected()) {
            break;
        }
        m_matcher.Feed(c);
    }
    if (cut) {
        return true;
    }
    const bool needsFix = m_matcher.Verdict() == VersionVerdict::NeedsFix;
    m_matcher.Reset();
    if (needsFix) {
        m_read.verdict = VersionFileVerdict::NeedsFix;
        m_read.line = m_line;
        m_read.text = std::move(m_text);
    }
    return !needsFix;
}

VersionFileRead VersionLineReader::Finish(ScanEnd end, bool readError) {
    if (m_read.verdict != VersionFileVerdict::NeedsFix) {
        if (end == ScanEnd::Escaped) {
            m_read.verdict = VersionFileVerdict::Escaped;
        } else if (readError) {
            m_read.verdict = VersionFileVerdict::ReadError;
        }
    }
    return std::move(m_read);
}

namespace {

// Reads the open file until its first line that needs fixing, its end, or Escape. The verdict is on
// whole physical lines, as the fix rewrites them: the pieces of a line cut at the reader's limit are
// judged together.
VersionFileRead ReadOpenFile(CLineScanner& scanner) {
    VersionLineReader reader;
    const ScanEnd end = scanner.Scan(kVersionWord, [&](std::string_view piece, uint32_t number) {
        return reader.Take(piece, number, scanner.PieceIsCut());
    });
    return reader.Finish(end, scanner.HadReadError());
}

// One file of folder mode: why it would not open, or what its read found.
struct VersionFile {
    std::error_code openError;
    VersionFileRead read;
};

VersionFile ReadVersionFile(CLineScanner& scanner, const std::string& path) {
    VersionFile file;
    if (!scanner.Open(path)) {
        file.openError = scanner.OpenError();
        if (!file.openError) {
            file.openError = std::make_error_code(std::errc::io_error);
        }
        return file;
    }
    file.read = ReadOpenFile(scanner);
    scanner.Close();
    return file;
}

class VersionChecker {
public:
    VersionChecker(CFileRecordArray& records, RunContext& ctx, SharedReads* shared, CArchiveTree* archive)
        : m_records(records), m_ctx(ctx), m_scanner(&ctx), m_shared(shared), m_archive(archive) {
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
            AddUnreadable(path, m_scanner.OpenError());
            return Stop(VersionCheckOutcome::FileUnreadable);
        }
        if (!ReadCounted(path)) {
            m_result.outcome = VersionCheckOutcome::FileUnreadable;
            AddUnreadable(path, std::make_error_code(std::errc::io_error));
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
                                                       .listings = m_shared ? m_shared->Listings() : nullptr,
                                                       .archive = m_archive});
        m_result.cancelled = files.IsCancelled();
        m_result.unreadableFolders = files.UnreadableFolders();

        const int32_t count = std::min(counter, files.GetSize());
        // The files are taken from the last record to the first.
        std::vector<std::string> order;
        order.reserve(static_cast<size_t>(std::max(count, 0)));
        for (int32_t i = count - 1; i >= 0; --i) {
            order.push_back(files.GetAt(i).m_path);
        }
        if (m_archive) {
            return ReadArchiveFiles(order);
        }
        // Read ahead on the other threads unless the reads are shared.
        CReadAhead<VersionFile> ahead(
            m_shared ? 0 : order.size(), m_ctx.ReadThreads(),
            [&order](RunContext& ctx) {
                auto scanner = std::make_shared<CLineScanner>(&ctx);
                scanner->SetWholeLines(true);
                return [scanner, &order](size_t index) { return ReadVersionFile(*scanner, order[index]); };
            },
            [](const VersionFile& file) { return VersionReadBytes(file.read); });
        for (size_t i = 0; i < order.size() && !m_escaped; ++i) {
            const std::string& file = order[i];
            if (std::optional<VersionFileRead> read = m_shared ? m_shared->ForVersions(file) : std::nullopt) {
                RaiseSharedWarnings(m_ctx, &m_warnings, read->warnings);
                if (!Counted(file, std::move(*read))) {
                    m_result.unreadableFiles.push_back(file);
                    AddUnreadable(file, std::make_error_code(std::errc::io_error));
                }
                continue;
            }
            std::optional<VersionFile> taken = ahead.Take(i, m_ctx, &m_warnings);
            VersionFile read = taken ? std::move(*taken) : ReadVersionFile(m_scanner, file);
            if (read.openError) {
                m_result.unreadableFiles.push_back(file);
                AddUnreadable(file, read.openError);
            } else if (!Counted(file, std::move(read.read))) {
                m_result.unreadableFiles.push_back(file);
                AddUnreadable(file, std::make_error_code(std::errc::io_error));
            }
        }
        ahead.Stop();
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
        VersionFileRead read;
        read.verdict = VersionFileVerdict::ReadError;
        m_archive->ReadEntries({path}, [&](size_t, ArchiveEntrySource& source) {
            m_scanner.Attach(source);
            read = ReadOpenFile(m_scanner);
            m_scanner.Close();
            return true;
        });
        if (!Counted(path, std::move(read))) {
            m_result.outcome = VersionCheckOutcome::FileUnreadable;
            AddUnreadable(path, std::make_error_code(std::errc::io_error));
        }
        m_warnings.Finish(m_ctx, m_scanner.Capacity());
        return std::move(m_result);
    }

    // Folder mode in an archive: the files are read in archive order, and their verdicts then taken
    // in the order a folder's files are (from the last record to the first).
    VersionCheckResult ReadArchiveFiles(const std::vector<std::string>& order) {
        std::vector<std::optional<VersionFileRead>> reads(order.size());
        m_archive->ReadEntries(order, [&](size_t index, ArchiveEntrySource& source) {
            m_scanner.Attach(source);
            reads[index] = ReadOpenFile(m_scanner);
            m_scanner.Close();
            return reads[index]->verdict != VersionFileVerdict::Escaped;
        });
        for (size_t i = 0; i < order.size() && !m_escaped; ++i) {
            if (reads[i] && !Counted(order[i], std::move(*reads[i]))) {
                m_result.unreadableFiles.push_back(order[i]);
                AddUnreadable(order[i], std::make_error_code(std::errc::io_error));
            }
        }
        m_warnings.Finish(m_ctx, m_scanner.Capacity());
        return std::move(m_result);
    }

    // Counts the open file as checked and reads it. False when a read error kept part of it
    // unread; the file then no longer counts as checked.
    bool ReadCounted(const std::string& path) { return Counted(path, ReadOpenFile(m_scanner)); }

    // As ReadCounted, for a file read already.
    bool Counted(const std::string& path, VersionFileRead read) {
        ++m_result.filesChecked;
        Report();
        return Judged(path, std::move(read));
    }

    bool Judged(const std::string& path, VersionFileRead read) {
        switch (read.verdict) {
            case VersionFileVerdict::NeedsFix: {
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
                Finding& finding = m_result.flagged.emplace_back();
                finding.rule = Rule::Version;
                finding.path = path;
                finding.line = read.line;
                finding.text = std::move(read.text);
                Report();
                break;
            }
            case VersionFileVerdict::Escaped:
                m_escaped = true;
                m_result.cancelled = true;
                break;
            case VersionFileVerdict::ReadError:
                --m_result.filesChecked;
                Report();
                return false;
            case VersionFileVerdict::Clean:
                break;
        }
        return true;
    }

    void AddUnreadable(const std::string& path, const std::error_code& ec) {
        Finding& finding = m_result.unreadable.emplace_back();
        finding.rule = Rule::UnreadableFile;
        finding.path = path;
        finding.error = FileErrorText(ec, path);
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
    SharedReads* m_shared;
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
                                       CFileRecordArray& records, RunContext& ctx, SharedReads* shared) {
    records.RemoveAll();
    CArchiveTree archive;
    const bool archived = !path.empty() && archive.OpenFor(path);
    // Reads shared with other tools are of plain files: an archive is read here, entry by entry.
    VersionChecker checker(records, ctx, mode == VersionCheckMode::Folder && !archived ? shared : nullptr,
                           archived ? &archive : nullptr);
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
                                 RunContext& ctx, const ReplaceHooks& hooks, SharedReads* shared) {
    VersionRunResult run;
    ctx.CountersChanged(0, 0);
    ProgressScope progress(ctx);
    records.RemoveAll();
    WaitCursorScope wait(ctx);

    run.check = CheckVersionNumbers(path, mode, records, ctx, shared);
    progress.Close();
    if (run.check.outcome != VersionCheckOutcome::Checked) {
        ctx.Notify(NoticeKind::Error, kErrorTitle, VersionOutcomeText(run.check.outcome));
        run.findings = run.check.unreadable;  // file mode: the file that could not be read
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
            for (size_t i = 0; i < run.check.flagged.size() && i < run.fix.fixed.size(); ++i) {
                run.check.flagged[i].fixed = run.fix.fixed[i];
            }
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
    run.findings = run.check.flagged;
    run.findings.insert(run.findings.end(), run.check.unreadable.begin(), run.check.unreadable.end());
    AddUnreadableFolders(run.findings, run.check.unreadableFolders);
    run.hasReport = true;
    return run;
}

}  // namespace veltrane
