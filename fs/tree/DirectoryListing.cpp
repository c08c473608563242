#include "fs/tree/DirectoryListing.h"

#include <cerrno>
#include <limits>

#ifdef _WIN32
#include <windows.h>

#include "fs/text/WidePath.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fs/text/PathParts.h"
#include "fs/text/WriteLeftover.h"

namespace veltrane {

namespace {

int32_t ClampTime(int64_t seconds) {
    if (seconds < 0 || seconds > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    return static_cast<int32_t>(seconds);
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<DirEntry>& out) {
    std::error_code ec;
    return ListFolder(folder, out, ec);
}

#ifdef _WIN32

namespace {

int64_t FileTimeToUnix(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    if (v.QuadPart == 0) {
        return 0;
    }
    FILETIME local;
    if (!FileTimeToLocalFileTime(&ft, &local)) {
        return 0;
    }
    v.LowPart = local.dwLowDateTime;
    v.HighPart = local.dwHighDateTime;
    return static_cast<int64_t>(v.QuadPart / 10000000ULL) - 11644473600LL;
}

void FillFromFindData(const WIN32_FIND_DATAW& data, CFileRecord& record) {
    record.m_attributes = data.dwFileAttributes;
    record.m_size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    record.m_creationTime = ClampTime(FileTimeToUnix(data.ftCreationTime));
    record.m_lastAccessTime = ClampTime(FileTimeToUnix(data.ftLastAccessTime));
    record.m_lastWriteTime = ClampTime(FileTimeToUnix(data.ftLastWriteTime));
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, std::error_code& ec) {
    out.clear();
    ec.clear();
    std::wstring pattern = ToWide(folder + "*");
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return true;  // a folder without even "." and "..": an empty drive root
        }
        ec = std::error_code(static_cast<int>(error), std::system_category());
        return false;
    }
    do {
        std::string name = FromWide(data.cFileName);
        if (!IsWriteLeftover(name)) {  // a temporary file a killed write left is nobody's content
            out.push_back({std::move(name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        }
    } while (FindNextFileW(h, &data));
    const DWORD error = GetLastError();
    FindClose(h);
    if (error != ERROR_NO_MORE_FILES) {
        ec = std::error_code(static_cast<int>(error), std::system_category());
        return false;
    }
    return true;
}

bool GetFileIdentity(const std::string& path, FileIdentity& id) {
    HANDLE h = CreateFileW(ToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (ok) {
        id.volume = info.dwVolumeSerialNumber;
        id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return ok;
}

bool QueryEntry(const std::string& path, CFileRecord& record) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    WIN32_FIND_DATAW find{};
    find.dwFileAttributes = data.dwFileAttributes;
    find.nFileSizeHigh = data.nFileSizeHigh;
    find.nFileSizeLow = data.nFileSizeLow;
    find.ftCreationTime = data.ftCreationTime;
    find.ftLastAccessTime = data.ftLastAccessTime;
    find.ftLastWriteTime = data.ftLastWriteTime;
    FillFromFindData(find, record);
    return true;
}

std::string NameAsStored(const std::string& path) {
    std::string name(LastComponent(path));
    if (name.find_first_of("*?") != std::string::npos) {
        return name;
    }
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(ToWide(path).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        return name;
    }
    FindClose(h);
    return FromWide(data.cFileName);
}

#else

bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, std::error_code& ec) {
    out.clear();
    ec.clear();
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    const int dfd = dirfd(dir);
    while (true) {
        errno = 0;  // readdir tells the end from an error only through errno
        struct dirent* e = readdir(dir);
        if (e == nullptr) {
            if (errno != 0) {
                ec = std::error_code(errno, std::generic_category());
            }
            break;
        }
        if (IsWriteLeftover(e->d_name)) {
            continue;  // a temporary file a killed write left is nobody's content
        }
        DirEntry entry;
        entry.name = e->d_name;
        struct stat st;
        if (e->d_type == DT_DIR) {
            entry.isFolder = true;
        } else if (e->d_type == DT_LNK) {
            entry.isLink = true;
            entry.isFolder = fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        } else if (e->d_type == DT_UNKNOWN && fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.isLink = S_ISLNK(st.st_mode);
            entry.isOther = !entry.isLink && !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode);
            entry.isFolder = S_ISDIR(st.st_mode) ||
                             (entry.isLink && fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode));
        } else {
            entry.isOther = e->d_type != DT_REG && e->d_type != DT_UNKNOWN;
        }
        out.push_back(std::move(entry));
    }
    closedir(dir);
    return !ec;
}

bool GetFileIdentity(const std::string& path, FileIdentity& id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    id.volume = static_cast<uint64_t>(st.st_dev);
    id.index = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool QueryEntry(const std::string& path, CFileRecord& record) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) {
        return false;
    }
    record.m_attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    record.m_size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    record.m_creationTime = ClampTime(st.st_ctim.tv_sec);
    record.m_lastAccessTime = ClampTime(st.st_atim.tv_sec);
    record.m_lastWriteTime = ClampTime(st.st_mtim.tv_sec);
    return true;
}

std::string NameAsStored(const std::string& path) {
    return std::string(LastComponent(path));
}

#endif

CFileRecord StoredRecord(const std::string& path) {
    CFileRecord found;
    if (!QueryEntry(path, found)) {
        return CFileRecord();
    }
    const std::string_view name = LastComponent(path);
    found.m_path = path.substr(0, path.size() - name.size()) + NameAsStored(path);
    return found;
}

}  // namespace veltrane
