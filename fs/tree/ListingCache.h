#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fs/tree/DirectoryListing.h"

namespace veltrane {

// The folder listings and folder identities of one walk of a tree, kept so that later scans of the
// same tree (with other patterns, orders or options) ask the file system nothing again. The first
// request for a folder lists it and keeps the answer, failure included; every later request gets
// that same answer. Attach it to scans through ScanOptions::listings.
//
// ListAhead lets other threads list the tree below a folder while a scan walks it, in the order a
// scan walks it (depth first, in listing order), so that the scan mostly finds its listings made.
// A listing that is not there yet is made (or waited for) when asked: the answers, and so the scan,
// are the same with or without it.
class CListingCache {
public:
    CListingCache() = default;
    ~CListingCache() { StopListingAhead(); }
    CListingCache(const CListingCache&) = delete;
    CListingCache& operator=(const CListingCache&) = delete;

    // As ListFolder: false, with ec, when the folder could not be listed whole. The entries stay
    // owned by the cache and live as long as it does.
    bool List(const std::string& folder, const std::vector<DirEntry>*& entries, std::error_code& ec);

    // As GetFileIdentity.
    bool Identity(const std::string& path, FileIdentity& id);

    // Starts threads - 1 threads listing the folders below folder (ending in a separator), links to
    // folders followed, each folder identity once; nothing when threads is below 2 or the cache
    // lists ahead already.
    void ListAhead(const std::string& folder, unsigned threads);
    // Stops and joins those threads; what they listed stays.
    void StopListingAhead();

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
    struct IdentityHash {
        size_t operator()(const FileIdentity& id) const {
            return std::hash<uint64_t>()(id.index ^ (id.volume << 1));
        }
    };

    // Lists folder (marked in progress by the caller) with the lock released, stores the listing and,
    // when listing ahead, the identities of its subfolders and the ones still to list: at the back for
    // the scan's own listing, at the front for a thread's (see Work).
    void ListNow(const std::string& folder, std::unique_lock<std::mutex>& lock, bool byThread);
    void Work();

    std::mutex m_mutex;
    std::condition_variable m_listed;  // a listing was stored, or stopping
    std::condition_variable m_work;    // folders to list were added, or stopping
    size_t m_sleeping = 0;             // threads waiting for folders to list
    static constexpr size_t kWakeBatch = 4;
    std::unordered_map<std::string, Listing> m_listings;
    std::unordered_map<std::string, KnownIdentity> m_identities;
    std::unordered_set<std::string> m_inProgress;  // folders being listed now
    // Listing ahead: the folders still to list and the identities met. The scan needs the back
    // soonest and the front last.
    std::deque<std::string> m_pending;
    std::unordered_set<FileIdentity, IdentityHash> m_visited;
    bool m_ahead = false;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace veltrane
