#include "checks/ReportHtml.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <map>
#include <utility>

#include "checks/PackageRules.h"
#include "fs/run/FileErrors.h"
#include "fs/text/PathParts.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

// What a section is about, in a reader's words; rules without one are titled by their name.
constexpr std::pair<Rule, const char*> kRuleTitles[] = {
    {Rule::LongName, "Names of 32 characters or more"},
    {Rule::UnquotedSpaces, "Paths with spaces but no quotes"},
    {Rule::AbsolutePath, "Absolute paths"},
    {Rule::Backslash, "Paths with backslashes"},
    {Rule::TooLong, "Paths too long"},
    {Rule::Version, "Versions above 4.0"},
    {Rule::UnreadableFile, "Files that could not be read"},
    {Rule::UnreadableFolder, "Folders that could not be read"},
    {Rule::LinkOutside, "Links out of the package"},
    {Rule::MissingFile, "Missing files"},
    {Rule::CaseMismatch, "References in the wrong letter case"},
    {Rule::OutsideRuntime, "References outside Runtime"},
    {Rule::AnyPlatformAbsolute, "Absolute references"},
    {Rule::Compressed, "Compressed library files"},
    {Rule::NoRuntime, "No Runtime folder"},
    {Rule::Unreferenced, "Files nothing refers to"},
    {Rule::UnportableName, "Names that do not unpack everywhere"},
    {Rule::NonAsciiName, "Names beyond ASCII"},
    {Rule::EmptyFile, "Empty files"},
    {Rule::MissingThumbnail, "Library files without a thumbnail"},
    {Rule::ThumbnailSize, "Thumbnails that are not 91 x 91 PNGs"},
    {Rule::ImageMismatch, "Images that are not what their extension says"},
    {Rule::NoReadme, "No readme"},
    {Rule::ArchiveLayout, "Archive layout"},
    {Rule::JunkEntry, "Clutter"},
    {Rule::BackslashEntry, "Entries named with backslashes"},
    {Rule::UnsafeEntry, "Entries that unpack outside their folder"},
    {Rule::CaseCollision, "Names that differ only in case"},
    {Rule::NestedArchive, "Archives inside the archive"},
    {Rule::UnreadableEntry, "Entries that could not be read"},
    {Rule::DamagedArchive, "Damaged archive"},
};

std::string RuleTitle(Rule rule) {
    for (const auto& [known, title] : kRuleTitles) {
        if (known == rule) {
            return title;
        }
    }
    return RuleName(rule);
}

