#include "checks/VersionCheck.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_set>

#include "checks/UnreadableFolders.h"
#include "fs/text/PathParts.h"
#include "fs/tree/DirectoryListing.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

// Lines without this word cannot be version lines; the scanner hands over only lines with it.
constexpr std::string_view kVersionWord = "number";

// Judges the pieces of a file's lines, as the scanner hands them over in whole-lines mode (the lines
// that hold "number", and every piece of a line cut at the reader's limit), until the first line that
// needs fixing.
class VersionLineReader {
public:
    // False once the line that ends with this piece needs fixing: the file is decided.
    bool Take(std::string_view piece, uint32_t number, bool cut);
    // The file's read, given how the scan ended.
    VersionFileRead Finish(ScanEnd end, bool readError);

private:
    VersionLineMatcher m_matcher;
    VersionFileRead m_read;
    std::string m_text;
    uint32_t m_line = 0;
    bool m_continuing = false;
};

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

// One file's read: why it would not open, or what its read found.
struct VersionFile final : FileVerdict {
    std::error_code openError;
    VersionFileRead read;

    size_t Bytes() const override { return sizeof *this + read.text.size(); }
};

class VersionJudgeOfLines final : public CFileJudge {
public:
    std::string_view Name() const override { return "versions"; }
    ReadPlan Plan() const override { return {kVersionWord, true, false}; }
    void Begin() override { m_reader = VersionLineReader(); }
    bool Line(std::string_view piece, uint32_t number, bool cut) override {
        return m_reader.Take(piece, number, cut);
    }
    std::unique_ptr<FileVerdict> End(const FileReadStatus& status) override {
        auto file = std::make_unique<VersionFile>();
        if (!status.opened) {
            file->openError = status.openError ? status.openError : std::make_error_code(std::errc::io_error);
        } else {
            file->read = m_reader.Finish(status.end, status.readError);
        }
        return file;
    }

private:
    VersionLineReader m_reader;
};

class VersionChecker {
public:
    VersionChecker(CFileRecordArray& records, RunContext& ctx, CPackageTree& tree)
        : m_records(records), m_ctx(ctx), m_tree(tree) {}

    VersionCheckResult CheckFile(const std::string& path) {
        const CPackageTree::Kind kind = m_tree.KindOf(path);
        if (kind == CPackageTree::Kind::None) {
            return Stop(VersionCheckOutcome::PathMissing);
        }
        if (kind == CPackageTree::Kind::Folder) {
            return Stop(VersionCheckOutcome::PathIsFolder);
        }
        std::optional<TreeRead> taken = m_tree.Read({path}, VersionJudge(), m_ctx, &m_warnings)->Next();
        VersionFile file;
        if (taken) {
            file = std::move(VerdictAs<VersionFile>(*taken->verdict));
        } else {
            file.read.verdict = VersionFileVerdict::ReadError;
        }
        if (file.openError) {
            AddUnreadable(path, file.openError);
            return Stop(VersionCheckOutcome::FileUnreadable);
        }
        if (!Counted(path, std::move(file.read))) {
            m_result.outcome = VersionCheckOutcome::FileUnreadable;
            AddUnreadable(path, std::make_error_code(std::errc::io_error));
        }
        m_warnings.Finish(m_ctx, kLineReaderCapacity);
        return std::move(m_result);
    }

    VersionCheckResult CheckFolder(const std::string& path) {
        const CPackageTree::Kind kind = m_tree.KindOf(path);
        if (kind != CPackageTree::Kind::Folder) {
            return Stop(kind == CPackageTree::Kind::None ? VersionCheckOutcome::PathMissing
                                                         : VersionCheckOutcome::NotAFolder);
        }
        ReadOptions options;
        const std::vector<std::string> order = ListLibraryFiles(path, options);
        {
            std::unique_ptr<CTreeReads> reads =
                m_tree.Read(order, VersionJudge(), m_ctx, &m_warnings, options);
            while (!m_escaped) {
                std::optional<TreeRead> taken = reads->Next();
                if (!taken) {
                    break;
                }
                const std::string& file = order[taken->index];
                VersionFile& read = VerdictAs<VersionFile>(*taken->verdict);
                if (read.openError) {
                    m_result.unreadableFiles.push_back(file);
                    AddUnreadable(file, read.openError);
                } else if (!Counted(file, std::move(read.read))) {
                    m_result.unreadableFiles.push_back(file);
                    AddUnreadable(file, std::make_error_code(std::errc::io_error));
                }
            }
        }
        m_warnings.Finish(m_ctx, kLineReaderCapacity);
        return std::move(m_result);
    }

private:
    VersionCheckResult Stop(VersionCheckOutcome outcome) {
        m_result.outcome = outcome;
        return std::move(m_result);
    }

