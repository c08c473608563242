#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fs/run/OverflowWarnings.h"
#include "fs/run/RunContext.h"

namespace veltrane {

// The context a read-ahead thread reads with: it counts the polls and records every box with the
// number of polls before it, so that the run's own context can be shown them later in that order.
// A poll reports Escape once the read-ahead is being stopped, the read was given up, or (for the
// logic's own thread) the read has lasted past its deadline; that ends the read at its next line.
// Once the run's cap on line-length warnings is full, such a warning is recorded without its box: the
// cap will only count it.
class CRecordingContext final : public RunContext {
public:
    struct Box {
        uint64_t pollsBefore = 0;
        Notice notice;
        bool counted = false;  // a line-length warning the cap only counts: no notice
    };
    using Clock = std::chrono::steady_clock;

    CRecordingContext(const std::atomic<bool>& stop, const OverflowWarnings* cap)
        : m_stop(stop), m_cap(cap) {}

    bool LineWarningOnlyCounted() const override { return m_cap != nullptr && m_cap->Full(); }
    void CountLineWarning() override { m_boxes.push_back({m_polls, Notice{}, true}); }

    bool PollEscape() override { return PollEscapeRun(1) != 0; }
    // The polls of a run in one look: the flags are looked at once, and the clock at the poll where a
    // single poll would have looked at it (every 1024th).
    uint64_t PollEscapeRun(uint64_t count) override {
        if (count == 0) {
            return 0;
        }
        if (m_late || m_stop.load(std::memory_order_relaxed) || m_giveUp.load(std::memory_order_relaxed)) {
            ++m_polls;
            return 1;
        }
        const uint64_t toClock = kClockEvery - (m_polls & (kClockEvery - 1));
        if (toClock <= count && m_deadline != Clock::time_point::max() && Clock::now() > m_deadline) {
            m_polls += toClock;
            m_late = true;
            return toClock;
        }
        m_polls += count;
        return 0;
    }

    // Before a read: nothing recorded, not given up, and no deadline unless one is given.
    void Start(Clock::time_point deadline = Clock::time_point::max()) {
        m_polls = 0;
        m_boxes.clear();
        m_late = false;
        m_deadline = deadline;
        m_giveUp.store(false, std::memory_order_relaxed);
    }
    void GiveUp() { m_giveUp.store(true, std::memory_order_relaxed); }
    // Whether the read went to its end, and not stopped by any of the above.
    bool Whole() const { return !m_late && !m_stop.load(std::memory_order_relaxed) && !m_giveUp.load(); }

    uint64_t Polls() const { return m_polls; }
    std::vector<Box> TakeBoxes() { return std::exchange(m_boxes, {}); }

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override {
        m_boxes.push_back({m_polls, notice});
        return RunContext::ShowNotice(notice);
    }

private:
    static constexpr uint64_t kClockEvery = 1024;

    const std::atomic<bool>& m_stop;
    const OverflowWarnings* m_cap;  // the run's, which only reads it
    std::atomic<bool> m_giveUp{false};
    Clock::time_point m_deadline = Clock::time_point::max();
    bool m_late = false;
    uint64_t m_polls = 0;
    std::vector<Box> m_boxes;
};

// The context of a read done again because Escape came at its poll'th poll: the polls before it
// report nothing, that one reports Escape, and its boxes were shown already, so they go nowhere.
class CEscapeAtContext final : public RunContext {
public:
    explicit CEscapeAtContext(uint64_t poll) : m_poll(poll) {}
    bool PollEscape() override { return ++m_polls == m_poll; }

private:
    uint64_t m_poll;
    uint64_t m_polls = 0;
};

// Reads the files of a run ahead of the logic that judges them, on other threads, while the logic
// takes the results strictly in list order on its own thread, as if it had read each file itself:
// Take replays on the run's context every poll of the read (so one Escape poll per line, and the
// RestoreWait after each) and every box the read raised, at the same point between the polls, the
// line-length warnings through the run's cap. When Escape comes at a poll, the file is read again
// on the logic's thread, stopped at that same poll, so its result is exactly that of a read the
// Escape had stopped there.
//
// Record is what one file's read gives; a Reader makes it from the file's index, reading through
// the context it was made with. Each thread makes its own reader, so readers share nothing.
// At most kWindow files are in flight past the one the logic is at, and a record larger than
// kMaxRecordBytes is dropped (the logic reads that file itself): memory stays bounded whatever the
// tree. The logic's thread reads a file itself when no other thread has started it, so with N
// threads N - 1 run beside it; with 1 (or 0) nothing does, and Take always says "read it yourself":
// the code path of a run without this stage.
//
// Escape is never kept waiting by another thread: when the file the logic needs is still being read
// after kTakeOver (a large file), the logic gives that read up and reads the file itself, polling as
// it goes. While it waits it reads ahead too, but gives such a read up at kTakeOver as well.
template <typename Record>
class CReadAhead {
public:
    using Reader = std::function<Record(size_t index)>;
    using MakeReader = std::function<Reader(RunContext& ctx)>;
    using SizeOf = std::function<size_t(const Record&)>;

