#pragma once

#ifdef _WIN32
#include <string>

namespace veltrane {

// UTF-8 <-> UTF-16 for the wide Windows API. Invalid input converts with replacement characters.
std::wstring ToWide(const std::string& utf8);
std::string FromWide(const std::wstring& wide);
std::string FromWide(const wchar_t* wide);

}  // namespace veltrane
#endif
