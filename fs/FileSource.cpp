#include "fs/FileSource.h"

#include <fcntl.h>
#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <io.h>

#include "fs/WidePath.h"
#else
#include <unistd.h>
#endif

namespace veltrane {

namespace {

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

}  // namespace

FileSource::~FileSource() {
    Close();
}

bool FileSource::Open(const std::string& path, std::error_code& ec) {
    Close();
    ec.clear();
#ifdef _WIN32
    m_fd = ::_wopen(ToWide(path).c_str(), _O_RDONLY | _O_BINARY);
#else
    do {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
#endif
    if (m_fd < 0) {
        ec = LastError();
        return false;
    }
    m_position = 0;
    return true;
}

size_t FileSource::ReadAt(uint64_t offset, char* data, size_t size, std::error_code& ec) {
    ec.clear();
    if (m_fd < 0) {
        ec = std::make_error_code(std::errc::bad_file_descriptor);
        return 0;
    }
    if (size > INT_MAX / 2) {
        size = INT_MAX / 2;
    }
#ifdef _WIN32
    if (::_lseeki64(m_fd, static_cast<__int64>(offset), SEEK_SET) < 0) {
        ec = LastError();
        return 0;
    }
    int got = ::_read(m_fd, data, static_cast<unsigned>(size));
#else
    ssize_t got;
    do {
        got = ::pread(m_fd, data, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
#endif
    if (got < 0) {
        ec = LastError();
        return 0;
    }
    return static_cast<size_t>(got);
}

size_t FileSource::Read(char* data, size_t size, std::error_code& ec) {
    size_t got = ReadAt(m_position, data, size, ec);
    m_position += got;
    return got;
}

void FileSource::Close() {
    if (m_fd >= 0) {
#ifdef _WIN32
        ::_close(m_fd);
#else
        ::close(m_fd);
#endif
        m_fd = -1;
    }
    m_position = 0;
}

}  // namespace veltrane
