#pragma once

#include <cstdint>
#include <string_view>

namespace veltrane {

// What a line says about its file's version.
enum class VersionVerdict {
    NotVersionLine,  // anything but a version line
    Fine,            // a version line that needs no change
    NeedsFix,        // a version line above 4.0
};

// Recognises and judges a version line one byte at a time, so a line of any length can be judged
// while it streams past: after leading spaces and tabs the word "number", then spaces or tabs, then
// one token, then nothing but spaces and tabs. Feed it the bytes of one line, without its line end.
class VersionLineMatcher {
public:
    void Reset() { *this = VersionLineMatcher(); }
    void Feed(char c);

    // The line can no longer be a version line, whatever follows.
    bool Rejected() const { return m_state == kRejected; }

    // The bytes fed so far form a version line.
    bool Matched() const { return m_state == kToken || m_state == kTrailing; }

    // JudgeVersionLine of the bytes fed so far.
    VersionVerdict Verdict() const;

private:
    // 0: leading blanks; 1 to 6: that many letters of "number" seen; then the states below.
    static constexpr uint8_t kLeading = 0;
    static constexpr uint8_t kWord = 6;
    static constexpr uint8_t kSeparator = 7;
    static constexpr uint8_t kToken = 8;
    static constexpr uint8_t kTrailing = 9;
    static constexpr uint8_t kRejected = 10;

    uint8_t m_state = kLeading;
    // What the verdict needs of a version line: in one, "number 5" or "number 4" can only be the word,
    // a single space and the token's first byte, and "." and ".0" can only lie in the token.
    uint32_t m_separatorLength = 0;
    bool m_separatorIsSpace = false;  // the first separator byte is a space, not a tab
    char m_tokenFirst = 0;
    char m_previous = 0;
    bool m_tokenHasDot = false;
    bool m_tokenHasDotZero = false;
    // The token's leading digits as a number (held at 5 once it reaches it), while they go on.
    uint32_t m_integer = 0;
    bool m_inInteger = false;
};

bool IsVersionLine(std::string_view line);

// Version lines that contain "number 4" and "." but not ".0" (case-sensitive searches over the whole
// line), and version lines written "number " and a token whose integer part is 5 or more (Poser 5 and
// every later Poser: "number 5", "number 6", "number 11.0"), need fixing. Every other line is left to
// the others.
// Judge whole physical lines: the fix rewrites whole lines, however long.
VersionVerdict JudgeVersionLine(std::string_view line);

}  // namespace veltrane
