#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace veltrane {

// Which path grammar to apply. Windows: drive letters ("C:"), "\" and "/" as separators.
// Posix: no drives, "/" only. Native is the grammar of the platform we run on.
enum class PathStyle { Windows, Posix };

#ifdef _WIN32
inline constexpr PathStyle kNativeStyle = PathStyle::Windows;
inline constexpr char kSeparator = '\\';
#else
inline constexpr PathStyle kNativeStyle = PathStyle::Posix;
inline constexpr char kSeparator = '/';
#endif

// The four parts of a path: drive + directory + base name + extension == the whole path.
struct PathParts {
    std::string_view drive;      // "C:" or empty
    std::string_view directory;  // up to and including the last separator, after the drive
    std::string_view baseName;   // the rest up to its last dot
    std::string_view extension;  // from that last dot to the end, dot included, or empty
};

// Splits path by the rules of style. The views point into path.
PathParts SplitPath(std::string_view path, PathStyle style = kNativeStyle);

bool IsSeparator(char c, PathStyle style = kNativeStyle);

// True when path ends in a separator of the style.
bool EndsWithSeparator(std::string_view path, PathStyle style = kNativeStyle);

// Appends the native separator unless path already ends in a separator.
std::string WithTrailingSeparator(std::string path, PathStyle style = kNativeStyle);

// The last component of a path; for a path that ends in separators the last folder name with its
// trailing separator, as the shell's "find file name" does ("C:\a\Props\" -> "Props\").
// A drive root ("C:\", "/") is returned whole.
std::string_view LastComponent(std::string_view path, PathStyle style = kNativeStyle);

// The std::filesystem form of a path held as UTF-8 text (the wide form on Windows), and back.
std::filesystem::path ToFsPath(const std::string& path);
std::string FromFsPath(const std::filesystem::path& path);

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when the bytes there are not one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
size_t Utf8SequenceLength(std::string_view text, size_t i);

// Number of characters of a name: Unicode code points when the text is valid UTF-8, else bytes.
size_t CharacterCount(std::string_view text);

}  // namespace veltrane
