#pragma once

#include <cstddef>
#include <string_view>

namespace veltrane {

// The names the safe-write core (fs/write) gives its temporary files: a dot, "vt" and ten
// lowercase letters or digits. Kept here, below both the write core and the folder listing, so
// that the listing can leave out what an interrupted write left behind.
inline constexpr std::string_view kWriteLeftoverPrefix = ".vt";
inline constexpr size_t kWriteLeftoverRandomLength = 10;

// True when name has the exact form of a temporary file of the write core.
constexpr bool IsWriteLeftover(std::string_view name) {
    if (name.size() != kWriteLeftoverPrefix.size() + kWriteLeftoverRandomLength ||
        name.substr(0, kWriteLeftoverPrefix.size()) != kWriteLeftoverPrefix) {
        return false;
    }
    for (char c : name.substr(kWriteLeftoverPrefix.size())) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

}  // namespace veltrane
