#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "fs/text/PathParts.h"
#include "fs/write/FileWriter.h"
#include "fs/write/SafeReplace.h"

namespace veltrane {

// A file a fix did not rewrite, and why, in words for the user.
struct FixFailure {
    std::string path;
    std::string text;         // names the file and the cause
    bool stoppedFix = false;  // the fix ended here; the files after it were not touched
};

// The name the original keeps beside its fixed copy: the extension of the file's own name replaced
// by ".old" (folder names are left alone). Empty when the name has no extension, or already has
// ".old" as its extension, so that no distinct backup name exists.
std::string BackupNameFor(const std::string& path, PathStyle style = kNativeStyle);

// Collects a fix's output into large writes.
class OutputBuffer {
public:
    explicit OutputBuffer(FileWriter& out) : m_out(out) { m_data.reserve(kSize); }

    bool Append(std::string_view bytes, std::error_code& ec);
    bool Flush(std::error_code& ec);

private:
    static constexpr size_t kSize = 64 * 1024;
    FileWriter& m_out;
    std::string m_data;
};

enum class RewriteOutcome {
    Written,  // the file holds the new content, its original under the backup name
    Skipped,  // the file was left alone and the fix goes on (failure says why)
    Failed,   // the file is as it was (or where failure says) and the fix ends here
};

// One file of a fix, the way every fix writes: refused when it was reached through a link or has
// no backup name; otherwise the write leftovers of its folder are swept (once per folder, tracked in
// sweptFolders) and the file replaced through ReplaceKeepingBackup. followLink: the path is the one
// the user typed, so a link there leads to the file to fix, which gets its backup beside it.
RewriteOutcome RewriteKeepingBackup(const std::string& path, bool throughLink, bool followLink,
                                    const ContentTransform& transform, const ReplaceHooks& hooks,
                                    std::set<std::string>& sweptFolders, FixFailure& failure);

}  // namespace veltrane
