#include "cli/CliOutput.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "fs/text/PathParts.h"

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

void DumpLine(const nlohmann::ordered_json& value, std::string& out) {
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (auto it = value.begin(); it != value.end(); ++it) {
            out += first ? "" : ", ";
            first = false;
            out += JsonString(it.key());
            out += ": ";
            DumpLine(it.value(), out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        bool first = true;
        for (const auto& element : value) {
            out += first ? "" : ", ";
            first = false;
            DumpLine(element, out);
        }
        out += ']';
    } else if (value.is_string()) {
        out += JsonString(value.get_ref<const std::string&>());
    } else {
        out += value.dump();
    }
}

// Serialises a value built with nlohmann::ordered_json, writing strings with JsonString so that
// file-system bytes survive as described.
// A negative indent writes everything on one line (one JSON Lines record).
void Dump(const nlohmann::ordered_json& value, std::string& out, int indent) {
    if (indent < 0) {
        DumpLine(value, out);
        return;
    }
    const std::string pad(static_cast<size_t>(indent + 2), ' ');
    if (value.is_object()) {
        if (value.empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        bool first = true;
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (!first) {
                out += ",\n";
            }
            first = false;
            out += pad;
            out += JsonString(it.key());
            out += ": ";
            Dump(it.value(), out, indent + 2);
        }
        out += '\n';
        out.append(static_cast<size_t>(indent), ' ');
        out += '}';
    } else if (value.is_array()) {
        if (value.empty()) {
            out += "[]";
            return;
        }
        if (std::all_of(value.begin(), value.end(),
                        [](const auto& element) { return element.is_number(); })) {
            out += value.dump(-1, ' ', false);  // a short row of numbers stays on one line: [3, 1]
            return;
        }
        out += "[\n";
        bool first = true;
        for (const auto& element : value) {
            if (!first) {
                out += ",\n";
            }
            first = false;
            out += pad;
            Dump(element, out, indent + 2);
        }
        out += '\n';
        out.append(static_cast<size_t>(indent), ' ');
        out += ']';
    } else if (value.is_string()) {
        out += JsonString(value.get_ref<const std::string&>());
    } else {
        out += value.dump();
    }
}

nlohmann::ordered_json OptionalString(const std::optional<std::string>& text) {
    return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

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

// Adds name: text, and name_bytes when text is not valid UTF-8.
void AddString(nlohmann::ordered_json& object, const std::string& name, const std::string& text) {
    object[name] = text;
    if (!IsValidUtf8(text)) {
        object[name + "_bytes"] = Base64(text);
    }
}

}  // namespace

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

nlohmann::ordered_json FindingJson(const Finding& finding) {
    const unsigned fields = FindingFields(finding.rule);
    nlohmann::ordered_json object = {{"rule", RuleName(finding.rule)}};
    if ((fields & kFieldPath) != 0) {
        AddString(object, "path", finding.path);
    }
    if ((fields & kFieldFile) != 0) {
        AddString(object, "file", finding.path);
    }
    if ((fields & kFieldLine) != 0) {
        object["line"] = finding.line;
    }
    if ((fields & kFieldLength) != 0) {
        object["length"] = finding.length;
    }
    if ((fields & kFieldKeyword) != 0) {
        AddString(object, "keyword", finding.keyword);
    }
    if ((fields & kFieldValue) != 0) {
        AddString(object, "value", finding.value);
    }
    if ((fields & kFieldText) != 0) {
        AddString(object, "text", finding.text);
    }
    if ((fields & kFieldFixed) != 0) {
        object["fixed"] = finding.fixed;
    }
    if ((fields & kFieldResolved) != 0) {
        if (finding.resolved) {
            AddString(object, "resolved", *finding.resolved);
        } else {
            object["resolved"] = nullptr;
        }
    }
    if ((fields & kFieldError) != 0) {
        AddString(object, "error", finding.error);
    }
    return object;
}

std::string JsonString(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
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
    out += '"';
    return out;
}

std::string PlainStdout(const CliRun& run) {
    if (!run.parts.empty()) {
        std::string out;
        for (const CliRun& part : run.parts) {
            out += "-- " + part.tool + " --\n";
            out += PlainStdout(part);
        }
        return out;
    }
    if (run.listToStdout) {
        return run.report;  // the saved list's bytes, exactly as a file would hold them
    }
    std::string out;
#ifdef _WIN32
    out = run.report;
    out += "\r\n";
#else
    out.reserve(run.report.size() + 1);
    const std::string_view report = run.report;
    size_t start = 0;
    for (size_t crlf = report.find("\r\n"); crlf != std::string_view::npos;
         crlf = report.find("\r\n", start)) {
        out.append(report.substr(start, crlf - start));  // "\r\n" -> "\n"
        start = crlf + 1;
    }
    out.append(report.substr(start));
    out += '\n';
#endif
    return out;
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

nlohmann::ordered_json FindingsJson(const Findings& findings) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const Finding& finding : findings) {
        array.push_back(FindingJson(finding));
    }
    return array;
}

nlohmann::ordered_json JsonObject(const CliRun& run) {
    if (run.tool == "check") {
        nlohmann::ordered_json object = {
            {"tool", run.tool}, {"path", run.path}, {"cancelled", run.cancelled}};
        for (const CliRun& part : run.parts) {
            object[part.tool] = JsonObject(part);
        }
        object["findings"] = FindingsJson(run.findings ? *run.findings : Findings{});
        return object;
    }
    nlohmann::ordered_json notices = nlohmann::ordered_json::array();
    for (const Notice& notice : run.notices) {
        const char* answer = NoticeAnswerName(notice.answer);
        notices.push_back(
            {{"kind", NoticeKindName(notice.kind)},
             {"title", notice.title},
             {"text", notice.text},
             {"answer", answer ? nlohmann::ordered_json(answer) : nlohmann::ordered_json(nullptr)}});
    }
    nlohmann::ordered_json object = {
        {"tool", run.tool},           {"mode", OptionalString(run.mode)},
        {"path", run.path},           {"counters", {run.counters[0], run.counters[1]}},
        {"report", run.report},       {"notices", notices},
        {"cancelled", run.cancelled}, {"saved", OptionalString(run.saved)},
    };
    if (run.findings) {
        object["findings"] = FindingsJson(*run.findings);
    }
    if (run.entries) {
        nlohmann::ordered_json entries = nlohmann::ordered_json::array();
        for (const ListEntry& entry : *run.entries) {
            nlohmann::ordered_json item = nlohmann::ordered_json::object();
            AddString(item, "folder", entry.folder);
            AddString(item, "name", entry.name);
            entries.push_back(std::move(item));
        }
        object["entries"] = std::move(entries);
    }
    return object;
}

std::string JsonOutput(const CliRun& run, bool oneLine) {
    std::string out;
    Dump(JsonObject(run), out, oneLine ? -1 : 0);
    out += '\n';
    return out;
}

}  // namespace veltrane::cli
