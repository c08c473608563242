#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fs/read/LineScanner.h"

namespace veltrane {

// How a judge wants a file's lines handed over.
struct ReadPlan {
    std::string_view needle;    // only the lines that hold it (every line when empty)
    bool wholeLines = false;    // every piece of a line cut at the reader's limit too, needle or not
    bool decompressed = false;  // the text inside gzip compression, rather than the bytes as stored
};

// How one file's read went, as far as a judge is concerned.
struct FileReadStatus {
    bool opened = true;
    std::error_code openError;  // why it would not open
    ScanEnd end = ScanEnd::EndOfInput;
    bool readError = false;   // a read failed part way; the lines before it were handed over
    bool compressed = false;  // a decompressed read met gzip content
    bool damaged = false;     // ... whose data was damaged or cut short
    std::string sourceError;  // a packed entry that could not be unpacked: the reason, in the packer's words
};

// What a judge made of one file. The warnings are the lines of the line-length warnings its read met,
// when the read was shared with other judges: the tool raises them itself when it takes the verdict.
struct FileVerdict {
    virtual ~FileVerdict() = default;
    // Roughly the bytes it holds, to bound what is kept of reads done ahead.
    virtual size_t Bytes() const = 0;
    std::vector<uint32_t> warnings;
    uint64_t warningsHeldBack = 0;  // the warnings after those, only counted
    bool escaped = false;           // Escape came during the read: the file adds nothing
};

// One tool's judge of a file's lines. A tool hands the tree a maker of judges; every thread that reads
// makes its own, so a judge is only ever used by one read at a time.
class CFileJudge {
public:
    virtual ~CFileJudge() = default;
    // Which tool's judge this is: reads shared between tools keep each verdict under this name.
    virtual std::string_view Name() const = 0;
    virtual ReadPlan Plan() const = 0;
    // A new file begins.
    virtual void Begin() = 0;
    // One line, or one piece of a cut line (cut: the line goes on in the next piece). False once the
    // judge needs no more of this file.
    virtual bool Line(std::string_view piece, uint32_t number, bool cut) = 0;
    // The verdict, given how the read ended.
    virtual std::unique_ptr<FileVerdict> End(const FileReadStatus& status) = 0;
};

using JudgeMaker = std::function<std::unique_ptr<CFileJudge>()>;

// The verdict of a tool's own kind: the tool knows what its judge makes.
template <typename Verdict>
Verdict& VerdictAs(FileVerdict& verdict) {
    return static_cast<Verdict&>(verdict);
}

}  // namespace veltrane
