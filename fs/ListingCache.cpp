#include "fs/ListingCache.h"

namespace veltrane {

bool CListingCache::List(const std::string& folder, const std::vector<DirEntry>*& entries,
                         std::error_code& ec) {
    auto [it, added] = m_listings.try_emplace(folder);
    Listing& listing = it->second;
    if (added) {
        listing.whole = ListFolder(folder, listing.entries, listing.ec);
    }
    entries = &listing.entries;
    ec = listing.ec;
    return listing.whole;
}

bool CListingCache::Identity(const std::string& path, FileIdentity& id) {
    auto [it, added] = m_identities.try_emplace(path);
    if (added) {
        it->second.known = GetFileIdentity(path, it->second.id);
    }
    id = it->second.id;
    return it->second.known;
}

}  // namespace veltrane
