#include "cli/BlockOutput.h"

#include <cerrno>

namespace veltrane::cli {

bool BlockOutput::Put(std::string_view piece) {
    if (m_stream != nullptr && piece.size() >= kBlock) {
        Hand();
        Write(piece);
    } else {
        m_text.append(piece);
        HandWhenFull();
    }
    return !m_failed;
}

bool BlockOutput::Finish() {
    if (m_stream == nullptr) {
        return true;
    }
    const int before = errno;
    Hand();
    if (!m_failed) {
        errno = 0;
        if (std::fflush(m_stream) != 0) {
            m_failed = true;
            m_error = errno != 0 ? errno : EIO;
        }
    }
    // The first refusal says why: nothing after it was tried.
    errno = m_failed ? m_error : before;
    return !m_failed;
}

void BlockOutput::Hand() {
    if (m_stream != nullptr) {
        Write(m_text);
        m_text.clear();
    }
}

void BlockOutput::Write(std::string_view bytes) {
    if (m_failed || bytes.empty()) {
        return;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_stream) != bytes.size()) {
        m_failed = true;
        m_error = errno != 0 ? errno : EIO;
    }
}

}  // namespace veltrane::cli
