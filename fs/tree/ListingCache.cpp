#include "fs/tree/ListingCache.h"

#include <iterator>
#include <utility>

#include "fs/text/PathParts.h"

namespace veltrane {

bool CListingCache::List(const std::string& folder, const std::vector<DirEntry>*& entries,
                         std::error_code& ec) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_listed.wait(lock, [&] { return m_inProgress.count(folder) == 0; });
    auto it = m_listings.find(folder);
    if (it == m_listings.end()) {
        m_inProgress.insert(folder);
        ListNow(folder, lock, false);
        it = m_listings.find(folder);
    }
    // Stored listings never change, and the map's nodes stay where they are.
    const Listing& listing = it->second;
    entries = &listing.entries;
    ec = listing.ec;
    return listing.whole;
}

bool CListingCache::Identity(const std::string& path, FileIdentity& id) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto it = m_identities.find(path);
    if (it == m_identities.end()) {
        lock.unlock();
        KnownIdentity found;
        found.known = GetFileIdentity(path, found.id);
        lock.lock();
        it = m_identities.try_emplace(path, found).first;  // a thread that was quicker has the answer
    }
    id = it->second.id;
    return it->second.known;
}

void CListingCache::ListNow(const std::string& folder, std::unique_lock<std::mutex>& lock, bool byThread) {
    const bool ahead = m_ahead;
    lock.unlock();
    Listing listing;
    listing.whole = ListFolder(folder, listing.entries, listing.ec);
    // Listing ahead, the subfolders' identities are needed to go on, and the scan asks for them too.
    std::vector<std::pair<std::string, KnownIdentity>> subfolders;
    if (ahead) {
        for (auto e = listing.entries.rbegin(); e != listing.entries.rend(); ++e) {
            if (e->isFolder && e->name != "." && e->name != "..") {
                KnownIdentity identity;
                std::string sub = folder + e->name + kSeparator;
                identity.known = GetFileIdentity(sub, identity.id);
                subfolders.emplace_back(std::move(sub), identity);
            }
        }
    }
    lock.lock();
    m_listings.try_emplace(folder, std::move(listing));
    m_inProgress.erase(folder);
    // Subfolders come last first: at the back the first ends up last, where the scan needs it next.
    for (auto& [sub, identity] : subfolders) {
        const KnownIdentity& stored = m_identities.try_emplace(sub, identity).first->second;
        if (stored.known && m_visited.insert(stored.id).second && m_listings.count(sub) == 0) {
            if (byThread) {
                m_pending.push_front(std::move(sub));
            } else {
                m_pending.push_back(std::move(sub));
            }
        }
    }
    m_listed.notify_all();
    // A thread that sleeps is woken for a handful of folders, not for each one.
    if (m_sleeping > 0 && m_pending.size() >= kWakeBatch) {
        m_work.notify_one();
    }
}

void CListingCache::ListAhead(const std::string& folder, unsigned threads) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (threads < 2 || m_ahead || !m_listings.empty()) {
        return;
    }
    KnownIdentity root;
    lock.unlock();
    root.known = GetFileIdentity(folder, root.id);
    lock.lock();
    m_identities.try_emplace(folder, root);
    if (root.known) {
        m_visited.insert(root.id);
    }
    m_ahead = true;
    m_stop = false;
    m_pending.push_back(folder);
    for (unsigned i = 1; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { Work(); });
        } catch (...) {
            break;  // fewer threads: the scan lists what they would have
        }
    }
}

void CListingCache::StopListingAhead() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_ahead) {
            return;
        }
        m_stop = true;
    }
    m_work.notify_all();
    m_listed.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.clear();
    m_pending.clear();
    m_ahead = false;
}

void CListingCache::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (m_pending.empty()) {
            ++m_sleeping;
            m_work.wait(lock, [&] { return m_stop || m_pending.size() >= kWakeBatch; });
            --m_sleeping;
            continue;
        }
        // The folder the scan needs last: the scan lists its next folders itself meanwhile, so the two
        // list different parts of the tree and meet in the middle.
        std::string folder = std::move(m_pending.front());
        m_pending.pop_front();
        if (m_listings.count(folder) != 0 || m_inProgress.count(folder) != 0) {
            continue;  // the scan got there first
        }
        m_inProgress.insert(folder);
        try {
            ListNow(folder, lock, true);
        } catch (...) {
            // Out of memory on the way: the scan lists this folder itself.
            if (!lock.owns_lock()) {
                lock.lock();
            }
            m_inProgress.erase(folder);
            m_listed.notify_all();
            return;
        }
    }
}

}  // namespace veltrane
