#include "checks/ReferenceFix.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "checks/PackageCheck.h"
#include "checks/VersionCheck.h"
#include "fs/read/FileSource.h"
#include "fs/read/LineReader.h"
#include "fs/text/Ascii.h"
#include "fs/text/PathParts.h"

namespace veltrane {

namespace {

// The line reader reads in chunks of its capacity and cuts a line one byte short of it.
constexpr uint64_t kChunk = kLineReaderCapacity;
constexpr size_t kMaxPiece = kLineReaderCapacity - 1;
constexpr size_t kBlock = 64 * 1024;
// The question lists this many changes at most; the rest are counted.
constexpr size_t kChangesAsked = 40;

constexpr std::string_view kQuotedKeywords[] = {"textureMap",          "bumpMap",        "reflectionMap",
                                                "transparencyMap",     "file",           "readScript",
                                                "injectPMDFileMorphs", "runPythonScript"};

// value in the quoting of what was written: quoted when it was, or when Poser needs the quotes.
std::string RewrittenText(std::string_view keyword, std::string_view written, const std::string& value) {
    if (written.starts_with('"') || NeedsQuotes(keyword, value)) {
        return '"' + value + '"';
    }
    return value;
}

bool IsReferenceRule(Rule rule) {
    return rule == Rule::MissingFile || rule == Rule::CaseMismatch || rule == Rule::OutsideRuntime ||
           rule == Rule::AnyPlatformAbsolute;
}

bool HasFixable(const FileRewrites& file) {
    return std::any_of(file.byReference.begin(), file.byReference.end(),
                       [](const auto& entry) { return !entry.second.value.empty(); });
}

// path below base, with forward slashes.
std::string DiffName(const std::string& path, const std::string& base) {
    const std::string folder = WithTrailingSeparator(base);
    std::string name = path.starts_with(folder) ? path.substr(folder.size()) : path;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return IsSeparator(c); }, '/');
    return name;
}

// Reads source through a rewriter; readFailed tells which side failed.
bool Rewrite(FileSource& source, CReferenceRewriter& rewriter, std::error_code& ec, bool& readFailed) {
    readFailed = false;
    auto block = std::make_unique<char[]>(kBlock);
    for (;;) {
        const size_t got = source.Read(block.get(), kBlock, ec);
        if (ec) {
            readFailed = true;
            return false;
        }
        if (got == 0) {
            return rewriter.Finish();
        }
        if (!rewriter.Feed(std::string_view(block.get(), got))) {
            return false;
        }
    }
}

std::string Listed(const std::string& path, uint32_t line) {
    return path + ", line " + std::to_string(line) + ": ";
}

// The question's text: every change, or the first kChangesAsked and a count of the rest.
std::string QuestionText(const std::vector<FileEdits>& plan) {
    std::string text = kReferenceFixQuestion;
    size_t listed = 0;
    size_t total = 0;
    for (const FileEdits& file : plan) {
        for (const ReferenceEdit& edit : file.edits) {
            if (listed++ < kChangesAsked) {
                text += Listed(file.path, edit.line) + edit.oldText + " -> " + edit.newText + "\r\n";
            }
            ++total;
        }
    }
    if (total > kChangesAsked) {
        text += "... and " + std::to_string(total - kChangesAsked) + " more\r\n";
    }
    return text + "\r\nContinue?";
}

// Marks each reference finding fixed or not fixed, and why not; planned: a dry run's values.
void MarkFindings(Findings& findings, const std::vector<FileRewrites>& rewrites,
                  const std::set<std::string>& written, const std::map<std::string, std::string>& fileWhyNot,
                  bool dryRun) {
    std::unordered_map<std::string, const FileRewrites*> byPath;
    for (const FileRewrites& file : rewrites) {
        byPath.emplace(file.path, &file);
    }
    for (Finding& finding : findings) {
        if (!IsReferenceRule(finding.rule)) {
            continue;
        }
        const auto file = byPath.find(finding.path);
        const ReferenceRewrite* rewrite = nullptr;
        if (file != byPath.end()) {
            const auto it = file->second->byReference.find(ReferenceKey(finding.keyword, finding.value));
            rewrite = it == file->second->byReference.end() ? nullptr : &it->second;
        }
        if (rewrite == nullptr) {
            finding.notFixed = "no fix is known for it.";
        } else if (!rewrite->whyNot.empty()) {
            finding.notFixed = rewrite->whyNot;
        } else if (!file->second->whyNot.empty()) {
            finding.notFixed = file->second->whyNot;
        } else if (dryRun) {
            finding.fixedValue = rewrite->value;
        } else if (written.count(finding.path) != 0) {
            finding.fixed = true;
            finding.fixedValue = rewrite->value;
        } else {
            const auto why = fileWhyNot.find(finding.path);
            finding.notFixed = why != fileWhyNot.end() ? why->second : "its file was not rewritten.";
        }
    }
}

