#include "fs/SafeReplace.h"

#include <atomic>
#include <filesystem>

#include "fs/FileOps.h"
#include "fs/PathParts.h"

#ifdef _WIN32
#include <process.h>

#include "fs/WidePath.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veltrane {

namespace {

namespace stdfs = std::filesystem;

stdfs::path NativePath(const std::string& path) {
#ifdef _WIN32
    return stdfs::path(ToWide(path));
#else
    return stdfs::path(path);
#endif
}

unsigned ProcessId() {
#ifdef _WIN32
    return static_cast<unsigned>(::_getpid());
#else
    return static_cast<unsigned>(::getpid());
#endif
}

// Makes the renames in folder durable. Best effort: a failure here loses nothing that is not
// already safe under one of the two names.
void SyncFolderOf(const std::string& path) {
#ifndef _WIN32
    PathParts parts = SplitPath(path);
    std::string folder = std::string(parts.drive) + std::string(parts.directory);
    if (folder.empty()) {
        folder = ".";
    }
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)path;
#endif
}

// Removes the temporary copy on every way out unless released.
class TemporaryFileGuard {
public:
    TemporaryFileGuard() = default;
    ~TemporaryFileGuard() {
        if (!m_path.empty()) {
            std::error_code ignored;
            stdfs::remove(NativePath(m_path), ignored);
        }
    }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

    void Track(const std::string& path) { m_path = path; }
    void Release() { m_path.clear(); }

private:
    std::string m_path;
};

bool Fail(ReplaceOutcome& outcome, ReplaceFailure failure, const std::error_code& ec) {
    outcome.failure = failure;
    outcome.ec = ec;
    return false;
}

// Gives the copy the original's permission bits and, where we may, its owner.
bool CopyAccessRights(const std::string& original, const std::string& copy, std::error_code& ec) {
    stdfs::file_status status = stdfs::status(NativePath(original), ec);
    if (ec) {
        return false;
    }
    stdfs::permissions(NativePath(copy), status.permissions() & stdfs::perms::mask,
                       stdfs::perm_options::replace, ec);
    if (ec) {
        return false;
    }
#ifndef _WIN32
    struct stat st;
    if (::stat(original.c_str(), &st) == 0 && ::geteuid() == 0) {
        // Only root can hand a file to another owner; a failure keeps the copy ours, which is
        // what an editor saving the file would do as well.
        if (::chown(copy.c_str(), st.st_uid, st.st_gid) == 0) {
            // chown may clear set-id bits: put the bits back.
            stdfs::permissions(NativePath(copy), status.permissions() & stdfs::perms::mask,
                               stdfs::perm_options::replace, ec);
            if (ec) {
                return false;
            }
        }
    }
#endif
    return true;
}

}  // namespace

std::string TemporaryNameFor(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> serial{0};
    PathParts parts = SplitPath(path);
    std::string name = std::string(parts.baseName) + std::string(parts.extension);
    return std::string(parts.drive) + std::string(parts.directory) + "." + name + ".vtmp" +
           std::to_string(ProcessId()) + "-" + std::to_string(serial.fetch_add(1) + attempt);
}

bool ReplaceKeepingBackup(const std::string& path, const std::string& backupPath,
                          const ContentTransform& transform, ReplaceOutcome& outcome,
                          const ReplaceHooks& hooks) {
    outcome = ReplaceOutcome{};
    std::error_code ec;

    FileSource original;
    if (!original.Open(path, ec)) {
        return Fail(outcome, ReplaceFailure::ReadOriginal, ec);
    }

    // A taken backup name would make the rename fail later anyway; finding it now spares
    // writing a copy for nothing. The rename below still never replaces anything.
    if (stdfs::exists(stdfs::symlink_status(NativePath(backupPath), ec))) {
        return Fail(outcome, ReplaceFailure::BackupTaken, std::make_error_code(std::errc::file_exists));
    }

    // Create the temporary copy under a fresh name in the original's folder.
    TemporaryFileGuard guard;
    std::string tempPath;
    std::unique_ptr<FileWriter> writer;
    for (unsigned attempt = 0; attempt < 100 && !writer; ++attempt) {
        tempPath = TemporaryNameFor(path, attempt);
        writer = CreateNewFileWriter(tempPath, ec);
        if (!writer && ec != std::errc::file_exists) {
            return Fail(outcome, ReplaceFailure::WriteCopy, ec);
        }
    }
    if (!writer) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    guard.Track(tempPath);
    if (hooks.wrapWriter) {
        writer = hooks.wrapWriter(std::move(writer));
    }

    if (!CopyAccessRights(path, tempPath, ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    bool readFailed = false;
    if (!transform(original, *writer, ec, readFailed)) {
        if (!ec) {
            ec = std::make_error_code(std::errc::io_error);
        }
        std::error_code ignored;
        writer->Close(ignored);
        return Fail(outcome, readFailed ? ReplaceFailure::ReadOriginal : ReplaceFailure::WriteCopy, ec);
    }
    original.Close();
    if (!writer->Sync(ec)) {
        std::error_code ignored;
        writer->Close(ignored);
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    if (!writer->Close(ec)) {
        return Fail(outcome, ReplaceFailure::WriteCopy, ec);
    }
    writer.reset();

    if (hooks.continueAfter && !hooks.continueAfter(ReplaceStep::CopyWritten)) {
        guard.Release();
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }

    if (!RenameNoReplace(path, backupPath, ec)) {
        return Fail(outcome,
                    ec == std::errc::file_exists ? ReplaceFailure::BackupTaken : ReplaceFailure::MoveOriginal,
                    ec);
    }
    SyncFolderOf(path);

    if (hooks.continueAfter && !hooks.continueAfter(ReplaceStep::OriginalMoved)) {
        guard.Release();
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }

    if (!RenameNoReplace(tempPath, path, ec)) {
        std::error_code restoreEc;
        if (!RenameNoReplace(backupPath, path, restoreEc)) {
            outcome.originalLeftAtBackup = true;
        }
        SyncFolderOf(path);
        return Fail(outcome, ReplaceFailure::PlaceCopy, ec);
    }
    guard.Release();
    SyncFolderOf(path);

    if (hooks.continueAfter && !hooks.continueAfter(ReplaceStep::CopyInPlace)) {
        return Fail(outcome, ReplaceFailure::Stopped, {});
    }
    return true;
}

}  // namespace veltrane
