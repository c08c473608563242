#pragma once

#include <string>
#include <vector>

namespace veltrane::test {

// One entry to write into a test archive; a name ending in "/" is a folder. With link set the entry
// is a symbolic link to it (a hard link when hard), with no data.
struct ArchiveItem {
    std::string name;
    std::string data;
    std::string link = {};
    bool hard = false;
};

enum class ArchiveFormat { Zip, SevenZip, TarGz, Tar };

// Writes items, in order, into a new archive at path with the library's writer; with encrypt the zip
// entries get traditional PKWARE encryption. False when the writer refused.
bool WriteArchive(const std::string& path, ArchiveFormat format, const std::vector<ArchiveItem>& items,
                  bool encrypt = false);

// The items of everything below folder, folder by folder in the platform's listing order (as a
// packer that walks the folder would store them), names relative to folder.
std::vector<ArchiveItem> ItemsOfFolder(const std::string& folder);

}  // namespace veltrane::test
