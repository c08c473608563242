#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fs/text/Ascii.h"

namespace veltrane {

class CPackageTree;

// Finds a file below a folder by path components whose letter case may differ from the names on
// disk, as on the case-blind default volumes of Windows and the Mac. Each folder is listed at most
// once per resolver, however many references lead through it.
class CCaseResolver {
public:
    enum class Match {
        None,          // no file there, whatever the case
        Exact,         // every component matched as spelt
        IgnoringCase,  // found only when letters are compared without regard to case
    };
    struct Result {
        Match match = Match::None;
        std::string path;  // the file as stored, base + names + separators; empty for None
    };

    CCaseResolver();
    ~CCaseResolver();
    CCaseResolver(const CCaseResolver&) = delete;
    CCaseResolver& operator=(const CCaseResolver&) = delete;

    // Resolves components below base (a folder path ending in a separator): every component but the
    // last names a folder, the last a file that is not a folder. A spelling that matches exactly is
    // preferred at each step.
    Result Resolve(const std::string& base, const std::vector<std::string_view>& components);

    // The stored name of the entry in folder (ending in a separator) that is name ignoring case, a
    // folder when wantFolder; exact spelling first. Empty when there is none.
    std::string FindEntry(const std::string& folder, std::string_view name, bool wantFolder);

    // Folders are listed through this package tree (the file system's listings without one).
    void SetTree(CPackageTree* tree) { m_tree = tree; }

private:
    struct Folder;
    const Folder& Listing(const std::string& folder);

    std::unordered_map<std::string, std::unique_ptr<Folder>> m_folders;
    CPackageTree* m_tree = nullptr;
};

}  // namespace veltrane
