#include "fs/tree/FileHeads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "fs/read/RegularFile.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
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

// The reads from the disk this thread has waited for so far (none where that is not known).
uint64_t ThreadDiskReads() {
#if defined(__linux__)
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
        return static_cast<uint64_t>(usage.ru_inblock);
    }
#endif
    return 0;
}

// Reads on a thread of its own from the moment it is made; Take waits for the file it wants. The files
// are taken in blocks, in list order, so that a folder's files mostly stay with one cursor. When the
// cache is cold a head is a wait on the disk: once a block had to read from it, the first thread starts
// more, so that several reads are in flight. A warm cache keeps the one thread and its one cursor.
class FolderHeads final : public CHeadReads {
public:
    FolderHeads(std::vector<std::string> files, size_t size, HeadReadOptions options)
        : m_files(std::move(files)),
          m_size(size),
          m_listedRegular(std::move(options.listedRegular)),
          m_heads(m_files.size()),
          m_blockDone((m_files.size() + kBlock - 1) / kBlock, false) {
        m_listedRegular.resize(m_files.size(), false);
        if (options.threads > 1 && !m_files.empty()) {
            m_first = std::thread([this, spread = options.spreadAtOnce] {
                if (spread) {
                    StartMore();
                }
                ReadBlocks(true);
            });
        }
    }

    ~FolderHeads() override {
        m_stop.store(true, std::memory_order_relaxed);
        if (m_first.joinable()) {
            m_first.join();  // only it starts the others: after it, they are all there is
        }
        for (std::thread& thread : m_more) {
            thread.join();
        }
    }

    FileHead Take(size_t index) override {
        if (!m_first.joinable()) {
            return m_cursor.Read(m_files[index], m_size, m_listedRegular[index]);
        }
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return m_done > index; });
        return std::move(m_heads[index]);
    }

private:
    static constexpr size_t kBlock = 256;
    static constexpr size_t kMoreThreads = 3;

    void StartMore() {
        for (size_t t = 0; t < kMoreThreads; ++t) {
            m_more.emplace_back([this] { ReadBlocks(false); });
        }
    }

    void ReadBlocks(bool first) {
        FolderCursor cursor;
        for (;;) {
            const size_t block = m_nextBlock.fetch_add(1, std::memory_order_relaxed);
            if (block >= m_blockDone.size()) {
                return;
            }
            const uint64_t diskReads = first && m_more.empty() ? ThreadDiskReads() : 0;
            const size_t end = std::min(m_files.size(), (block + 1) * kBlock);
            for (size_t i = block * kBlock; i < end && !m_stop.load(std::memory_order_relaxed); ++i) {
                m_heads[i] = cursor.Read(m_files[i], m_size, m_listedRegular[i]);
            }
            if (first && m_more.empty() && ThreadDiskReads() > diskReads) {
                StartMore();
            }
            std::lock_guard lock(m_mutex);  // a stop leaves the rest of the block unread
            m_blockDone[block] = true;
            const size_t before = m_done;
            while (m_done < m_files.size() && m_blockDone[m_done / kBlock]) {
                m_done = std::min(m_files.size(), (m_done / kBlock + 1) * kBlock);
            }
            if (m_done != before) {
                m_ready.notify_one();
            }
        }
    }

    const std::vector<std::string> m_files;
    const size_t m_size;
    std::vector<bool> m_listedRegular;
    std::vector<FileHead> m_heads;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<bool> m_blockDone;  // under m_mutex
    size_t m_done = 0;              // the heads before it are read
    std::atomic<size_t> m_nextBlock{0};
    FolderCursor m_cursor;  // the caller's, when there is no thread
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_more;  // started by the first thread only
    std::thread m_first;              // declared last: it reads the members above
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
