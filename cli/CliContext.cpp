#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "cli/CliRun.h"
#include "fs/write/SafeReplace.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace veltrane::cli {

namespace {

// Set by the SIGINT handler, taken by PollEscape. Lock-free atomics are safe to touch in a handler.
std::atomic<bool> g_escapeRequested{false};
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

// Ends the program with status, or right after the file being fixed is complete.
void EndFromHandler(int status) {
    if (!DeferExitWhileRenaming(status)) {
        _exit(status);
    }
}

extern "C" void OnInterrupt(int /*signal*/) {
    if (g_interrupts.fetch_add(1) >= 1) {
        EndFromHandler(kExitCancelled);  // the second Ctrl-C: stop now
        return;
    }
    g_escapeRequested.store(true);
#ifdef _WIN32
    std::signal(SIGINT, OnInterrupt);  // the handler is reset to the default after each signal there
#endif
}

#ifndef _WIN32
extern "C" void OnTerminate(int signal) {
    EndFromHandler(128 + signal);
}
#endif

}  // namespace

int InterruptCount() {
    return g_interrupts.load();
}

bool CliContext::Interrupted() const {
    return g_interrupts.load() > m_interruptsAtStart;
}

void InstallInterruptHandler() {
    // Counting starts afresh: the next SIGINT is a first one.
    g_interrupts.store(0);
    g_escapeRequested.store(false);
#ifdef _WIN32
    std::signal(SIGINT, OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    struct sigaction end {};
    end.sa_handler = OnTerminate;
    sigemptyset(&end.sa_mask);
    end.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaction(signal, &end, nullptr);
        }
    }
#endif
}

bool CliContext::PollEscape() {
    // A plain load first: this runs once per line read, and the exchange is far dearer.
    return g_escapeRequested.load(std::memory_order_relaxed) && g_escapeRequested.exchange(false);
}

void CliContext::ItemCounted(int32_t total) {
    if (m_showProgress) {
        m_progress.Scanned(total);
    }
}

void CliContext::FilesRead(uint64_t done, uint64_t total) {
    if (m_showProgress) {
        m_progress.Read(done, total);
    }
}

void CliContext::EndProgressLine() {
    m_progress.Clear();
}

NoticeAnswer CliContext::ShowNotice(const Notice& notice) {
    switch (notice.buttons) {
        case NoticeButtons::OkCancel:
        case NoticeButtons::YesNo: {
            const bool yes = m_answerQuestionsOk && !Interrupted();
            m_declinedAfterInterrupt = m_declinedAfterInterrupt || (m_answerQuestionsOk && !yes);
            if (notice.buttons == NoticeButtons::OkCancel) {
                return yes ? NoticeAnswer::Ok : NoticeAnswer::Cancel;
            }
            return yes ? NoticeAnswer::Yes : NoticeAnswer::No;
        }
        case NoticeButtons::Ok:
            break;
    }
    return NoticeAnswer::Ok;
}

CliRun StartRun(const char* tool, std::optional<std::string> mode, const std::string& path,
                const ToolTexts& texts) {
    CliRun run;
    run.tool = tool;
    run.mode = std::move(mode);
    run.path = path;
    run.counterLabels[0] = texts.firstCounter;
    run.counterLabels[1] = texts.secondCounter;
    return run;
}

}  // namespace veltrane::cli
