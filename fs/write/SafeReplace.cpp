#include "fs/write/SafeReplace.h"

#include <atomic>
#include <cstdlib>

#include "fs/text/PathParts.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

// How many files stand between their two renames, and the exit status a signal handler asked
// for meanwhile (-1: none). Lock-free atomics, so that a handler may touch them.
std::atomic<int> g_filesBetweenRenames{0};
std::atomic<int> g_deferredExit{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Holds requests to end the process off for one file's two renames.
class RenameWindow {
public:
    RenameWindow() { g_filesBetweenRenames.fetch_add(1); }
    ~RenameWindow() {
        // Decrement first, then look: a handler stores its status first, then looks, so one of the
        // two always sees the other and the process ends.
        if (g_filesBetweenRenames.fetch_sub(1) == 1) {
            const int status = g_deferredExit.load();
            if (status >= 0) {
                std::_Exit(status);
            }
        }
    }
    RenameWindow(const RenameWindow&) = delete;
    RenameWindow& operator=(const RenameWindow&) = delete;
};

bool Fail(ReplaceOutcome& outcome, ReplaceFailure failure, const std::error_code& ec) {
    outcome.failure = failure;
    outcome.ec = ec;
    return false;
}

bool Continue(const ReplaceHooks& hooks, ReplaceStep step) {
    return !hooks.continueAfter || hooks.continueAfter(step);
}

// Where the file known as original stands now: under name, under backupName, both or neither.
OriginalAt Locate(const ReplacementFile& folder, const std::string& name, const std::string& backupName,
                  const FileState& original) {
    FileState found;
    std::error_code ignored;
    const bool atPath = folder.Inspect(name, found, ignored) && found.SameFile(original);
    const bool atBackup = folder.Inspect(backupName, found, ignored) && found.SameFile(original);
    if (atPath) {
        return atBackup ? OriginalAt::Both : OriginalAt::Path;
    }
    return atBackup ? OriginalAt::Backup : OriginalAt::Neither;
}

std::string FileNameOf(const PathParts& parts) {
    return std::string(parts.baseName) + std::string(parts.extension);
}

}  // namespace

bool DeferExitWhileRenaming(int status) {
    g_deferredExit.store(status);
    return g_filesBetweenRenames.load() > 0;
}

bool ReplaceKeepingBackup(const std::string& path, const std::string& backupPath,
                          const ContentTransform& transform, ReplaceOutcome& outcome,
                          const ReplaceHooks& hooks) {
    outcome = ReplaceOutcome{};
    std::error_code ec;

    const PathParts parts = SplitPath(path);
    const PathParts backupParts = SplitPath(backupPath);
    if (parts.drive != backupParts.drive || parts.directory != backupParts.directory) {
        return Fail(outcome, ReplaceFailure::MoveOriginal, std::make_error_code(std::errc::invalid_argument));
    }
    const std::string backupName = FileNameOf(backupParts);

    FileSource original;
    if (!original.Open(path, ec, false)) {
        return Fail(outcome, ReplaceFailure::ReadOriginal, ec);
    }
    const FileState before = original.State();

    // Declared before the writer, so that the writer is closed before the temporary file goes.
    ReplacementFile copy;
    if (!copy.Create(path, ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    const std::string& name = copy.TargetName();

    // A taken backup name would make the rename fail later anyway; finding it now spares
    // writing a copy for nothing. The rename below still never replaces anything.
    FileState taken;
    if (copy.Inspect(backupName, taken, ec)) {
        return Fail(outcome, ReplaceFailure::BackupTaken, std::make_error_code(std::errc::file_exists));
    }

    if (!Continue(hooks, ReplaceStep::CopyCreated)) {
        copy.Abandon();
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }
    if (!copy.CopyAccess(before, true, ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    std::unique_ptr<FileWriter> writer = copy.TakeWriter();
    if (hooks.wrapWriter) {
        writer = hooks.wrapWriter(std::move(writer));
    }
    bool readFailed = false;
    if (!transform(original, *writer, ec, readFailed)) {
        if (!ec) {
            ec = std::make_error_code(std::errc::io_error);
        }
        return Fail(outcome, readFailed ? ReplaceFailure::ReadOriginal : ReplaceFailure::WriteCopy, ec);
    }
    if (!writer->Sync(ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    if (!writer->Close(ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    writer.reset();

    if (!Continue(hooks, ReplaceStep::CopyWritten)) {
        copy.Abandon();
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }
    // Touch the original only when the copy is still there to take its place.
    if (!copy.StillOurs(ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }

    {
        RenameWindow window;
        if (!copy.Rename(name, backupName, false, ec)) {
            outcome.originalAt = Locate(copy, name, backupName, before);
            return Fail(
                outcome,
                ec == std::errc::file_exists ? ReplaceFailure::BackupTaken : ReplaceFailure::MoveOriginal,
                ec);
        }

        // The file now under the backup name must be the one we read, as it was when we read it.
        FileState moved;
        std::error_code movedEc;
        if (!copy.Inspect(backupName, moved, movedEc) || !moved.SameFileAndState(before)) {
            // Saved by someone after we read it: the newer content keeps its name.
            std::error_code ignored;
            copy.Rename(backupName, name, false, ignored);
            copy.SyncFolder();
            outcome.originalAt = movedEc ? OriginalAt::Neither : Locate(copy, name, backupName, moved);
            return Fail(outcome, ReplaceFailure::ChangedMeanwhile, movedEc);
        }
        copy.SyncFolder();

        if (!Continue(hooks, ReplaceStep::OriginalMoved)) {
            copy.Abandon();
            return Fail(outcome, ReplaceFailure::Stopped, {});
        }

        if (!copy.Place(false, ec)) {
            std::error_code ignored;
            copy.Rename(backupName, name, false, ignored);
            copy.SyncFolder();
            outcome.originalAt = Locate(copy, name, backupName, before);
            return Fail(outcome, ReplaceFailure::PlaceCopy, ec);
        }
        copy.SyncFolder();
    }

    if (!Continue(hooks, ReplaceStep::CopyInPlace)) {
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }
    return true;
}

}  // namespace veltrane
