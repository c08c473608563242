#include "checks/LibraryReference.h"

#include <algorithm>

#include "fs/text/Ascii.h"

namespace veltrane {

namespace {

constexpr std::string_view kKeywords[] = {"figureResFile", "objFileGeom",    "textureMap",
                                          "bumpMap",       "reflectionMap",  "transparencyMap",
                                          "readScript",    "morphBinaryFile"};
constexpr std::string_view kObjFileGeom = "objFileGeom";
constexpr std::string_view kMaterial = "material";
constexpr std::string_view kFile = "file";
constexpr std::string_view kNoMap = "NO_MAP";

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

// Whether text (which starts at a non-blank byte) starts with a whole word that may be a keyword, a
// "material" or a "file": decided by the first letter and one comparison, without taking the word.
bool StartsWithKeyword(std::string_view text) {
    auto is = [&](std::string_view word) {
        return text.starts_with(word) && (text.size() == word.size() || IsAsciiSpace(text[word.size()]));
    };
    const char first = text.front();
    return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                       [&](std::string_view word) { return word.front() == first && is(word); }) ||
           (first == kMaterial.front() && is(kMaterial)) || (first == kFile.front() && is(kFile));
}

bool IsNumber(std::string_view word) {
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::optional<LibraryReference> MakeReference(std::string_view keyword, std::string_view rest) {
    std::string value;
    value.reserve(rest.size());
    for (char c : TrimAsciiSpace(rest)) {
        if (c != '"') {
            value.push_back(c);
        }
    }
    const std::string_view trimmed = TrimAsciiSpace(value);
    if (trimmed.empty() || trimmed == kNoMap) {
        return std::nullopt;
    }
    if (trimmed.size() != value.size()) {
        value = std::string(trimmed);  // blanks that stood inside the quotes
    }
    return LibraryReference{keyword, std::move(value)};
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
                if (m_materialNext) {
                    m_materialNext = false;
                    m_materialDepth = m_depth;
                }
            } else if (c == '}') {
                if (m_depth == m_materialDepth) {
                    m_materialDepth = -1;
                }
                m_depth = std::max(0, m_depth - 1);
            }
        }
        return std::nullopt;
    }
    // Most lines stop here: their first word is none of the keywords.
    if (!StartsWithKeyword(rest)) {
        return std::nullopt;
    }
    const std::string_view word = TakeWord(rest);
    if (word == kMaterial) {
        m_materialNext = true;
        return std::nullopt;
    }
    if (word == kFile) {
        return m_materialDepth >= 0 ? MakeReference(kFile, rest) : std::nullopt;
    }
    const auto keyword = std::find(std::begin(kKeywords), std::end(kKeywords), word);
    if (keyword == std::end(kKeywords)) {
        return std::nullopt;
    }
    if (*keyword == kObjFileGeom) {
        // "objFileGeom 0 0 :Runtime:Geometries:x.obj": the path follows two numbers.
        std::string_view afterNumbers = rest;
        if (IsNumber(TakeWord(afterNumbers)) && IsNumber(TakeWord(afterNumbers))) {
            rest = afterNumbers;
        }
    }
    return MakeReference(*keyword, rest);
}

ReferencePath ParseReferencePath(std::string_view value) {
    ReferencePath result;
    const size_t colon = value.find(':');
    if ((colon != std::string_view::npos && colon > 0) || value.starts_with("\\\\") ||
        value.starts_with('/')) {
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

}  // namespace veltrane