// Inline style only: the page must read the same from a file, a mail or a print. The verdict and the
// sections tell severity by a word and a border pattern too, so grey-scale print keeps it.
constexpr const char* kStyle = R"(
body{font:15px/1.45 system-ui,sans-serif;margin:2em auto;max-width:70em;padding:0 1em;color:#1d1d1f}
h1{margin:0 0 .2em;font-size:1.7em;overflow-wrap:anywhere}
.meta{color:#555;margin:0 0 1em}
.verdict{font-size:1.3em;font-weight:700;padding:.5em .8em;border-radius:6px;border:3px solid}
.v-ready{background:#e3f5e6;border-color:#1e7b34;color:#134d21}
.v-warning{background:#fff4d6;border:3px dashed #9a6a00;color:#5c3f00}
.v-error{background:#fde4e4;border:3px double #b3261e;color:#7a1813}
table{border-collapse:collapse;margin:.4em 0 1em}
table.findings{width:100%;table-layout:fixed}
th.path{width:40%}
th.num{width:4em}
th.to{width:28%}
th,td{text-align:left;padding:.25em .6em;border-bottom:1px solid #ddd;vertical-align:top}
td.path,td.detail,td.to{font-family:ui-monospace,monospace;font-size:.9em;overflow-wrap:anywhere;
 white-space:pre-wrap}
td.num{text-align:right}
.counts{display:flex;flex-wrap:wrap;gap:2em}
section.rule{margin:1.5em 0;padding-left:.8em;border-left:6px solid}
section.error{border-color:#b3261e}
section.warning{border-left-style:dashed;border-color:#9a6a00}
section.info{border-left-style:dotted;border-color:#666}
.sev{font-size:.75em;text-transform:uppercase;letter-spacing:.05em;padding:.1em .4em;border:1px solid;
 border-radius:3px;margin-left:.5em;vertical-align:middle}
.thumb{float:left;margin:0 .6em .3em 0;border:1px solid #ccc;image-rendering:auto}
.more{color:#555;font-style:italic}
summary{cursor:pointer;color:#0645ad;margin:.3em 0}
@media print{details{display:block}details>summary{display:none}
 .verdict,section.rule{print-color-adjust:exact;-webkit-print-color-adjust:exact}}
)";

size_t SeverityRank(Rule rule) {
    return static_cast<size_t>(SeverityOf(rule));
}

// The path below the package when it lies there, else as found.
std::string_view Relative(std::string_view path, std::string_view root) {
    if (root.empty() || !path.starts_with(root)) {
        return path;
    }
    std::string_view rest = path.substr(root.size());
    if (!EndsWithSeparator(root)) {
        if (rest.empty() || !IsSeparator(rest.front())) {
            return path;
        }
        rest.remove_prefix(1);
    }
    return rest.empty() ? path : rest;
}

std::string Counted(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The finding's detail column: the value judged, or what its rule carries instead.
std::string Detail(const Finding& finding) {
    const unsigned fields = FindingFields(finding.rule);
    if ((fields & kFieldValue) != 0) {
        return finding.value;
    }
    if ((fields & kFieldText) != 0) {
        return finding.text;
    }
    if ((fields & kFieldLength) != 0) {
        return std::to_string(finding.length) + " characters";
    }
    if ((fields & kFieldError) != 0) {
        return finding.error;
    }
    return {};
}

std::string ResolvedOrFix(const Finding& finding, std::string_view root) {
    if (finding.fixed && (FindingFields(finding.rule) & kFieldText) != 0) {
        return "fixed";
    }
    if (finding.fixedValue) {  // a fix, or its dry run, looked at this reference
        return (finding.fixed ? "fixed to " : "a fix writes ") + *finding.fixedValue;
    }
    if (!finding.notFixed.empty()) {
        return "not fixable: " + finding.notFixed;
    }
    if ((FindingFields(finding.rule) & kFieldResolved) != 0) {
        return finding.resolved ? "found at " + std::string(Relative(*finding.resolved, root)) : "not found";
    }
    return {};
}

// The PNG that is a library file's thumbnail: beside it, of the same name.
std::string ThumbnailPath(const std::string& file) {
    const PathParts parts = SplitPath(file);
    return parts.extension.empty() ? std::string()
                                   : file.substr(0, file.size() - parts.extension.size()) + ".png";
}

// The thumbnails of a page: all read in one pass before the page is made, each embedded once, as a
// class of the style.
class ThumbnailSet {
public:
    explicit ThumbnailSet(const HtmlReportInput& input) {
        if (!input.readPngs) {
            return;
        }
        std::vector<std::string> pngs;
        for (const Finding& finding : *input.findings) {
            const std::string png =
                (FindingFields(finding.rule) & kFieldFile) != 0 ? ThumbnailPath(finding.path) : std::string();
            if (!png.empty() && m_classes.emplace(png, std::string()).second) {
                pngs.push_back(png);
            }
        }
        input.readPngs(pngs, [&](size_t index, const std::string& bytes) { Embed(pngs[index], bytes); });
    }

    // The class naming the thumbnail of a library file, or empty when it has none that can be shown.
    std::string ClassOf(const std::string& file) const {
        const auto known = m_classes.find(ThumbnailPath(file));
        return known == m_classes.end() ? std::string() : known->second;
    }

    const std::string& Style() const { return m_style; }

private:
    void Embed(const std::string& png, const std::string& bytes) {
        const auto size = PngSize(bytes);
        if (bytes.size() > kThumbnailReadLimit || !size || size->first == 0 || size->second == 0) {
            return;
        }
        // A larger picture is scaled down to fit, keeping its proportions.
        const uint32_t longest = std::max(size->first, size->second);
        const double scale = longest > kThumbnailShownSide ? double(kThumbnailShownSide) / longest : 1.0;
        const auto side = [scale](uint32_t pixels) {
            return std::max<uint32_t>(1, static_cast<uint32_t>(pixels * scale + 0.5));
        };
        std::string name = "t" + std::to_string(++m_count);
        m_style += "." + name + "{width:" + std::to_string(side(size->first)) +
                   "px;height:" + std::to_string(side(size->second)) +
                   "px;background:url('data:image/png;base64," + Base64(bytes) + "') 0 0/100% 100%}\n";
        m_classes[png] = std::move(name);
    }

    std::map<std::string, std::string> m_classes;  // PNG path -> class, empty when not shown
    std::string m_style;
    size_t m_count = 0;
};

struct Tally {
    std::array<uint64_t, 3> bySeverity{};
    std::map<std::pair<size_t, std::string>, std::pair<Rule, uint64_t>> byRule;  // in section order
};

Tally Count(const Findings& findings) {
    Tally tally;
    for (const Finding& finding : findings) {
        const uint64_t n = 1 + finding.more;
        tally.bySeverity[SeverityRank(finding.rule)] += n;
        auto& entry = tally.byRule[{SeverityRank(finding.rule) * 1000 + static_cast<size_t>(finding.rule),
                                    RuleName(finding.rule)}];
        entry.first = finding.rule;
        entry.second += n;
    }
    return tally;
}

void AddVerdict(std::string& out, const Tally& tally, bool cancelled) {
    const uint64_t errors = tally.bySeverity[0];
    const uint64_t warnings = tally.bySeverity[1];
    const char* kind = errors > 0 ? "v-error" : warnings > 0 ? "v-warning" : "v-ready";
    std::string text;
    if (errors == 0 && warnings == 0) {
        text = cancelled ? "Nothing found before the check was cancelled" : "Ready: no problems found";
    } else {
        text = errors > 0 ? Counted(errors, "error", "errors") : "";
        if (warnings > 0) {
            text += (text.empty() ? "" : ", ") + Counted(warnings, "warning", "warnings");
        }
        if (cancelled) {
            text += " (cancelled: partial results)";
        }
    }
    out += "<p class=\"verdict " + std::string(kind) + "\">" + text + "</p>\n";
}

void AddCounts(std::string& out, const HtmlReportInput& input, const Tally& tally) {
    out += "<div class=\"counts\">\n<table><caption>Per tool</caption>\n";
    for (const ReportTool& tool : input.tools) {
        for (int i = 0; i < 2; ++i) {
            std::string label = tool.counterLabels[i];
            while (!label.empty() && (label.back() == ' ' || label.back() == ':')) {
                label.pop_back();
            }
            out += i == 0 ? "<tr><th rowspan=\"2\">" + HtmlText(tool.name) + "</th>" : std::string("<tr>");
            out += "<td>" + HtmlText(label) + "</td><td class=\"num\">" + std::to_string(tool.counters[i]) +
                   "</td></tr>\n";
        }
    }
    out += "</table>\n<table><caption>Per rule</caption>\n";
    for (const auto& [key, rule] : tally.byRule) {
        out += "<tr><th><a href=\"#" + key.second + "\">" + key.second + "</a></th><td>" +
               SeverityName(SeverityOf(rule.first)) + "</td><td class=\"num\">" +
               std::to_string(rule.second) + "</td></tr>\n";
    }
    out += "</table>\n</div>\n";
}

bool HasOutcome(Rule rule) {
    return (FindingFields(rule) & (kFieldResolved | kFieldFixed)) != 0;
}

// The table of a rule's findings: a line column for rules about lines, a last one for what a reference
// resolved to or what a fix did.
std::string TableHead(Rule rule) {
    const unsigned fields = FindingFields(rule);
    std::string head = "<table class=\"findings\"><thead><tr><th class=\"path\">File</th>";
    head += (fields & kFieldLine) != 0 ? "<th class=\"num\">Line</th>" : "";
    head += "<th>Detail</th>";
    head += (fields & kFieldResolved) != 0 ? "<th class=\"to\">Resolved</th>"
            : HasOutcome(rule)             ? "<th class=\"to\">Fix</th>"
                                           : "";
    return head + "</tr></thead><tbody>\n";
}

void AddRow(std::string& out, const Finding& finding, const std::string& root, ThumbnailSet& thumbnails) {
    const unsigned fields = FindingFields(finding.rule);
    out += "<tr><td class=\"path\">";
    if ((fields & kFieldFile) != 0) {
        const std::string thumb = thumbnails.ClassOf(finding.path);
        if (!thumb.empty()) {
            out += "<span class=\"thumb " + thumb + "\"></span>";
        }
    }
    out += HtmlText(Relative(finding.path, root)) + "</td>";
    if ((fields & kFieldLine) != 0) {
        out += "<td class=\"num\">" + std::to_string(finding.line) + "</td>";
    }
    out += "<td class=\"detail\">" + HtmlText(Detail(finding)) + "</td>";
    if (HasOutcome(finding.rule)) {
        out += "<td class=\"to\">" + HtmlText(ResolvedOrFix(finding, root)) + "</td>";
    }
    out += "</tr>\n";
    if (finding.more != 0) {
        out += "<tr class=\"more\"><td colspan=\"4\">and " + std::to_string(finding.more) +
               " more of this kind in this file, not listed</td></tr>\n";
    }
}

// One section per rule; a rule's rows past kReportRowsShown are folded into <details>.
void AddSections(std::string& out, const HtmlReportInput& input, ThumbnailSet& thumbnails) {
    std::vector<const Finding*> sorted;
    sorted.reserve(input.findings->size());
    for (const Finding& finding : *input.findings) {
        sorted.push_back(&finding);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Finding* a, const Finding* b) {
        return std::pair(SeverityRank(a->rule), a->rule) < std::pair(SeverityRank(b->rule), b->rule);
    });
    for (size_t i = 0; i < sorted.size();) {
        const Rule rule = sorted[i]->rule;
        size_t end = i;
        while (end < sorted.size() && sorted[end]->rule == rule) {
            ++end;
        }
        const char* severity = SeverityName(SeverityOf(rule));
        out += "<section class=\"rule " + std::string(severity) + "\" id=\"" + RuleName(rule) + "\">\n<h2>" +
               HtmlText(RuleTitle(rule)) + "<span class=\"sev\">" + severity + "</span> <code>" +
               RuleName(rule) + "</code></h2>\n" + TableHead(rule);
        for (size_t k = i; k < end; ++k) {
            if (k - i == kReportRowsShown) {
                out += "</tbody></table>\n<details><summary>" + std::to_string(end - k) +
                       " more</summary>\n" + TableHead(rule);
            }
            AddRow(out, *sorted[k], input.path, thumbnails);
        }
        out += end - i > kReportRowsShown ? "</tbody></table>\n</details>\n</section>\n"
                                          : "</tbody></table>\n</section>\n";
        i = end;
    }
}

void AppendHexEscape(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

std::string HtmlText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            const size_t len = Utf8SequenceLength(bytes, i);
            const bool c1 = len == 2 && c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0;
            if (len == 0 || c1) {
                for (size_t k = 0; k < std::max<size_t>(len, 1); ++k) {
                    AppendHexEscape(out, static_cast<unsigned char>(bytes[i + k]));
                }
                i += std::max<size_t>(len, 1);
            } else {
                out.append(bytes.substr(i, len));
                i += len;
            }
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if ((c < 0x20 && c != '\t') || c == 0x7F) {
                    AppendHexEscape(out, c);
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out;
}

std::optional<std::pair<uint32_t, uint32_t>> PngSize(std::string_view bytes) {
    // The signature, then the IHDR chunk: its length (13), its type, the width and the height.
    const char* format = ImageFormatOf(bytes);
    if (bytes.size() < 24 || format == nullptr || std::string_view(format) != "PNG" ||
        bytes.substr(8, 8) != std::string_view("\0\0\0\x0DIHDR", 8)) {
        return std::nullopt;
    }
    const auto bigEndian = [bytes](size_t at) {
        uint32_t value = 0;
        for (size_t i = at; i < at + 4; ++i) {
            value = (value << 8) | static_cast<unsigned char>(bytes[i]);
        }
        return value;
    };
    return std::pair(bigEndian(16), bigEndian(20));
}

std::string Base64(std::string_view bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k) {
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (size_t k = 0; k < 4; ++k) {
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return out;
}

void ReadPngsInTree(const std::string& packagePath, const std::vector<std::string>& pngs,
                    const PngSink& each) {
    std::unique_ptr<CPackageTree> tree = CPackageTree::Open(packagePath);
    std::vector<std::string> present;
    std::vector<size_t> at;
    for (size_t i = 0; i < pngs.size(); ++i) {
        if (tree->KindOf(pngs[i]) == CPackageTree::Kind::File) {
            present.push_back(pngs[i]);
            at.push_back(i);
        }
    }
    if (present.empty()) {
        return;
    }
    const std::unique_ptr<CHeadReads> heads =
        tree->ReadHeads(std::move(present), kThumbnailReadLimit + 1, {});
    for (size_t k = 0; k < at.size(); ++k) {
        const FileHead head = heads->Take(k);
        if (head.read) {
            each(at[k], head.bytes);
        }
    }
}

std::string HtmlReportName(const std::string& packagePath) {
    std::string_view path = packagePath;
    while (path.size() > 1 && IsSeparator(path.back())) {
        path.remove_suffix(1);
    }
    const PathParts parts = SplitPath(path);
    std::string name = std::string(parts.baseName) + std::string(parts.extension);
    if (name.empty() || name == "." || name == "..") {
        name = "package";
    }
    return name + "-report.html";
}

std::string ReportTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

std::string PackageHtmlReport(const std::string& path, const PackageCheckRun& run,
                              const std::string& checkedAt) {
    HtmlReportInput input;
    input.path = path;
    input.checkedAt = checkedAt;
    input.version = std::string("Veltrane ") + VELTRANE_VERSION;
    input.findings = &run.findings;
    input.cancelled = run.cancelled;
    input.readPngs = [&path](const std::vector<std::string>& pngs, const PngSink& each) {
        ReadPngsInTree(path, pngs, each);
    };
    ReportTool& tool = input.tools.emplace_back();
    tool.name = "package";
    tool.counterLabels[0] = kPackageFilesLabel;
    tool.counterLabels[1] = kPackageProblemsLabel;
    tool.counters[0] = run.filesChecked;
    tool.counters[1] = run.problemsFound;
    return HtmlReport(input);
}

bool SaveHtmlReport(const std::string& file, std::string_view page, RunContext& ctx) {
    std::error_code ec;
    if (WriteFileAtomically(file, page, ec)) {
        return true;
    }
    ctx.Notify(NoticeKind::Error, "Save Report", FileErrorText(ec, file));
    return false;
}

std::string HtmlReport(const HtmlReportInput& input) {
    static const Findings kNone;
    HtmlReportInput in = input;
    if (in.findings == nullptr) {
        in.findings = &kNone;
    }
    const Tally tally = Count(*in.findings);
    ThumbnailSet thumbnails(in);
    std::string body;
    AddVerdict(body, tally, in.cancelled);
    AddCounts(body, in, tally);
    AddSections(body, in, thumbnails);

    std::string name = HtmlReportName(in.path);
    name.resize(name.size() - std::char_traits<char>::length("-report.html"));
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
        "'unsafe-inline'; "
        "img-src data:\">\n<meta name=\"viewport\" content=\"width=device-width, "
        "initial-scale=1\">\n<title>" +
        HtmlText(name) + " - package report</title>\n<style>" + kStyle + thumbnails.Style() +
        "</style>\n</head>\n<body>\n<h1>" + HtmlText(name) + "</h1>\n<p class=\"meta\">" + HtmlText(in.path) +
        "<br>Checked " + HtmlText(in.checkedAt) + " with " + HtmlText(in.version) + "</p>\n";
    page += body;
    page += "</body>\n</html>\n";
    return page;
}

}  // namespace veltrane