// What was fixed (the edits of the files written) and what not (the findings left, and why).
std::string FixReport(const PackageCheckRun& run, const ReferenceFixRun& fix) {
    std::string report;
    if (!fix.fix.written.empty()) {
        report += kReferencesFixedHeader;
        for (const FileEdits& file : fix.plan) {
            if (std::find(fix.fix.written.begin(), fix.fix.written.end(), file.path) ==
                fix.fix.written.end()) {
                continue;
            }
            for (const ReferenceEdit& edit : file.edits) {
                report += Listed(file.path, edit.line) + edit.oldText + " -> " + edit.newText + "\r\n";
            }
        }
        report += "\r\n";
    }
    std::string notFixed;
    for (const Finding& finding : run.findings) {
        if (!finding.notFixed.empty()) {
            notFixed += Listed(finding.path, finding.line) + finding.value + ": " + finding.notFixed + "\r\n";
        }
    }
    if (!notFixed.empty()) {
        report += kReferencesNotFixedHeader + notFixed + "\r\n";
    }
    return report;
}

}  // namespace

std::string ReferenceKey(std::string_view keyword, std::string_view value) {
    std::string key(keyword);
    key += '\0';
    key += value;
    return key;
}

bool NeedsQuotes(std::string_view keyword, std::string_view value) {
    return value.find(' ') != std::string_view::npos &&
           std::find(std::begin(kQuotedKeywords), std::end(kQuotedKeywords), keyword) !=
               std::end(kQuotedKeywords);
}

CReferenceRewriter::CReferenceRewriter(const FileRewrites& rewrites, Sink out, EditSink edits)
    : m_rewrites(rewrites), m_out(std::move(out)), m_edits(std::move(edits)) {
    m_piece.reserve(kMaxPiece);
}

// A line (or the piece of one the reader cut) is complete: the reader delivers it here.
bool CReferenceRewriter::Deliver() {
    ++m_number;
    const std::optional<LibraryReference> reference = m_reader.Examine(m_piece);
    std::string changed;
    if (reference) {
        const auto it = m_rewrites.byReference.find(ReferenceKey(reference->keyword, reference->value));
        if (it != m_rewrites.byReference.end() && !it->second.value.empty()) {
            const std::string_view written(m_piece.data() + reference->begin,
                                           reference->end - reference->begin);
            std::string text = RewrittenText(reference->keyword, written, it->second.value);
            if (text != written) {
                changed = m_piece;
                changed.replace(reference->begin, written.size(), text);
                if (m_edits) {
                    m_edits(ReferenceEdit{m_number, m_pieceBreaks + 1, reference->begin, reference->end,
                                          std::string(written), std::move(text), m_piece, changed});
                }
            }
        }
    }
    const bool ok = m_out(changed.empty() ? std::string_view(m_piece) : std::string_view(changed));
    m_piece.clear();
    return ok;
}

// A line-end byte read with the reader's rules: it ends the line being collected, or with the byte
// after it in the same chunk makes a pair (a blank line when no line was being collected).
bool CReferenceRewriter::LineEndByte(char c) {
    if (m_piece.size() == kMaxPiece && !Deliver()) {
        return false;  // the line filled the reader: cut before the line end is looked at
    }
    if (!m_piece.empty()) {
        if (!Deliver()) {
            return false;
        }
        m_after = After::Delivered;
    } else {
        m_after = After::BlankCandidate;
    }
    m_breaks += c == '\n' && m_afterCr ? 0 : 1;
    m_afterCr = c == '\r';
    return m_out(std::string_view(&c, 1));
}

bool CReferenceRewriter::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        const uint64_t offset = m_offset++;
        const bool lineEnd = IsLineEnd(c);
        if (m_after != After::Byte) {
            const After after = std::exchange(m_after, After::Byte);
            if (lineEnd && offset % kChunk != 0) {
                // The second byte of a pair: after a line it may start the next pair, else it is a blank
                // line.
                if (after == After::Delivered) {
                    m_after = After::BlankCandidate;
                } else {
                    ++m_number;
                }
                m_breaks += c == '\n' && m_afterCr ? 0 : 1;
                m_afterCr = c == '\r';
                if (!m_out(std::string_view(&c, 1))) {
                    return false;
                }
                continue;
            }
        }
        if (lineEnd) {
            if (!LineEndByte(c)) {
                return false;
            }
            continue;
        }
        if (m_piece.size() == kMaxPiece && !Deliver()) {
            return false;
        }
        if (m_piece.empty()) {
            m_pieceBreaks = m_breaks;
        }
        m_piece.push_back(c);
        m_afterCr = false;
    }
    return true;
}

bool CReferenceRewriter::Finish() {
    return m_piece.empty() || Deliver();
}

