#include "checks/LibraryReference.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "fs/text/Ascii.h"

namespace veltrane {

namespace {

// How the value follows a line's first word.
enum class Form : uint8_t {
    Rest,         // the rest of the line
    OneNumber,    // a number, then the path
    TwoNumbers,   // two numbers, then the path
    FirstQuoted,  // the first quoted token
    Block,        // no value: opens a block whose file lines are references
    File,         // a file line: a reference inside such a block
};

struct Keyword {
    std::string_view word;
    Form form;
};

// Grouped by first byte (see kByFirstByte).
constexpr Keyword kKeywords[] = {
    {"figureResFile", Form::Rest},
    {"file", Form::File},
    {"objFileGeom", Form::TwoNumbers},
    {"objFile", Form::OneNumber},
    {"textureMap", Form::Rest},
    {"transparencyMap", Form::Rest},
    {"bumpMap", Form::Rest},
    {"reflectionMap", Form::Rest},
    {"readScript", Form::Rest},
    {"runPythonScript", Form::FirstQuoted},
    {"runPythonScriptEx", Form::FirstQuoted},
    {"morphBinaryFile", Form::Rest},
    {"material", Form::Block},
    {"injectPMDFileMorphs", Form::FirstQuoted},
    {"presetMaterial", Form::Block},
    {"nodeInput", Form::Block},
};

constexpr std::string_view kImageKeywords[] = {"textureMap", "bumpMap", "reflectionMap", "transparencyMap",
                                               "file"};
constexpr std::string_view kNoMap = "NO_MAP";
constexpr std::string_view kBuiltIn = "GetStringRes(";
constexpr std::string_view kRuntime = "Runtime";

// For each byte, the keywords that start with it: [first, last) in kKeywords, which lists them grouped
// by their first byte. Most lines are turned away by this look-up or by their second byte.
struct KeywordRange {
    uint8_t first = 0;
    uint8_t last = 0;
};
constexpr std::array<KeywordRange, 256> kByFirstByte = [] {
    std::array<KeywordRange, 256> ranges{};
    for (size_t i = 0; i < std::size(kKeywords); ++i) {
        KeywordRange& range = ranges[static_cast<unsigned char>(kKeywords[i].word.front())];
        if (range.last != 0 && range.last != i) {
            throw "the keywords of one first byte must stand together";  // stops the compilation
        }
        range.first = range.last == 0 ? static_cast<uint8_t>(i) : range.first;
        range.last = static_cast<uint8_t>(i + 1);
    }
    return ranges;
}();

// The keyword that text (which starts at a non-blank byte) starts with as a whole word, or nullptr.
const Keyword* FindKeyword(std::string_view text) {
    const KeywordRange range = kByFirstByte[static_cast<unsigned char>(text.front())];
    for (size_t i = range.first; i < range.last; ++i) {
        const std::string_view word = kKeywords[i].word;
        if (text.size() >= word.size() && text[1] == word[1] && text.starts_with(word) &&
            (text.size() == word.size() || IsAsciiSpace(text[word.size()]))) {
            return &kKeywords[i];
        }
    }
    return nullptr;
}

// The first word of text (which starts at a non-blank byte), and the rest after it.
std::string_view TakeWord(std::string_view& text) {
    size_t end = 0;
    while (end < text.size() && !IsAsciiSpace(text[end])) {
        ++end;
    }
    const std::string_view word = text.substr(0, end);
    text = TrimAsciiSpaceLeft(text.substr(end));
    return word;
}

bool IsNumber(std::string_view word) {
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// rest without the count numbers before the path, when they are there.
std::string_view AfterNumbers(std::string_view rest, int count) {
    std::string_view after = rest;
    for (int i = 0; i < count; ++i) {
        if (!IsNumber(TakeWord(after))) {
            return rest;
        }
    }
    return after;
}

// The first quoted token of rest when rest starts with a quote (to the end when it is never closed).
std::string_view FirstQuoted(std::string_view rest) {
    if (rest.empty() || rest.front() != '"') {
        return rest;
    }
    const size_t close = rest.find('"', 1);
    return rest.substr(0, close == std::string_view::npos ? rest.size() : close + 1);
}

bool IsNoMap(std::string_view value) {
    const size_t first = value.find_first_not_of(": \t");
    const size_t last = value.find_last_not_of(": \t");
    return first != std::string_view::npos && value.substr(first, last + 1 - first) == kNoMap;
}

std::optional<LibraryReference> MakeReference(std::string_view keyword, std::string_view rest,
                                              std::string_view line) {
    const std::string_view written = TrimAsciiSpace(rest);
    std::string value;
    value.reserve(written.size());
    for (char c : written) {
        if (c != '"') {
            value.push_back(c);
        }
    }
    const std::string_view trimmed = TrimAsciiSpace(value);
    if (trimmed.empty() || IsNoMap(trimmed) || trimmed.starts_with(kBuiltIn)) {
        return std::nullopt;
    }
    if (trimmed.size() != value.size()) {
        value = std::string(trimmed);  // blanks that stood inside the quotes
    }
    const size_t begin = static_cast<size_t>(written.data() - line.data());
    return LibraryReference{keyword, std::move(value), begin, begin + written.size()};
}

}  // namespace

void CReferenceReader::Reset() {
    *this = CReferenceReader();
}

std::optional<LibraryReference> CReferenceReader::Examine(std::string_view line) {
    std::string_view rest = TrimAsciiSpaceLeft(line);
    if (rest.empty()) {
        return std::nullopt;
    }
    const char first = rest.front();
    if (first == '{' || first == '}') {
        for (char c : rest) {
            if (c == '{') {
                ++m_depth;
                if (m_blockNext) {
                    m_blockNext = false;
                    m_blockDepth = m_blockDepth < 0 ? m_depth : m_blockDepth;
                }
            } else if (c == '}') {
                if (m_depth == m_blockDepth) {
                    m_blockDepth = -1;
                }
                m_depth = std::max(0, m_depth - 1);
            }
        }
        return std::nullopt;
    }
    // Most lines stop here: their first word is none of the keywords.
    const Keyword* keyword = FindKeyword(rest);
    if (keyword == nullptr) {
        return std::nullopt;
    }
    TakeWord(rest);
    switch (keyword->form) {
        case Form::Block:
            m_blockNext = true;
            return std::nullopt;
        case Form::File:
            return m_blockDepth >= 0 ? MakeReference(keyword->word, rest, line) : std::nullopt;
        case Form::OneNumber:
            return MakeReference(keyword->word, AfterNumbers(rest, 1), line);
        case Form::TwoNumbers:
            return MakeReference(keyword->word, AfterNumbers(rest, 2), line);
        case Form::FirstQuoted:
            return MakeReference(keyword->word, FirstQuoted(rest), line);
        case Form::Rest:
            break;
    }
    return MakeReference(keyword->word, rest, line);
}

bool NamesImage(const LibraryReference& reference) {
    return std::find(std::begin(kImageKeywords), std::end(kImageKeywords), reference.keyword) !=
           std::end(kImageKeywords);
}

bool IsAbsoluteReference(std::string_view value) {
    if (value.starts_with('\\') || value.starts_with('/')) {
        return true;  // a share, the current drive's root, or a POSIX root
    }
    const size_t colon = value.find(':');
    return colon != std::string_view::npos && colon > 0 &&
           !EqualsIgnoringAsciiCase(value.substr(0, colon), kRuntime);
}

ReferencePath ParseReferencePath(std::string_view value) {
    ReferencePath result;
    if (IsAbsoluteReference(value)) {
        result.absolute = true;
        return result;
    }
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find_first_of(":\\/", start);
        if (end == std::string_view::npos) {
            end = value.size();
        }
        const std::string_view component = value.substr(start, end - start);
        if (component == "..") {
            if (result.components.empty()) {
                result.escapesRoot = true;
                result.components.clear();
                return result;
            }
            result.components.pop_back();
        } else if (!component.empty() && component != ".") {
            result.components.push_back(component);
        }
        start = end + 1;
    }
    return result;
}

std::string WindowsTextToUtf8(std::string_view text) {
    // The code points of bytes 0x80 to 0x9F; the bytes from 0xA0 on are the code points of their value.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string utf8;
    utf8.reserve(text.size() * 2);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t code = byte < 0x80 ? byte : byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (code < 0x80) {
            utf8.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace veltrane
