#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Finding.h"

namespace veltrane {

inline constexpr size_t kRuleCount = static_cast<size_t>(Rule::DamagedArchive) + 1;

// A run's findings by rule, in the order found, until the run ends. The many that a reference or an
// unreferenced file makes are packed into bytes (a finding whose file is the one before it does not
// hold the path again); any other finding is kept whole. The report and the machine-readable findings
// are made from here one finding at a time, so a large run never holds its findings twice.
class KeptFindings {
public:
    // A finding about a file of the run, or one of its lines: what a reference or an unreferenced file
    // makes. more counts the findings of its rule in its file after this one, counted but not kept.
    void AddPacked(Rule rule, std::string_view path, uint32_t line = 0, std::string_view keyword = {},
                   std::string_view value = {}, const std::optional<std::string>& resolved = std::nullopt,
                   uint64_t more = 0);
    // Any other finding, kept as it is; the reference may fill in its members later.
    Finding& AddWhole(Finding finding);

    bool Empty() const;
    // Some finding is a problem, not information only.
    bool AnyProblem() const;
    // The problems, with those only counted on the last kept finding of their file.
    uint64_t Problems() const;

    // Hands each finding in report order to each, until it returns false; false then. A packed finding
    // is made in one object reused for all of them.
    template <typename Each>
    bool ForEach(Each&& each) const {
        Finding made;
        for (const size_t rule : ReportOrder()) {
            const Kept& kept = m_byRule[rule];
            size_t whole = 0;
            for (const std::string& chunk : kept.chunks) {
                for (size_t at = 0; at < chunk.size();) {
                    const Finding* next = Unpack(chunk, at, static_cast<Rule>(rule), kept, whole, made);
                    if (!each(*next)) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    // The findings in report order, in a list of their exact number; each rule's memory is given back
    // as soon as its findings are in the list.
    Findings Take();

private:
    struct Kept {
        std::vector<std::string> chunks;  // packed findings, and a mark in order for each whole one
        std::vector<std::unique_ptr<Finding>> whole;
        std::optional<std::string> lastPath;  // of the last packed finding
        size_t count = 0;
        uint64_t problems = 0;  // of the packed ones
    };
    // The finding that starts at chunk[at], made in made unless it is a whole one; at moves past it.
    static const Finding* Unpack(const std::string& chunk, size_t& at, Rule rule, const Kept& kept,
                                 size_t& whole, Finding& made);
    static void Append(Kept& kept, std::string_view record);
    // The rules, errors first, then warnings, then information, each in rule order.
    static const std::array<size_t, kRuleCount>& ReportOrder();

    std::array<Kept, kRuleCount> m_byRule;
    std::string m_record;  // the finding being packed
};

}  // namespace veltrane
