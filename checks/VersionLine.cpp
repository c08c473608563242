#include "checks/VersionLine.h"

namespace veltrane {

namespace {

constexpr std::string_view kWordText = "number";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
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
            m_state = IsBlank(c) ? kSeparator : kRejected;
            break;
        case kSeparator:
            if (!IsBlank(c)) {
                m_state = kToken;
            }
            break;
        case kToken:
            if (IsBlank(c)) {
                m_state = kTrailing;
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
}

bool IsVersionLine(std::string_view line) {
    VersionLineMatcher matcher;
    for (char c : line) {
        matcher.Feed(c);
        if (matcher.Rejected()) {
            return false;
        }
    }
    return matcher.Matched();
}

VersionVerdict JudgeVersionLine(std::string_view line) {
    if (!IsVersionLine(line)) {
        return VersionVerdict::NotVersionLine;
    }
    if (line.find("number 5") != std::string_view::npos) {
        return VersionVerdict::NeedsFix;
    }
    if (line.find("number 4") != std::string_view::npos && line.find('.') != std::string_view::npos &&
        line.find(".0") == std::string_view::npos) {
        return VersionVerdict::NeedsFix;
    }
    return VersionVerdict::Fine;
}

}  // namespace veltrane
