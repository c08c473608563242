#pragma once

#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "fs/read/FileSource.h"
#include "fs/write/FileWriter.h"

namespace veltrane {

// The points between the steps of ReplaceKeepingBackup, in the order they are reached.
enum class ReplaceStep {
    CopyCreated,    // the temporary file exists, empty, and has not yet been given the original's rights
    CopyWritten,    // the new content is complete and on disk under a temporary name
    OriginalMoved,  // the original now stands under the backup name
    CopyInPlace,    // the new content stands under the original name
};

// Why a replacement did not happen.
enum class ReplaceFailure {
    None,
    ReadOriginal,      // the original could not be opened or read, or is not a regular file
    WriteCopy,         // the temporary copy could not be created, written, flushed or given its rights
    BackupTaken,       // something already exists under the backup name
    MoveOriginal,      // the original could not be renamed to the backup name
    ChangedMeanwhile,  // the original was changed after it was read; it was given its name back
    PlaceCopy,         // the copy could not take the original's name (the original was put back)
    Stopped,           // a hook stopped the run between two steps (tests simulating a crash)
};

// Where the bytes of the original are after a failure that came after it was renamed.
enum class OriginalAt { Path, Backup, Both, Neither };

struct ReplaceOutcome {
    ReplaceFailure failure = ReplaceFailure::None;
    std::error_code ec;
    // Looked up after a failed MoveOriginal, ChangedMeanwhile or PlaceCopy: Path when the original
    // is back under its own name (the usual case), otherwise where it really is.
    OriginalAt originalAt = OriginalAt::Path;
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

// Replaces the file at path with transformed content and keeps the original under backupPath (a
// name in the same folder): the new content is written to a temporary file in the folder and
// flushed to disk; then the original is renamed to backupPath (never replacing anything there);
// then the temporary file is renamed to path (never replacing anything either).
//
// The original is read through the descriptor opened first (a link at path is refused, never
// followed), and the new file gets its permission bits and, when running as root, its
// owner, from that descriptor onto the new file's own (see ReplacementFile). When the file under
// the backup name after the first rename is not the file that was read, unchanged, someone saved
// it meanwhile: it gets its name back and the copy is dropped (ChangedMeanwhile).
//
// On any failure the original is back at path with its bytes (see originalAt for the exceptions),
// no temporary file is left and nothing is created under backupPath. Between the two renames a
// request to end the process waits (see DeferExitWhileRenaming).
bool ReplaceKeepingBackup(const std::string& path, const std::string& backupPath,
                          const ContentTransform& transform, ReplaceOutcome& outcome,
                          const ReplaceHooks& hooks = {});

// For signal handlers that end the process: when a file stands between its two renames, records
// status and returns true, and the process ends with status as soon as that file is complete;
// otherwise returns false and the handler ends the process itself. Async-signal-safe.
bool DeferExitWhileRenaming(int status);

}  // namespace veltrane
