#include "fs/read/LineScanner.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "fs/text/Ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrane {

namespace {

// Wide loads may look this far past the valid bytes of a block; the buffer is padded for them.
constexpr size_t kPadding = 64;
constexpr size_t kTargetBlock = 64 * 1024;

// The CR and LF bytes of buf[base, base + 64) as bits, bit i for byte base + i.
inline uint64_t LineEndMask64(const char* p) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const uint64_t bits = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        mask |= bits << (16 * i);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
        if (IsLineEnd(p[i])) {
            mask |= uint64_t{1} << i;
        }
    }
    return mask;
#endif
}

// Finds line ends through the bit mask of the 64-byte window that holds the search start, so the end of
// a short line costs a bit scan, and a window is classified once for all the lines in it.
class LineEndFinder {
public:
    explicit LineEndFinder(const char* buf) : m_buf(buf) {}

    // The buffer's bytes changed: forget the window.
    void Reset() { m_base = kNoWindow; }

    // The mask of the window that starts at base (a multiple of 64).
    uint64_t Mask(size_t base) {
        if (base != m_base) {
            Load(base);
        }
        return m_mask;
    }

    // Position of the first CR or LF in buf[from, stop), or stop. Reads whole windows, so up to 63 bytes
    // past stop.
    size_t Find(size_t from, size_t stop) {
        size_t base = from & ~size_t{63};
        if (base != m_base) {
            Load(base);
        }
        uint64_t bits = m_mask & (~uint64_t{0} << (from - base));
        while (bits == 0) {
            base += 64;
            if (base >= stop) {
                return stop;
            }
            Load(base);
            bits = m_mask;
        }
        const size_t e = base + static_cast<size_t>(std::countr_zero(bits));
        return e < stop ? e : stop;
    }

private:
    static constexpr size_t kNoWindow = ~size_t{0};

    void Load(size_t base) {
        m_base = base;
        m_mask = LineEndMask64(m_buf + base);
    }

    const char* m_buf;
    size_t m_base = kNoWindow;
    uint64_t m_mask = 0;
};

// Equal bytes; short needles are compared inline, where a library call would cost more than the bytes.
inline bool SameBytes(const char* a, const char* b, size_t n) {
    if (n > 16) {
        return std::memcmp(a, b, n) == 0;
    }
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// Start of the first occurrence of needle (at least one byte) in buf[from, len), or len when there is
// none. May read up to 15 bytes past len.
inline size_t FindNeedle(const char* buf, size_t from, size_t len, std::string_view needle) {
    const size_t n = needle.size();
    if (from > len || len - from < n) {
        return len;
    }
    const size_t lastStart = len - n;
#if defined(__SSE2__)
    // Candidates are positions whose first and last byte both match; only those are compared in full.
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    for (size_t i = from; i <= lastStart; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i + n - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask != 0) {
            const size_t j = i + static_cast<size_t>(__builtin_ctz(mask));
            if (j > lastStart) {
                return len;
            }
            // First and last byte matched: a needle of one or two bytes is found; a longer one has its
            // inner bytes compared.
            if (n <= 2 || SameBytes(buf + j + 1, needle.data() + 1, n - 2)) {
                return j;
            }
            mask &= mask - 1;
        }
    }
    return len;
#else
    const size_t at = std::string_view(buf + from, len - from).find(needle);
    return at == std::string_view::npos ? len : from + at;
#endif
}

inline unsigned BitCount(uint64_t x) {
    // Without a guaranteed popcount instruction this beats a library call.
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
}

inline size_t HighestBit(uint64_t x) {
    return 63 - static_cast<size_t>(std::countl_zero(x));
}

// A stretch of short lines that needs nothing but its polls.
struct ShortLines {
    uint64_t lines = 0;  // lines that start in [pos, next)
    size_t next = 0;     // a text start: where the exact line rules take over again
};

