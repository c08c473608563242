#pragma once

#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QPointer>

#include "fs/run/RunContext.h"

class QWidget;

namespace veltrane {

class CProgressWindow;

// The run context of a page: the "Processing....." window over the main window, the wait cursor,
// the Escape key read from the progress window, counters shown at once, and every box shown
// through CNotifier owned by the page. Whatever a run leaves open (window, cursor levels) is
// closed when the context goes, so every way out of a run is covered.
class CGuiRunContext : public RunContext {
public:
    using CountersHandler = std::function<void(int32_t first, int32_t second)>;

    // Lets Qt process pending events (repaints, the Escape key) at most this often during a run.
    static constexpr int kEventIntervalMs = 30;

    CGuiRunContext(QWidget* page, CountersHandler onCounters);
    ~CGuiRunContext() override;
    CGuiRunContext(const CGuiRunContext&) = delete;
    CGuiRunContext& operator=(const CGuiRunContext&) = delete;

    bool PollEscape() override;
    void CountersChanged(int32_t first, int32_t second) override;
    void BeginWait() override;
    void RestoreWait() override;
    void EndWait() override;
    void ShowProgress() override;
    void CloseProgress() override;

    // Whether the progress window is open right now.
    bool IsProgressOpen() const;

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override;

private:
    void ActivateMainWindow();

    QPointer<QWidget> m_page;
    CountersHandler m_onCounters;
    std::unique_ptr<CProgressWindow> m_progress;
    int m_progressDepth = 0;
    int m_waitDepth = 0;
    QElapsedTimer m_sinceEvents;
};

}  // namespace veltrane
