#include "fs/read/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "fs/text/WidePath.h"
#else
#include <unistd.h>
#endif

namespace veltrane {

namespace {

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

// The error for a name that opened but is not a regular file.
std::error_code NotRegular(const FileState& state) {
    return std::make_error_code(state.directory ? std::errc::is_a_directory : std::errc::permission_denied);
}

}  // namespace

FileSource::~FileSource() {
    Close();
}

#ifdef _WIN32

bool StateOfDescriptor(int fd, FileState& state, std::error_code& ec) {
    return StateOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), state, ec);
}

bool StateOfHandle(void* handle, FileState& state, std::error_code& ec) {
    ec.clear();
    state = FileState{};
    HANDLE h = static_cast<HANDLE>(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    state.device = info.dwVolumeSerialNumber;
    state.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    state.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    state.modified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                          info.ftLastWriteTime.dwLowDateTime);
    state.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    state.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    state.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    state.regular = !state.directory && !state.link && GetFileType(h) == FILE_TYPE_DISK;
    return true;
}

bool StateOfPath(const std::string& path, FileState& state, std::error_code& ec) {
    HANDLE h = CreateFileW(ToWide(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        state = FileState{};
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    const bool ok = StateOfHandle(h, state, ec);
    CloseHandle(h);
    return ok;
}

bool FileSource::Open(const std::string& path, std::error_code& ec, bool followLink) {
    Close();
    ec.clear();
    // Others may go on reading, writing and renaming the file while we hold it: the fix renames it
    // to its backup name while it is open.
    HANDLE h = CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (m_fd < 0) {
        ec = LastError();
        CloseHandle(h);
        return false;
    }
#else

namespace {

void FromStat(const struct stat& st, FileState& state) {
    state.device = static_cast<uint64_t>(st.st_dev);
    state.inode = static_cast<uint64_t>(st.st_ino);
    state.size = static_cast<uint64_t>(st.st_size);
    state.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    state.mode = static_cast<uint32_t>(st.st_mode & 07777);
    state.owner = st.st_uid;
    state.group = st.st_gid;
    state.regular = S_ISREG(st.st_mode);
    state.directory = S_ISDIR(st.st_mode);
    state.link = S_ISLNK(st.st_mode);
}

}  // namespace

bool StateOfDescriptor(int fd, FileState& state, std::error_code& ec) {
    ec.clear();
    state = FileState{};
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ec = LastError();
        return false;
    }
    FromStat(st, state);
    return true;
}

bool StateOfName(int dirFd, const std::string& name, FileState& state, std::error_code& ec) {
    ec.clear();
    state = FileState{};
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ec = LastError();
        return false;
    }
    FromStat(st, state);
    return true;
}

bool FileSource::Open(const std::string& path, std::error_code& ec, bool followLink) {
    Close();
    ec.clear();
    // O_NONBLOCK: opening a FIFO or a device must not wait; what opened is checked below.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW);
    do {
        m_fd = ::open(path.c_str(), flags);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        ec = LastError();
        return false;
    }
#endif
    if (!StateOfDescriptor(m_fd, m_state, ec) || !m_state.regular) {
        if (!ec) {
            ec = NotRegular(m_state);
        }
        Close();
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
