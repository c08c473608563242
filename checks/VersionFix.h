#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "checks/FileRewrite.h"
#include "fs/read/FileSource.h"
#include "fs/run/RunContext.h"
#include "fs/text/PathParts.h"
#include "fs/walk/FileRecordArray.h"
#include "fs/write/FileWriter.h"
#include "fs/write/SafeReplace.h"

namespace veltrane {

// Title of the boxes that report a file the fix could not rewrite.
inline constexpr const char* kVersionFixFailureTitle = "Veltrane";

// A flagged file that was not rewritten, and why.
using VersionFixFailure = FixFailure;

struct VersionFixResult {
    std::string fixedListText;  // name of each fixed file + "\r\n", in record order
    int32_t filesFixed = 0;
    std::vector<VersionFixFailure> failures;  // in the order met
    bool stopped = false;                     // a failure ended the fix early
    std::vector<bool> fixed;                  // per record, in record order: it was rewritten
};

// Writes the fixed content of original to copy: every non-empty line, whole however long, followed
// by CR LF, with version lines written as "\tnumber 4.0". Blank lines and the old line ends are
// dropped. Reads in blocks of blockSize bytes; a line that spans blocks is copied from the file
// again, so memory stays bounded. readFailed tells which side failed.
bool WriteFixedContent(FileSource& original, FileWriter& copy, std::error_code& ec, bool& readFailed,
                       size_t blockSize = 64 * 1024);

// Rewrites each record's file in order, each through ReplaceKeepingBackup (copy written and flushed,
// original renamed to its backup name, copy renamed into place). A file without a backup name is
// skipped and reported; any other failure leaves that file as it was and ends the fix there, with
// the files before it fixed. Cannot be cancelled. pathNamedByUser: the one record is the path the
// user typed (file mode), so a symbolic link there is followed and the file it leads to is fixed,
// with its backup beside it; a link among scanned files is refused, never followed.
VersionFixResult FixVersionNumbers(const CFileRecordArray& records, RunContext& ctx,
                                   const ReplaceHooks& hooks = {}, bool pathNamedByUser = false);

}  // namespace veltrane