// From the text start pos (nothing collected, the line ends before it consumed), counts the lines that
// can be delivered without looking at them one by one. Every text start (a byte that is no line end,
// after one that is) begins a line that ends before the next text start. While no run of line-end bytes
// is longer than two, such a line end counts no blank line, wherever chunk boundaries fall (a pair split
// by one is a line end and a lone byte that ends nothing). While every window of 64 bytes holds a line
// end, no line comes near the line limit (callers ensure the limit is at least 128). So the stretch ends
// at the last text start before the first of: a run of three line ends, a window without a line end,
// the needle at hit, the end of the block's bytes at len.
ShortLines CountShortLines(LineEndFinder& finder, size_t pos, size_t len, size_t hit) {
    // The stretch may end at a text start at or before this position (pos < len, so len - 1 >= pos).
    const size_t stopAt = std::min(hit, len - 1);
    size_t w = pos & ~size_t{63};
    const unsigned off = static_cast<unsigned>(pos - w);
    uint64_t ends = finder.Mask(w);
    // Bits below pos do not count; pos itself is a text start.
    uint64_t starts = ((~ends & (ends << 1)) | (uint64_t{1} << off)) & (~uint64_t{0} << off);
    uint64_t runs = ends & (ends << 1) & (ends << 2) & (~uint64_t{0} << off);
    uint64_t counted = 0;  // text starts in earlier windows, pos included
    size_t lastStart = pos;
    while (true) {
        // The first position of this window at which the stretch must end, if any.
        size_t stop = stopAt;
        if (runs != 0) {
            stop = std::min(stop, w + static_cast<size_t>(std::countr_zero(runs)));
        }
        if (ends == 0) {
            stop = std::min(stop, w);
        }
        if (stop < w + 64) {
            // stop >= w: the stretch ends at the last text start at or before stop, which is not counted.
            const uint64_t before = starts & ((uint64_t{2} << (stop - w)) - 1);
            if (before != 0) {
                return {counted + BitCount(before) - 1, w + HighestBit(before)};
            }
            return {counted > 0 ? counted - 1 : 0, lastStart};
        }
        if (starts != 0) {
            counted += BitCount(starts);
            lastStart = w + HighestBit(starts);
        }
        const uint64_t previous = ends;
        w += 64;  // still at or before stopAt, so inside the block's bytes
        ends = finder.Mask(w);
        starts = ~ends & ((ends << 1) | (previous >> 63));
        runs = ends & ((ends << 1) | (previous >> 63)) & ((ends << 2) | (previous >> 62));
    }
}

}  // namespace

CLineScanner::CLineScanner(RunContext* ctx, uint32_t capacity)
    : m_ctx(ctx), m_capacity(capacity < 2 ? 2 : capacity) {
    const size_t chunks = std::max<size_t>(1, kTargetBlock / m_capacity);
    m_blockSize = chunks * m_capacity;
    // Value-initialised, so wide loads past the valid bytes never see indeterminate memory.
    m_buffer.reset(new char[m_blockSize + kPadding]());
}

CLineScanner::~CLineScanner() {
    Close();
}

bool CLineScanner::Open(const std::string& path, bool listedRegular) {
    Close();
    m_readError = false;
    if (!m_file.Open(path, listedRegular)) {
        return false;
    }
    m_source = &m_file;
    return true;
}

void CLineScanner::Attach(ByteSource& source) {
    Close();
    m_readError = false;
    m_source = &source;
}

void CLineScanner::Close() {
    if (m_source != nullptr) {
        m_source->Close();
        m_source = nullptr;
    }
}

// Fills the buffer from the source; fewer bytes than a block only at the end of the source or after a
// read error.
size_t CLineScanner::FillBlock() {
    char* buf = m_buffer.get();
    size_t got = 0;
    while (got < m_blockSize) {
        const ptrdiff_t r = m_source->Read(buf + got, m_blockSize - got);
        if (r <= 0) {
            m_readError = r == ByteSource::kReadError;
            break;
        }
        got += static_cast<size_t>(r);
    }
    return got;
}

// One Scan. It follows CLineReader::ReadLine step for step, but over a block of many chunks and without
// returning between lines. A chunk is the capacity-sized piece of the input that the reader would hold:
// chunk boundaries lie at multiples of the capacity from the first byte, and a block is a whole number
// of chunks, so the pair look-ahead stops at the same places as the reader's.
//
// Each step returns false when the scan ends early, with the reason in m_end.
class CLineScanner::Walk {
public:
    Walk(CLineScanner& scanner, std::string_view needle, const LineHandler& onLine)
        : m_scanner(scanner),
          m_onLine(onLine),
          m_needle(needle),
          m_buf(scanner.m_buffer.get()),
          m_ctx(scanner.m_ctx),
          m_cap(scanner.m_capacity),
          m_maxLine(scanner.m_capacity - 1),
          // Window steps need lines longer than a window to be cut by the exact path, and a needle to
          // skip by.
          m_bulk(m_maxLine >= 128 && !needle.empty()),
          m_finder(m_buf) {}

    // The block walk: chunk by chunk, a line that starts fresh or one carried over, then the last line.
    ScanEnd Run() {
        LoadBlock();
        while (NextChunk()) {
            if (!(m_collected == 0 ? StartLine() : ContinueLine())) {
                return m_end;
            }
        }
        // The end of the input: the bytes collected form the last line.
        if (m_collected > 0) {
            ++m_counter;
            if (!Deliver(m_pos, false)) {
                return m_end;
            }
        }
        return ScanEnd::EndOfInput;
    }

private:
    void LoadBlock() {
        m_len = m_scanner.FillBlock();
        m_last = m_len < m_scanner.m_blockSize;
        m_hitKnown = false;
        m_finder.Reset();
        m_pos = 0;
        m_lineStart = 0;
        m_chunkEnd = std::min(m_len, m_cap);
    }

