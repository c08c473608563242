#include "fs/write/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <io.h>

#include "fs/text/WidePath.h"
#else
#include <unistd.h>
#endif

namespace veltrane {

namespace {

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

// Writes to a file descriptor of the platform's C runtime.
class NativeFileWriter final : public FileWriter {
public:
    explicit NativeFileWriter(int fd) : m_fd(fd) {}
    ~NativeFileWriter() override {
        std::error_code ignored;
        Close(ignored);
    }

    bool Write(std::string_view data, std::error_code& ec) override {
        ec.clear();
        while (!data.empty()) {
            size_t piece = data.size() > INT_MAX / 2 ? INT_MAX / 2 : data.size();
#ifdef _WIN32
            int put = ::_write(m_fd, data.data(), static_cast<unsigned>(piece));
#else
            ssize_t put = ::write(m_fd, data.data(), piece);
            if (put < 0 && errno == EINTR) {
                continue;
            }
#endif
            if (put < 0) {
                ec = LastError();
                return false;
            }
            if (put == 0) {
                ec = std::make_error_code(std::errc::no_space_on_device);
                return false;
            }
            data.remove_prefix(static_cast<size_t>(put));
        }
        return true;
    }

    bool Sync(std::error_code& ec) override {
        ec.clear();
#ifdef _WIN32
        if (::_commit(m_fd) != 0) {
#else
        if (::fsync(m_fd) != 0) {
#endif
            ec = LastError();
            return false;
        }
        return true;
    }

    bool Close(std::error_code& ec) override {
        ec.clear();
        if (m_fd < 0) {
            return true;
        }
        int fd = m_fd;
        m_fd = -1;
#ifdef _WIN32
        if (::_close(fd) != 0) {
#else
        if (::close(fd) != 0 && errno != EINTR) {
#endif
            ec = LastError();
            return false;
        }
        return true;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<FileWriter> CreateNewFileWriter(const std::string& path, std::error_code& ec) {
    ec.clear();
#ifdef _WIN32
    int fd = ::_wopen(ToWide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
#endif
    if (fd < 0) {
        ec = LastError();
        return nullptr;
    }
    return std::make_unique<NativeFileWriter>(fd);
}

std::unique_ptr<FileWriter> WriterForDescriptor(int fd) {
    return std::make_unique<NativeFileWriter>(fd);
}

}  // namespace veltrane
