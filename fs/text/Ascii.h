#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// Byte-wise text helpers for Poser files and file names: only the ASCII letters fold, so names in
// any other encoding compare as their bytes.

constexpr bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

constexpr bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = AsciiLower(c);
    }
    return lowered;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

constexpr std::string_view TrimAsciiSpaceLeft(std::string_view text) {
    while (!text.empty() && IsAsciiSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

constexpr std::string_view TrimAsciiSpace(std::string_view text) {
    text = TrimAsciiSpaceLeft(text);
    while (!text.empty() && IsAsciiSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace veltrane
