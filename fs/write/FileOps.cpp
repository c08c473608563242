#include "fs/write/FileOps.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <random>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include "fs/text/WidePath.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include "fs/text/PathParts.h"

namespace veltrane {

namespace {

bool IsNotFound(const std::error_code& ec) {
    return IsNotFoundError(ec);
}

// A short name for a temporary file: a dot, "vt" and ten random letters or digits.
std::string ShortTemporaryName() {
    static std::atomic<uint64_t> serial{0};
    std::random_device rd;
    uint64_t bits =
        (static_cast<uint64_t>(rd()) << 32) ^ rd() ^ (serial.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".vt";
    for (int i = 0; i < 10; ++i) {
        name += kAlphabet[bits % 36];
        bits /= 36;
    }
    return name;
}

#ifndef _WIN32
// A file size limit must end a write with EFBIG, not end the program with SIGXFSZ. Left alone when
// the program already handles or ignores the signal.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            ::signal(SIGXFSZ, SIG_IGN);
        }
    });
}

std::error_code Errno() {
    return std::error_code(errno, std::generic_category());
}

bool RenameNoReplaceAt(int fromDir, const char* from, int toDir, const char* to, std::error_code& ec) {
    ec.clear();
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        ec = Errno();
        return false;
    }
    // The file system cannot rename without replacing: a hard link refuses an existing target too.
    if (::linkat(fromDir, from, toDir, to, 0) != 0) {
        ec = Errno();
        return false;
    }
    if (::unlinkat(fromDir, from, 0) != 0) {
        ec = Errno();
        ::unlinkat(toDir, to, 0);
        return false;
    }
    return true;
}
#endif

}  // namespace

bool FollowLinks(std::string& path, std::error_code& ec) {
    namespace stdfs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        const stdfs::path at = ToFsPath(path);
        const stdfs::file_status status = stdfs::symlink_status(at, ec);
        if (ec && !IsNotFound(ec)) {
            return false;
        }
        ec.clear();
        if (!stdfs::is_symlink(status)) {
            return true;
        }
        stdfs::path to = stdfs::read_symlink(at, ec);
        if (ec) {
            return false;
        }
        if (to.is_relative()) {
            to = at.parent_path() / to;
        }
        path = FromFsPath(to);
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return false;
}

bool ReplacementFile::TakeTarget(const std::string& targetPath, std::error_code& ec) {
    const PathParts parts = SplitPath(targetPath);
    m_folder = std::string(parts.drive) + std::string(parts.directory);
    m_targetName = std::string(parts.baseName) + std::string(parts.extension);
    if (m_targetName.empty()) {
        ec = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    return true;
}

#ifdef _WIN32

namespace {

std::error_code LastWinError() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to, std::error_code& ec) {
    ec.clear();
    if (!MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        ec = LastWinError();
        return false;
    }
    return true;
}

ReplacementFile::~ReplacementFile() {
    m_writer.reset();
    if (m_tracked) {
        FileState now;
        std::error_code ignored;
        const std::wstring temp = ToWide(m_folder + m_tempName);
        if (StateOfPath(m_folder + m_tempName, now, ignored) && now.SameFile(m_created)) {
            SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
            DeleteFileW(temp.c_str());
        }
    }
}

bool ReplacementFile::Create(const std::string& targetPath, std::error_code& ec, unsigned createMode) {
    ec.clear();
    if (!TakeTarget(targetPath, ec)) {
        return false;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        m_tempName = ShortTemporaryName();
        fd = ::_wopen(ToWide(m_folder + m_tempName).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                      (createMode & 0222) ? (_S_IREAD | _S_IWRITE) : _S_IREAD);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    m_writer = WriterForDescriptor(fd);
    m_fd = fd;
    m_tracked = true;
    return StateOfDescriptor(fd, m_created, ec);
}

bool ReplacementFile::CopyAccess(const FileState& from, bool /*withOwner*/, std::error_code& ec) {
    ec.clear();
    if ((from.mode & 0222) != 0 || m_fd < 0) {
        return true;  // a writable original: the new file is writable already
    }
    FILE_BASIC_INFO info{};  // zero times stay as they are
    info.FileAttributes = FILE_ATTRIBUTE_READONLY;
    if (!SetFileInformationByHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(m_fd)), FileBasicInfo, &info,
                                    sizeof info)) {
        ec = LastWinError();
        return false;
    }
    return true;
}

bool ReplacementFile::Inspect(const std::string& name, FileState& state, std::error_code& ec) const {
    return StateOfPath(m_folder + name, state, ec);
}

bool ReplacementFile::Rename(const std::string& from, const std::string& to, bool replace,
                             std::error_code& ec) const {
    ec.clear();
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(ToWide(m_folder + from).c_str(), ToWide(m_folder + to).c_str(), flags)) {
        ec = LastWinError();
        return false;
    }
    return true;
}

void ReplacementFile::SyncFolder() const {}  // MOVEFILE_WRITE_THROUGH already waited for the disk

#else

