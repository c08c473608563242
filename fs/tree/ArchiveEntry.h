#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

// One entry of an archive, in archive order.
struct ArchiveEntry {
    std::string stored;  // the name as the archive stores it
    int node = -1;       // where it stands in the tree (CArchiveTree::PathOf); -1 for an unsafe entry
    bool folder = false;
    bool encrypted = false;  // its data (or its header) is encrypted
    bool backslash = false;  // the stored name separates its folders with backslashes
    bool unsafe = false;     // absolute, or climbing out with "..": kept out of the tree
    bool nested = false;     // a file named like an archive: what it packs is not checked
    uint64_t size = 0;
};

// One way an archive would not unpack as it lists (an unpacker refuses it, or unpacks something
// else), or a place where its reading skipped or stopped.
struct ArchiveDamage {
    std::string path;  // the entry's path as it would unpack; the archive's own for a place in its bytes
    std::string text;  // what is wrong, naming the offset for a place in its bytes
};

// An archive's damage, in the order met: the first kKept notes, and how many more there were, so
// that a hostile archive costs no more than these.
struct ArchiveDamageNotes {
    static constexpr size_t kKept = 100;
    std::vector<ArchiveDamage> kept;
    size_t more = 0;

    bool Empty() const { return kept.empty(); }
};

}  // namespace veltrane
