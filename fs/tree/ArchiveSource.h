#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fs/read/ByteSource.h"
#include "fs/tree/ArchiveEntry.h"
#include "fs/tree/DirectoryListing.h"

namespace veltrane {

// Whether path ends like a package archive: .zip, .7z, .tar.gz, .tgz or .tar, letters in any case.
bool HasArchiveExtension(std::string_view path);

// Whether a packed file's name says it is an archive (or a compressed stream) itself: .zip, .7z, .rar,
// .tar, .gz, .tgz, .bz2, .xz, .lzh or .cab, letters in any case.
bool HasNestedArchiveExtension(std::string_view name);

// A path that names an archive, or something inside one.
struct ArchivePath {
    std::string archive;  // the archive file, as given, without trailing separators
    std::string inner;    // the rest below it, components joined by "/"; empty for the archive itself
};

// Splits path at its first component that is an existing regular file named like an archive. False
// when path leads through no archive; it is then the file system's alone.
bool SplitArchivePath(const std::string& path, ArchivePath& out);

// A byte source over the data of the archive entry being read; valid only during the call that hands
// it over. A failure (encryption, an unknown compression method, damaged data) ends it with
// kReadError and keeps the library's error text.
class ArchiveEntrySource final : public ByteSource {
public:
    ptrdiff_t Read(char* data, size_t size) override;
    void Close() override { m_open = false; }

    bool Failed() const { return !m_error.empty(); }
    // Whether the pass reached the entry (false: it is handed over only to say it could not be read).
    bool Reached() const { return m_archive != nullptr; }
    const std::string& ErrorText() const { return m_error; }

private:
    friend class CArchiveTree;
    void* m_archive = nullptr;  // the reading handle; null for an entry that could not be reached
    bool m_open = false;
    bool m_fatal = false;  // the failure ended the archive: nothing after it can be read
    std::string m_error;
    std::string m_lastFolder;  // inner path of the folder of the last entry added, and its node
    int m_lastFolderNode = 0;
};

// An archive walked as a read-only tree, as if it were unpacked: folders implied by the entry names,
// each folder's entries in archive order, unsafe names left out. Reading the headers (Open) skips
// the data; ReadEntries then streams the data in one more pass, in archive order, so memory holds
// the names only, never an entry's data.
class CArchiveTree {
public:
    enum class Kind { None, Folder, File };

    // Called once for each file read, with the index of its path in the list given to ReadEntries.
    // Return false to stop the pass (Escape).
    using EntryHandler = std::function<bool(size_t index, ArchiveEntrySource& source)>;
    // Called for an entry that is not among the wanted ones when its data cannot be read.
    using FailureHandler = std::function<void(const ArchiveEntry& entry, const std::string& error)>;

    CArchiveTree();
    ~CArchiveTree();
    CArchiveTree(const CArchiveTree&) = delete;
    CArchiveTree& operator=(const CArchiveTree&) = delete;

    // Opens the archive that path leads into and reads its headers. False when path leads into no
    // archive: the caller then uses the file system. An archive that cannot be read, or is damaged
    // part way, still gives true: the tree holds the entries before the damage and Error() says why.
    bool OpenFor(const std::string& path);

    const std::string& ArchiveFile() const { return m_archive; }
    const std::vector<ArchiveEntry>& Entries() const { return m_entries; }

    // The path an entry unpacks to: the archive's path, a separator and the cleaned name, with native
    // separators; the archive's own path for an unsafe entry.
    std::string PathOf(const ArchiveEntry& entry) const { return NodePath(std::max(entry.node, 0)); }

    // The library's words for what stopped the listing (or the last ReadEntries); empty when the
    // archive was read to its end.
    const std::string& Error() const { return m_error; }

    // Everything that makes the archive unpack otherwise than it lists, or not at all: what stopped
    // the reading (last), damaged headers skipped (with their offsets), a zip's central directory
    // missing or at odds with the file, a name stored twice (the earlier entry is lost), an entry
    // below a file or stored as a file and a folder, links and other entries that are no file.
    const ArchiveDamageNotes& DamageNotes() const { return m_damage; }
    // Empty when there is no note; else the error that stopped the reading, or the first note.
    const std::string& Damage() const { return m_error.empty() ? m_firstDamage : m_error; }
    // The text that reports every note kept, naming the archive; empty when there is none.
    std::string DamageReport() const;

    // What path (the archive's path, or one below it with native separators) names in the tree.
    Kind KindOf(const std::string& path) const;

    // The folder's entries as a folder listing: "." and "..", then its entries in archive order.
    // False when the tree has no such folder.
    bool ListFolder(const std::string& folder, std::vector<DirEntry>& out) const;

    // Entries that unpack onto one another where letter case does not count (Windows, the Mac): the
    // later one's path and the earlier one's, for each such pair in the same folder.
    std::vector<std::pair<std::string, std::string>> CaseCollisions() const;

    // Streams the data of the files named by paths, in archive order, handing each to onEntry once;
    // a path the archive cannot reach (damage before it) gets a failed source. With onFailure set,
    // the data of every other file is read through as well, and the ones that fail are reported.
    // False when onEntry stopped the pass.
    bool ReadEntries(const std::vector<std::string>& paths, const EntryHandler& onEntry,
                     const FailureHandler& onFailure = {});

private:
    struct Node {
        std::string name;
        int parent = -1;
        bool folder = true;
        int entry = -1;  // its last entry in m_entries; -1 for a folder only implied by names below it
        std::vector<int> children;
    };

    int Lookup(const std::string& path) const;
    std::string NodePath(int node) const;
    int AddNode(int parent, std::string_view name, std::string_view inner, bool folder);
    void AddEntry(ArchiveEntry entry, const std::string& inner);
    // Whether one more note is kept; counts it as left out when it is not.
    bool RoomForDamage();
    void AddDamage(std::string path, std::string text);
    void Fail(std::string error);
    // The path an inner name (components joined by "/") unpacks to.
    std::string InnerToPath(std::string_view inner) const;

    std::string m_archive;
    std::string m_base;  // m_archive + separator
    std::vector<ArchiveEntry> m_entries;
    std::vector<Node> m_nodes;  // m_nodes[0] is the archive's top level
    struct PathHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string, int, PathHash, std::equal_to<>> m_byPath;  // inner path -> node
    std::string m_error;
    ArchiveDamageNotes m_damage;
    std::string m_firstDamage;
    std::string m_lastFolder;  // inner path of the folder of the last entry added, and its node
    int m_lastFolderNode = 0;
};

}  // namespace veltrane
