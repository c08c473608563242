#include "support/TestTree.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "fs/text/PathParts.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>
#define VELTRANE_GETPID _getpid
#else
#include <dirent.h>
#include <unistd.h>
#define VELTRANE_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace veltrane::test {

namespace {
std::atomic<unsigned> g_counter{0};
}

TempDir::TempDir() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        base = fs::current_path();
    }
    // The process id keeps parallel test programs apart, the counter the folders of one program.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        fs::path candidate = base / ("veltrane-test-" + std::to_string(VELTRANE_GETPID()) + "-" +
                                     std::to_string(g_counter.fetch_add(1)));
        if (fs::create_directory(candidate, ec) && !ec) {
            m_root = FromFsPath(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder under " + base.string());
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(ToFsPath(m_root), ec);
}

std::string TempDir::Path(std::string_view rel) const {
    if (rel.empty()) {
        return m_root;
    }
    return FromFsPath(ToFsPath(m_root) / ToFsPath(std::string(rel)).make_preferred());
}

std::string TempDir::WriteFile(std::string_view rel, std::string_view bytes) const {
    std::string path = Path(rel);
    std::error_code ec;
    fs::create_directories(ToFsPath(path).parent_path(), ec);
    std::ofstream out(ToFsPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

std::string TempDir::MakeDir(std::string_view rel) const {
    std::string path = Path(rel);
    std::error_code ec;
    fs::create_directories(ToFsPath(path), ec);
    if (ec) {
        throw std::runtime_error("cannot create " + path);
    }
    return path;
}

std::string TempDir::ReadFile(const std::string& path) {
    std::ifstream in(ToFsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int TempDir::ListingPosition(const std::string& folder, const std::string& name) {
#ifdef _WIN32
    // The Windows listing starts with "." and ".." and then gives what directory_iterator gives.
    if (name == ".") {
        return 0;
    }
    if (name == "..") {
        return 1;
    }
    int index = 2;
    std::error_code ec;
    for (fs::directory_iterator it(ToFsPath(folder), ec), end; !ec && it != end; it.increment(ec), ++index) {
        if (FromFsPath(it->path().filename()) == name) {
            return index;
        }
    }
    return -1;
#else
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return -1;
    }
    int found = -1;
    int index = 0;
    while (struct dirent* entry = readdir(dir)) {
        if (name == entry->d_name) {
            found = index;
            break;
        }
        ++index;
    }
    closedir(dir);
    return found;
#endif
}

UnreadableFile::UnreadableFile(const std::string& path) {
#ifdef _WIN32
    m_handle = CreateFileW(ToFsPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot hold " + path);
    }
#else
    std::error_code ec;
    fs::create_symlink(path + ".nowhere", path, ec);
    if (ec) {
        throw std::runtime_error("cannot link " + path);
    }
#endif
}

UnreadableFile::~UnreadableFile() {
#ifdef _WIN32
    CloseHandle(m_handle);
#endif
}

}  // namespace veltrane::test
