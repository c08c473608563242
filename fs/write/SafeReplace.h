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
    CopyCreated,  // the new file exists, empty, and has not yet been given the original's rights
    CopyWritten,  // the new content is complete and on disk, not yet under any name of the target's
    BackupMade,   // the original stands under the backup name too (a hard link, or a copy)
    CopyInPlace,  // the new content stands under the original name
};

// Why a replacement did not happen.
enum class ReplaceFailure {
    None,
    ReadOriginal,      // the original could not be opened or read, or is not a regular file
    WriteCopy,         // the temporary copy could not be created, written, flushed or given its rights
    CopyReplaced,      // something else was put under the temporary copy's name, or the name removed
    BackupTaken,       // something already exists under the backup name
    BackupFailed,      // the original could neither be linked nor copied to the backup name
    ChangedMeanwhile,  // the original was changed after it was read; the changed file keeps its name
    PlaceCopy,         // the copy could not take the original's name
    Stopped,           // a hook stopped the run between two steps (tests simulating a crash)
};

// Where the bytes of the original are after a failure that came after it was renamed.
enum class OriginalAt { Path, Backup, Both, Neither };

struct ReplaceOutcome {
    ReplaceFailure failure = ReplaceFailure::None;
    std::error_code ec;
    // Looked up after a failed BackupFailed, ChangedMeanwhile or PlaceCopy: Path when the original
    // is under its own name (the usual case), otherwise where its bytes are.
    OriginalAt originalAt = OriginalAt::Path;
};

// Seams for tests. All are optional.
struct ReplaceHooks {
    // Receives the writer of the temporary copy and returns the one to write through.
    std::function<std::unique_ptr<FileWriter>(std::unique_ptr<FileWriter>)> wrapWriter;
    // Called at each step; returning false stops the run right there, with no cleanup at all, as
    // if the process had died.
    std::function<bool(ReplaceStep)> continueAfter;
    // Gives the temporary files a name from the start even where the file system can make them
    // without one, as it must where it cannot.
    bool namedTemporary = false;
    // Copies the original to the backup name instead of linking it, as where links are refused.
    bool copyBackup = false;
};

// Produces the new content from the original. On failure returns false with ec set, and
// readFailed telling whether reading the original (true) or writing the copy (false) failed.
using ContentTransform =
    std::function<bool(FileSource& original, FileWriter& copy, std::error_code& ec, bool& readFailed)>;

// Replaces the file at path with transformed content and keeps the original under backupPath (a
// name in the same folder), so that the name holds the original or the new content at every
// instant, whenever the process dies: the new content is written to a new file in the folder (see
// ReplacementFile) and flushed to disk; then the original gets backupPath as a second name (a hard
// link; where the file system or its rules refuse one, a copy of the bytes read, made the same
// way), never replacing anything there; then the new file is renamed over path.
//
// The original is read through the descriptor opened first (a link at path is refused, never
// followed), and the new file gets its permission bits and, when running as root, its
// owner, from that descriptor onto the new file's own (see ReplacementFile). When path no longer
// holds the file that was read, unchanged, at the moment the backup is made or the copy is about
// to take its name, someone saved it meanwhile: the changed file keeps its name, the copy is
// dropped and the backup removed unless it holds the only copy of the original's bytes
// (ChangedMeanwhile, or PlaceCopy when something else took the name).
//
// On any failure path holds what it held (see originalAt for the exceptions), no temporary file is
// left and nothing is left under backupPath. While the backup and the copy are put in place a
// request to end the process waits (see DeferExitWhileRenaming).
bool ReplaceKeepingBackup(const std::string& path, const std::string& backupPath,
                          const ContentTransform& transform, ReplaceOutcome& outcome,
                          const ReplaceHooks& hooks = {});

// For signal handlers that end the process: when a file is being put in place, records
// status and returns true, and the process ends with status as soon as that file is complete;
// otherwise returns false and the handler ends the process itself. Async-signal-safe.
bool DeferExitWhileRenaming(int status);

}  // namespace veltrane
