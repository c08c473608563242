#include "cli/ProgressLine.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace veltrane::cli {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string GroupedNumber(uint64_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, 1, ',');
    }
    return digits;
}

CProgressLine::CProgressLine(std::FILE* stream, bool on, std::function<int64_t()> now)
    : m_stream(stream), m_on(on), m_now(now ? std::move(now) : NowMs) {}

void CProgressLine::Scanned(int64_t count) {
    if (!m_on) {
        return;
    }
    // A run may walk its tree more than once, each walk counting from 0: the most any walk counted is
    // the size of the tree so far, and the line never counts backwards.
    m_most = std::max(m_most, count < 0 ? uint64_t(0) : static_cast<uint64_t>(count));
    Draw("Checking... " + GroupedNumber(m_most) + " entries scanned");
}

void CProgressLine::Read(uint64_t done, uint64_t total) {
    if (m_on) {
        Draw("Checking " + GroupedNumber(done) + " of " + GroupedNumber(total) + " files...");
    }
}

void CProgressLine::Draw(const std::string& text) {
    const int64_t now = m_now();
    if (m_startMs < 0) {
        m_startMs = now;
    }
    if (now - m_startMs < kDelayMs || (m_lastDrawMs >= 0 && now - m_lastDrawMs < kRedrawMs)) {
        return;
    }
    m_lastDrawMs = now;
    const std::string line = "\r" + text + "\033[K";
    std::fwrite(line.data(), 1, line.size(), m_stream);
    std::fflush(m_stream);
    m_drawn = true;
}

void CProgressLine::Clear() {
    if (m_drawn) {
        std::fputs("\r\033[K", m_stream);
        std::fflush(m_stream);
        m_drawn = false;
    }
    m_startMs = -1;
    m_lastDrawMs = -1;
    m_most = 0;
}

}  // namespace veltrane::cli
