#pragma once

#include <cstdint>
#include <string>

namespace veltrane {

// One entry of an archive, in archive order.
struct ArchiveEntry {
    std::string stored;  // the name as the archive stores it
    int node = -1;       // where it stands in the tree (CArchiveTree::PathOf); -1 for an unsafe entry
    bool folder = false;
    bool encrypted = false;  // its data (or its header) is encrypted
    bool backslash = false;  // the stored name separates its folders with backslashes
    bool unsafe = false;     // absolute, or climbing out with "..": kept out of the tree
    uint64_t size = 0;
};

}  // namespace veltrane
