#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

// Icon of a message box; the CLI and the JSON output name it "error", "warning", ...
enum class NoticeKind { None, Information, Warning, Error, Question };

// Button set of a message box.
enum class NoticeButtons { Ok, OkCancel, YesNo };

// What the user answered; None for a box that only informs (OK only).
enum class NoticeAnswer { None, Ok, Cancel, Yes, No };

// One message box raised by a run, as it was shown and answered.
struct Notice {
    NoticeKind kind = NoticeKind::None;
    std::string title;
    std::string text;
    NoticeButtons buttons = NoticeButtons::Ok;
    NoticeAnswer answer = NoticeAnswer::None;
};

const char* NoticeKindName(NoticeKind kind);        // "error", "warning", "information", "question", "none"
const char* NoticeAnswerName(NoticeAnswer answer);  // "ok", "cancel", "yes", "no", or nullptr for None

// The hooks through which the check logic reaches its caller (GUI page, CLI, test).
// The logic never shows anything itself: it asks the context. Every hook has a harmless
// default, so a plain RunContext runs a check silently to its end.
class RunContext {
public:
    virtual ~RunContext() = default;

    // True once for each Escape request. Called once per folder entry by the scanner and once
    // per line by the line loops.
    virtual bool PollEscape() { return false; }

    // count polls in a row, as count PollEscape calls, each followed by RestoreWait when it reports
    // nothing, would be; returns which of them (from 1) reported Escape, or 0 when none did. A context
    // whose poll only looks at a flag may answer all of them with one look.
    virtual uint64_t PollEscapeRun(uint64_t count);

    // The two counters of the page changed; a page shows them at once.
    virtual void CountersChanged(int32_t /*first*/, int32_t /*second*/) {}

    // The scanner added a record; total is the run's counter after the addition.
    virtual void ItemCounted(int32_t /*total*/) {}

    // A tool has taken done of the total files its read of a list hands over.
    virtual void FilesRead(uint64_t /*done*/, uint64_t /*total*/) {}

    // Wait cursor: BeginWait nests one level, RestoreWait shows it again after a poll,
    // EndWait removes one level.
    virtual void BeginWait() {}
    virtual void RestoreWait() {}
    virtual void EndWait() {}

    // The "Processing....." window: shown before a long run, closed on every way out.
    virtual void ShowProgress() {}
    virtual void CloseProgress() {}

    // Whether a line-length warning raised now would only be counted by the run's cap, so that its box
    // need not be made: a read done ahead of the run asks, once the run has shown all it shows.
    virtual bool LineWarningOnlyCounted() const { return false; }
    // Such a warning, handed over without its box.
    virtual void CountLineWarning() {}

    // Shows a message box, records it with its answer and returns the answer.
    NoticeAnswer Notify(NoticeKind kind, const std::string& title, const std::string& text,
                        NoticeButtons buttons = NoticeButtons::Ok);

    // How many threads read the files of a run (see CReadAhead): the number given to SetReadThreads
    // when it is not 0, else the VELTRANE_THREADS environment variable when it holds one, else the
    // machine's hardware threads; always 1 to kMaxReadThreads. 1 reads every file on the run's thread.
    static constexpr unsigned kMaxReadThreads = 8;
    unsigned ReadThreads() const;
    void SetReadThreads(unsigned threads) { m_readThreads = threads; }

    // Every box raised through Notify so far, in order.
    const std::vector<Notice>& Notices() const { return m_notices; }

protected:
    // Shows the box and waits for the user. The default answers OK to an OK box,
    // Cancel to an OK/Cancel question and No to a Yes/No question.
    virtual NoticeAnswer ShowNotice(const Notice& notice);

private:
    std::vector<Notice> m_notices;
    unsigned m_readThreads = 0;
};

// Nests the wait cursor for one scope.
class WaitCursorScope {
public:
    explicit WaitCursorScope(RunContext& ctx) : m_ctx(ctx) { m_ctx.BeginWait(); }
    ~WaitCursorScope() { m_ctx.EndWait(); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

private:
    RunContext& m_ctx;
};

// Shows the progress window for one scope; Close() ends it early, at most once.
class ProgressScope {
public:
    explicit ProgressScope(RunContext& ctx) : m_ctx(ctx) { m_ctx.ShowProgress(); }
    ~ProgressScope() { Close(); }
    void Close() {
        if (m_open) {
            m_open = false;
            m_ctx.CloseProgress();
        }
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    RunContext& m_ctx;
    bool m_open = true;
};

}  // namespace veltrane
