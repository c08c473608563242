#include "fs/run/FileErrors.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

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
            case ERROR_FILE_TOO_LARGE:
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
    if (cond == std::errc::no_space_on_device || cond == std::errc::file_too_large)
        return FileError::DiskFull;
#ifdef EDQUOT
    if (ec.category() == std::generic_category() && ec.value() == EDQUOT)
        return FileError::DiskFull;
#endif
    return FileError::Unknown;
}

}  // namespace

bool IsNotFoundError(const std::error_code& ec) {
    return Classify(ec) == FileError::NotFound;
}

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

}  // namespace veltrane
