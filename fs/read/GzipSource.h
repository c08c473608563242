#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "fs/read/ByteSource.h"

namespace veltrane {

// A file read through its compression when it has one: when its first two bytes are the gzip magic
// (1F 8B) its content is inflated as it is read, every member of a file of several members in turn;
// otherwise its bytes pass through unchanged. Reads in blocks, never the whole file; reusable for
// many files (Open, reads, Close, Open, ...).
class GzipSource final : public ByteSource {
public:
    GzipSource();
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    // Closes a file still open, opens path and reads its first block to learn whether it is
    // compressed. False when it cannot be opened (errno tells why).
    bool Open(const std::string& path, bool listedRegular = false);  // see OpenRegularFile

    // Reads source from now on, through its compression when it has one, instead of a file; closes
    // a file still open. The source stays the caller's; Close lets go of it.
    void Attach(ByteSource& source);

    // Whether the open file's content is gzip; known from Open on.
    bool IsCompressed() const { return m_compressed; }

    // True when the compressed data was damaged or cut short (Read then reported kReadError);
    // false for a failure of the file itself.
    bool WasDamaged() const { return m_damaged; }

    ptrdiff_t Read(char* data, size_t size) override;
    void Rewind() override;
    void Close() override;

private:
    struct Inflater;

    bool FillInput();
    ptrdiff_t Inflate(char* data, size_t size);

    FileByteSource m_file;
    ByteSource* m_from = &m_file;  // m_file or an attached source
    std::unique_ptr<char[]> m_input;
    std::unique_ptr<Inflater> m_inflater;
    size_t m_inputStart = 0;  // unread input bytes are m_input[m_inputStart, m_inputEnd)
    size_t m_inputEnd = 0;
    bool m_open = false;
    bool m_inputFailed = false;  // the file failed; Read reports it once the bytes before are taken
    bool m_inputAtEnd = false;
    bool m_compressed = false;
    bool m_damaged = false;
    bool m_outputEnded = false;
    bool m_touched = false;  // a Read happened since Open or Rewind
};

}  // namespace veltrane