bool RenameNoReplace(const std::string& from, const std::string& to, std::error_code& ec) {
    return RenameNoReplaceAt(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), ec);
}

ReplacementFile::~ReplacementFile() {
    m_writer.reset();
    if (m_tracked) {
        // Only our own file goes: whatever someone put under the temporary name stays.
        FileState now;
        std::error_code ignored;
        if (StateOfName(m_dir, m_tempName, now, ignored) && now.SameFile(m_created)) {
            ::unlinkat(m_dir, m_tempName.c_str(), 0);
        }
    }
    if (m_dir >= 0) {
        ::close(m_dir);
    }
}

bool ReplacementFile::Create(const std::string& targetPath, std::error_code& ec, unsigned createMode) {
    ec.clear();
    IgnoreFileSizeSignal();
    if (!TakeTarget(targetPath, ec)) {
        return false;
    }
    m_dir = ::open(m_folder.empty() ? "." : m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0) {
        ec = Errno();
        return false;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        m_tempName = ShortTemporaryName();
        do {
            fd = ::openat(m_dir, m_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(createMode & 0666));
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        ec = Errno();
        return false;
    }
    m_writer = WriterForDescriptor(fd);
    m_fd = fd;
    m_tracked = true;
    return StateOfDescriptor(fd, m_created, ec);
}

bool ReplacementFile::CopyAccess(const FileState& from, bool withOwner, std::error_code& ec) {
    ec.clear();
    if (m_fd < 0) {
        ec = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    if (withOwner && ::geteuid() == 0 && (from.owner != m_created.owner || from.group != m_created.group)) {
        // Only root can hand a file to another owner. A failure keeps the copy ours, which is what
        // an editor saving the file would do as well.
        ::fchown(m_fd, from.owner, from.group);
    }
    // After the owner: fchown may clear set-id bits.
    if (::fchmod(m_fd, static_cast<mode_t>(from.mode & 07777)) != 0) {
        ec = Errno();
        return false;
    }
    return true;
}

bool ReplacementFile::Inspect(const std::string& name, FileState& state, std::error_code& ec) const {
    return StateOfName(m_dir, name, state, ec);
}

bool ReplacementFile::Rename(const std::string& from, const std::string& to, bool replace,
                             std::error_code& ec) const {
    ec.clear();
    if (!replace) {
        return RenameNoReplaceAt(m_dir, from.c_str(), m_dir, to.c_str(), ec);
    }
    if (::renameat(m_dir, from.c_str(), m_dir, to.c_str()) != 0) {
        ec = Errno();
        return false;
    }
    return true;
}

void ReplacementFile::SyncFolder() const {
    if (m_dir >= 0) {
        ::fsync(m_dir);
    }
}

#endif

std::unique_ptr<FileWriter> ReplacementFile::TakeWriter() {
    m_fd = -1;
    return std::move(m_writer);
}

bool ReplacementFile::StillOurs(std::error_code& ec) const {
    FileState now;
    if (!Inspect(m_tempName, now, ec)) {
        return false;
    }
    if (!now.SameFile(m_created) || now.link) {
        // Someone renamed something else over our temporary name: never put that in place.
        ec = std::make_error_code(std::errc::permission_denied);
        return false;
    }
    return true;
}

bool ReplacementFile::Place(bool replace, std::error_code& ec) {
    if (!StillOurs(ec) || !Rename(m_tempName, m_targetName, replace, ec)) {
        return false;
    }
    m_tracked = false;
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::error_code& ec) {
    ec.clear();
    std::string target = path;
    if (!FollowLinks(target, ec)) {
        return false;
    }
    // A new file gets the usual 0666 less the umask, as if it had been created directly; a file
    // that replaces another starts private and gets that file's bits below.
    std::error_code lookEc;
    const bool isNew = !std::filesystem::exists(std::filesystem::symlink_status(ToFsPath(target), lookEc));
    ReplacementFile file;
    if (!file.Create(target, ec, isNew ? 0666 : 0600)) {
        return false;
    }
    FileState existing;
    if (file.Inspect(file.TargetName(), existing, ec)) {
        if (!existing.regular) {
            // A device, FIFO, socket or folder (or a link that just appeared) is not ours to replace.
            ec = std::make_error_code(existing.directory ? std::errc::is_a_directory
                                                         : std::errc::permission_denied);
            return false;
        }
        // Keep the permission bits of the file being replaced.
        if (!file.CopyAccess(existing, false, ec)) {
            return false;
        }
    } else if (!IsNotFound(ec)) {
        return false;
    }
    std::unique_ptr<FileWriter> writer = file.TakeWriter();
    std::error_code closeEc;
    const bool written = writer->Write(data, ec) && writer->Sync(ec);
    const bool closed = writer->Close(closeEc);
    if (!written) {
        return false;
    }
    if (!closed) {
        ec = closeEc;
        return false;
    }
    if (!file.Place(true, ec)) {
        return false;
    }
    file.SyncFolder();
    return true;
}

}  // namespace veltrane
