#include "dialogs/NativeFolderFileSystem.h"

#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace veltrane {

namespace fs = std::filesystem;

fs::path CNativeFolderFileSystem::PathFromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string CNativeFolderFileSystem::Utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path CNativeFolderFileSystem::Resolve(const std::string& text) const {
    const fs::path typed = PathFromUtf8(text);
    if (typed.is_absolute()) {
        return typed;
    }
    const fs::path base = PathFromUtf8(m_base);
    if (typed.has_root_name()) {
        // "C:x": from the base folder when it is on that drive, else from the drive's root.
        std::string typedDrive = Utf8FromPath(typed.root_name());
        std::string baseDrive = Utf8FromPath(base.root_name());
        for (std::string* drive : {&typedDrive, &baseDrive}) {
            for (char& c : *drive) {
                c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            }
        }
        if (typedDrive == baseDrive) {
            return base / typed.relative_path();
        }
        return PathFromUtf8(typedDrive + "\\") / typed.relative_path();
    }
    if (typed.has_root_directory()) {
        return base.root_name() / typed;  // "\x": the root of the base folder's drive
    }
    return base / typed;
}

CFolderPickerFileSystem::Kind CNativeFolderFileSystem::Probe(const std::string& text) const {
    if (text.empty()) {
        return Kind::Missing;
    }
    std::error_code ec;
    const fs::file_status status = fs::status(Resolve(text), ec);
    if (ec || !fs::exists(status)) {
        return Kind::Missing;
    }
    return fs::is_directory(status) ? Kind::Folder : Kind::File;
}

bool CNativeFolderFileSystem::CreateFolders(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    const fs::path path = Resolve(text);
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        return false;
    }
    return fs::is_directory(path, ec) && !ec;
}

std::vector<CFolderPickerFileSystem::Entry> CNativeFolderFileSystem::List(
    const std::string& folderText) const {
    std::vector<Entry> entries;
    std::error_code ec;
    fs::directory_iterator it(Resolve(folderText), fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        Entry entry;
        entry.name = Utf8FromPath(it->path().filename());
        entry.isFolder = it->is_directory(typeError) && !typeError;  // a link to a folder counts
        entries.push_back(std::move(entry));
    }
    return entries;
}

DriveType CNativeFolderFileSystem::DriveTypeOf(char letter) const {
#ifdef _WIN32
    const wchar_t root[] = {static_cast<wchar_t>(static_cast<unsigned char>(letter)), L':', L'\\', L'\0'};
    const UINT type = GetDriveTypeW(root);
    return type <= 6 ? static_cast<DriveType>(type) : DriveType::Unknown;
#else
    (void)letter;
    return DriveType::NoRootDir;  // no drive letters here
#endif
}

}  // namespace veltrane
