#include "fs/write/SafeReplace.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fs/run/FileErrors.h"
#include "fs/text/PathParts.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

// How many files are being put in place (their backup made, their copy renamed over their name),
// and the exit status a signal handler asked for meanwhile (-1: none). Lock-free atomics, so that
// a handler may touch them.
std::atomic<int> g_filesBetweenRenames{0};
std::atomic<int> g_deferredExit{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Holds requests to end the process off while one file is being put in place.
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

std::string FileNameOf(const PathParts& parts) {
    return std::string(parts.baseName) + std::string(parts.extension);
}

// Writes the bytes of original, from its start, to a new file under backupPath that gets the
// original's rights: the backup where the folder takes no second name for the original.
bool CopyToBackup(FileSource& original, const FileState& before, const std::string& backupPath, bool named,
                  std::error_code& ec) {
    ReplacementFile backup;
    if (!backup.Create(backupPath, ec, 0600, named) || !backup.CopyAccess(before, true, ec)) {
        return false;
    }
    std::unique_ptr<FileWriter> writer = backup.TakeWriter();
    std::vector<char> block(64 * 1024);
    for (uint64_t at = 0;;) {
        const size_t got = original.ReadAt(at, block.data(), block.size(), ec);
        if (ec) {
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!writer->Write(std::string_view(block.data(), got), ec)) {
            return false;
        }
        at += got;
    }
    return writer->Sync(ec) && writer->Close(ec) && backup.Place(false, ec);
}

// The steps after the copy is written: the original's backup is made, then the copy is renamed
// over the original's name, each step checking that nobody changed the file meanwhile.
class BackupAndPlace {
public:
    BackupAndPlace(ReplacementFile& copy, FileSource& original, const std::string& backupPath,
                   ReplaceOutcome& outcome, const ReplaceHooks& hooks)
        : m_copy(copy),
          m_original(original),
          m_before(original.State()),
          m_name(copy.TargetName()),
          m_backupPath(backupPath),
          m_backupName(FileNameOf(SplitPath(backupPath))),
          m_outcome(outcome),
          m_hooks(hooks) {}

    bool Run() {
        if (!MakeBackup()) {
            return false;
        }
        // Windows renames nothing over a file that is open, even by us.
        m_original.Close();
        if (!Continue(m_hooks, ReplaceStep::BackupMade)) {
            m_copy.Abandon();
            return Fail(m_outcome, ReplaceFailure::Stopped, {});
        }
        if (!NameStillHoldsTheOriginal()) {
            return false;
        }
        std::error_code ec;
        if (!m_copy.StillOurs(ec)) {
            m_copy.RemoveIfSame(m_backupName, m_backup);
            m_copy.SyncFolder();
            return Fail(m_outcome, ReplaceFailure::CopyReplaced, ec);
        }
        if (!m_copy.Place(true, ec)) {
            m_outcome.originalAt = WhereTheOriginalIs();
            if (m_outcome.originalAt == OriginalAt::Path) {
                m_copy.RemoveIfSame(m_backupName, m_backup);
            }
            m_copy.SyncFolder();
            return Fail(m_outcome, ReplaceFailure::PlaceCopy, ec);
        }
        m_copy.SyncFolder();
        return true;
    }

private:
    // Gives the original its second name and checks that it is the file that was read, unchanged.
    bool MakeBackup() {
        std::error_code ec;
        m_linked = !m_hooks.copyBackup && m_copy.Link(m_name, m_backupName, ec);
        if (!m_linked) {
            if (ec == std::errc::file_exists) {
                return Fail(m_outcome, ReplaceFailure::BackupTaken, ec);
            }
            // No link to what is gone: the original's name was removed or renamed meanwhile.
            if (IsNotFoundError(ec) ||
                !CopyToBackup(m_original, m_before, m_backupPath, m_hooks.namedTemporary, ec)) {
                m_outcome.originalAt = WhereTheOriginalIs();
                return Fail(
                    m_outcome,
                    ec == std::errc::file_exists ? ReplaceFailure::BackupTaken : ReplaceFailure::BackupFailed,
                    ec);
            }
        }
        std::error_code lookEc;
        FileState atName;
        const bool made = m_copy.Inspect(m_backupName, m_backup, lookEc);
        // A link names whatever stood under the name; a copy was read from the file we opened.
        const bool isTheOriginal =
            m_linked ? made && m_backup.SameFileAndState(m_before)
                     : m_copy.Inspect(m_name, atName, lookEc) && atName.SameFileAndState(m_before);
        if (!isTheOriginal) {
            // Saved by someone after we read it: the newer content keeps its name.
            if (made) {
                m_copy.RemoveIfSame(m_backupName, m_backup);
            }
            m_copy.SyncFolder();
            return Fail(m_outcome, ReplaceFailure::ChangedMeanwhile, {});
        }
        m_copy.SyncFolder();
        return true;
    }

    // Just before the copy takes the name: the name must hold the file that was read, unchanged.
    bool NameStillHoldsTheOriginal() {
        FileState atName;
        std::error_code ec;
        if (m_copy.Inspect(m_name, atName, ec) && atName.SameFileAndState(m_before)) {
            return true;
        }
        if (!ec && atName.SameFile(m_before)) {
            // Saved in place: the changed file keeps its name, and a link backup would hold the
            // changed bytes, not the original's.
            m_copy.RemoveIfSame(m_backupName, m_backup);
            m_copy.SyncFolder();
            return Fail(m_outcome, ReplaceFailure::ChangedMeanwhile, {});
        }
        // Something else took the name, or it was removed: the backup holds the original.
        m_outcome.originalAt = WhereTheOriginalIs();
        return Fail(m_outcome, ReplaceFailure::PlaceCopy,
                    ec ? ec : std::make_error_code(std::errc::file_exists));
    }

    // Where the original's bytes are: under its own name, under the backup name, both or neither.
    OriginalAt WhereTheOriginalIs() const {
        FileState found;
        std::error_code ignored;
        const bool atPath = m_copy.Inspect(m_name, found, ignored) && found.SameFile(m_before);
        const bool atBackup =
            m_backup.regular && m_copy.Inspect(m_backupName, found, ignored) && found.SameFile(m_backup);
        if (atPath) {
            return atBackup ? OriginalAt::Both : OriginalAt::Path;
        }
        return atBackup ? OriginalAt::Backup : OriginalAt::Neither;
    }

    ReplacementFile& m_copy;
    FileSource& m_original;
    const FileState m_before;
    const std::string& m_name;
    const std::string& m_backupPath;
    const std::string m_backupName;
    ReplaceOutcome& m_outcome;
    const ReplaceHooks& m_hooks;
    bool m_linked = false;
    FileState m_backup;  // what was made under the backup name; regular only once it was made
};

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
        return Fail(outcome, ReplaceFailure::BackupFailed, std::make_error_code(std::errc::invalid_argument));
    }
    const std::string backupName = FileNameOf(backupParts);

    FileSource original;
    if (!original.Open(path, ec, false)) {
        return Fail(outcome, ReplaceFailure::ReadOriginal, ec);
    }
    const FileState before = original.State();

    // Declared before the writer, so that the writer is closed before the temporary file goes.
    ReplacementFile copy;
    if (!copy.Create(path, ec, 0600, hooks.namedTemporary)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }

    // A taken backup name would make the backup fail later anyway; finding it now spares
    // writing a copy for nothing. The backup below still never replaces anything.
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
        return Fail(outcome, ReplaceFailure::CopyReplaced, ec);
    }
    {
        RenameWindow window;
        if (!BackupAndPlace(copy, original, backupPath, outcome, hooks).Run()) {
            return false;
        }
    }

    if (!Continue(hooks, ReplaceStep::CopyInPlace)) {
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }
    return true;
}

}  // namespace veltrane
