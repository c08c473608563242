#pragma once

#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "fs/DirectoryListing.h"

namespace veltrane {

// The folder listings and folder identities of one walk of a tree, kept so that later scans of the
// same tree (with other patterns, orders or options) ask the file system nothing again. The first
// request for a folder lists it and keeps the answer, failure included; every later request gets
// that same answer. Attach it to scans through ScanOptions::listings.
class CListingCache {
public:
    // As ListFolder: false, with ec, when the folder could not be listed whole. The entries stay
    // owned by the cache and live as long as it does.
    bool List(const std::string& folder, const std::vector<DirEntry>*& entries, std::error_code& ec);

    // As GetFileIdentity.
    bool Identity(const std::string& path, FileIdentity& id);

    size_t FoldersListed() const { return m_listings.size(); }

private:
    struct Listing {
        std::vector<DirEntry> entries;
        std::error_code ec;
        bool whole = false;
    };
    struct KnownIdentity {
        FileIdentity id;
        bool known = false;
    };
    std::unordered_map<std::string, Listing> m_listings;
    std::unordered_map<std::string, KnownIdentity> m_identities;
};

}  // namespace veltrane