    // The library files below the folder, in the order they are read: from the last record to the first.
    std::vector<std::string> ListLibraryFiles(const std::string& path, ReadOptions& options) {
        CFileRecordArray files;
        files.SetFillDetails(false);
        int32_t counter = 0;
        files.ScanFolder(WithTrailingSeparator(path), {.patterns = kVersionPatterns,
                                                       .recurse = true,
                                                       .counter = &counter,
                                                       .ctx = &m_ctx,
                                                       .tree = &m_tree});
        m_result.cancelled = files.IsCancelled();
        m_result.unreadableFolders = files.UnreadableFolders();
        const int32_t count = std::min(counter, files.GetSize());
        std::vector<std::string> order;
        order.reserve(static_cast<size_t>(std::max(count, 0)));
        std::set<std::string> notRegular;  // links and devices: looked at before their open
        for (int32_t i = count - 1; i >= 0; --i) {
            order.push_back(files.GetAt(i).m_path);
            if ((files.GetAt(i).m_attributes & kAttrThroughLink) != 0) {
                m_throughLink.insert(order.back());
            }
            if (!files.GetAt(i).ListedRegular()) {
                notRegular.insert(order.back());
            }
        }
        DropSecondNames(order);
        options.listedRegular.reserve(order.size());
        for (const std::string& file : order) {
            options.listedRegular.push_back(notRegular.empty() || notRegular.count(file) == 0);
        }
        return order;
    }

    // A file listed under its own name and again through a link is judged under its own name only, the
    // one the fix may rewrite.
    void DropSecondNames(std::vector<std::string>& order) {
        if (m_throughLink.empty()) {
            return;
        }
        using Entry = std::tuple<uint64_t, uint64_t, std::string>;
        auto entryOf = [&](const std::string& path, Entry& entry) {
            FileIdentity folder;
            const CFileRecord record(path);
            entry = {0, 0, record.GetNamePart()};
            if (!m_tree.Identity(record.GetFolderPart(), folder)) {
                return false;
            }
            entry = {folder.volume, folder.index, record.GetNamePart()};
            return true;
        };
        std::set<Entry> linked;
        Entry entry;
        for (const std::string& path : m_throughLink) {
            if (entryOf(path, entry)) {
                linked.insert(entry);
            }
        }
        std::set<Entry> direct;
        for (const std::string& path : order) {
            if (m_throughLink.count(path) == 0 && entryOf(path, entry) && linked.count(entry) != 0) {
                direct.insert(entry);
            }
        }
        std::erase_if(order, [&](const std::string& path) {
            return m_throughLink.count(path) != 0 && entryOf(path, entry) && direct.count(entry) != 0;
        });
    }

    void Report() { m_ctx.CountersChanged(m_result.filesChecked, m_result.problemsFound); }

    // Counts the file as checked and judges its read. False when a read error kept part of it
    // unread; the file then no longer counts as checked.
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
                CFileRecord record = m_tree.RecordOf(path);
                if (m_throughLink.count(path) != 0) {
                    record.m_attributes |= kAttrThroughLink;  // the fix leaves it alone
                }
                m_records.InsertRecord(std::move(record), InsertOrder::Append);
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
    // names that each need the fix. A tree without folder identities has no links.
    bool FirstTimeFlagged(const std::string& path) {
        FileIdentity folder;
        if (!m_tree.Identity(CFileRecord(path).GetFolderPart(), folder)) {
            return true;
        }
        return m_flagged.emplace(folder.volume, folder.index, CFileRecord(path).GetNamePart()).second;
    }

    CFileRecordArray& m_records;
    RunContext& m_ctx;
    CPackageTree& m_tree;
    OverflowWarnings m_warnings;
    std::set<std::tuple<uint64_t, uint64_t, std::string>> m_flagged;
    std::unordered_set<std::string> m_throughLink;  // the files the scan reached through a link
    VersionCheckResult m_result;
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

JudgeMaker VersionJudge() {
    return [] { return std::make_unique<VersionJudgeOfLines>(); };
}

VersionCheckResult CheckVersionNumbers(const std::string& path, VersionCheckMode mode,
                                       CFileRecordArray& records, RunContext& ctx, CPackageTree* given) {
    records.RemoveAll();
    std::unique_ptr<CPackageTree> opened = given ? nullptr : CPackageTree::Open(path);
    CPackageTree& tree = given ? *given : *opened;
    VersionChecker checker(records, ctx, tree);
    VersionCheckResult result =
        mode == VersionCheckMode::File ? checker.CheckFile(path) : checker.CheckFolder(path);
    result.readOnly = !tree.CanRewrite();
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
                                 RunContext& ctx, const ReplaceHooks& hooks, CPackageTree* tree) {
    VersionRunResult run;
    ctx.CountersChanged(0, 0);
    ProgressScope progress(ctx);
    records.RemoveAll();
    WaitCursorScope wait(ctx);

    run.check = CheckVersionNumbers(path, mode, records, ctx, tree);
    progress.Close();
    if (run.check.outcome != VersionCheckOutcome::Checked) {
        ctx.Notify(NoticeKind::Error, kErrorTitle, VersionOutcomeText(run.check.outcome));
        run.findings = run.check.unreadable;  // file mode: the file that could not be read
        return run;
    }
    ctx.RestoreWait();

    if (run.check.problemsFound == 0) {
        run.report = kVersionNothingToFix;
    } else if (run.check.readOnly) {
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
