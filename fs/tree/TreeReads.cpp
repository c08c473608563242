#include "fs/tree/TreeReads.h"

namespace veltrane {

std::optional<TreeRead> CTreeReads::Next() {
    while (!m_ended && m_next < m_count) {
        const size_t index = m_next++;
        FileVerdicts verdicts = m_run->Take(index);
        m_ctx.FilesRead(index + 1, m_count);
        if (verdicts.empty() || !verdicts.front()) {
            continue;
        }
        m_ended = verdicts.front()->escaped;
        return TreeRead{index, std::move(verdicts.front())};
    }
    return std::nullopt;
}

}  // namespace veltrane
