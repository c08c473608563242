#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "fs/tree/FileRecord.h"

namespace veltrane {

// One entry of a folder listing, "." and ".." included, in the platform's order.
struct DirEntry {
    std::string name;
    bool isFolder = false;  // a link to a folder counts as a folder
    bool isLink = false;    // a symbolic link (to whatever it leads to)
    bool isOther = false;   // neither a folder, a link nor a regular file: a FIFO, a device, a socket
};

// Lists folder (ending in a separator), leaving out the temporary files of killed writes
// (IsWriteLeftover). False, with ec saying why, when it cannot be listed whole:
// it cannot be opened (missing, no permission, path too long; out is then empty) or reading its
// entries failed part way (out holds the entries read before the error).
bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, std::error_code& ec);
bool ListFolder(const std::string& folder, std::vector<DirEntry>& out);

// What identifies a folder on its volume (device and inode, or volume serial and file index).
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Identity of what path leads to, links followed.
bool GetFileIdentity(const std::string& path, FileIdentity& id);

// Fills attributes, size and times of the entry at path (links followed; a broken link is
// described as itself). False when nothing is there.
bool QueryEntry(const std::string& path, CFileRecord& record);

// The record of the entry at path as QueryEntry fills it, its name spelt as the file system spells it;
// a default record when nothing is there.
CFileRecord StoredRecord(const std::string& path);

// The entry's name as the file system spells it (differs in letter case on Windows), or the
// given name when it cannot be looked up.
std::string NameAsStored(const std::string& path);

}  // namespace veltrane
