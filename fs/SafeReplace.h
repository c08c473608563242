#pragma once

#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "fs/FileSource.h"
#include "fs/FileWriter.h"

namespace veltrane {

// The points between the steps of ReplaceKeepingBackup, in the order they are reached.
enum class ReplaceStep {
    CopyWritten,    // the new content is complete and on disk under a temporary name
    OriginalMoved,  // the original now stands under the backup name
    CopyInPlace,    // the new content stands under the original name
};

// Why a replacement did not happen.
enum class ReplaceFailure {
    None,
    ReadOriginal,  // the original could not be opened or read
    WriteCopy,     // the temporary copy could not be created, written, flushed or given its permissions
    BackupTaken,   // something already exists under the backup name
    MoveOriginal,  // the original could not be renamed to the backup name
    PlaceCopy,     // the copy could not take the original's name (the original was put back)
    Stopped,       // a hook stopped the run between two steps (tests simulating a crash)
};

struct ReplaceOutcome {
    ReplaceFailure failure = ReplaceFailure::None;
    std::error_code ec;
    // Set only when the original could not be put back after a failed PlaceCopy: its bytes are
    // then under the backup name.
    bool originalLeftAtBackup = false;
};

// Seams for tests. Both are optional.
struct ReplaceHooks {
    // Receives the writer of the temporary copy and returns the one to write through.
    std::function<std::unique_ptr<FileWriter>(std::unique_ptr<FileWriter>)> wrapWriter;
    // Called at each step; returning false stops the run right there, with no cleanup at all, as
    // if the process had died.
    std::function<bool(ReplaceStep)> continueAfter;
};

// Produces the new content from the original. On failure returns false with ec set, and
// readFailed telling whether reading the original (true) or writing the copy (false) failed.
using ContentTransform =
    std::function<bool(FileSource& original, FileWriter& copy, std::error_code& ec, bool& readFailed)>;

// Replaces the file at path with transformed content and keeps the original under backupPath:
// the new content is written to a temporary file in the same folder and flushed to disk; then the
// original is renamed to backupPath (never replacing anything there); then the temporary file is
// renamed to path. The new file gets the original's permission bits.
//
// On any failure the original is back at path with its bytes (see originalLeftAtBackup for the
// one exception), no temporary file is left and nothing is created under backupPath.
bool ReplaceKeepingBackup(const std::string& path, const std::string& backupPath,
                          const ContentTransform& transform, ReplaceOutcome& outcome,
                          const ReplaceHooks& hooks = {});

// The name of the temporary copy for path: a hidden name in the same folder, distinct per attempt.
std::string TemporaryNameFor(const std::string& path, unsigned attempt);

}  // namespace veltrane
