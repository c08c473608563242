#include "fs/run/RunContext.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace veltrane {

const char* NoticeKindName(NoticeKind kind) {
    switch (kind) {
        case NoticeKind::Information:
            return "information";
        case NoticeKind::Warning:
            return "warning";
        case NoticeKind::Error:
            return "error";
        case NoticeKind::Question:
            return "question";
        case NoticeKind::None:
            break;
    }
    return "none";
}

const char* NoticeAnswerName(NoticeAnswer answer) {
    switch (answer) {
        case NoticeAnswer::Ok:
            return "ok";
        case NoticeAnswer::Cancel:
            return "cancel";
        case NoticeAnswer::Yes:
            return "yes";
        case NoticeAnswer::No:
            return "no";
        case NoticeAnswer::None:
            break;
    }
    return nullptr;
}

NoticeAnswer RunContext::Notify(NoticeKind kind, const std::string& title, const std::string& text,
                                NoticeButtons buttons) {
    Notice notice{kind, title, text, buttons, NoticeAnswer::None};
    NoticeAnswer answer = ShowNotice(notice);
    // An OK-only box informs; it has no answer worth recording.
    notice.answer = buttons == NoticeButtons::Ok ? NoticeAnswer::None : answer;
    m_notices.push_back(std::move(notice));
    return answer;
}

uint64_t RunContext::PollEscapeRun(uint64_t count) {
    for (uint64_t poll = 1; poll <= count; ++poll) {
        if (PollEscape()) {
            return poll;
        }
        RestoreWait();
    }
    return 0;
}

unsigned RunContext::ReadThreads() const {
    unsigned threads = m_readThreads;
    if (threads == 0) {
        if (const char* value = std::getenv("VELTRANE_THREADS")) {
            threads =
                static_cast<unsigned>(std::clamp(std::atol(value), 0L, static_cast<long>(kMaxReadThreads)));
        }
    }
    if (threads == 0) {
        threads = std::thread::hardware_concurrency();
    }
    return std::clamp(threads, 1u, kMaxReadThreads);
}

NoticeAnswer RunContext::ShowNotice(const Notice& notice) {
    switch (notice.buttons) {
        case NoticeButtons::OkCancel:
            return NoticeAnswer::Cancel;
        case NoticeButtons::YesNo:
            return NoticeAnswer::No;
        case NoticeButtons::Ok:
            break;
    }
    return NoticeAnswer::Ok;
}

}  // namespace veltrane
