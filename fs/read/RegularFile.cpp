#include "fs/read/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>

#include "fs/text/WidePath.h"
#else
#include <unistd.h>
#endif

namespace veltrane {

namespace {

std::error_code Errno() {
    return std::error_code(errno, std::generic_category());
}

std::error_code NotRegular() {
    return std::make_error_code(std::errc::invalid_argument);
}

}  // namespace

#ifdef _WIN32

int OpenRegularFile(const std::string& path, std::error_code& ec, uint64_t* size, bool /*listedRegular*/) {
    ec.clear();
    if (size) {
        *size = 0;
    }
    const std::wstring wide = ToWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return -1;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        ec = NotRegular();
        return -1;
    }
    int fd = -1;
    if (_wsopen_s(&fd, wide.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYWR, _S_IREAD) != 0) {
        ec = Errno();
        return -1;
    }
    // Reserved device names ("COM1.cr2" on older systems) open a device, not a file on disk.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        _close(fd);
        ec = NotRegular();
        return -1;
    }
    return fd;
}

void CloseRegularFile(int fd) {
    if (fd >= 0) {
        _close(fd);
    }
}

#else

int OpenRegularFile(const std::string& path, std::error_code& ec, uint64_t* size, bool listedRegular) {
    ec.clear();
    // A look before the open keeps devices closed: opening some of them has effects of its own.
    struct stat st;
    if (!listedRegular && ::stat(path.c_str(), &st) != 0) {
        ec = Errno();
        return -1;
    }
    if (!listedRegular && !S_ISREG(st.st_mode)) {
        ec = NotRegular();
        return -1;
    }
    // The entry may have been replaced since: O_NONBLOCK keeps the open of a FIFO from waiting for a
    // writer, and fstat on the descriptor decides.
    int fd;
    do {
        fd = ::open(path.c_str(),
                    O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (listedRegular ? O_NOFOLLOW : 0));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        ec = Errno();
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ec = S_ISREG(st.st_mode) ? Errno() : NotRegular();
        ::close(fd);
        return -1;
    }
    // O_NONBLOCK stays: reads of a regular file never wait anyway.
    if (size) {
        *size = static_cast<uint64_t>(st.st_size);
    }
    return fd;
}

void CloseRegularFile(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

#endif

}  // namespace veltrane
