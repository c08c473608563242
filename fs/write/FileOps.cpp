#include "fs/write/FileOps.h"

#include <atomic>
#include <cerrno>
#include <chrono>
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
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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
    std::string name(kWriteLeftoverPrefix);
    for (size_t i = 0; i < kWriteLeftoverRandomLength; ++i) {
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

// The path through which linkat reaches a file open as fd, even one that has no name.
std::string DescriptorPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

#ifdef O_TMPFILE
// A file made without a name can be given one later only through /proc.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}
#endif

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

int ReplacementFile::CreateNamed(unsigned createMode) {
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        m_tempName = ShortTemporaryName();
        fd = ::_wopen(ToWide(m_folder + m_tempName).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                      (createMode & 0222) ? (_S_IREAD | _S_IWRITE) : _S_IREAD);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    return fd;
}

// Windows makes no file without a name: the new file always has its temporary name.
bool ReplacementFile::Create(const std::string& targetPath, std::error_code& ec, unsigned createMode,
                             bool /*named*/) {
    ec.clear();
    if (!TakeTarget(targetPath, ec)) {
        return false;
    }
    const int fd = CreateNamed(createMode);
    if (fd < 0) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    m_writer = WriterForDescriptor(fd);
    m_fd = fd;
    m_tracked = true;
    return StateOfDescriptor(fd, m_created, ec);
}

bool ReplacementFile::NameUnnamed(std::error_code& ec) {
    ec.clear();
    return true;
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

bool ReplacementFile::Link(const std::string& from, const std::string& to, std::error_code& ec) const {
    ec.clear();
    if (!CreateHardLinkW(ToWide(m_folder + to).c_str(), ToWide(m_folder + from).c_str(), nullptr)) {
        ec = GetLastError() == ERROR_ALREADY_EXISTS ? std::make_error_code(std::errc::file_exists)
                                                    : LastWinError();
        return false;
    }
    return true;
}

bool ReplacementFile::RemoveIfSame(const std::string& name, const FileState& expected) const {
    FileState now;
    std::error_code ignored;
    return StateOfPath(m_folder + name, now, ignored) && now.SameFile(expected) &&
           DeleteFileW(ToWide(m_folder + name).c_str());
}

void ReplacementFile::SyncFolder() const {}  // MOVEFILE_WRITE_THROUGH already waited for the disk

int RemoveWriteLeftovers(const std::string& folder) {
    // Windows has no lock that ends with its process here: a file untouched for a minute belongs to
    // no write still in progress.
    constexpr std::chrono::seconds kAbandonedAfter{60};
    namespace stdfs = std::filesystem;
    std::error_code ec;
    stdfs::directory_iterator it(ToFsPath(folder.empty() ? "." : folder), ec);
    const auto now = stdfs::file_time_type::clock::now();
    int removed = 0;
    for (; !ec && it != stdfs::directory_iterator(); it.increment(ec)) {
        std::error_code entryEc;
        if (!IsWriteLeftover(FromFsPath(it->path().filename())) ||
            !stdfs::is_regular_file(it->symlink_status(entryEc))) {
            continue;
        }
        const auto written = it->last_write_time(entryEc);
        if (!entryEc && now - written >= kAbandonedAfter && DeleteFileW(it->path().c_str())) {
            ++removed;
        }
    }
    return removed;
}

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
    if (m_held >= 0) {
        ::close(m_held);
    }
    if (m_dir >= 0) {
        ::close(m_dir);
    }
}

int ReplacementFile::CreateNamed(unsigned createMode) {
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
    return fd;
}

bool ReplacementFile::Create(const std::string& targetPath, std::error_code& ec, unsigned createMode,
                             bool named) {
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
#ifdef O_TMPFILE
    if (!named && CanNameUnnamedFiles()) {
        do {
            fd = ::openat(m_dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC,
                          static_cast<mode_t>(createMode & 0666));
        } while (fd < 0 && errno == EINTR);
        // A file system without unnamed files says EOPNOTSUPP, an older kernel EISDIR or EINVAL: any
        // failure falls back to a named file, which reports the real error when there is one.
    }
#else
    (void)named;
#endif
    if (fd < 0) {
        fd = CreateNamed(createMode);
        if (fd < 0) {
            ec = Errno();
            m_tempName.clear();
            return false;
        }
        m_tracked = true;
    }
    // The held descriptor keeps the lock that tells RemoveWriteLeftovers the file is in use.
    m_held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_held < 0) {
        ec = Errno();
        ::close(fd);
        return false;
    }
    ::flock(m_held, LOCK_EX | LOCK_NB);
    m_writer = WriterForDescriptor(fd);
    m_fd = fd;
    return StateOfDescriptor(fd, m_created, ec);
}

