#include "fs/read/LineReader.h"

#include <cstring>

#include "fs/run/OverflowWarnings.h"
#include "fs/text/Ascii.h"

#ifdef _WIN32
#include <share.h>

#include "fs/text/WidePath.h"
#endif

namespace veltrane {

namespace {

// First CR or LF in [p, end), or end.
const char* FindLineEnd(const char* p, const char* end) {
    if (p >= end) {
        return end;
    }
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    const char* stop = lf ? static_cast<const char*>(lf) : end;
    const void* cr = std::memchr(p, '\r', static_cast<size_t>(stop - p));
    return cr ? static_cast<const char*>(cr) : stop;
}

constexpr size_t kStdioBuffer = 64 * 1024;

}  // namespace

CLineReader::CLineReader(uint32_t capacity, RunContext* ctx)
    : m_capacity(capacity < 2 ? 2 : capacity),
      m_chunkLength(m_capacity),
      m_pBuffer(new char[m_capacity]),
      m_ctx(ctx) {}

CLineReader::~CLineReader() {
    Close();
}

bool CLineReader::Open(const std::string& path) {
    Close();
#ifdef _WIN32
    // Others may read the file while we do, but not write it.
    m_file = _wfsopen(ToWide(path).c_str(), L"rb", _SH_DENYWR);
#else
    m_file = std::fopen(path.c_str(), "rb");
#endif
    if (m_file != nullptr) {
        std::setvbuf(m_file, nullptr, _IOFBF, kStdioBuffer);
    }
    m_readError = false;
    return m_file != nullptr;
}

void CLineReader::Rewind() {
    if (m_file != nullptr) {
        std::rewind(m_file);
    }
    m_scanIndex = 0;
    m_lineCounter = 0;
}

void CLineReader::Close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_scanIndex = 0;
    m_lineCounter = 0;
}

bool CLineReader::Refill() {
    size_t got = 0;
    if (m_file != nullptr) {
        got = std::fread(m_pBuffer.get(), 1, m_capacity, m_file);
        if (got < m_capacity && std::ferror(m_file)) {
            m_readError = true;
        }
    }
    m_chunkLength = static_cast<uint32_t>(got);
    m_scanIndex = 0;
    m_lastChunk = got < m_capacity;
    return got > 0;
}

uint32_t CLineReader::ReadLine(std::string& text) {
    std::string_view view;
    uint32_t n = ReadLineView(view);
    text.assign(view.data(), view.size());
    return n;
}

uint32_t CLineReader::ReadLineView(std::string_view& text) {
    const uint32_t maxLine = m_capacity - 1;
    uint32_t c = 0;          // bytes collected for this line
    uint32_t lineStart = 0;  // where the line's bytes start in the chunk (while not spilled)
    bool spilled = false;    // the line began in an earlier chunk: its bytes are in m_line
    bool lastChunk = false;  // set when this call read a short chunk
    m_line.clear();

    auto deliver = [&](void) -> uint32_t {
        ++m_lineCounter;
        text = spilled ? std::string_view(m_line) : std::string_view(m_pBuffer.get() + lineStart, c);
        return m_lineCounter;
    };

    bool needRefill = m_lineCounter == 0 || m_scanIndex == m_chunkLength;
    while (true) {
        if (needRefill) {
            if (c > 0 && !spilled) {
                m_line.assign(m_pBuffer.get() + lineStart, c);
                spilled = true;
            }
            if (!Refill()) {
                break;  // end of file
            }
            lastChunk = m_lastChunk;
        }
        needRefill = true;

        const char* buf = m_pBuffer.get();
        while (m_scanIndex < m_chunkLength) {
            if (c == maxLine) {
                text = spilled ? std::string_view(m_line) : std::string_view(buf + lineStart, c);
                return Overflow();
            }
            // Collect a run of ordinary bytes, at most up to the line limit.
            const char* p = buf + m_scanIndex;
            const char* limit = buf + std::min<uint32_t>(m_chunkLength, m_scanIndex + (maxLine - c));
            const char* stop = FindLineEnd(p, limit);
            uint32_t run = static_cast<uint32_t>(stop - p);
            if (run > 0) {
                if (c == 0 && !spilled) {
                    lineStart = m_scanIndex;
                }
                if (spilled) {
                    m_line.append(p, run);
                }
                c += run;
                m_scanIndex += run;
                continue;  // re-test the limit before looking at the next byte
            }
            // The byte at the scan index is a line end.
            if (m_scanIndex + 1 < m_chunkLength && IsLineEnd(buf[m_scanIndex + 1])) {
                if (c == 0) {
                    ++m_lineCounter;  // a blank line
                }
                ++m_scanIndex;
            }
            if (c > 0) {
                return deliver();  // the scan index stays on the last line-end byte
            }
            ++m_scanIndex;
        }
        if (lastChunk) {
            break;
        }
    }

    // End of file.
    if (c > 0) {
        return deliver();
    }
    m_lineCounter = 0;
    text = std::string_view();
    return 0;
}

uint32_t CLineReader::Overflow() {
    // The caller's view already holds the capacity - 1 bytes collected; the byte about to be examined stays
    // at the scan index, so the rest of the physical line follows as further lines.
    ++m_lineCounter;
    m_warning = OverflowWarningText(m_lineCounter, m_capacity);
    if (m_ctx != nullptr) {
        m_ctx->Notify(NoticeKind::Warning, kOverflowWarningTitle, m_warning);
    }
    return m_lineCounter;
}

}  // namespace veltrane
