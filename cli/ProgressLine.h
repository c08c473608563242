#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace veltrane::cli {

// "12345" as "12,345".
std::string GroupedNumber(uint64_t number);

// One line on a terminal that rewrites itself while a long run goes on: nothing for the first
// kDelayMs (a short run shows nothing at all), then at most one redraw every kRedrawMs. Clear() takes
// it away before the results are printed. Off, it writes nothing ever.
class CProgressLine {
public:
    static constexpr int64_t kDelayMs = 500;
    static constexpr int64_t kRedrawMs = 100;

    // now gives the time in milliseconds (a steady clock unless given).
    CProgressLine(std::FILE* stream, bool on, std::function<int64_t()> now = {});
    ~CProgressLine() { Clear(); }
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    // A walk of the run has scanned count entries (folders, files, or entries of an archive) so far.
    void Scanned(int64_t count);
    // A tool has read done of the total files of its list.
    void Read(uint64_t done, uint64_t total);
    // Takes the line away, if one was drawn, and starts the delay afresh for the next run.
    void Clear();

private:
    std::FILE* m_stream;
    bool m_on;
    std::function<int64_t()> m_now;
    int64_t m_startMs = -1;  // when the run's first count came (steady clock)
    int64_t m_lastDrawMs = -1;
    uint64_t m_most = 0;  // the highest count of the run
    bool m_drawn = false;
    // Draws text now unless the delay or the redraw interval says not yet.
    void Draw(const std::string& text);
};

}  // namespace veltrane::cli