bool ReplacementFile::NameUnnamed(std::error_code& ec) {
    ec.clear();
    if (m_held < 0 || !m_tempName.empty()) {
        return true;
    }
    const std::string self = DescriptorPath(m_held);
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_tempName = ShortTemporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), m_dir, m_tempName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_tracked = true;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    ec = Errno();
    m_tempName.clear();
    return false;
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
        if (::fchown(m_fd, from.owner, from.group) != 0) {
            // kept as ours
        }
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

bool ReplacementFile::Link(const std::string& from, const std::string& to, std::error_code& ec) const {
    ec.clear();
    if (::linkat(m_dir, from.c_str(), m_dir, to.c_str(), 0) != 0) {
        ec = Errno();
        return false;
    }
    return true;
}

bool ReplacementFile::RemoveIfSame(const std::string& name, const FileState& expected) const {
    FileState now;
    std::error_code ignored;
    return StateOfName(m_dir, name, now, ignored) && now.SameFile(expected) &&
           ::unlinkat(m_dir, name.c_str(), 0) == 0;
}

void ReplacementFile::SyncFolder() const {
    if (m_dir >= 0) {
        ::fsync(m_dir);
    }
}

namespace {

// Removes name from the folder when it is a regular file of ours that no write holds locked. The
// lock is taken on a descriptor of the file, which must still be what stands under the name.
bool RemoveIfAbandoned(int dirFd, const char* name, uid_t me) {
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        (me != 0 && st.st_uid != me)) {
        return false;
    }
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat opened;
    const bool abandoned = ::fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev &&
                           opened.st_ino == st.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = abandoned && ::unlinkat(dirFd, name, 0) == 0;
    ::close(fd);
    return removed;
}

}  // namespace

int RemoveWriteLeftovers(const std::string& folder) {
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return 0;
    }
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return 0;
    }
    const uid_t me = ::geteuid();
    int removed = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        if (IsWriteLeftover(entry->d_name) && RemoveIfAbandoned(dirFd, entry->d_name, me)) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

#endif

std::unique_ptr<FileWriter> ReplacementFile::TakeWriter() {
    m_fd = -1;
    return std::move(m_writer);
}

bool ReplacementFile::StillOurs(std::error_code& ec) const {
    ec.clear();
    if (m_tempName.empty()) {
        return true;  // no name yet: nobody else can reach the file
    }
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
    ec.clear();
#ifndef _WIN32
    if (m_held >= 0 && m_tempName.empty() && !replace) {
        // A link never replaces anything: the unnamed file takes the target's name directly.
        if (::linkat(AT_FDCWD, DescriptorPath(m_held).c_str(), m_dir, m_targetName.c_str(),
                     AT_SYMLINK_FOLLOW) != 0) {
            ec = Errno();
            return false;
        }
        return true;
    }
#endif
    // Replacing takes a rename, which needs a name to rename from.
    if (!NameUnnamed(ec) || !StillOurs(ec) || !Rename(m_tempName, m_targetName, replace, ec)) {
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
