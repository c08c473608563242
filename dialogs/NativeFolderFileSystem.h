#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dialogs/FolderPickerFileSystem.h"

namespace veltrane {

// The folder picker's questions answered by the real file system. Relative texts count from the
// base folder, which the picker keeps on the folder it shows.
class CNativeFolderFileSystem final : public CFolderPickerFileSystem {
public:
    void SetBaseFolder(std::string folder) { m_base = std::move(folder); }
    const std::string& BaseFolder() const { return m_base; }

    // The path text names: absolute texts as they are, relative ones joined to the base folder
    // (on Windows "\x" and "C:x" keep the base folder's drive, or the root of their own drive).
    std::filesystem::path Resolve(const std::string& text) const;

    Kind Probe(const std::string& text) const override;
    bool CreateFolders(const std::string& text) override;
    std::vector<Entry> List(const std::string& folderText) const override;
    DriveType DriveTypeOf(char letter) const override;

    // UTF-8 text <-> path, the same on every platform.
    static std::filesystem::path PathFromUtf8(const std::string& text);
    static std::string Utf8FromPath(const std::filesystem::path& path);

private:
    std::string m_base;
};

}  // namespace veltrane
