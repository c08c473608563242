#include "fs/text/PathParts.h"

#ifdef _WIN32
#include "fs/text/WidePath.h"
#endif

namespace veltrane {

bool IsSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

bool EndsWithSeparator(std::string_view path, PathStyle style) {
    return !path.empty() && IsSeparator(path.back(), style);
}

std::string WithTrailingSeparator(std::string path, PathStyle style) {
    if (!EndsWithSeparator(path, style)) {
        path.push_back(style == PathStyle::Windows ? '\\' : '/');
    }
    return path;
}

PathParts SplitPath(std::string_view path, PathStyle style) {
    PathParts parts;
    std::string_view rest = path;
    if (style == PathStyle::Windows && rest.size() >= 2 && rest[1] == ':' &&
        ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'))) {
        parts.drive = rest.substr(0, 2);
        rest.remove_prefix(2);
    }
    size_t lastSep = std::string_view::npos;
    for (size_t i = rest.size(); i > 0; --i) {
        if (IsSeparator(rest[i - 1], style)) {
            lastSep = i - 1;
            break;
        }
    }
    std::string_view name = rest;
    if (lastSep != std::string_view::npos) {
        parts.directory = rest.substr(0, lastSep + 1);
        name = rest.substr(lastSep + 1);
    }
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        parts.baseName = name;
    } else {
        parts.baseName = name.substr(0, dot);
        parts.extension = name.substr(dot);
    }
    return parts;
}

std::string_view LastComponent(std::string_view path, PathStyle style) {
    size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1], style)) {
        --end;
    }
    size_t start = end;
    while (start > 0 && !IsSeparator(path[start - 1], style)) {
        --start;
    }
    if (start == end) {
        return path;  // "/", "\\" or empty: nothing but separators
    }
    if (start == 0 && style == PathStyle::Windows && end == 2 && path[1] == ':') {
        return path;  // "C:\": a drive root keeps its whole text
    }
    // Keep one trailing separator, as the shell function does for folder paths.
    return path.substr(start, end < path.size() ? end - start + 1 : end - start);
}

std::filesystem::path ToFsPath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(ToWide(path));
#else
    return std::filesystem::path(path);
#endif
}

std::string FromFsPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return FromWide(path.wstring());
#else
    return path.string();
#endif
}

size_t Utf8SequenceLength(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        const unsigned char cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return 0;
    }
    return len;
}

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++count) {
        const size_t len = Utf8SequenceLength(text, i);
        if (len == 0) {
            return text.size();  // not UTF-8: every byte is a character
        }
        i += len;
    }
    return count;
}

}  // namespace veltrane
