#include "fs/OverflowWarnings.h"

#include <string>

namespace veltrane {

bool OverflowWarnings::Admit() {
    if (m_shown < kShown) {
        ++m_shown;
        return true;
    }
    ++m_heldBack;
    return false;
}

void OverflowWarnings::Finish(RunContext& ctx, uint32_t capacity) {
    if (m_heldBack > 0) {
        ctx.Notify(NoticeKind::Warning, "Warning !",
                   std::to_string(m_heldBack) + " more lines were longer than " +
                       std::to_string(capacity - 1) + " characters.");
    }
    m_shown = 0;
    m_heldBack = 0;
}

}  // namespace veltrane
