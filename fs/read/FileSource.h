#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace veltrane {

// Which file a descriptor or handle is open on, and in what state: enough to tell whether the file
// found under a name later is still the same file, unchanged.
struct FileState {
    uint64_t device = 0;  // device (POSIX) or volume serial number (Windows)
    uint64_t inode = 0;   // inode number (POSIX) or file index (Windows)
    uint64_t size = 0;
    int64_t modified = 0;  // modification time in nanoseconds (POSIX) or 100 ns units (Windows)
    uint32_t mode = 0;     // permission bits, set-id bits included; Windows: 0444 for read-only, else 0666
    uint32_t owner = 0;    // user and group ids (POSIX only)
    uint32_t group = 0;
    bool regular = false;  // a regular file, not a folder, link, device, FIFO or socket
    bool directory = false;
    bool link = false;  // a symbolic link (or a reparse point on Windows) seen without following it

    bool SameFile(const FileState& other) const { return device == other.device && inode == other.inode; }
    bool SameFileAndState(const FileState& other) const {
        return SameFile(other) && size == other.size && modified == other.modified;
    }
};

// A regular file opened for reading, read in caller-sized pieces, sequentially or at a given offset.
// Released on destruction.
class FileSource {
public:
    FileSource() = default;
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens path for reading without blocking (a FIFO or device never stalls the open) and refuses
    // anything that is not a regular file. With followLink false a symbolic link at path is refused
    // too. The state of the opened file is taken from the open descriptor.
    bool Open(const std::string& path, std::error_code& ec, bool followLink = true);
    bool IsOpen() const { return m_fd >= 0; }

    // What the file was when it was opened.
    const FileState& State() const { return m_state; }

    // Reads up to size bytes from the current position and moves past them. Returns the number
    // read: 0 at the end of the file, or on an error (then ec is set).
    size_t Read(char* data, size_t size, std::error_code& ec);

    // Reads up to size bytes at offset without moving the current position.
    size_t ReadAt(uint64_t offset, char* data, size_t size, std::error_code& ec);

    uint64_t Position() const { return m_position; }

    void Close();

private:
    int m_fd = -1;
    uint64_t m_position = 0;
    FileState m_state;
};

// The state of an open descriptor of the C runtime. False with ec set when it cannot be read.
bool StateOfDescriptor(int fd, FileState& state, std::error_code& ec);

#ifdef _WIN32
// The state of an open Windows file handle (a HANDLE).
bool StateOfHandle(void* handle, FileState& state, std::error_code& ec);
// The state of what stands at path, not following a link.
bool StateOfPath(const std::string& path, FileState& state, std::error_code& ec);
#else
// The state of what stands under name in the folder open as dirFd, not following a link.
bool StateOfName(int dirFd, const std::string& name, FileState& state, std::error_code& ec);
#endif

}  // namespace veltrane