std::vector<FileEdits> PlanReferenceFix(const std::vector<FileRewrites>& rewrites) {
    std::vector<FileEdits> plan;
    for (const FileRewrites& file : rewrites) {
        if (!file.whyNot.empty() || !HasFixable(file)) {
            continue;
        }
        FileEdits edits{file.path, {}};
        CReferenceRewriter rewriter(
            file, [](std::string_view) { return true; },
            [&edits](const ReferenceEdit& edit) { edits.edits.push_back(edit); });
        FileSource source;
        std::error_code ec;
        bool readFailed = false;
        if (source.Open(file.path, ec, false) && Rewrite(source, rewriter, ec, readFailed) &&
            !edits.edits.empty()) {
            plan.push_back(std::move(edits));
        }
    }
    return plan;
}

std::string ReferenceFixDiff(const std::vector<FileEdits>& plan, const std::string& base) {
    std::string diff;
    for (const FileEdits& file : plan) {
        const std::string name = DiffName(file.path, base);
        diff += "--- a/" + name + "\n+++ b/" + name + "\n";
        for (const ReferenceEdit& edit : file.edits) {
            const std::string at = std::to_string(edit.physicalLine);
            diff += "@@ -" + at + " +" + at + " @@\n-" + edit.oldLine + "\n+" + edit.newLine + "\n";
        }
    }
    return diff;
}

ReferenceFixResult FixReferences(const std::vector<FileRewrites>& rewrites,
                                 const std::vector<FileEdits>& plan, RunContext& ctx,
                                 const ReplaceHooks& hooks) {
    WaitCursorScope wait(ctx);
    ReferenceFixResult result;
    std::set<std::string> sweptFolders;  // cleared of what killed writes left, once per run
    for (const FileEdits& planned : plan) {
        const auto file = std::find_if(rewrites.begin(), rewrites.end(),
                                       [&](const FileRewrites& r) { return r.path == planned.path; });
        if (file == rewrites.end()) {
            continue;
        }
        const ContentTransform transform = [&file](FileSource& original, FileWriter& copy,
                                                   std::error_code& ec, bool& readFailed) {
            ec.clear();
            OutputBuffer out(copy);
            CReferenceRewriter rewriter(*file, [&](std::string_view bytes) { return out.Append(bytes, ec); });
            return Rewrite(original, rewriter, ec, readFailed) && out.Flush(ec);
        };
        FixFailure failure;
        switch (RewriteKeepingBackup(planned.path, false, false, transform, hooks, sweptFolders, failure)) {
            case RewriteOutcome::Written:
                result.written.push_back(planned.path);
                continue;
            case RewriteOutcome::Skipped:
                result.failures.push_back(std::move(failure));
                continue;
            case RewriteOutcome::Failed:
                result.failures.push_back(std::move(failure));
                result.stopped = true;
                break;
        }
        break;
    }
    return result;
}

ReferenceFixRun RunReferenceFix(PackageCheckRun& run, const std::string& base, bool dryRun, RunContext& ctx,
                                const std::map<std::string, std::string>& leaveAlone,
                                const ReplaceHooks& hooks) {
    ReferenceFixRun fix;
    for (FileRewrites& file : run.rewrites) {
        if (const auto left = leaveAlone.find(file.path); left != leaveAlone.end() && file.whyNot.empty()) {
            file.whyNot = left->second;
        }
    }
    std::map<std::string, std::string> fileWhyNot;
    const bool anything = std::any_of(run.rewrites.begin(), run.rewrites.end(), HasFixable);
    if (run.readOnly && anything) {
        fix.refused = true;
        ctx.Notify(NoticeKind::Warning, kReferenceFixTitle, kVersionArchiveNotFixedText);
    } else if (anything) {
        fix.plan = PlanReferenceFix(run.rewrites);
    }
    if (dryRun) {
        fix.diff = ReferenceFixDiff(fix.plan, base);
    } else if (!fix.plan.empty()) {
        fix.asked = true;
        if (ctx.Notify(NoticeKind::None, kReferenceFixTitle, QuestionText(fix.plan),
                       NoticeButtons::OkCancel) == NoticeAnswer::Ok) {
            fix.ran = true;
            fix.fix = FixReferences(run.rewrites, fix.plan, ctx, hooks);
            for (const FixFailure& failure : fix.fix.failures) {
                ctx.Notify(NoticeKind::Error, kVersionFixFailureTitle, failure.text);
                fileWhyNot[failure.path] = failure.text;
            }
        } else {
            return fix;  // Cancel: nothing changed, and the check's result stands as it was
        }
        for (const FileEdits& file : fix.plan) {
            fileWhyNot.emplace(file.path, kReferenceFixStoppedText);
        }
    }
    const std::set<std::string> written(fix.fix.written.begin(), fix.fix.written.end());
    MarkFindings(run.findings, run.rewrites, written, fileWhyNot, dryRun);
    if (!dryRun) {
        run.report += FixReport(run, fix);
    }
    return fix;
}

int32_t ProblemsLeft(const PackageCheckRun& run) {
    uint64_t left = 0;
    for (const Finding& finding : run.findings) {
        left += IsProblem(finding.rule) && !finding.fixed ? 1 + finding.more : 0;
    }
    return static_cast<int32_t>(std::min<uint64_t>(left, INT32_MAX));
}

}  // namespace veltrane
