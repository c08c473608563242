#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "checks/Finding.h"
#include "fs/tree/PackageTree.h"

namespace veltrane {

// What Package Check's store rules judge in one run.
struct PackageRulesInput {
    CPackageTree& tree;
    std::string walked;   // the folder the walk began at, ending in a separator: names below it are judged
    std::string root;     // the package root, ending in a separator
    std::string runtime;  // its Runtime folder, ending in a separator; empty when there is none
    const std::vector<std::string>& files;              // every file the walk found
    const std::vector<bool>& listedRegular;             // per file: see HeadReadOptions
    std::function<bool(const std::string&)> isLibrary;  // a library file Package Check reads
    unsigned threads = 1;                               // ReadThreads of the run
};

// The rules a store's tester applies to a package: names that unpack everywhere (the names the walk
// has, no more system calls), clutter and case collisions in a folder (an archive reports its own
// from its entries), thumbnails, a readme, empty files and images that are not what their extension
// says. The files whose first bytes are judged begin to be read when this is made, beside the rest of
// the run; at most kHeadBytes of each.
class CPackageRules {
public:
    static constexpr size_t kHeadBytes = 32;

    explicit CPackageRules(const PackageRulesInput& input);
    ~CPackageRules();
    CPackageRules(const CPackageRules&) = delete;
    CPackageRules& operator=(const CPackageRules&) = delete;

    // Adds the findings, in the order of the files.
    void AddFindings(Findings& out);

private:
    enum class Role { Thumbnail, Texture, Geometry };
    struct Judged {
        const std::string* file;
        Role role;
    };

    // A judged path, whose name starts at nameAt; looked up by its parent and its name in any letter case.
    struct FoldedName {
        std::string_view path;
        size_t nameAt = 0;
    };
    struct FoldedHash {
        size_t operator()(const FoldedName& key) const;
    };
    struct FoldedEqual {
        bool operator()(const FoldedName& a, const FoldedName& b) const;
    };
    struct NameState {
        std::unordered_set<std::string> seen;  // folders judged
        // Parent and name in any case: the first path in byte order. The paths are the run's files and
        // the folders in seen, which stay where they are.
        std::unordered_map<FoldedName, std::string_view, FoldedHash, FoldedEqual> byFoldedName;
    };
    bool JudgeName(const std::string& path, size_t nameAt, bool isFile, NameState& state,
                   Findings& out) const;
    void AddNameFindings(Findings& out) const;
    void AddThumbnailAndReadme(Findings& out) const;

    PackageRulesInput m_in;
    std::vector<const std::string*> m_missingThumbnail;  // library files without their PNG
    std::vector<Judged> m_judged;                        // files whose heads are read, in list order
    std::unique_ptr<CHeadReads> m_heads;
};

// Whether a file of this name is clutter that a packing system leaves: .DS_Store, Thumbs.db,
// desktop.ini, or an AppleDouble "._name" file.
bool IsJunkFileName(std::string_view name);

// The report's section header of a store rule; null for the other rules.
const char* PackageRuleHeader(Rule rule);

// The image format that bytes begin with ("JPEG", "PNG", "BMP", "GIF", "TIFF"), or null.
const char* ImageFormatOf(std::string_view bytes);

// Why Windows cannot create a file or folder of this name, or it breaks on unpacking; empty when it can.
std::string UnportableNameReason(std::string_view name);

}  // namespace veltrane
