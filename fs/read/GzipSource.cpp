#include "fs/read/GzipSource.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace veltrane {

namespace {

constexpr size_t kInputBlock = 64 * 1024;
constexpr unsigned char kMagic0 = 0x1F;
constexpr unsigned char kMagic1 = 0x8B;

}  // namespace

struct GzipSource::Inflater {
    z_stream stream{};
    bool ready = false;

    ~Inflater() { End(); }
    bool Begin() {
        End();
        stream = z_stream{};
        ready = inflateInit2(&stream, 15 + 16) == Z_OK;  // gzip wrapper only
        return ready;
    }
    void End() {
        if (ready) {
            inflateEnd(&stream);
            ready = false;
        }
    }
};

GzipSource::GzipSource() : m_input(new char[kInputBlock]), m_inflater(std::make_unique<Inflater>()) {}

GzipSource::~GzipSource() {
    Close();
}

bool GzipSource::Open(const std::string& path, bool listedRegular) {
    Close();
    if (!m_file.Open(path, listedRegular)) {
        return false;
    }
    m_open = true;
    Rewind();
    return true;
}

void GzipSource::Attach(ByteSource& source) {
    Close();
    m_from = &source;
    m_open = true;
    Rewind();
}

void GzipSource::Rewind() {
    if (!m_open || (!m_touched && m_inputEnd > 0)) {
        return;  // still at the first byte
    }
    m_from->Rewind();
    m_inputStart = m_inputEnd = 0;
    m_inputFailed = m_inputAtEnd = m_damaged = m_outputEnded = m_touched = false;
    // The first block tells whether the file is compressed; a file of one byte cannot be.
    while (m_inputEnd < 2 && FillInput()) {
    }
    m_compressed = m_inputEnd >= 2 && static_cast<unsigned char>(m_input[0]) == kMagic0 &&
                   static_cast<unsigned char>(m_input[1]) == kMagic1;
    if (m_compressed && !m_inflater->Begin()) {
        m_inputFailed = true;
    }
}

// Appends the file's next bytes to the input; false at its end or on a failure.
bool GzipSource::FillInput() {
    if (m_inputFailed || m_inputAtEnd) {
        return false;
    }
    if (m_inputStart == m_inputEnd) {
        m_inputStart = m_inputEnd = 0;
    } else if (m_inputEnd == kInputBlock) {
        std::copy(m_input.get() + m_inputStart, m_input.get() + m_inputEnd, m_input.get());
        m_inputEnd -= m_inputStart;
        m_inputStart = 0;
    }
    const ptrdiff_t got = m_from->Read(m_input.get() + m_inputEnd, kInputBlock - m_inputEnd);
    if (got == kReadError) {
        m_inputFailed = true;
        return false;
    }
    if (got == 0) {
        m_inputAtEnd = true;
        return false;
    }
    m_inputEnd += static_cast<size_t>(got);
    return true;
}

ptrdiff_t GzipSource::Read(char* data, size_t size) {
    if (!m_open) {
        return 0;
    }
    m_touched = true;
    size = std::min<size_t>(size, INT_MAX / 2);
    if (m_compressed) {
        return Inflate(data, size);
    }
    if (m_inputStart < m_inputEnd) {
        const size_t n = std::min(size, m_inputEnd - m_inputStart);
        std::copy(m_input.get() + m_inputStart, m_input.get() + m_inputStart + n, data);
        m_inputStart += n;
        return static_cast<ptrdiff_t>(n);
    }
    if (m_inputFailed) {
        return kReadError;
    }
    return m_inputAtEnd ? 0 : m_from->Read(data, size);
}

ptrdiff_t GzipSource::Inflate(char* data, size_t size) {
    z_stream& stream = m_inflater->stream;
    while (!m_outputEnded) {
        if (m_inputStart == m_inputEnd && !FillInput()) {
            if (m_inputFailed) {
                return kReadError;
            }
            // The input ended inside a member: cut short.
            m_damaged = true;
            return kReadError;
        }
        stream.next_in = reinterpret_cast<Bytef*>(m_input.get() + m_inputStart);
        stream.avail_in = static_cast<uInt>(m_inputEnd - m_inputStart);
        stream.next_out = reinterpret_cast<Bytef*>(data);
        stream.avail_out = static_cast<uInt>(size);
        const int status = inflate(&stream, Z_NO_FLUSH);
        m_inputStart = m_inputEnd - stream.avail_in;
        const size_t produced = size - stream.avail_out;
        if (status == Z_STREAM_END) {
            // Another member may follow; anything else after the last member is ignored.
            if (m_inputStart == m_inputEnd) {
                FillInput();
            }
            const bool another =
                m_inputStart < m_inputEnd && static_cast<unsigned char>(m_input[m_inputStart]) == kMagic0;
            if (!another || inflateReset(&stream) != Z_OK) {
                m_outputEnded = true;
            }
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            m_damaged = true;
            return kReadError;
        }
        if (produced > 0) {
            return static_cast<ptrdiff_t>(produced);
        }
    }
    return 0;
}

void GzipSource::Close() {
    m_file.Close();
    m_from = &m_file;
    m_inflater->End();
    m_open = false;
    m_compressed = false;
    m_inputStart = m_inputEnd = 0;
    m_touched = false;
}

}  // namespace veltrane
