#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace veltrane {

// A file opened for reading, read in caller-sized pieces, sequentially or at a given offset.
// Released on destruction.
class FileSource {
public:
    FileSource() = default;
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool Open(const std::string& path, std::error_code& ec);
    bool IsOpen() const { return m_fd >= 0; }

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
};

}  // namespace veltrane
