#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace veltrane {

// Renames from to to, never replacing an existing file: fails with file_exists when to exists.
bool RenameNoReplace(const std::string& from, const std::string& to, std::error_code& ec);

// Replaces the file at path with data: writes a temporary file in the same folder, flushes it to
// disk and renames it over path. On failure the file at path is as it was and no temporary file
// is left.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::error_code& ec);

// The program's file-error text for a failed operation on path, e.g.
// "Access to /a/b.txt was denied." or "Disk full while accessing /a/b.txt.".
std::string FileErrorText(const std::error_code& ec, const std::string& path);

}  // namespace veltrane
