#include "fs/read/ByteSource.h"

#include "fs/read/RegularFile.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include "fs/text/WidePath.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace veltrane {

FileByteSource::~FileByteSource() {
    Close();
}

bool FileByteSource::Open(const std::string& path, bool listedRegular) {
    Close();
    m_fd = OpenRegularFile(path, m_openError, &m_size, listedRegular);
    m_atStart = true;
    m_offset = 0;
    return m_fd >= 0;
}

ptrdiff_t FileByteSource::Read(char* data, size_t size) {
    if (m_fd < 0) {
        return 0;
    }
    m_atStart = false;
    if (m_size > 0 && m_offset >= m_size) {
        return 0;  // every byte the file had when it was opened is read: no need to ask for more
    }
    while (true) {
#ifdef _WIN32
        const int r = _read(m_fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
#else
        const ssize_t r = ::read(m_fd, data, size);
#endif
        if (r >= 0) {
            m_offset += static_cast<uint64_t>(r);
            return static_cast<ptrdiff_t>(r);
        }
        if (errno != EINTR) {
            return kReadError;
        }
    }
}

void FileByteSource::Rewind() {
    // Fails harmlessly on a pipe, which then reads on from where it stands.
    if (m_fd >= 0 && !m_atStart) {
#ifdef _WIN32
        (void)_lseeki64(m_fd, 0, SEEK_SET);
#else
        (void)::lseek(m_fd, 0, SEEK_SET);
#endif
        m_offset = 0;
    }
}

void FileByteSource::Close() {
    CloseRegularFile(m_fd);
    m_fd = -1;
}

}  // namespace veltrane
