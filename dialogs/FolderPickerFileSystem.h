#pragma once

#include <string>
#include <vector>

namespace veltrane {

// Type of a drive, numbered as the Windows drive query numbers them. Only the Windows path
// grammar asks for it.
enum class DriveType {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// True for the two values that mean "there is no such drive".
inline bool IsMissingDrive(DriveType type) {
    return type == DriveType::Unknown || type == DriveType::NoRootDir;
}

// The file-system questions the folder picker asks about typed texts. Texts are passed as typed;
// a relative text counts from the folder the picker shows.
class CFolderPickerFileSystem {
public:
    enum class Kind { Missing, Folder, File };

    struct Entry {
        std::string name;
        bool isFolder = false;
    };

    virtual ~CFolderPickerFileSystem() = default;

    // What text names: nothing (also when it cannot be examined), a folder, or something else.
    virtual Kind Probe(const std::string& text) const = 0;

    // Creates the folder text names with every missing folder above it; true on success.
    virtual bool CreateFolders(const std::string& text) = 0;

    // The entries of the folder text names ("" is the folder shown), in the order the file system
    // returns them, without "." and "..". Empty when it cannot be listed.
    virtual std::vector<Entry> List(const std::string& folderText) const = 0;

    // Type of the drive with this letter (Windows grammar only).
    virtual DriveType DriveTypeOf(char letter) const = 0;
};

}  // namespace veltrane
