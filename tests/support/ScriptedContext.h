#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "fs/run/RunContext.h"

namespace veltrane::test {

// A RunContext that plays a script: Escape at a chosen poll, scripted answers to questions, and a
// record of everything the run reported (polls, counters, counted items, cursor and progress calls).
class ScriptedContext : public RunContext {
public:
    // 0: never. N: the Nth call of PollEscape (counting from 1) reports Escape.
    int m_escapeAtPoll = 0;

    // Answers for boxes that ask (OK/Cancel, Yes/No), taken in order; when empty, the default
    // answer of RunContext (Cancel, No). OK-only boxes never take an answer from here.
    std::deque<NoticeAnswer> m_answers;

    int m_polls = 0;
    std::vector<std::pair<int32_t, int32_t>> m_counters;  // every CountersChanged call
    std::vector<int32_t> m_itemCounts;                    // every ItemCounted call
    int m_waitDepth = 0;                                  // current wait-cursor nesting
    int m_maxWaitDepth = 0;
    int m_progressShown = 0;
    int m_progressClosed = 0;
    bool m_progressOpen = false;

    bool PollEscape() override;
    void CountersChanged(int32_t first, int32_t second) override;
    void ItemCounted(int32_t total) override;
    void BeginWait() override;
    void RestoreWait() override {}
    void EndWait() override;
    void ShowProgress() override;
    void CloseProgress() override;

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override;
};

}  // namespace veltrane::test
