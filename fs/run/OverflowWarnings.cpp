#include "fs/run/OverflowWarnings.h"

#include <cstdio>

namespace veltrane {

std::string OverflowWarningText(uint32_t lineNumber, uint32_t capacity) {
    char message[128];
    std::snprintf(message, sizeof message, "m_pBuffer overflow in line %u (line length over %d chars)",
                  lineNumber, static_cast<int>(capacity));
    return message;
}

bool OverflowWarnings::Admit() {
    if (m_shown < kShown) {
        if (++m_shown == kShown) {
            m_full.store(true, std::memory_order_release);
        }
        return true;
    }
    ++m_heldBack;
    return false;
}

void OverflowWarnings::Finish(RunContext& ctx, uint32_t capacity) {
    if (m_heldBack > 0) {
        ctx.Notify(NoticeKind::Warning, kOverflowWarningTitle,
                   std::to_string(m_heldBack) + " more lines were longer than " +
                       std::to_string(capacity - 1) + " characters.");
    }
    m_shown = 0;
    m_heldBack = 0;
    m_full.store(false, std::memory_order_release);
}

}  // namespace veltrane
