#include "checks/VersionLine.h"

#include <algorithm>

namespace veltrane {

namespace {

constexpr std::string_view kWordText = "number";

// The first version that Poser 4 shows its error for.
constexpr uint32_t kNewer = 5;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void VersionLineMatcher::Feed(char c) {
    switch (m_state) {
        case kLeading:
            if (!IsBlank(c)) {
                m_state = c == kWordText[0] ? 1 : kRejected;
            }
            break;
        case kWord:
            if (IsBlank(c)) {
                m_state = kSeparator;
                m_separatorLength = 1;
                m_separatorIsSpace = c == ' ';
            } else {
                m_state = kRejected;
            }
            break;
        case kSeparator:
            if (IsBlank(c)) {
                ++m_separatorLength;
            } else {
                m_state = kToken;
                m_tokenFirst = c;
                m_tokenHasDot = c == '.';
                m_inInteger = IsDigit(c);
                m_integer = m_inInteger ? static_cast<uint32_t>(c - '0') : 0;
            }
            break;
        case kToken:
            if (IsBlank(c)) {
                m_state = kTrailing;
            } else {
                m_inInteger = m_inInteger && IsDigit(c);
                if (m_inInteger) {
                    m_integer = std::min<uint32_t>(m_integer * 10 + static_cast<uint32_t>(c - '0'), kNewer);
                }
                m_tokenHasDot = m_tokenHasDot || c == '.';
                m_tokenHasDotZero = m_tokenHasDotZero || (m_previous == '.' && c == '0');
            }
            break;
        case kTrailing:
            if (!IsBlank(c)) {
                m_state = kRejected;
            }
            break;
        case kRejected:
            break;
        default:  // part of the word
            m_state = c == kWordText[m_state] ? static_cast<uint8_t>(m_state + 1) : kRejected;
            break;
    }
    m_previous = c;
}

VersionVerdict VersionLineMatcher::Verdict() const {
    if (!Matched()) {
        return VersionVerdict::NotVersionLine;
    }
    const bool singleSpace = m_separatorLength == 1 && m_separatorIsSpace;
    if (singleSpace && m_integer >= kNewer) {
        return VersionVerdict::NeedsFix;  // "number 5", "number 6", "number 11.0", ...
    }
    if (singleSpace && m_tokenFirst == '4' && m_tokenHasDot && !m_tokenHasDotZero) {
        return VersionVerdict::NeedsFix;  // "number 4", a "." and no ".0"
    }
    return VersionVerdict::Fine;
}

bool IsVersionLine(std::string_view line) {
    return JudgeVersionLine(line) != VersionVerdict::NotVersionLine;
}

VersionVerdict JudgeVersionLine(std::string_view line) {
    VersionLineMatcher matcher;
    for (char c : line) {
        matcher.Feed(c);
        if (matcher.Rejected()) {
            return VersionVerdict::NotVersionLine;
        }
    }
    return matcher.Verdict();
}

}  // namespace veltrane
