#include "checks/PackageReport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "checks/PackageRules.h"
#include "checks/ToolTexts.h"
#include "checks/UnreadableFolders.h"

namespace veltrane {

namespace {

const char* SectionHeader(Rule rule) {
    switch (rule) {
        case Rule::UnreadableFile:
            return kUnreadableFilesHeader;
        case Rule::UnreadableFolder:
            return kUnreadableFoldersHeader;
        case Rule::LinkOutside:
            return kLinksOutsideHeader;
        case Rule::MissingFile:
            return "These references name files that are neither in the package nor in a runtime looked "
                   "in:\r\n";
        case Rule::CaseMismatch:
            return "These references find their files only when letter case is ignored (they fail on "
                   "case-sensitive volumes):\r\n";
        case Rule::OutsideRuntime:
            return "These references lead outside the package's Runtime folder:\r\n";
        case Rule::AnyPlatformAbsolute:
            return "These references are absolute paths (a drive, a server, a Mac volume or a leading "
                   "/):\r\n";
        case Rule::Compressed:
            return "These files are compressed (older Poser releases and most other programs cannot read "
                   "them):\r\n";
        case Rule::NoRuntime:
            return "This folder holds no Runtime folder:\r\n";
        case Rule::Unreferenced:
            return "No Poser file of the package refers to these textures and geometries (for "
                   "information):\r\n";
        case Rule::ArchiveLayout:
            return "The archive's top level should hold the Runtime folder (a ReadMe or licence may stand "
                   "beside it), not these:\r\n";
        case Rule::JunkEntry:
            return "These entries are clutter left by the packing system and should not be shipped:\r\n";
        case Rule::BackslashEntry:
            return "These entry names separate their folders with backslashes (\\), which only Windows "
                   "unpacks as folders:\r\n";
        case Rule::UnsafeEntry:
            return "These entry names are absolute or climb out of the archive with .. (they were not "
                   "checked):\r\n";
        case Rule::CaseCollision:
            return "These entries differ only in letter case from another entry (they collide when unpacked "
                   "on Windows or a Mac):\r\n";
        case Rule::NestedArchive:
            return "These entries are archives themselves (what they pack was not checked):\r\n";
        case Rule::UnreadableEntry:
            return "These entries could not be read (encrypted, compressed by a method that cannot be read, "
                   "or damaged):\r\n";
        case Rule::DamagedArchive:
            return "This archive is damaged, or would not unpack as it lists; what could be read was "
                   "checked:\r\n";
        default:
            break;
    }
    const char* header = PackageRuleHeader(rule);
    return header ? header : "";
}

std::string_view Digits(uint64_t number, std::array<char, 20>& digits) {
    return {digits.data(),
            static_cast<size_t>(std::to_chars(digits.begin(), digits.end(), number).ptr - digits.data())};
}

// The lines of one finding, its section's header before it when it opens a section (before: the rule
// of the finding before it, if any).
template <typename Put>
bool PutFinding(const Finding& finding, std::optional<Rule> before, Put& put) {
    std::array<char, 20> digits{};
    if (before != finding.rule) {
        if ((before && !put("\r\n")) || !put(SectionHeader(finding.rule))) {
            return false;
        }
    }
    bool ok = put(finding.path);
    if (finding.rule == Rule::LinkOutside) {
        ok = ok && put(" -> ") && put(finding.value);
    } else if (finding.line == 0 && !finding.value.empty()) {
        ok = ok && put(": ") && put(finding.value);
    } else if (IsArchiveRule(finding.rule) && !finding.error.empty()) {
        ok = ok && put(": ") && put(finding.error);
    }
    if (finding.line != 0) {
        ok = ok && put(", line ") && put(Digits(finding.line, digits)) && put(": ") && put(finding.value);
    }
    ok = ok && put("\r\n");
    if (finding.more != 0) {
        ok = ok && put("    ... and ") && put(Digits(finding.more, digits)) && put(" more in this file\r\n");
    }
    return ok;
}

// What the report says before its findings.
std::string_view ReportOpening(bool anyProblem, bool anyFinding, bool cancelled) {
    if (cancelled) {
        return kCancelledPartialResults;
    }
    if (anyProblem) {
        return {};
    }
    static const std::string noProblems = std::string(kNoProblemsFound) + "\r\n\r\n";
    return anyFinding ? std::string_view(noProblems) : std::string_view(kNoProblemsFound);
}

// The findings of a list, as KeptFindings::ForEach hands out its own.
struct ListedFindings {
    const Findings& list;

    bool AnyProblem() const {
        return std::any_of(list.begin(), list.end(),
                           [](const Finding& finding) { return IsProblem(finding.rule); });
    }
    bool Empty() const { return list.empty(); }
    template <typename Each>
    bool ForEach(Each&& each) const {
        return std::all_of(list.begin(), list.end(), each);
    }
};

// The report of findings (a ListedFindings or KeptFindings) handed to put piece by piece.
template <typename Source, typename Put>
bool PutReport(const Source& findings, bool cancelled, Put& put) {
    if (!put(ReportOpening(findings.AnyProblem(), !findings.Empty(), cancelled))) {
        return false;
    }
    std::optional<Rule> before;
    const bool all = findings.ForEach([&](const Finding& finding) {
        if (!PutFinding(finding, before, put)) {
            return false;
        }
        before = finding.rule;
        return true;
    });
    return all && (!before || put("\r\n"));
}

// A large package has tens of thousands of findings: the text is measured first and made in one piece
// of memory, never grown.
template <typename Source>
std::string ReportText(const Source& findings, bool cancelled) {
    size_t size = 0;
    auto count = [&size](std::string_view piece) {
        size += piece.size();
        return true;
    };
    PutReport(findings, cancelled, count);
    std::string report;
    report.reserve(size);
    auto append = [&report](std::string_view piece) {
        report.append(piece);
        return true;
    };
    PutReport(findings, cancelled, append);
    return report;
}

}  // namespace

std::string PackageReport(const Findings& findings, bool cancelled) {
    return ReportText(ListedFindings{findings}, cancelled);
}

std::string PackageReport(const KeptFindings& findings, bool cancelled) {
    return ReportText(findings, cancelled);
}

bool PutPackageReport(const KeptFindings& findings, bool cancelled,
                      const std::function<bool(std::string_view)>& put) {
    return PutReport(findings, cancelled, put);
}

}  // namespace veltrane
