#include "fs/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#ifdef _WIN32
#include <windows.h>

#include "fs/WidePath.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fs/PathParts.h"

namespace veltrane {

namespace {

enum class FileError {
    Unknown,
    NotFound,
    BadPath,
    TooManyOpen,
    AccessDenied,
    DirectoryFull,
    Hardware,
    Sharing,
    DiskFull
};

FileError Classify(const std::error_code& ec) {
#ifdef _WIN32
    if (ec.category() == std::system_category()) {
        switch (ec.value()) {
            case ERROR_FILE_NOT_FOUND:
                return FileError::NotFound;
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME:
            case ERROR_BAD_PATHNAME:
            case ERROR_INVALID_DRIVE:
            case ERROR_FILENAME_EXCED_RANGE:
                return FileError::BadPath;
            case ERROR_TOO_MANY_OPEN_FILES:
                return FileError::TooManyOpen;
            case ERROR_ACCESS_DENIED:
            case ERROR_FILE_EXISTS:
            case ERROR_ALREADY_EXISTS:
            case ERROR_WRITE_PROTECT:
                return FileError::AccessDenied;
            case ERROR_CANNOT_MAKE:
                return FileError::DirectoryFull;
            case ERROR_CRC:
            case ERROR_GEN_FAILURE:
            case ERROR_READ_FAULT:
            case ERROR_WRITE_FAULT:
                return FileError::Hardware;
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
                return FileError::Sharing;
            case ERROR_DISK_FULL:
            case ERROR_HANDLE_DISK_FULL:
                return FileError::DiskFull;
            default:
                return FileError::Unknown;
        }
    }
#endif
    const std::error_condition cond = ec.default_error_condition();
    if (cond == std::errc::no_such_file_or_directory)
        return FileError::NotFound;
    if (cond == std::errc::not_a_directory || cond == std::errc::filename_too_long ||
        cond == std::errc::invalid_argument || cond == std::errc::is_a_directory)
        return FileError::BadPath;
    if (cond == std::errc::too_many_files_open || cond == std::errc::too_many_files_open_in_system)
        return FileError::TooManyOpen;
    if (cond == std::errc::permission_denied || cond == std::errc::operation_not_permitted ||
        cond == std::errc::file_exists || cond == std::errc::read_only_file_system)
        return FileError::AccessDenied;
    if (cond == std::errc::too_many_links)
        return FileError::DirectoryFull;
    if (cond == std::errc::io_error)
        return FileError::Hardware;
    if (cond == std::errc::device_or_resource_busy || cond == std::errc::text_file_busy)
        return FileError::Sharing;
    if (cond == std::errc::no_space_on_device)
        return FileError::DiskFull;
#ifdef EDQUOT
    if (ec.category() == std::generic_category() && ec.value() == EDQUOT)
        return FileError::DiskFull;
#endif
    return FileError::Unknown;
}

std::string TempNameFor(const std::string& path) {
    std::random_device rd;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(rd()));
    return path + suffix;
}

}  // namespace

std::string FileErrorText(const std::error_code& ec, const std::string& path) {
    switch (Classify(ec)) {
        case FileError::NotFound:
            return path + " was not found.";
        case FileError::BadPath:
            return path + " contains an invalid path.";
        case FileError::TooManyOpen:
            return path + " could not be opened because there are too many open files.";
        case FileError::AccessDenied:
            return "Access to " + path + " was denied.";
        case FileError::DirectoryFull:
            return path + " could not be created because the directory is full.";
        case FileError::Hardware:
            return "A hardware I/O error was reported while accessing " + path + ".";
        case FileError::Sharing:
            return "A sharing violation occurred while accessing " + path + ".";
        case FileError::DiskFull:
            return "Disk full while accessing " + path + ".";
        case FileError::Unknown:
            break;
    }
    return "An unknown error occurred while accessing " + path + ".";
}

#ifdef _WIN32

bool RenameNoReplace(const std::string& from, const std::string& to, std::error_code& ec) {
    ec.clear();
    if (!MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::error_code& ec) {
    ec.clear();
    const std::string temp = TempNameFor(path);
    const std::wstring wtemp = ToWide(temp);
    HANDLE h =
        CreateFileW(wtemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 20));
        DWORD written = 0;
        ok = WriteFile(h, data.data() + done, piece, &written, nullptr) && written == piece;
        done += written;
    }
    ok = ok && FlushFileBuffers(h);
    if (!ok) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    }
    CloseHandle(h);
    if (ok && !MoveFileExW(wtemp.c_str(), ToWide(path).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        ok = false;
    }
    if (!ok) {
        DeleteFileW(wtemp.c_str());
    }
    return ok;
}

#else

bool RenameNoReplace(const std::string& from, const std::string& to, std::error_code& ec) {
    ec.clear();
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    // The file system cannot rename without replacing: a hard link refuses an existing target too.
    if (link(from.c_str(), to.c_str()) != 0) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    if (unlink(from.c_str()) != 0) {
        ec = std::error_code(errno, std::generic_category());
        unlink(to.c_str());
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::error_code& ec) {
    ec.clear();
    // Keep the permission bits of the file being replaced; a new file gets the usual 0666 - umask.
    mode_t mode = 0666;
    struct stat st;
    bool existed = stat(path.c_str(), &st) == 0;
    if (existed) {
        mode = st.st_mode & 07777;
    }
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = TempNameFor(path);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existed ? mode : 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ec = std::error_code(n < 0 ? errno : EIO, std::generic_category());
            ok = false;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    if (ok && existed) {
        fchmod(fd, mode);
    }
    if (ok && fsync(fd) != 0) {
        ec = std::error_code(errno, std::generic_category());
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        ec = std::error_code(errno, std::generic_category());
        ok = false;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ec = std::error_code(errno, std::generic_category());
        ok = false;
    }
    if (!ok) {
        unlink(temp.c_str());
    }
    return ok;
}

#endif

}  // namespace veltrane
