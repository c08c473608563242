#include "pages/GuiRunContext.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QString>
#include <QWidget>

#include "base/Notifier.h"
#include "base/ProgressWindow.h"

namespace veltrane {

CGuiRunContext::CGuiRunContext(QWidget* page, CountersHandler onCounters)
    : m_page(page), m_onCounters(std::move(onCounters)) {
    m_sinceEvents.start();
}

CGuiRunContext::~CGuiRunContext() {
    if (m_progress) {
        m_progress->CloseNow();
        m_progress.reset();
        ActivateMainWindow();
    }
    while (m_waitDepth > 0) {
        EndWait();
    }
}

bool CGuiRunContext::PollEscape() {
    if (m_sinceEvents.elapsed() >= kEventIntervalMs) {
        // The progress window is application-modal: only it takes input, the rest repaints.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_sinceEvents.restart();
    }
    return m_progress && m_progress->TakeEscapeRequest();
}

void CGuiRunContext::CountersChanged(int32_t first, int32_t second) {
    if (m_onCounters) {
        m_onCounters(first, second);
    }
}

void CGuiRunContext::BeginWait() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++m_waitDepth;
}

void CGuiRunContext::RestoreWait() {
    if (m_waitDepth > 0) {
        const QCursor* current = QGuiApplication::overrideCursor();
        if (current == nullptr || current->shape() != Qt::WaitCursor) {
            QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        }
    }
}

void CGuiRunContext::EndWait() {
    if (m_waitDepth > 0) {
        --m_waitDepth;
        QGuiApplication::restoreOverrideCursor();
    }
}

void CGuiRunContext::ShowProgress() {
    if (m_progressDepth++ > 0) {
        return;
    }
    m_progress = std::make_unique<CProgressWindow>(m_page ? m_page->window() : nullptr);
    m_progress->ShowNow();
    m_sinceEvents.restart();
}

void CGuiRunContext::CloseProgress() {
    if (m_progressDepth == 0 || --m_progressDepth > 0) {
        return;
    }
    if (m_progress) {
        m_progress->CloseNow();
        m_progress.reset();
        ActivateMainWindow();
    }
}

void CGuiRunContext::ActivateMainWindow() {
    if (QWidget* main = m_page ? m_page->window() : nullptr; main != nullptr && main->isVisible()) {
        main->raise();
        main->activateWindow();
    }
}

bool CGuiRunContext::IsProgressOpen() const {
    return m_progress != nullptr;
}

NoticeAnswer CGuiRunContext::ShowNotice(const Notice& notice) {
    // A box needs the ordinary arrow, whatever the run shows.
    const bool waiting = m_waitDepth > 0;
    if (waiting) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
    const NoticeAnswer answer = CNotifier::Show(m_page, notice.kind, QString::fromStdString(notice.title),
                                                QString::fromStdString(notice.text), notice.buttons);
    if (waiting) {
        QGuiApplication::restoreOverrideCursor();
    }
    // The window manager may leave no window active once the box has gone: the progress window
    // takes Escape again, or the main window the keyboard.
    if (m_progress) {
        m_progress->raise();
        m_progress->activateWindow();
    } else {
        ActivateMainWindow();
    }
    return answer;
}

}  // namespace veltrane