    // Makes m_chunkEnd the end of the chunk that holds m_pos, reading the next block when the current
    // one is used up; the bytes of a line that goes on there are kept in m_line. False at the end of the
    // input.
    bool NextChunk() {
        if (m_pos < m_chunkEnd) {
            return true;
        }
        if (m_pos != m_len) {
            m_chunkEnd = std::min(m_len, (m_pos / m_cap + 1) * m_cap);
            return true;
        }
        if (m_last) {
            return false;
        }
        if (m_collected > 0) {
            if (!m_spilled) {
                m_scanner.m_line.clear();
                m_spilled = true;
            }
            m_scanner.m_line.append(m_buf + m_lineStart, m_pos - m_lineStart);
        }
        LoadBlock();
        return m_len != 0;
    }

    // Nothing collected: skips a run of short lines without the needle when there is one, else takes
    // one line, or the start of one that goes on in the next chunk.
    bool StartLine() {
        if (m_bulk && !m_continuing && !IsLineEnd(m_buf[m_pos])) {
            const size_t from = m_pos;
            if (!SkipShortLines()) {
                return false;
            }
            if (m_pos != from) {
                return true;
            }
        }
        return TakeLine();
    }

    // The fast path: counts and polls the short lines before the next needle (see CountShortLines).
    bool SkipShortLines() {
        if (!m_hitKnown || m_hit < m_pos) {
            m_hit = FindNeedle(m_buf, m_pos, m_len, m_needle);
            m_hitKnown = true;
        }
        const ShortLines run = CountShortLines(m_finder, m_pos, m_len, m_hit);
        if (run.lines == 0) {
            return true;
        }
        if (m_ctx != nullptr) {
            if (const uint64_t escaped = m_ctx->PollEscapeRun(run.lines)) {
                m_scanner.m_linesDelivered += escaped;
                m_end = ScanEnd::Escaped;
                return false;
            }
        }
        m_scanner.m_linesDelivered += run.lines;
        m_counter += static_cast<uint32_t>(run.lines);
        m_pos = run.next;
        return true;
    }

    // A line that starts and ends inside this chunk is delivered here, straight from the block.
    bool TakeLine() {
        const size_t stop = std::min(m_chunkEnd, m_pos + m_maxLine);
        const size_t e = m_finder.Find(m_pos, stop);
        if (e == m_pos) {
            // A line end with nothing before it.
            StepOverLineEnd(e);
            return true;
        }
        m_lineStart = m_pos;
        if (e == stop) {
            m_collected = e - m_pos;  // the line goes on in the next chunk, or reaches the line limit
            m_pos = e;
            return true;
        }
        const size_t lastEnd = e + 1 < m_chunkEnd && IsLineEnd(m_buf[e + 1]) ? e + 1 : e;
        ++m_counter;
        if (!Poll()) {
            return false;
        }
        // The end of a cut line goes to the handler too when whole lines are wanted.
        const bool piece = m_scanner.m_wholeLines && m_continuing;
        m_continuing = false;
        m_scanner.m_pieceCut = false;
        if ((piece || m_needle.empty() || LineHasNeedle(m_pos, e)) &&
            !m_onLine(std::string_view(m_buf + m_pos, e - m_pos), m_counter)) {
            m_end = ScanEnd::Stopped;
            return false;
        }
        // The reader examines the last line-end byte again, with nothing collected.
        StepOverLineEnd(lastEnd);
        return true;
    }

    // A line carried over from an earlier chunk or block: cut at the line limit, or ended by a line end
    // in this chunk, or still going on.
    bool ContinueLine() {
        if (m_collected == m_maxLine) {
            // Overflow: the line is cut here and the byte at m_pos starts the next one.
            ++m_counter;
            m_scanner.WarnOverflow(m_counter);
            // The physical line goes on unless the byte at m_pos ends it.
            return Deliver(m_pos, !IsLineEnd(m_buf[m_pos]));
        }
        const size_t stop = std::min(m_chunkEnd, m_pos + (m_maxLine - m_collected));
        const size_t e = m_finder.Find(m_pos, stop);
        m_collected += e - m_pos;
        m_pos = e;
        if (e == stop) {
            return true;  // chunk used up or line limit reached: both handled by the next step
        }
        // m_buf[e] ends the line; it forms one line end with the next byte when that is one too and lies
        // in the same chunk. m_pos stays on the last line-end byte examined, which is examined again.
        if (e + 1 < m_chunkEnd && IsLineEnd(m_buf[e + 1])) {
            ++m_pos;
        }
        ++m_counter;
        return Deliver(e, false);
    }

