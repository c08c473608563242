#include "fs/text/ControlEscape.h"

#include "fs/text/PathParts.h"

namespace veltrane {

namespace {

// How many bytes at text[i] make one character to escape (0: none).
size_t ControlAt(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        return 0;  // a line end of the text
    }
    if (c == '\n' && i > 0 && text[i - 1] == '\r') {
        return 0;
    }
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
        return 1;
    }
    if (c < 0x80) {
        return 0;
    }
    const size_t len = Utf8SequenceLength(text, i);
    if (len == 0) {
        return c < 0xA0 ? 1 : 0;  // a stray byte that an 8-bit terminal would take for C1
    }
    const bool c1 = c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    return c1 ? 2 : 0;
}

}  // namespace

bool HasControls(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (ControlAt(text, i) != 0) {
            return true;
        }
    }
    return false;
}

std::string EscapeControls(std::string_view text) {
    if (!HasControls(text)) {
        return std::string(text);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size();) {
        const size_t n = ControlAt(text, i);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        for (size_t k = 0; k < n; ++k, ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace veltrane
