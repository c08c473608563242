#pragma once

#include <cstdint>
#include <string>

#include "fs/text/PathParts.h"

namespace veltrane {

inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;  // what a plain file carries on POSIX
inline constexpr uint32_t kAttrDevice = 0x40;   // listed as neither a folder nor a regular file
// Reached through a symbolic link (a link itself, or below a linked folder): read, never rewritten.
inline constexpr uint32_t kAttrThroughLink = 0x400;

// One directory entry as the file system reported it, with its path parts.
class CFileRecord {
public:
    std::string m_path;                   // folder text + entry name; a folder has no trailing separator
    uint32_t m_attributes = 0xFFFFFFFFu;  // 0x10 marks a folder
    uint64_t m_size = 0;
    int32_t m_creationTime = 0;  // seconds since 1970, 0 when unknown
    int32_t m_lastAccessTime = 0;
    int32_t m_lastWriteTime = 0;

    CFileRecord() = default;
    explicit CFileRecord(std::string path, uint32_t attributes = kAttrArchive)
        : m_path(std::move(path)), m_attributes(attributes) {}

    bool IsFolder() const { return (m_attributes & kAttrDirectory) != 0; }
    // Listed as a regular file and reached through no link: its open needs no look first.
    bool ListedRegular() const {
        return (m_attributes & (kAttrDirectory | kAttrDevice | kAttrThroughLink)) == 0;
    }

    // Path parts by the native grammar (see SplitPath for other grammars).
    std::string GetDrive() const { return std::string(SplitPath(m_path).drive); }
    std::string GetDirectory() const { return std::string(SplitPath(m_path).directory); }
    std::string GetBaseName() const { return std::string(SplitPath(m_path).baseName); }
    std::string GetExtension() const { return std::string(SplitPath(m_path).extension); }
    std::string GetFolderPart() const;  // drive + directory
    std::string GetNamePart() const;    // base name + extension

    bool operator==(const CFileRecord&) const = default;
};

}  // namespace veltrane
