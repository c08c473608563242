#include "fs/LineScanner.h"

#include <algorithm>
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

// Position of the first CR or LF in buf[from, to), or to. May read up to 15 bytes past to.
inline size_t FindLineEnd(const char* buf, size_t from, size_t to) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (size_t i = from; i < to; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
        const unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        if (mask != 0) {
            const size_t e = i + static_cast<size_t>(__builtin_ctz(mask));
            return e < to ? e : to;
        }
    }
    return to;
#else
    for (size_t i = from; i < to; ++i) {
        if (IsLineEnd(buf[i])) {
            return i;
        }
    }
    return to;
#endif
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
            if (n <= 2 || std::memcmp(buf + j + 1, needle.data() + 1, n - 2) == 0) {
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

bool CLineScanner::LineHasNeedle(Cursor& cur, size_t lineStart, size_t lineEnd) {
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
    const char* buf = m_buffer.get();
    Cursor cur;
    cur.len = FillBlock();
    cur.last = cur.len < m_blockSize;

    size_t pos = 0;        // the reader's scan index, within the block
    size_t c = 0;          // bytes collected for the current line
    size_t lineStart = 0;  // where the current line's bytes start in the block
    bool spilled = false;  // the current line began in an earlier block; those bytes are in m_line

    while (true) {
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
            pos = 0;
            lineStart = 0;
            if (cur.len == 0) {
                break;
            }
        }
        const size_t chunkEnd = std::min(cur.len, (pos / cap + 1) * cap);
        if (c == maxLine) {
            if (pos < chunkEnd) {
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
            }
            continue;  // pos == chunkEnd: on to the next chunk, where the overflow (or the end) comes
        }
        if (c == 0) {
            lineStart = pos;
        }
        const size_t stop = std::min(chunkEnd, pos + (maxLine - c));
        const size_t e = FindLineEnd(buf, pos, stop);
        c += e - pos;
        pos = e;
        if (e == stop) {
            continue;  // chunk used up or line limit reached: both handled above
        }
        // buf[e] is a line end; it forms one line end with the next byte when that is one too and lies
        // in the same chunk.
        if (e + 1 < chunkEnd && IsLineEnd(buf[e + 1])) {
            if (c == 0) {
                ++cur.counter;  // a blank line
            }
            ++pos;
        }
        if (c > 0) {
            ++cur.counter;
            const ScanEnd end = Deliver(cur, lineStart, e, onLine, spilled);
            if (end != ScanEnd::EndOfFile) {
                return end;
            }
            c = 0;
            spilled = false;
            m_line.clear();
            continue;  // pos stays on the last line-end byte examined, which is examined again
        }
        ++pos;
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
