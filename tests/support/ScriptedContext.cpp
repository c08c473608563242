#include "support/ScriptedContext.h"

namespace veltrane::test {

bool ScriptedContext::PollEscape() {
    ++m_polls;
    return m_escapeAtPoll > 0 && m_polls == m_escapeAtPoll;
}

void ScriptedContext::CountersChanged(int32_t first, int32_t second) {
    m_counters.emplace_back(first, second);
}

void ScriptedContext::ItemCounted(int32_t total) {
    m_itemCounts.push_back(total);
}

void ScriptedContext::BeginWait() {
    ++m_waitDepth;
    if (m_waitDepth > m_maxWaitDepth) {
        m_maxWaitDepth = m_waitDepth;
    }
}

void ScriptedContext::EndWait() {
    --m_waitDepth;
}

void ScriptedContext::ShowProgress() {
    ++m_progressShown;
    m_progressOpen = true;
}

void ScriptedContext::CloseProgress() {
    ++m_progressClosed;
    m_progressOpen = false;
}

NoticeAnswer ScriptedContext::ShowNotice(const Notice& notice) {
    if (notice.buttons != NoticeButtons::Ok && !m_answers.empty()) {
        NoticeAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return RunContext::ShowNotice(notice);
}

}  // namespace veltrane::test
