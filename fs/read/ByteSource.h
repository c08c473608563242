#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace veltrane {

// A stream of bytes read front to back: a plain file, a decompressed stream, an archive entry.
// Readers such as CLineScanner take their bytes through this, one call per block.
class ByteSource {
public:
    // What Read returns when the source failed; the bytes read before the failure stand.
    static constexpr ptrdiff_t kReadError = -1;

    virtual ~ByteSource() = default;

    // Reads up to size bytes into data and returns how many it read: fewer than size is allowed
    // anywhere, 0 only at the end, kReadError on a failure. Readers stop at the first failure.
    virtual ptrdiff_t Read(char* data, size_t size) = 0;

    // Goes back to the first byte where the source can; a source that cannot (a pipe, a stream) reads
    // on from where it stands, which for a source just opened is its first byte.
    virtual void Rewind() {}

    // Releases what the source holds; Read afterwards reports the end.
    virtual void Close() = 0;
};

// A file opened for reading by path: others may read it meanwhile, but not write it, where the
// platform allows that. Reusable: Open, Close, Open, ...
class FileByteSource final : public ByteSource {
public:
    FileByteSource() = default;
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // Closes a file still open, then opens path. False when it cannot be opened or is no regular
    // file (a FIFO, a device, a socket): those are never read, so a reader neither waits on one nor
    // reads one forever. OpenError says why.
    bool Open(const std::string& path, bool listedRegular = false);  // see OpenRegularFile
    bool IsOpen() const { return m_fd >= 0; }
    const std::error_code& OpenError() const { return m_openError; }

    ptrdiff_t Read(char* data, size_t size) override;
    void Rewind() override;
    void Close() override;

private:
    int m_fd = -1;
    bool m_atStart = false;  // nothing was read since the open: a rewind has nothing to do
    uint64_t m_size = 0;     // the size the open found (0: unknown): a read past it need not ask
    uint64_t m_offset = 0;
    std::error_code m_openError;
};

}  // namespace veltrane
