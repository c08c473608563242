#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fs/read/ByteSource.h"
#include "fs/read/LineReader.h"
#include "fs/run/OverflowWarnings.h"
#include "fs/run/RunContext.h"

namespace veltrane {

// How CLineScanner::Scan ended.
enum class ScanEnd {
    EndOfInput,  // every line was delivered (none for a scanner without a source); after a read error,
                 // every line before it
    Escaped,     // PollEscape reported Escape for a line; that line was not handed to the handler
    Stopped,     // the handler returned false
};

// Walks a text with exactly the line rules of CLineReader: the same non-empty lines with the same
// numbers, the same overflow warnings ("Warning !" through the context's Notify) at the same moments, and
// one PollEscape per delivered line. Unlike a ReadLine loop it does not build every line: it searches the
// bytes for a needle and hands the caller only the lines that contain it, so a file in which the needle
// is rare costs little more than finding its line ends.
//
// For every delivered line, in this order:
//   1. the overflow warning, when the reader would cut the line there;
//   2. ctx->PollEscape(); when it returns true the scan ends with ScanEnd::Escaped;
//   3. ctx->RestoreWait();
//   4. when the line contains the needle (case-sensitive substring; an empty needle matches every
//      line): the handler, which returns false to end the scan with ScanEnd::Stopped.
// Without a context there are no polls and no warnings; lines are still delivered.
//
// The bytes come from a ByteSource, a plain file unless the caller attaches another, read in blocks of
// a few dozen KiB, never whole. One scanner may be reused for many sources (Open, Scan, Close, Open,
// ...), which keeps its buffer.
class CLineScanner {
public:
    // A line that contains the needle: its text (valid only during the call, without line ends, at most
    // capacity - 1 bytes) and its number as CLineReader::ReadLine returns it. Return true to go on.
    using LineHandler = std::function<bool(std::string_view text, uint32_t number)>;

    explicit CLineScanner(RunContext* ctx = nullptr, uint32_t capacity = kLineReaderCapacity);
    ~CLineScanner();
    CLineScanner(const CLineScanner&) = delete;
    CLineScanner& operator=(const CLineScanner&) = delete;

    // Opens the file for reading through the scanner's own file source (other writers are shut out
    // where the platform allows it); closes a source still open. False when the file cannot be opened.
    bool Open(const std::string& path, bool listedRegular = false);  // see OpenRegularFile

    // Reads source from now on, instead of a file; closes a source still open. The source stays the
    // caller's, but Close (or the next Open or Attach) closes it.
    void Attach(ByteSource& source);

    bool WasOpened() const { return m_source != nullptr; }

    // Why the last Open failed; a FIFO, a device or a socket is refused as no regular file, so a scan
    // neither waits on one nor reads one forever.
    const std::error_code& OpenError() const { return m_file.OpenError(); }
    void Close();

    // Reads the source from its first byte (as far as it can go back), as Rewind followed by ReadLine
    // until 0 would.
    ScanEnd Scan(std::string_view needle, const LineHandler& onLine);

    // True when the last Scan met a read error of the source (not its end); the scan then ended as at
    // the end, after the bytes read before the error.
    bool HadReadError() const { return m_readError; }

    // Lines delivered (and polled) by the last Scan, the line on which Escape was reported included.
    uint64_t LinesDelivered() const { return m_linesDelivered; }

    // The run's cap on overflow warnings; without one every warning is shown.
    void SetOverflowWarnings(OverflowWarnings* warnings) { m_warnings = warnings; }
    // Keeps the line numbers of the overflow warnings here instead of showing them (the cap is then not
    // asked): for reads whose warnings are raised later, by whoever takes the read. Null shows them.
    // Without a cap, a scan keeps or shows at most OverflowWarnings::kShown of them (no run shows
    // more) and only counts the rest: a file of one endless line must not fill memory with warnings.
    void KeepOverflowWarnings(std::vector<uint32_t>* kept) { m_keptWarnings = kept; }
    // The warnings of the last Scan that were only counted.
    uint64_t HeldBackWarnings() const { return m_heldBack; }

    // Whole physical lines: every piece of a line longer than capacity - 1 bytes goes to the handler,
    // needle or not, and PieceIsCut tells whether the line goes on in the next piece. Off by default.
    void SetWholeLines(bool whole) { m_wholeLines = whole; }
    bool PieceIsCut() const { return m_pieceCut; }

    uint32_t Capacity() const { return m_capacity; }

private:
    class Walk;  // one Scan: the block walk and its line rules

    size_t FillBlock();
    void WarnOverflow(uint32_t lineNumber);

    RunContext* m_ctx;
    uint32_t m_capacity;
    size_t m_blockSize;                // a whole number of capacity-sized chunks
    std::unique_ptr<char[]> m_buffer;  // m_blockSize bytes plus padding for wide loads
    std::string m_line;                // a line that spans two blocks is collected here
    FileByteSource m_file;
    ByteSource* m_source = nullptr;  // m_file or an attached source; null when none is open
    bool m_readError = false;
    bool m_wholeLines = false;
    bool m_pieceCut = false;
    OverflowWarnings* m_warnings = nullptr;
    std::vector<uint32_t>* m_keptWarnings = nullptr;
    uint64_t m_linesDelivered = 0;
    uint32_t m_warned = 0;    // warnings kept or shown without a cap by this scan
    uint64_t m_heldBack = 0;  // and those only counted
};

}  // namespace veltrane
