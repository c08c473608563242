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
constexpr std::string_view kBackupExtension = ".old";

// Collects output into large writes.
class OutputBuffer {
public:
    explicit OutputBuffer(FileWriter& out) : m_out(out) { m_data.reserve(kSize); }

    bool Append(std::string_view bytes, std::error_code& ec) {
        if (m_data.size() + bytes.size() > kSize) {
            if (!Flush(ec)) {
                return false;
            }
            if (bytes.size() >= kSize) {
                return m_out.Write(bytes, ec);
            }
        }
        m_data.append(bytes);
        return true;
    }

    bool Flush(std::error_code& ec) {
        if (m_data.empty()) {
            return true;
        }
        bool ok = m_out.Write(m_data, ec);
        m_data.clear();
        return ok;
    }

private:
    static constexpr size_t kSize = 64 * 1024;
    FileWriter& m_out;
    std::string m_data;
};

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

std::string NotFixed(const std::string& path, const std::string& cause) {
    return path + " was not fixed: " + cause;
}

// Where the original's content is when it is not simply back under its own name.
std::string WhereNow(const std::string& path, const std::string& backup, OriginalAt at) {
    switch (at) {
        case OriginalAt::Backup:
            return "its content is now in " + backup + ".";
        case OriginalAt::Both:
            return "its content is now under both names, " + path + " and " + backup + ".";
        case OriginalAt::Neither:
            return "its content is under neither " + path + " nor " + backup + ".";
        case OriginalAt::Path:
            break;
    }
    return {};
}

std::string FailureText(const std::string& path, const std::string& backup, const ReplaceOutcome& outcome) {
    const std::string where = WhereNow(path, backup, outcome.originalAt);
    switch (outcome.failure) {
        case ReplaceFailure::ReadOriginal:
            return FileErrorText(outcome.ec, path) + "\r\n" + NotFixed(path, "it could not be read.");
        case ReplaceFailure::WriteCopy:
            return FileErrorText(outcome.ec, path) + "\r\n" +
                   NotFixed(path, "its fixed copy could not be written in its folder.");
        case ReplaceFailure::CopyReplaced:
            return NotFixed(path,
                            "its temporary copy was replaced or removed by someone else while it was being "
                            "written; nothing was changed.");
        case ReplaceFailure::BackupTaken:
            return FileErrorText(outcome.ec, backup) + "\r\n" +
                   NotFixed(path, "its backup name " + backup + " is already taken.");
        case ReplaceFailure::BackupFailed:
            return FileErrorText(outcome.ec, path) + "\r\n" +
                   NotFixed(path, "its backup " + backup + " could not be made" +
                                      (where.empty() ? "." : "; " + where));
        case ReplaceFailure::ChangedMeanwhile:
            return NotFixed(path, "it was changed by another program while it was being fixed; " +
                                      (where.empty() ? "the changed file keeps its name." : where));
        case ReplaceFailure::PlaceCopy:
            if (!where.empty()) {
                return FileErrorText(outcome.ec, path) + "\r\n" +
                       NotFixed(path, "the fixed copy could not take its name, and " + where);
            }
            return FileErrorText(outcome.ec, path) + "\r\n" +
                   NotFixed(path, "the fixed copy could not take its name; the file was put back as it was.");
        case ReplaceFailure::Stopped:
            return NotFixed(path, "the fix was stopped.");
        case ReplaceFailure::None:
            break;
    }
    return NotFixed(path, "an unknown error occurred.");
}

}  // namespace

std::string BackupNameFor(const std::string& path, PathStyle style) {
    PathParts parts = SplitPath(path, style);
    if (parts.extension.empty() || EqualsIgnoringAsciiCase(parts.extension, kBackupExtension)) {
        return {};
    }
    return std::string(parts.drive) + std::string(parts.directory) + std::string(parts.baseName) +
           std::string(kBackupExtension);
}

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
        // A file the scan reached through a link (or that is one) is another's file as far as the
        // fix knows: it is read, never rewritten.
        if ((record.m_attributes & kAttrThroughLink) != 0) {
            result.failures.push_back(
                {path, NotFixed(path, "it was reached through a link, and links are never written through."),
                 false});
            continue;
        }
        // A link the user named leads to the file to fix, which gets its backup beside it; a link
        // found by the scan is never followed (the fix refuses it).
        std::string target = path;
        ReplaceOutcome outcome;
        if (pathNamedByUser && !FollowLinks(target, outcome.ec)) {
            outcome.failure = ReplaceFailure::ReadOriginal;
            result.failures.push_back({path, FailureText(path, BackupNameFor(path), outcome), true});
            result.stopped = true;
            break;
        }
        std::string backup = BackupNameFor(target);
        if (backup.empty()) {
            std::string cause = SplitPath(target).extension.empty()
                                    ? "its name has no extension, so it has no backup name."
                                    : "its name already ends in \".old\", the extension of backups.";
            result.failures.push_back({path, NotFixed(path, cause), false});
            continue;
        }
        const PathParts parts = SplitPath(target);
        if (const std::string folder = std::string(parts.drive) + std::string(parts.directory);
            sweptFolders.insert(folder).second) {
            RemoveWriteLeftovers(folder);
        }
        if (!ReplaceKeepingBackup(target, backup, transform, outcome, hooks)) {
            result.failures.push_back({path, FailureText(path, backup, outcome), true});
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
