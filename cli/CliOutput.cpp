#include "cli/CliOutput.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include "checks/PackageCheck.h"
#include "checks/ReportHtml.h"
#include "cli/BlockOutput.h"
#include "cli/JsonWriter.h"
#include "fs/run/FileErrors.h"
#include "fs/text/ControlEscape.h"
#include "fs/text/PathParts.h"
#include "fs/write/FileOps.h"

namespace veltrane::cli {

namespace {

void AppendByteEscape(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// Line ends inside a box text become single spaces, so each box stays on one line.
std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            line += ' ';
        } else {
            line += text[i];
        }
    }
    return line;
}

// The button that answered a box, as the box labels it; nullptr for a box that only informs.
const char* AnswerButton(NoticeAnswer answer) {
    switch (answer) {
        case NoticeAnswer::Ok:
            return "OK";
        case NoticeAnswer::Cancel:
            return "Cancel";
        case NoticeAnswer::Yes:
            return "Yes";
        case NoticeAnswer::No:
            return "No";
        case NoticeAnswer::None:
            break;
    }
    return nullptr;
}

std::string CounterLabel(std::string_view label) {
    while (!label.empty() && (label.back() == ' ' || label.back() == ':')) {
        label.remove_suffix(1);
    }
    return std::string(label);
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t len = Utf8SequenceLength(text, i);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

std::string Base64(std::string_view bytes) {
    return veltrane::Base64(bytes);
}

void WriteFinding(JsonWriter& out, const Finding& finding) {
    const unsigned fields = FindingFields(finding.rule);
    out.BeginObject();
    out.Key("rule").String(RuleName(finding.rule));
    out.Key("severity").String(SeverityName(SeverityOf(finding.rule)));
    if ((fields & kFieldPath) != 0) {
        out.StringMember("path", finding.path);
    }
    if ((fields & kFieldFile) != 0) {
        out.StringMember("file", finding.path);
    }
    if ((fields & kFieldLine) != 0) {
        out.Key("line").Number(finding.line);
    }
    if ((fields & kFieldLength) != 0) {
        out.Key("length").Number(finding.length);
    }
    if ((fields & kFieldKeyword) != 0) {
        out.StringMember("keyword", finding.keyword);
    }
    if ((fields & kFieldValue) != 0) {
        out.StringMember("value", finding.value);
    }
    if ((fields & kFieldText) != 0) {
        out.StringMember("text", finding.text);
    }
    if ((fields & kFieldFixed) != 0) {
        out.Key("fixed").Bool(finding.fixed);
    }
    if ((fields & kFieldResolved) != 0) {
        if (finding.resolved) {
            out.StringMember("resolved", *finding.resolved);
        } else {
            out.Key("resolved").Null();
        }
    }
    if ((fields & kFieldError) != 0) {
        out.StringMember("error", finding.error);
    }
    if ((fields & kFieldFixed) == 0 && (finding.fixedValue || !finding.notFixed.empty())) {
        out.Key("fixed").Bool(finding.fixed);
        if (finding.fixedValue) {
            out.StringMember("fixedValue", *finding.fixedValue);
        } else {
            out.Key("fixedValue").Null();
        }
    }
    if (finding.more != 0) {
        out.Key("more").Number(static_cast<int64_t>(finding.more));
    }
    out.EndObject();
}

std::string FindingJsonLine(const Finding& finding) {
    JsonWriter out(nullptr, true);
    WriteFinding(out, finding);
    return out.Text();
}

void AppendJsonEscaped(std::string& out, std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            const size_t len = Utf8SequenceLength(bytes, i);
            if (len == 0) {
                AppendByteEscape(out, c);
                ++i;
            } else {
                out.append(bytes.substr(i, len));
                i += len;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20) {
                    AppendByteEscape(out, c);
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
}

std::string JsonString(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    AppendJsonEscaped(out, bytes);
    out += '"';
    return out;
}

namespace {

#ifndef _WIN32
// Hands text to put with each "\r\n" turned into "\n".
template <typename Put>
bool PutWithLineFeeds(std::string_view text, Put& put) {
    size_t start = 0;
    for (size_t crlf = text.find("\r\n"); crlf != std::string_view::npos; crlf = text.find("\r\n", start)) {
        if (!put(text.substr(start, crlf - start))) {
            return false;
        }
        start = crlf + 1;  // the next piece starts at the "\n"
    }
    return put(text.substr(start));
}
#endif

// Hands the plain stdout of run to put piece by piece, in order, and stops at the first piece put
// refuses. The text a caller gets and the bytes written to a stream are both made here, so they never
// differ.
template <typename Put>
bool PutPlainStdout(const CliRun& run, Put& put) {
    if (!run.parts.empty()) {
        for (const CliRun& part : run.parts) {
            if (!put("-- ") || !put(part.tool) || !put(" --\n") || !PutPlainStdout(part, put)) {
                return false;
            }
        }
        return true;
    }
    if (run.listToStdout) {
        return put(run.report);  // the saved list's bytes, exactly as a file would hold them
    }
#ifdef _WIN32
    if (run.kept) {
        return PutPackageReport(*run.kept, run.cancelled, put) && put("\r\n");
    }
    return put(run.report) && put("\r\n");
#else
    if (run.kept) {
        // No piece ends between the two bytes of a line end, so each can be turned on its own.
        const auto each = [&put](std::string_view piece) { return PutWithLineFeeds(piece, put); };
        return PutPackageReport(*run.kept, run.cancelled, each) && put("\n");
    }
    return PutWithLineFeeds(run.report, put) && put("\n");
#endif
}

}  // namespace

std::string PlainStdout(const CliRun& run) {
    size_t size = 0;
    auto count = [&size](std::string_view piece) {
        size += piece.size();
        return true;
    };
    PutPlainStdout(run, count);
    std::string out;
    out.reserve(size);
    auto append = [&out](std::string_view piece) {
        out.append(piece);
        return true;
    };
    PutPlainStdout(run, append);
    return out;
}

bool WritePlainStdout(std::FILE* stream, const CliRun& run, std::string_view heading) {
    BlockOutput out(stream);
    auto put = [&out](std::string_view piece) { return out.Put(piece); };
    if (put(heading)) {
        PutPlainStdout(run, put);  // stops at the first piece the stream refuses
    }
    return out.Finish();
}

namespace {

// Hands each finding of run (its parts' are their own) to each: from its list, or made one at a time from
// the kept findings of a package run.
template <typename Each>
void ForEachFinding(const CliRun& run, Each&& each) {
    if (run.findings) {
        for (const Finding& finding : *run.findings) {
            each(finding);
        }
    }
    if (run.kept) {
        run.kept->ForEach([&each](const Finding& finding) {
            each(finding);
            return true;
        });
    }
}

void AddIfSplitting(std::vector<std::string>& names, std::string_view name) {
    if (name.find("\r\n") != std::string_view::npos &&
        name.find_first_not_of("\r\n") != std::string_view::npos) {
        names.emplace_back(name);
    }
}

// The names of a run that hold a CR LF pair, which the report would show as one of its own line ends:
// each path (and its last component) of a finding or a listed file, longest first.
std::vector<std::string> NamesWithLineEnds(const CliRun& run) {
    std::vector<std::string> names;
    const auto add = [&names](std::string_view path) {
        AddIfSplitting(names, path);
        AddIfSplitting(names, LastComponent(path));
    };
    const auto addFindings = [&add](const CliRun& some) {
        ForEachFinding(some, [&add](const Finding& finding) {  // by reference: a run may hold a million
            add(finding.path);
            add(finding.value);
            add(finding.resolved ? std::string_view(*finding.resolved) : std::string_view());
        });
    };
    addFindings(run);
    for (const CliRun& part : run.parts) {
        addFindings(part);  // check: its findings are its parts'
    }
    if (run.entries) {
        for (const ListEntry& entry : *run.entries) {
            add(entry.folder);
            add(entry.name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() > b.size() || (a.size() == b.size() && a < b);
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// text with the CR LF pairs inside names written as escapes, then every other control escaped.
std::string EscapeWithNames(const std::string& text, const std::vector<std::string>& names) {
    std::string out = text;
    for (const std::string& name : names) {
        std::string shown = name;
        for (size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n", at)) {
            shown.replace(at, 2, "\\x0d\\x0a");
        }
        for (size_t at = out.find(name); at != std::string::npos; at = out.find(name, at + shown.size())) {
            out.replace(at, name.size(), shown);
        }
    }
    return EscapeControls(out);
}

}  // namespace

void EscapeForTerminal(CliRun& run, bool reports, bool notices) {
    for (CliRun& part : run.parts) {
        EscapeForTerminal(part, reports, notices);
    }
    if (!reports && !notices) {
        return;  // piped output keeps its bytes: no name need be looked for
    }
    const std::vector<std::string> names = NamesWithLineEnds(run);
    if (reports) {
        if (run.kept) {
            run.report = PackageReport(*run.kept, run.cancelled);  // a terminal's report is escaped whole
            run.kept.reset();
        }
        run.report = EscapeWithNames(run.report, names);
    }
    if (notices) {
        for (Notice& notice : run.notices) {
            notice.title = EscapeControls(notice.title);
            notice.text = EscapeWithNames(notice.text, names);
        }
    }
}

std::string CounterLine(const CliRun& run) {
    std::string line;
    if (run.counterLabels[0].empty() && run.counterLabels[1].empty()) {
        return line;  // a run that has no counters to show
    }
    for (int i = 0; i < 2; ++i) {
        if (i > 0) {
            line += "  ";
        }
        line += CounterLabel(run.counterLabels[i]);
        line += ": ";
        line += std::to_string(run.counters[i]);
    }
    return line;
}

std::string PlainStderr(const CliRun& run) {
    std::string err;
    if (!run.parts.empty()) {
        // Each tool's lines, named by the tool: "paths: Files checked: 3  Problem files: 1".
        for (const CliRun& part : run.parts) {
            const std::string lines = PlainStderr(part);
            for (size_t start = 0; start < lines.size();) {
                const size_t end = lines.find('\n', start);
                err += part.tool + ": ";
                err.append(lines, start, end - start + 1);
                start = end + 1;
            }
        }
        return err;
    }
    for (const Notice& notice : run.notices) {
        err += NoticeKindName(notice.kind);
        err += ": ";
        err += notice.title;
        err += ": ";
        err += OneLine(notice.text);
        if (const char* button = AnswerButton(notice.answer)) {
            // A question has already been answered: say so, so the line never reads as a prompt.
            err += " [answered ";
            err += button;
            err += ']';
        }
        err += '\n';
    }
    // After an error box that stopped the run, no counters: nothing was counted.
    const std::string counters = run.stoppedBeforeChecking ? std::string() : CounterLine(run);
    if (!counters.empty()) {
        err += counters;
        err += '\n';
    }
    if (run.cancelled) {
        err += "cancelled: the results are partial\n";
    }
    return err;
}

namespace {

void WriteFindingItems(JsonWriter& out, const CliRun& run) {
    ForEachFinding(run, [&out](const Finding& finding) { WriteFinding(out, finding); });
}

// The report, piece by piece when it is made from kept findings.
void WriteReport(JsonWriter& out, const CliRun& run) {
    out.Key("report");
    if (!run.kept) {
        out.String(run.report);
        return;
    }
    out.BeginString();
    PutPackageReport(*run.kept, run.cancelled, [&out](std::string_view piece) {
        out.StringPiece(piece);
        return true;
    });
    out.EndString();
}

void WriteOptional(JsonWriter& out, std::string_view key, const std::optional<std::string>& text) {
    if (text) {
        out.Key(key).String(*text);
    } else {
        out.Key(key).Null();
    }
}

void WriteNotices(JsonWriter& out, const std::vector<Notice>& notices) {
    out.Key("notices").BeginArray();
    for (const Notice& notice : notices) {
        out.BeginObject();
        out.Key("kind").String(NoticeKindName(notice.kind));
        out.Key("title").String(notice.title);
        out.Key("text").String(notice.text);
        const char* answer = NoticeAnswerName(notice.answer);
        if (answer) {
            out.Key("answer").String(answer);
        } else {
            out.Key("answer").Null();
        }
        out.EndObject();
    }
    out.EndArray();
}

void WriteRun(JsonWriter& out, const CliRun& run) {
    out.BeginObject();
    out.Key("tool").String(run.tool);
    if (run.tool == "check") {
        out.Key("path").String(run.path);
        out.Key("cancelled").Bool(run.cancelled);
        for (const CliRun& part : run.parts) {
            out.Key(part.tool);
            WriteRun(out, part);
        }
        // Its findings are its parts' in order, written from there rather than held twice.
        out.Key("findings").BeginArray();
        for (const CliRun& part : run.parts) {
            WriteFindingItems(out, part);
        }
        out.EndArray();
        out.EndObject();
        return;
    }
    WriteOptional(out, "mode", run.mode);
    out.Key("path").String(run.path);
    out.Key("counters").NumberRow(run.counters, 2);
    WriteReport(out, run);
    WriteNotices(out, run.notices);
    out.Key("cancelled").Bool(run.cancelled);
    WriteOptional(out, "saved", run.saved);
    if (run.findings || run.kept) {
        out.Key("findings").BeginArray();
        WriteFindingItems(out, run);
        out.EndArray();
    }
    if (run.entries) {
        out.Key("entries").BeginArray();
        for (const ListEntry& entry : *run.entries) {
            out.BeginObject();
            out.StringMember("folder", entry.folder);
            out.StringMember("name", entry.name);
            out.EndObject();
        }
        out.EndArray();
    }
    out.EndObject();
}

}  // namespace

std::string JsonOutput(const CliRun& run, bool oneLine) {
    JsonWriter out(nullptr, oneLine);
    WriteRun(out, run);
    out.Finish();
    return out.Text();
}

bool WriteJson(std::FILE* stream, const CliRun& run, bool oneLine) {
    JsonWriter out(stream, oneLine);
    WriteRun(out, run);
    return out.Finish();
}

}  // namespace veltrane::cli

namespace veltrane::cli {

namespace {

constexpr const char* kReset = "\033[0m";

// The severity of each section header Package Check writes, learnt from its own report of one
// finding of each rule. Headers of the other tools are all about errors.
const std::map<std::string, Severity>& HeaderSeverities() {
    static const std::map<std::string, Severity> headers = [] {
        std::map<std::string, Severity> found;
        for (int r = 0; r < 256 && std::string_view(RuleName(static_cast<Rule>(r))) != "unknown"; ++r) {
            const Rule rule = static_cast<Rule>(r);
            Finding one;
            one.rule = rule;
            one.path = "\x01";
            const std::string report = PackageReport({one}, false);
            const size_t marker = report.find("\r\n\x01");
            if (marker == std::string::npos) {
                continue;
            }
            const size_t start = report.rfind("\r\n", marker == 0 ? 0 : marker - 1);
            const size_t from = start == std::string::npos || start >= marker ? 0 : start + 2;
            found.emplace(report.substr(from, marker - from), SeverityOf(rule));
        }
        return found;
    }();
    return headers;
}

std::string ColourLine(std::string_view line, const std::string& path) {
    if (line.starts_with("-- ") || line.starts_with("==> ")) {
        return "\033[1m" + std::string(line) + kReset;
    }
    if (!path.empty() && line.starts_with(path)) {
        const size_t end = std::min(line.find(", line "), line.size());
        return "\033[36m" + std::string(line.substr(0, end)) + kReset + std::string(line.substr(end));
    }
    if (!line.ends_with(':')) {
        return std::string(line);
    }
    const auto& headers = HeaderSeverities();
    const auto known = headers.find(std::string(line));
    const Severity severity = known == headers.end() ? Severity::Error : known->second;
    const char* colour = severity == Severity::Error     ? "\033[1;31m"
                         : severity == Severity::Warning ? "\033[1;33m"
                                                         : "\033[1m";
    return colour + std::string(line) + kReset;
}

ReportTool ToolOf(const CliRun& run) {
    ReportTool tool;
    tool.name = run.tool;
    for (int i = 0; i < 2; ++i) {
        tool.counterLabels[i] = run.counterLabels[i];
        tool.counters[i] = run.counters[i];
    }
    return tool;
}

}  // namespace

std::string Colourize(const std::string& plain, const std::string& path) {
    std::string out;
    out.reserve(plain.size() + plain.size() / 4);
    for (size_t start = 0; start < plain.size();) {
        size_t end = plain.find('\n', start);
        end = end == std::string::npos ? plain.size() : end;
        std::string_view line(plain.data() + start, end - start);
        const bool cr = line.ends_with('\r');
        if (cr) {
            line.remove_suffix(1);
        }
        out += line.empty() ? std::string() : ColourLine(line, path);
        out += cr ? "\r" : "";
        out += end < plain.size() ? "\n" : "";
        start = end + 1;
    }
    return out;
}

int WriteHtmlFile(const CliRun& run, const std::string& target) {
    HtmlReportInput input;
    input.path = run.path;
    input.checkedAt = ReportTimeNow();
    input.version = std::string("veltrane-cli ") + VELTRANE_VERSION;
    // check: its parts' findings in one list, for this page only; so too a run's kept findings
    Findings listed;
    const auto list = [&listed](const Finding& finding) { listed.push_back(finding); };
    if (!run.findings) {
        ForEachFinding(run, list);
        for (const CliRun& part : run.parts) {
            ForEachFinding(part, list);
        }
    }
    input.findings = run.findings ? &*run.findings : run.kept || !run.parts.empty() ? &listed : nullptr;
    input.cancelled = run.cancelled;
    input.readPngs = [&run](const std::vector<std::string>& pngs, const PngSink& each) {
        ReadPngsInTree(run.path, pngs, each);
    };
    if (run.parts.empty()) {
        input.tools.push_back(ToolOf(run));
    }
    for (const CliRun& part : run.parts) {
        input.tools.push_back(ToolOf(part));
    }
    const std::string page = HtmlReport(input);
    std::error_code ec;
    if (target == "-") {
        errno = 0;
        if (std::fwrite(page.data(), 1, page.size(), stdout) == page.size() && std::fflush(stdout) == 0) {
            return kExitClean;
        }
        ec = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    } else if (WriteFileAtomically(target, page, ec)) {
        return kExitClean;
    }
    const std::string message =
        "veltrane-cli: " + FileErrorText(ec, target == "-" ? "standard output" : target) + "\n";
    std::fputs(message.c_str(), stderr);
    return kExitFileError;
}

}  // namespace veltrane::cli
