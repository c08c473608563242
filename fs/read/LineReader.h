#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "fs/run/RunContext.h"

namespace veltrane {

inline constexpr uint32_t kLineReaderCapacity = 2048;

// Delivers the non-empty lines of a text file, without their line ends, at most capacity - 1
// bytes each, reading the file in chunks of capacity bytes.
//
// A line end is CR, LF, or two line-end bytes in a row (either order) within one chunk. A line
// longer than capacity - 1 bytes is cut; the overflow warning goes to the context's Notify
// ("Warning !") and reading goes on with the rest of the line as further lines. A reader whose
// Open failed delivers nothing; WasOpened() tells the caller so it can report the file.
class CLineReader {
public:
    explicit CLineReader(uint32_t capacity = kLineReaderCapacity, RunContext* ctx = nullptr);
    virtual ~CLineReader();
    CLineReader(const CLineReader&) = delete;
    CLineReader& operator=(const CLineReader&) = delete;

    // Opens the file for reading (other writers are shut out where the platform allows it).
    // Does not reset the scan state: call Rewind next.
    bool Open(const std::string& path);
    bool WasOpened() const { return m_file != nullptr; }

    // Back to the first byte; the next ReadLine starts with a fresh chunk.
    void Rewind();

    // Next non-empty line and its number (1 or more); 0 with empty text at the end.
    uint32_t ReadLine(std::string& text);

    // As ReadLine, but the view points into the reader's own storage and stays valid until the
    // next call. No allocation per line.
    uint32_t ReadLineView(std::string_view& text);

    void Close();

    // True when the file layer reported an error (not end of file) while reading.
    bool HadReadError() const { return m_readError; }

    uint32_t Capacity() const { return m_capacity; }
    const std::string& LastWarning() const { return m_warning; }

private:
    bool Refill();
    uint32_t Overflow();  // counts the cut line and raises the warning

    uint32_t m_capacity;
    std::string m_warning;
    uint32_t m_chunkLength;
    uint32_t m_lineCounter = 0;
    uint32_t m_scanIndex = 0;
    std::unique_ptr<char[]> m_pBuffer;
    std::FILE* m_file = nullptr;
    RunContext* m_ctx;
    std::string m_line;  // a line that spans chunks is collected here
    bool m_lastChunk = false;
    bool m_readError = false;
};

}  // namespace veltrane
