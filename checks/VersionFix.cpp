#include "checks/VersionFix.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string_view>

#include "checks/VersionLine.h"
#include "fs/text/Ascii.h"
#include "fs/text/PathParts.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

constexpr std::string_view kFixedVersionLine = "\tnumber 4.0\r\n";
constexpr std::string_view kLineEnd = "\r\n";

// The lines of the original as spans of file offsets, copied to the output as they end.
class FixWriter {
public:
    FixWriter(FileSource& source, FileWriter& out, size_t blockSize)
        : m_source(source),
          m_out(out),
          m_blockSize(std::max<size_t>(blockSize, 1)),
          m_block(std::make_unique<char[]>(m_blockSize)) {}

    bool Run(std::error_code& ec, bool& readFailed) {
        readFailed = false;
        for (;;) {
            size_t got = m_source.Read(m_block.get(), m_blockSize, ec);
            if (ec) {
                readFailed = true;
                return false;
            }
            if (got == 0) {
                break;
            }
            m_blockStart = m_nextStart;
            m_blockLength = got;
            m_nextStart += got;
            if (!ScanBlock(ec, readFailed)) {
                return false;
            }
        }
        if (m_inLine && !EndLine(m_nextStart, ec, readFailed)) {
            return false;
        }
        return m_out.Flush(ec);
    }

private:
    bool ScanBlock(std::error_code& ec, bool& readFailed) {
        const char* data = m_block.get();
        size_t i = 0;
        while (i < m_blockLength) {
            char c = data[i];
            if (IsLineEnd(c)) {
                if (m_inLine) {
                    if (!EndLine(m_blockStart + i, ec, readFailed)) {
                        return false;
                    }
                    m_inLine = false;
                }
                ++i;
                continue;
            }
            if (!m_inLine) {
                m_inLine = true;
                m_lineStart = m_blockStart + i;
                m_matcher.Reset();
            }
            if (m_matcher.Rejected()) {
                // Not a version line: only its end matters now.
                while (i < m_blockLength && !IsLineEnd(data[i])) {
                    ++i;
                }
                continue;
            }
            m_matcher.Feed(c);
            ++i;
        }
        return true;
    }

    // The line [m_lineStart, end) is complete.
    bool EndLine(uint64_t end, std::error_code& ec, bool& readFailed) {
        if (m_matcher.Matched()) {
            return m_out.Append(kFixedVersionLine, ec);
        }
        uint64_t inBlockFrom = m_lineStart;
        if (m_lineStart < m_blockStart) {
            // The line began in an earlier block: copy that part from the file again.
            if (!CopyFromFile(m_lineStart, m_blockStart, ec, readFailed)) {
                return false;
            }
            inBlockFrom = m_blockStart;
        }
        std::string_view inBlock(m_block.get() + (inBlockFrom - m_blockStart), end - inBlockFrom);
        return m_out.Append(inBlock, ec) && m_out.Append(kLineEnd, ec);
    }

    bool CopyFromFile(uint64_t from, uint64_t to, std::error_code& ec, bool& readFailed) {
        if (!m_scratch) {
            m_scratch = std::make_unique<char[]>(m_blockSize);
        }
        while (from < to) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(to - from, m_blockSize));
            size_t got = m_source.ReadAt(from, m_scratch.get(), want, ec);
            if (ec || got == 0) {
                if (!ec) {
                    ec = std::make_error_code(std::errc::io_error);  // the file shrank under us
                }
                readFailed = true;
                return false;
            }
            if (!m_out.Append(std::string_view(m_scratch.get(), got), ec)) {
                return false;
            }
            from += got;
        }
        return true;
    }

    FileSource& m_source;
    OutputBuffer m_out;
    size_t m_blockSize;
    std::unique_ptr<char[]> m_block;
    std::unique_ptr<char[]> m_scratch;
    uint64_t m_blockStart = 0;
    size_t m_blockLength = 0;
    uint64_t m_nextStart = 0;
    bool m_inLine = false;
    uint64_t m_lineStart = 0;
    VersionLineMatcher m_matcher;
};

}  // namespace

bool WriteFixedContent(FileSource& original, FileWriter& copy, std::error_code& ec, bool& readFailed,
                       size_t blockSize) {
    ec.clear();
    FixWriter writer(original, copy, blockSize);
    return writer.Run(ec, readFailed);
}

VersionFixResult FixVersionNumbers(const CFileRecordArray& records, RunContext& ctx,
                                   const ReplaceHooks& hooks, bool pathNamedByUser) {
    WaitCursorScope wait(ctx);
    VersionFixResult result;
    const ContentTransform transform = [](FileSource& original, FileWriter& copy, std::error_code& ec,
                                          bool& readFailed) {
        return WriteFixedContent(original, copy, ec, readFailed);
    };
    const int32_t count = records.GetSize();
    std::set<std::string> sweptFolders;  // cleared of what killed writes left, once per run
    result.fixed.assign(static_cast<size_t>(std::max(count, 0)), false);
    for (int32_t i = 0; i < count; ++i) {
        const CFileRecord& record = records.GetAt(i);
        const std::string& path = record.m_path;
        if (path.empty()) {
            // The file went away between the check and the fix, before its record was made.
            result.failures.push_back({path, "A file flagged by the check was no longer found.", true});
            result.stopped = true;
            break;
        }
        FixFailure failure;
        const RewriteOutcome outcome =
            RewriteKeepingBackup(path, (record.m_attributes & kAttrThroughLink) != 0, pathNamedByUser,
                                 transform, hooks, sweptFolders, failure);
        if (outcome == RewriteOutcome::Skipped) {
            result.failures.push_back(std::move(failure));
            continue;
        }
        if (outcome == RewriteOutcome::Failed) {
            result.failures.push_back(std::move(failure));
            result.stopped = true;
            break;
        }
        result.fixedListText += record.GetNamePart();
        result.fixedListText += "\r\n";
        ++result.filesFixed;
        result.fixed[static_cast<size_t>(i)] = true;
    }
    return result;
}

}  // namespace veltrane
