#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "fs/run/RunContext.h"

namespace veltrane {

inline constexpr const char* kOverflowWarningTitle = "Warning !";

// The warning for a line cut at the reader's buffer of capacity bytes.
std::string OverflowWarningText(uint32_t lineNumber, uint32_t capacity);

// The line-length warnings of one run. A file without line ends would otherwise raise a box for every
// 2047 bytes: the first kShown warnings of the run are shown as they come, the rest only counted, and
// Finish raises one closing box that says how many more there were.
class OverflowWarnings {
public:
    static constexpr uint32_t kShown = 20;

    // Whether the next warning is to be shown; false once kShown were, and then it is counted.
    bool Admit();

    // The closing box, "N more lines were longer than <capacity - 1> characters." (title "Warning !"),
    // when warnings were held back; then starts over.
    void Finish(RunContext& ctx, uint32_t capacity);

    // Warnings counted without being offered: a read that kept the first kShown of its own (and
    // offered those) only counted the rest, which no run would have shown.
    void HoldBack(uint64_t count) { m_heldBack += count; }

    uint64_t HeldBack() const { return m_heldBack; }

    // Whether kShown warnings were shown: every later one of the run is only counted. Other threads
    // may ask (a read done ahead then counts its warnings instead of keeping their boxes).
    bool Full() const { return m_full.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_full{false};
    uint32_t m_shown = 0;
    uint64_t m_heldBack = 0;
};

}  // namespace veltrane