    // Delivers the collected line, which ends at lineEnd in the block and starts at m_lineStart, after
    // m_line when it began in an earlier block. Then nothing is collected. cut: the physical line goes on
    // past the line limit; with whole lines on, such a piece and the ones after it reach the handler.
    bool Deliver(size_t lineEnd, bool cut) {
        if (!Poll()) {
            return false;
        }
        const bool piece = m_scanner.m_wholeLines && (cut || m_continuing);
        m_continuing = cut;
        m_scanner.m_pieceCut = cut;
        bool goOn = true;
        if (m_spilled) {
            std::string& line = m_scanner.m_line;
            line.append(m_buf + m_lineStart, lineEnd - m_lineStart);
            goOn = (!piece && line.find(m_needle) == std::string::npos) || m_onLine(line, m_counter);
            line.clear();
        } else if (piece || m_needle.empty() || LineHasNeedle(m_lineStart, lineEnd)) {
            goOn = m_onLine(std::string_view(m_buf + m_lineStart, lineEnd - m_lineStart), m_counter);
        }
        if (!goOn) {
            m_end = ScanEnd::Stopped;
            return false;
        }
        m_collected = 0;
        m_spilled = false;
        return true;
    }

    // Counts the line as delivered and polls for it.
    bool Poll() {
        ++m_scanner.m_linesDelivered;
        if (m_ctx != nullptr && m_ctx->PollEscapeRun(1) != 0) {  // one call: the poll and RestoreWait
            m_end = ScanEnd::Escaped;
            return false;
        }
        return true;
    }

    // The reader meets the line-end byte at `at` with nothing collected: together with the next byte of
    // the chunk, when that is a line end too, it counts a blank line.
    void StepOverLineEnd(size_t at) {
        if (at + 1 < m_chunkEnd && IsLineEnd(m_buf[at + 1])) {
            ++m_counter;
            ++at;
        }
        m_pos = at + 1;
    }

    bool LineHasNeedle(size_t lineStart, size_t lineEnd) {
        if (!m_hitKnown || m_hit < lineStart) {
            m_hit = FindNeedle(m_buf, lineStart, m_len, m_needle);
            m_hitKnown = true;
        }
        return m_hit + m_needle.size() <= lineEnd;
    }

    CLineScanner& m_scanner;
    const LineHandler& m_onLine;
    const std::string_view m_needle;
    const char* const m_buf;
    RunContext* const m_ctx;
    const size_t m_cap;
    const size_t m_maxLine;
    const bool m_bulk;
    LineEndFinder m_finder;

    size_t m_len = 0;           // valid bytes in the block
    bool m_last = false;        // the block is the input's last: nothing follows it
    bool m_hitKnown = false;    // m_hit holds a search result for this block
    size_t m_hit = 0;           // next needle occurrence at or after the last search start, m_len when none
    uint32_t m_counter = 0;     // the line counter of the reader
    size_t m_pos = 0;           // the reader's scan index, within the block
    size_t m_chunkEnd = 0;      // end of the chunk that holds m_pos
    size_t m_collected = 0;     // bytes collected for the current line
    size_t m_lineStart = 0;     // where the current line's bytes start in the block
    bool m_spilled = false;     // the current line began in an earlier block; those bytes are in m_line
    bool m_continuing = false;  // the last piece delivered was cut: the next one goes on with its line
    ScanEnd m_end = ScanEnd::EndOfInput;
};

ScanEnd CLineScanner::Scan(std::string_view needle, const LineHandler& onLine) {
    m_linesDelivered = 0;
    m_warned = 0;
    m_heldBack = 0;
    m_readError = false;
    m_pieceCut = false;
    m_line.clear();
    if (m_source == nullptr) {
        return ScanEnd::EndOfInput;
    }
    m_source->Rewind();
    return Walk(*this, needle, onLine).Run();
}

void CLineScanner::WarnOverflow(uint32_t lineNumber) {
    if (m_ctx == nullptr) {
        return;
    }
    if (m_warnings != nullptr && m_keptWarnings == nullptr) {
        if (!m_warnings->Admit()) {
            return;
        }
    } else if (m_warned == OverflowWarnings::kShown) {
        ++m_heldBack;
        return;
    } else {
        ++m_warned;
    }
    if (m_keptWarnings != nullptr) {
        m_keptWarnings->push_back(lineNumber);
        return;
    }
    if (m_ctx->LineWarningOnlyCounted()) {
        m_ctx->CountLineWarning();
        return;
    }
    m_ctx->Notify(NoticeKind::Warning, kOverflowWarningTitle, OverflowWarningText(lineNumber, m_capacity));
}

}  // namespace veltrane