    static constexpr size_t kWindow = 64;
    static constexpr size_t kMaxRecordBytes = 256 * 1024;
    static constexpr std::chrono::milliseconds kTakeOver{20};

    // cap: the run's cap on line-length warnings, the one Take is given, or null.
    CReadAhead(size_t count, unsigned threads, MakeReader makeReader, SizeOf sizeOf,
               const OverflowWarnings* cap = nullptr)
        : m_count(count), m_makeReader(std::move(makeReader)), m_sizeOf(std::move(sizeOf)), m_cap(cap) {
        const size_t workers = std::min<size_t>(threads > 1 ? threads - 1 : 0, count > 1 ? count - 1 : 0);
        if (workers > 0) {
            m_slots.resize(kWindow);  // nothing is kept for a run without threads beside the logic
        }
        for (size_t i = 0; i < workers; ++i) {
            try {
                m_threads.emplace_back([this] { Work(); });
            } catch (...) {
                break;  // fewer threads: the logic reads what they would have
            }
        }
    }

    ~CReadAhead() { Stop(); }
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // Ends the read-ahead at once: every thread stops at its next line and is joined.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop.store(true, std::memory_order_relaxed);
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
        m_threads.clear();
    }

    // The record of file index, after its polls and boxes were replayed on ctx; indices are taken in
    // increasing order. Empty when the caller is to read the file itself, as without this stage.
    std::optional<Record> Take(size_t index, RunContext& ctx, OverflowWarnings* cap) {
        Slot taken;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_threads.empty()) {
                return std::nullopt;
            }
            Slot& slot = m_slots[index % kWindow];
            if (index < m_next && slot.index == index) {
                const auto giveUpAt = CRecordingContext::Clock::now() + kTakeOver;
                while (!slot.ready) {
                    if (CRecordingContext::Clock::now() >= giveUpAt) {
                        slot.reader->GiveUp();  // its thread drops what it read
                        break;
                    }
                    // Rather than wait, read a file nobody has started, as the other threads do.
                    if (!ReadNext(m_own, lock, giveUpAt)) {
                        m_done.wait_until(lock, giveUpAt);
                    }
                }
                if (slot.ready) {
                    taken = std::exchange(slot, Slot{});
                }
                slot.index = kNone;
            }
            // Otherwise nobody has started it: the logic reads it, and the others go on past it.
            m_next = std::max(m_next, index + 1);
            m_taken = index + 1;
            if (m_sleeping > 0 && HalfTheWindowIsFree()) {
                m_wake.notify_all();
            }
        }
        if (!taken.record) {
            return std::nullopt;
        }
        // The polls between two boxes go as one run; the boxes before a poll come before it.
        uint64_t polled = 0;
        for (size_t box = 0; box <= taken.boxes.size(); ++box) {
            const uint64_t until = box < taken.boxes.size() ? taken.boxes[box].pollsBefore : taken.polls;
            if (until > polled) {
                if (const uint64_t escaped = ctx.PollEscapeRun(until - polled)) {
                    CEscapeAtContext again(polled + escaped);
                    return m_makeReader(again)(index);
                }
                polled = until;
            }
            if (box < taken.boxes.size()) {
                Show(ctx, cap, taken.boxes[box]);
            }
        }
        return std::move(taken.record);
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    struct Slot {
        size_t index = kNone;  // the file it is for, from its start
        bool ready = false;
        std::optional<Record> record;  // empty: dropped, the logic reads the file itself
        uint64_t polls = 0;
        std::vector<CRecordingContext::Box> boxes;
        CRecordingContext* reader = nullptr;  // while it is read: whose read it is
    };

    static void Show(RunContext& ctx, OverflowWarnings* cap, const CRecordingContext::Box& box) {
        if (box.counted) {
            if (cap != nullptr) {
                cap->Admit();  // full since the read: counts it
            }
            return;
        }
        const Notice& notice = box.notice;
        const bool lineWarning = notice.kind == NoticeKind::Warning && notice.title == kOverflowWarningTitle;
        if (!lineWarning || cap == nullptr || cap->Admit()) {
            ctx.Notify(notice.kind, notice.title, notice.text, notice.buttons);
        }
    }

    // A thread's reader with the context that records its polls and boxes.
    struct Own {
        std::unique_ptr<CRecordingContext> recorder;
        Reader read;
    };

    // Reads the next file nobody has started, within the window, into its slot; false when there is
    // none. Called and returning with lock held; the read itself runs without it, until deadline.
    bool ReadNext(
        Own& own, std::unique_lock<std::mutex>& lock,
        CRecordingContext::Clock::time_point deadline = CRecordingContext::Clock::time_point::max()) {
        if (m_next >= m_count || m_next >= m_taken + kWindow) {
            return false;
        }
        const size_t index = m_next++;
        Slot& slot = m_slots[index % kWindow];
        slot = Slot{};
        slot.index = index;
        try {
            if (!own.recorder) {
                own.recorder = std::make_unique<CRecordingContext>(m_stop, m_cap);
                own.read = m_makeReader(*own.recorder);
            }
        } catch (...) {
            slot.ready = true;  // out of memory: the logic reads this file itself
            m_done.notify_all();
            return true;
        }
        own.recorder->Start(deadline);
        slot.reader = own.recorder.get();
        lock.unlock();
        Slot done;
        try {
            Record record = own.read(index);
            size_t bytes = m_sizeOf(record);
            done.boxes = own.recorder->TakeBoxes();
            for (const CRecordingContext::Box& box : done.boxes) {
                bytes += sizeof box + box.notice.text.size();
            }
            done.polls = own.recorder->Polls();
            if (own.recorder->Whole() && bytes <= kMaxRecordBytes) {
                done.record = std::move(record);
            } else {
                done.boxes.clear();
            }
        } catch (...) {
            done.boxes.clear();  // out of memory on the way: the logic reads this file itself
        }
        done.index = index;
        done.ready = true;
        lock.lock();
        if (m_slots[index % kWindow].index == index) {
            m_slots[index % kWindow] = std::move(done);  // else the logic gave this read up
        }
        m_done.notify_all();
        return true;
    }

    // A thread that found the window full sleeps until half of it is free again, so that it reads a
    // run of files per wake rather than one.
    bool HalfTheWindowIsFree() const { return m_next + kWindow / 2 <= m_taken + kWindow; }

    void Work() {
        Own own;
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop.load(std::memory_order_relaxed) && m_next < m_count) {
            if (!ReadNext(own, lock)) {
                ++m_sleeping;
                m_wake.wait(lock, [&] {
                    return m_stop.load(std::memory_order_relaxed) || m_next >= m_count ||
                           HalfTheWindowIsFree();
                });
                --m_sleeping;
            }
        }
    }

    const size_t m_count;
    MakeReader m_makeReader;
    SizeOf m_sizeOf;
    const OverflowWarnings* m_cap;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;  // the window moved, or the read-ahead is stopping
    std::condition_variable m_done;  // a slot became ready
    size_t m_next = 0;               // the next index nobody has started
    size_t m_taken = 0;              // the logic has taken every index below this
    size_t m_sleeping = 0;           // threads waiting for room in the window
    std::vector<Slot> m_slots;       // index % kWindow, for m_taken <= index < m_next
    Own m_own;                       // the logic's thread's reader, for reading ahead while it waits
    std::vector<std::thread> m_threads;
};

}  // namespace veltrane
