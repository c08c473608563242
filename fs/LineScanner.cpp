#include "fs/LineScanner.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include "fs/WidePath.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrane {

namespace {

// Wide loads may look this far past the valid bytes of a block; the buffer is padded for them.
constexpr size_t kPadding = 64;
constexpr size_t kTargetBlock = 64 * 1024;

inline bool IsLineEnd(char b) {
    return b == '\r' || b == '\n';
}

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
            if (SameBytes(buf + j + 1, needle.data() + 1, n - 2)) {
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

// Where the scan stands in the current block.
struct CLineScanner::Cursor {
    size_t len = 0;         // valid bytes in the block
    bool last = false;      // the block is the file's last: nothing follows it
    bool hitKnown = false;  // hit holds a search result for this block
    size_t hit = 0;         // next needle occurrence at or after the last search start, len when none
    uint32_t counter = 0;   // the line counter of the reader
};

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

bool CLineScanner::Open(const std::string& path) {
    Close();
#ifdef _WIN32
    // Others may read the file while we do, but not write it.
    int fd = -1;
    if (_wsopen_s(&fd, ToWide(path).c_str(), _O_RDONLY | _O_BINARY, _SH_DENYWR, _S_IREAD) != 0) {
        fd = -1;
    }
#else
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    m_fd = fd;
    m_readError = false;
    return m_fd >= 0;
}

bool CLineScanner::WasOpened() const {
    return m_fd >= 0;
}

void CLineScanner::Close() {
    if (m_fd >= 0) {
#ifdef _WIN32
        _close(static_cast<int>(m_fd));
#else
        ::close(static_cast<int>(m_fd));
#endif
        m_fd = -1;
    }
}

size_t CLineScanner::FillBlock() {
    char* buf = m_buffer.get();
    size_t got = 0;
    const int fd = static_cast<int>(m_fd);
    while (got < m_blockSize) {
#ifdef _WIN32
        const int want = static_cast<int>(std::min<size_t>(m_blockSize - got, 1u << 30));
        const int r = _read(fd, buf + got, static_cast<unsigned>(want));
#else
        const ssize_t r = ::read(fd, buf + got, m_blockSize - got);
#endif
        if (r > 0) {
            got += static_cast<size_t>(r);
        } else if (r == 0) {
            break;
        } else if (errno != EINTR) {
            m_readError = true;
            break;
        }
    }
    return got;
}

void CLineScanner::WarnOverflow(uint32_t lineNumber) {
    if (m_ctx == nullptr) {
        return;
    }
    char message[128];
    std::snprintf(message, sizeof message, "m_pBuffer overflow in line %u (line length over %d chars)",
                  lineNumber, static_cast<int>(m_capacity));
    m_ctx->Notify(NoticeKind::Warning, "Warning !", message);
}

inline bool CLineScanner::LineHasNeedle(Cursor& cur, size_t lineStart, size_t lineEnd) {
    if (!cur.hitKnown || cur.hit < lineStart) {
        cur.hit = FindNeedle(m_buffer.get(), lineStart, cur.len, m_needle);
        cur.hitKnown = true;
    }
    return cur.hit + m_needle.size() <= lineEnd;
}

// One delivered line: the poll, the cursor, and the handler when the line holds the needle. The line is
// buf[lineStart, lineEnd), preceded by m_line when spilled. Returns EndOfFile to go on.
ScanEnd CLineScanner::Deliver(Cursor& cur, size_t lineStart, size_t lineEnd, const LineHandler& onLine,
                              bool spilled) {
    ++m_linesDelivered;
    if (m_ctx != nullptr) {
        if (m_ctx->PollEscape()) {
            return ScanEnd::Escaped;
        }
        if (m_restoreWait) {
            m_ctx->RestoreWait();
        }
    }
    const char* buf = m_buffer.get();
    if (spilled) {
        m_line.append(buf + lineStart, lineEnd - lineStart);
        if (m_line.find(m_needle) != std::string::npos && !onLine(m_line, cur.counter)) {
            return ScanEnd::Stopped;
        }
        return ScanEnd::EndOfFile;
    }
    if ((m_needle.empty() || LineHasNeedle(cur, lineStart, lineEnd)) &&
        !onLine(std::string_view(buf + lineStart, lineEnd - lineStart), cur.counter)) {
        return ScanEnd::Stopped;
    }
    return ScanEnd::EndOfFile;
}

// The loop follows CLineReader::ReadLine step for step, but over a block of many chunks and without
// returning between lines. A chunk is the capacity-sized piece of the file that the reader would hold:
// chunk boundaries lie at multiples of the capacity from the start of the file, and a block is a whole
// number of chunks, so the pair look-ahead stops at the same places as the reader's.
ScanEnd CLineScanner::Scan(std::string_view needle, const LineHandler& onLine) {
    m_linesDelivered = 0;
    m_readError = false;
    m_line.clear();
    if (m_fd < 0) {
        return ScanEnd::EndOfFile;
    }
    // Back to the first byte. Like rewinding a stream, this fails harmlessly on a pipe, which is read from
    // where it stands: at its start, for a file just opened.
#ifdef _WIN32
    (void)_lseeki64(static_cast<int>(m_fd), 0, SEEK_SET);
#else
    (void)::lseek(static_cast<int>(m_fd), 0, SEEK_SET);
#endif
    m_needle.assign(needle);

    const size_t cap = m_capacity;
    const size_t maxLine = cap - 1;
    const size_t needleSize = m_needle.size();
    const char* buf = m_buffer.get();
    RunContext* const ctx = m_ctx;
    const bool restoreWait = m_restoreWait;
    Cursor cur;
    cur.len = FillBlock();
    cur.last = cur.len < m_blockSize;
    LineEndFinder finder(buf);
    // Window steps need lines longer than a window to be cut by the exact path, and a needle to skip by.
    const bool bulk = maxLine >= 128 && needleSize > 0;

    size_t pos = 0;                            // the reader's scan index, within the block
    size_t chunkEnd = std::min(cur.len, cap);  // end of the chunk that holds pos
    size_t c = 0;                              // bytes collected for the current line
    size_t lineStart = 0;                      // where the current line's bytes start in the block
    bool spilled = false;  // the current line began in an earlier block; those bytes are in m_line

    while (true) {
        if (pos >= chunkEnd) {
            if (pos == cur.len) {
                if (cur.last) {
                    break;
                }
                if (c > 0) {
                    if (!spilled) {
                        m_line.clear();
                        spilled = true;
                    }
                    m_line.append(buf + lineStart, pos - lineStart);
                }
                cur.len = FillBlock();
                cur.last = cur.len < m_blockSize;
                cur.hitKnown = false;
                finder.Reset();
                pos = 0;
                lineStart = 0;
                chunkEnd = std::min(cur.len, cap);
                if (cur.len == 0) {
                    break;
                }
            } else {
                chunkEnd = std::min(cur.len, (pos / cap + 1) * cap);
            }
        }
        // From here on pos < chunkEnd.

        if (c == 0 && bulk && !IsLineEnd(buf[pos])) {
            if (!cur.hitKnown || cur.hit < pos) {
                cur.hit = FindNeedle(buf, pos, cur.len, m_needle);
                cur.hitKnown = true;
            }
            const ShortLines run = CountShortLines(finder, pos, cur.len, cur.hit);
            if (run.lines > 0) {
                if (ctx != nullptr) {
                    for (uint64_t k = 0; k < run.lines; ++k) {
                        if (ctx->PollEscape()) {
                            m_linesDelivered += k + 1;
                            return ScanEnd::Escaped;
                        }
                        if (restoreWait) {
                            ctx->RestoreWait();
                        }
                    }
                }
                m_linesDelivered += run.lines;
                cur.counter += static_cast<uint32_t>(run.lines);
                pos = run.next;
                continue;
            }
        }

        if (c == 0) {
            // Nothing collected: a line that starts and ends inside this chunk is handled here without
            // leaving the loop.
            const size_t stop = std::min(chunkEnd, pos + maxLine);
            const size_t e = finder.Find(pos, stop);
            if (e == pos) {
                // A line end with nothing before it: with the next byte it may count a blank line.
                if (pos + 1 < chunkEnd && IsLineEnd(buf[pos + 1])) {
                    ++cur.counter;
                    ++pos;
                }
                ++pos;
                continue;
            }
            lineStart = pos;
            if (e == stop) {
                c = e - pos;  // the line goes on in the next chunk, or reaches the line limit
                pos = e;
                continue;
            }
            const size_t lastEnd = e + 1 < chunkEnd && IsLineEnd(buf[e + 1]) ? e + 1 : e;
            ++cur.counter;
            ++m_linesDelivered;
            if (ctx != nullptr) {
                if (ctx->PollEscape()) {
                    return ScanEnd::Escaped;
                }
                if (restoreWait) {
                    ctx->RestoreWait();
                }
            }
            if (needleSize == 0 || LineHasNeedle(cur, pos, e)) {
                if (!onLine(std::string_view(buf + pos, e - pos), cur.counter)) {
                    return ScanEnd::Stopped;
                }
            }
            // The reader examines the last line-end byte again, with nothing collected.
            pos = lastEnd;
            if (pos + 1 < chunkEnd && IsLineEnd(buf[pos + 1])) {
                ++cur.counter;
                ++pos;
            }
            ++pos;
            continue;
        }

        // A line carried over from an earlier chunk or block.
        if (c == maxLine) {
            // Overflow: the line is cut here and the byte at pos starts the next one.
            ++cur.counter;
            WarnOverflow(cur.counter);
            const ScanEnd end = Deliver(cur, lineStart, pos, onLine, spilled);
            if (end != ScanEnd::EndOfFile) {
                return end;
            }
            c = 0;
            spilled = false;
            m_line.clear();
            continue;
        }
        const size_t stop = std::min(chunkEnd, pos + (maxLine - c));
        const size_t e = finder.Find(pos, stop);
        c += e - pos;
        pos = e;
        if (e == stop) {
            continue;  // chunk used up or line limit reached: both handled above
        }
        // buf[e] ends the line; it forms one line end with the next byte when that is one too and lies
        // in the same chunk. pos stays on the last line-end byte examined, which is examined again.
        if (e + 1 < chunkEnd && IsLineEnd(buf[e + 1])) {
            ++pos;
        }
        ++cur.counter;
        const ScanEnd end = Deliver(cur, lineStart, e, onLine, spilled);
        if (end != ScanEnd::EndOfFile) {
            return end;
        }
        c = 0;
        spilled = false;
        m_line.clear();
    }

    // End of file: the bytes collected form the last line.
    if (c > 0) {
        ++cur.counter;
        const ScanEnd end = Deliver(cur, lineStart, pos, onLine, spilled);
        if (end != ScanEnd::EndOfFile) {
            return end;
        }
    }
    return ScanEnd::EndOfFile;
}

}  // namespace veltrane
