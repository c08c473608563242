#include "checks/CaseResolver.h"

#include "fs/text/Ascii.h"
#include "fs/text/PathParts.h"
#include "fs/tree/DirectoryListing.h"
#include "fs/tree/PackageTree.h"

namespace veltrane {

// One folder's listing, with its names indexed by their lowered spelling.
struct CCaseResolver::Folder {
    std::vector<DirEntry> entries;
    std::unordered_multimap<std::string, size_t> byLowered;
};

CCaseResolver::CCaseResolver() = default;
CCaseResolver::~CCaseResolver() = default;

const CCaseResolver::Folder& CCaseResolver::Listing(const std::string& folder) {
    auto it = m_folders.find(folder);
    if (it != m_folders.end()) {
        return *it->second;
    }
    auto listing = std::make_unique<Folder>();
    // A folder that cannot be listed holds nothing found.
    if (m_tree) {
        m_tree->ListInto(folder, listing->entries);
    } else {
        ListFolder(folder, listing->entries);
    }
    for (size_t i = 0; i < listing->entries.size(); ++i) {
        const std::string& name = listing->entries[i].name;
        if (name != "." && name != "..") {
            listing->byLowered.emplace(AsciiLowered(name), i);
        }
    }
    return *m_folders.emplace(folder, std::move(listing)).first->second;
}

std::string CCaseResolver::FindEntry(const std::string& folder, std::string_view name, bool wantFolder) {
    const Folder& listing = Listing(folder);
    const auto [first, last] = listing.byLowered.equal_range(AsciiLowered(name));
    const DirEntry* found = nullptr;
    for (auto it = first; it != last; ++it) {
        const DirEntry& entry = listing.entries[it->second];
        if (entry.isFolder != wantFolder) {
            continue;
        }
        if (entry.name == name) {
            return entry.name;
        }
        if (found == nullptr) {
            found = &entry;
        }
    }
    return found != nullptr ? found->name : std::string();
}

CCaseResolver::Result CCaseResolver::Resolve(const std::string& base,
                                             const std::vector<std::string_view>& components) {
    Result result;
    if (components.empty()) {
        return result;
    }
    std::string path = base;
    bool exact = true;
    for (size_t i = 0; i < components.size(); ++i) {
        const bool last = i + 1 == components.size();
        const std::string name = FindEntry(path, components[i], !last);
        if (name.empty()) {
            return result;
        }
        exact = exact && name == components[i];
        path += name;
        if (!last) {
            path += kSeparator;
        }
    }
    result.match = exact ? Match::Exact : Match::IgnoringCase;
    result.path = std::move(path);
    return result;
}

}  // namespace veltrane
