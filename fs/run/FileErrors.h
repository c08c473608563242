#pragma once

#include <string>
#include <system_error>

namespace veltrane {

// The program's file-error text for a failed operation on path, e.g.
// "Access to /a/b.txt was denied." or "Disk full while accessing /a/b.txt.".
std::string FileErrorText(const std::error_code& ec, const std::string& path);

// Whether ec says that nothing was found at the path.
bool IsNotFoundError(const std::error_code& ec);

}  // namespace veltrane
