#include "cli/CliOutput.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "fs/PathParts.h"

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

std::string CounterLabel(std::string_view label) {
    while (!label.empty() && (label.back() == ' ' || label.back() == ':')) {
        label.remove_suffix(1);
    }
    return std::string(label);
}

// Serialises a value built with nlohmann::ordered_json, writing strings with JsonString so that
// file-system bytes survive as described.
void Dump(const nlohmann::ordered_json& value, std::string& out, int indent) {
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

}  // namespace

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
    for (const Notice& notice : run.notices) {
        err += NoticeKindName(notice.kind);
        err += ": ";
        err += notice.title;
        err += ": ";
        err += OneLine(notice.text);
        err += '\n';
    }
    const std::string counters = CounterLine(run);
    if (!counters.empty()) {
        err += counters;
        err += '\n';
    }
    return err;
}

std::string JsonOutput(const CliRun& run) {
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
    std::string out;
    Dump(object, out, 0);
    out += '\n';
    return out;
}

}  // namespace veltrane::cli
