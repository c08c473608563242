#include "fs/tree/FileHeads.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "fs/read/RegularFile.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veltrane {

namespace {

ptrdiff_t ReadSome(int fd, char* data, size_t size) {
#ifdef _WIN32
    return _read(fd, data, static_cast<unsigned>(size));
#else
    ptrdiff_t got;
    do {
        got = ::read(fd, data, size);
    } while (got < 0 && errno == EINTR);
    return got;
#endif
}

// Reads the first bytes of an open file.
FileHead ReadFrom(int fd, size_t size) {
    FileHead head;
    head.bytes.resize(size);
    size_t got = 0;
    head.read = true;
    while (got < size) {
        const ptrdiff_t n = ReadSome(fd, head.bytes.data() + got, size - got);
        if (n <= 0) {
            head.read = n == 0;
            break;
        }
        got += static_cast<size_t>(n);
    }
    head.bytes.resize(got);
    return head;
}

// Reads heads folder by folder: each folder is opened once and its files by name below it, so that
// an open does not walk the whole path again. The same look before the open as OpenRegularFile.
class FolderCursor {
public:
    FolderCursor() = default;
    ~FolderCursor() { Close(); }
    FolderCursor(const FolderCursor&) = delete;
    FolderCursor& operator=(const FolderCursor&) = delete;

#ifdef _WIN32
    FileHead Read(const std::string& path, size_t size, bool /*listedRegular*/) {
        return ReadFileHead(path, size);
    }
    void Close() {}
#else
    FileHead Read(const std::string& path, size_t size, bool listedRegular) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            return ReadFileHead(path, size);
        }
        if (m_dir < 0 || path.compare(0, slash + 1, m_folder) != 0 || m_folder.size() != slash + 1) {
            Close();
            m_folder = path.substr(0, slash + 1);
            m_dir = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        const char* name = path.c_str() + slash + 1;
        struct stat st;
        // What the walk listed as a regular file needs no second look before its open; O_NOFOLLOW keeps
        // a link put in its place since from being followed.
        if (m_dir < 0 || (!listedRegular && (::fstatat(m_dir, name, &st, 0) != 0 || !S_ISREG(st.st_mode)))) {
            return {};
        }
        const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (listedRegular ? O_NOFOLLOW : 0);
        int fd;
        do {
            fd = ::openat(m_dir, name, flags);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            return {};
        }
        FileHead head = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ReadFrom(fd, size) : FileHead{};
        ::close(fd);
        return head;
    }
    void Close() {
        if (m_dir >= 0) {
            ::close(m_dir);
            m_dir = -1;
        }
    }

private:
    int m_dir = -1;
    std::string m_folder;  // the folder m_dir is, ending in a separator
#endif
};

// Reads on one thread of its own from the moment it is made; Take waits for the file it wants.
class FolderHeads final : public CHeadReads {
public:
    FolderHeads(std::vector<std::string> files, size_t size, HeadReadOptions options)
        : m_files(std::move(files)),
          m_size(size),
          m_listedRegular(std::move(options.listedRegular)),
          m_heads(m_files.size()) {
        m_listedRegular.resize(m_files.size(), false);
        if (options.threads > 1 && !m_files.empty()) {
            m_thread = std::thread([this] { ReadAll(); });
        }
    }

    ~FolderHeads() override {
        m_stop.store(true, std::memory_order_relaxed);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    FileHead Take(size_t index) override {
        if (!m_thread.joinable()) {
            return m_cursor.Read(m_files[index], m_size, m_listedRegular[index]);
        }
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return m_done > index; });
        return std::move(m_heads[index]);
    }

private:
    void ReadAll() {
        for (size_t i = 0; i < m_files.size() && !m_stop.load(std::memory_order_relaxed); ++i) {
            m_heads[i] = m_cursor.Read(m_files[i], m_size, m_listedRegular[i]);
            std::lock_guard lock(m_mutex);
            m_done = i + 1;
            if ((m_done & 63) == 0 || m_done == m_files.size()) {
                m_ready.notify_one();
            }
        }
        std::lock_guard lock(m_mutex);
        m_done = m_files.size();  // a stop leaves the rest unread
        m_ready.notify_one();
    }

    const std::vector<std::string> m_files;
    const size_t m_size;
    std::vector<bool> m_listedRegular;
    std::vector<FileHead> m_heads;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    size_t m_done = 0;
    FolderCursor m_cursor;  // the reading thread's, or the caller's when there is none
    std::atomic<bool> m_stop{false};
    std::thread m_thread;  // declared last: it reads the members above
};

}  // namespace

FileHead ReadFileHead(const std::string& path, size_t size) {
    FileHead head;
    std::error_code ec;
    const int fd = OpenRegularFile(path, ec);
    if (fd < 0) {
        return head;
    }
    head = ReadFrom(fd, size);
    CloseRegularFile(fd);
    return head;
}

std::unique_ptr<CHeadReads> ReadFolderHeads(std::vector<std::string> files, size_t size,
                                            HeadReadOptions options) {
    return std::make_unique<FolderHeads>(std::move(files), size, std::move(options));
}

}  // namespace veltrane
