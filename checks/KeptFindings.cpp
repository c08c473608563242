#include "checks/KeptFindings.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "fs/run/FreedMemory.h"

namespace veltrane {

namespace {

constexpr size_t kFirstChunk = 1024;
constexpr size_t kLastChunk = 64 * 1024;

// What a packed record holds, in its first byte.
enum : unsigned char {
    kWhole = 1u << 0,     // the next whole finding of the rule; nothing else follows
    kSamePath = 1u << 1,  // the path of the packed finding before it
    kLine = 1u << 2,
    kMore = 1u << 3,
    kKeyword = 1u << 4,
    kValue = 1u << 5,
    kResolved = 1u << 6,
};

void PutNumber(std::string& out, uint64_t number) {
    while (number >= 0x80) {
        out += static_cast<char>((number & 0x7f) | 0x80);
        number >>= 7;
    }
    out += static_cast<char>(number);
}

void PutText(std::string& out, std::string_view text) {
    PutNumber(out, text.size());
    out.append(text);
}

uint64_t TakeNumber(const std::string& chunk, size_t& at) {
    uint64_t number = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(chunk[at++]);
        number |= static_cast<uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return number;
        }
    }
}

void TakeText(const std::string& chunk, size_t& at, std::string& out) {
    const size_t size = TakeNumber(chunk, at);
    out.assign(chunk, at, size);
    at += size;
}

}  // namespace

void KeptFindings::AddPacked(Rule rule, std::string_view path, uint32_t line, std::string_view keyword,
                             std::string_view value, const std::optional<std::string>& resolved,
                             uint64_t more) {
    Kept& kept = m_byRule[static_cast<size_t>(rule)];
    const bool samePath = kept.lastPath && *kept.lastPath == path;
    const auto what = static_cast<unsigned char>((samePath ? kSamePath : 0) | (line != 0 ? kLine : 0) |
                                                 (more != 0 ? kMore : 0) | (!keyword.empty() ? kKeyword : 0) |
                                                 (!value.empty() ? kValue : 0) | (resolved ? kResolved : 0));
    m_record.assign(1, static_cast<char>(what));
    if (line != 0) {
        PutNumber(m_record, line);
    }
    if (more != 0) {
        PutNumber(m_record, more);
    }
    if (!keyword.empty()) {
        PutText(m_record, keyword);
    }
    if (!samePath) {
        PutText(m_record, path);
        kept.lastPath ? kept.lastPath->assign(path) : kept.lastPath.emplace(path);
    }
    if (!value.empty()) {
        PutText(m_record, value);
    }
    if (resolved) {
        PutText(m_record, *resolved);
    }
    Append(kept, m_record);
    kept.problems += IsProblem(rule) ? 1 + more : 0;
}

Finding& KeptFindings::AddWhole(Finding finding) {
    Kept& kept = m_byRule[static_cast<size_t>(finding.rule)];
    const char mark = static_cast<char>(kWhole);
    Append(kept, std::string_view(&mark, 1));
    return *kept.whole.emplace_back(std::make_unique<Finding>(std::move(finding)));
}

void KeptFindings::Append(Kept& kept, std::string_view record) {
    if (kept.chunks.empty() || kept.chunks.back().size() + record.size() > kept.chunks.back().capacity()) {
        const size_t size =
            kept.chunks.empty() ? kFirstChunk : std::min(kLastChunk, kept.chunks.back().size() * 2);
        kept.chunks.emplace_back().reserve(std::max(size, record.size()));
    }
    kept.chunks.back().append(record);
    ++kept.count;
}

const Finding* KeptFindings::Unpack(const std::string& chunk, size_t& at, Rule rule, const Kept& kept,
                                    size_t& whole, Finding& made) {
    const auto what = static_cast<unsigned char>(chunk[at++]);
    if ((what & kWhole) != 0) {
        return kept.whole[whole++].get();
    }
    made.rule = rule;
    made.line = (what & kLine) != 0 ? static_cast<uint32_t>(TakeNumber(chunk, at)) : 0;
    made.more = (what & kMore) != 0 ? TakeNumber(chunk, at) : 0;
    if ((what & kKeyword) != 0) {
        TakeText(chunk, at, made.keyword);
    } else {
        made.keyword.clear();
    }
    if ((what & kSamePath) == 0) {
        TakeText(chunk, at, made.path);  // otherwise made still holds it from the finding before
    }
    if ((what & kValue) != 0) {
        TakeText(chunk, at, made.value);
    } else {
        made.value.clear();
    }
    if ((what & kResolved) != 0) {
        TakeText(chunk, at, made.resolved ? *made.resolved : made.resolved.emplace());
    } else {
        made.resolved.reset();
    }
    return &made;
}

bool KeptFindings::Empty() const {
    return std::all_of(m_byRule.begin(), m_byRule.end(), [](const Kept& kept) { return kept.count == 0; });
}

bool KeptFindings::AnyProblem() const {
    for (size_t rule = 0; rule < kRuleCount; ++rule) {
        if (m_byRule[rule].count != 0 && IsProblem(static_cast<Rule>(rule))) {
            return true;
        }
    }
    return false;
}

uint64_t KeptFindings::Problems() const {
    uint64_t problems = 0;
    for (size_t rule = 0; rule < kRuleCount; ++rule) {
        if (!IsProblem(static_cast<Rule>(rule))) {
            continue;
        }
        problems += m_byRule[rule].problems;
        for (const std::unique_ptr<Finding>& finding : m_byRule[rule].whole) {
            problems += 1 + finding->more;
        }
    }
    return problems;
}

Findings KeptFindings::Take() {
    size_t count = 0;
    for (const Kept& kept : m_byRule) {
        count += kept.count;
    }
    Findings findings;
    findings.reserve(count);
    Finding made;
    for (const size_t rule : ReportOrder()) {
        Kept& kept = m_byRule[rule];
        size_t whole = 0;
        for (std::string& chunk : kept.chunks) {
            for (size_t at = 0; at < chunk.size();) {
                if (Unpack(chunk, at, static_cast<Rule>(rule), kept, whole, made) == &made) {
                    findings.push_back(made);  // a copy: the next one may keep made's path
                } else {
                    findings.push_back(std::move(*kept.whole[whole - 1]));
                }
            }
            std::string().swap(chunk);
        }
        kept = Kept();
        GiveBackFreedMemory();
    }
    return findings;
}

const std::array<size_t, kRuleCount>& KeptFindings::ReportOrder() {
    static const std::array<size_t, kRuleCount> order = [] {
        std::array<size_t, kRuleCount> rules{};
        for (size_t rule = 0; rule < kRuleCount; ++rule) {
            rules[rule] = rule;
        }
        const auto section = [](size_t rule) {
            return static_cast<size_t>(SeverityOf(static_cast<Rule>(rule))) * kRuleCount + rule;
        };
        std::stable_sort(rules.begin(), rules.end(),
                         [&section](size_t a, size_t b) { return section(a) < section(b); });
        return rules;
    }();
    return order;
}

}  // namespace veltrane
