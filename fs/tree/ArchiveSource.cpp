// Archives as read-only trees.
//
// The archive file is opened once per pass through a held descriptor (regular files only, opened
// without blocking) and handed to the library through our own read, skip and seek callbacks, so a
// zip is read through its central directory and the data of entries that are not wanted are skipped
// by seeking. The first pass reads the headers only; ReadEntries makes a second pass and counts the
// headers again, so an entry is known by its position in archive order.

#include "fs/tree/ArchiveSource.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "fs/read/RegularFile.h"
#include "fs/text/PathParts.h"

#include <archive.h>
#include <archive_entry.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace veltrane {

namespace {

constexpr std::string_view kArchiveExtensions[] = {".zip", ".7z", ".tar.gz", ".tgz", ".tar"};
// What a file packed inside a package is not checked through: archives and compressed streams.
constexpr std::string_view kNestedArchiveExtensions[] = {".zip", ".7z",  ".rar", ".tar", ".gz",
                                                         ".tgz", ".bz2", ".xz",  ".lzh", ".cab"};

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    const std::string_view end = text.substr(text.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(),
                      [](char a, char b) { return LowerAscii(a) == b; });
}

std::string_view TrimSeparators(std::string_view text) {
    while (!text.empty() && IsSeparator(text.back())) {
        text.remove_suffix(1);
    }
    while (!text.empty() && IsSeparator(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// The inner path of text (below the archive), its separators as "/".
std::string InnerPath(std::string_view text) {
    std::string inner(TrimSeparators(text));
    std::replace(inner.begin(), inner.end(), kSeparator, '/');
    return inner;
}

// Cleans a stored name into the path it unpacks to: backslashes and slashes both separate, empty and
// "." components go. False for a name that is absolute or climbs with "..". A build without archives
// reads no names and does not use it.
[[maybe_unused]] bool CleanName(std::string_view stored, std::string& inner, bool& backslash) {
    backslash = stored.find('\\') != std::string_view::npos;
    std::string name(stored);
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool drive = name.size() >= 2 && name[1] == ':' &&
                       ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
    if ((!name.empty() && name[0] == '/') || drive) {
        return false;
    }
    inner.clear();
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        const std::string_view part = std::string_view(name).substr(start, end - start);
        if (part == "..") {
            return false;
        }
        if (!part.empty() && part != ".") {
            if (!inner.empty()) {
                inner.push_back('/');
            }
            inner.append(part);
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

bool HasArchiveExtension(std::string_view path) {
    return std::any_of(std::begin(kArchiveExtensions), std::end(kArchiveExtensions),
                       [&](std::string_view ext) { return EndsWithNoCase(path, ext); });
}

bool HasNestedArchiveExtension(std::string_view name) {
    return std::any_of(std::begin(kNestedArchiveExtensions), std::end(kNestedArchiveExtensions),
                       [&](std::string_view ext) { return EndsWithNoCase(name, ext); });
}

bool SplitArchivePath(const std::string& path, ArchivePath& out) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) {
            continue;
        }
        const std::string prefix = path.substr(0, i);
        if (!HasArchiveExtension(prefix)) {
            continue;
        }
        std::error_code ec;
        if (std::filesystem::is_regular_file(ToFsPath(prefix), ec)) {
            out.archive = prefix;
            out.inner = InnerPath(std::string_view(path).substr(i));
            return true;
        }
    }
    return false;
}

ptrdiff_t ArchiveEntrySource::Read(char* data, size_t size) {
    if (!m_open) {
        return m_error.empty() ? 0 : kReadError;
    }
    auto* a = static_cast<struct archive*>(m_archive);
    const la_ssize_t got = archive_read_data(a, data, size);
    if (got >= 0) {
        return static_cast<ptrdiff_t>(got);
    }
    const char* text = archive_error_string(a);
    m_error = text != nullptr ? text : "The entry could not be read.";
    m_fatal = got == ARCHIVE_FATAL;
    m_open = false;
    return kReadError;
}

CArchiveTree::CArchiveTree() = default;
CArchiveTree::~CArchiveTree() = default;

std::string CArchiveTree::DamageReport() const {
    if (m_damage.Empty()) {
        return {};
    }
    std::string report = "The archive " + m_archive + " is damaged or would not unpack as it lists: ";
    for (size_t i = 0; i < m_damage.kept.size(); ++i) {
        const ArchiveDamage& note = m_damage.kept[i];
        report += i == 0 ? "" : "; ";
        if (note.path.size() > m_base.size() && note.path.starts_with(m_base)) {
            report.append(note.path, m_base.size());
            report += ": ";
        }
        report += note.text;
    }
    if (m_damage.more > 0) {
        report += "; and " + std::to_string(m_damage.more) + " more";
    }
    return report;
}

bool CArchiveTree::RoomForDamage() {
    if (m_damage.kept.size() < ArchiveDamageNotes::kKept) {
        return true;
    }
    ++m_damage.more;
    return false;
}

void CArchiveTree::AddDamage(std::string path, std::string text) {
    if (RoomForDamage()) {
        if (m_firstDamage.empty()) {
            m_firstDamage = text;
        }
        m_damage.kept.push_back({std::move(path), std::move(text)});
    }
}

void CArchiveTree::Fail(std::string error) {
    m_error = error;
    AddDamage(m_archive, std::move(error));
}

std::string CArchiveTree::InnerToPath(std::string_view inner) const {
    std::string path = m_base;
    path.append(inner);
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(m_base.size()), path.end(), '/', kSeparator);
    return path;
}

int CArchiveTree::Lookup(const std::string& path) const {
    if (m_nodes.empty()) {
        return -1;
    }
    std::string_view bare = path;
    while (!bare.empty() && IsSeparator(bare.back())) {
        bare.remove_suffix(1);
    }
    if (bare == m_archive) {
        return 0;
    }
    if (!std::string_view(path).starts_with(m_base)) {
        return -1;
    }
    const auto found = m_byPath.find(InnerPath(std::string_view(path).substr(m_base.size())));
    return found == m_byPath.end() ? -1 : found->second;
}

std::string CArchiveTree::NodePath(int node) const {
    std::vector<int> chain;
    for (int n = node; n > 0; n = m_nodes[static_cast<size_t>(n)].parent) {
        chain.push_back(n);
    }
    std::string path = m_archive;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += kSeparator;
        path += m_nodes[static_cast<size_t>(*it)].name;
    }
    return path;
}

std::vector<std::pair<std::string, std::string>> CArchiveTree::CaseCollisions() const {
    std::vector<std::pair<std::string, std::string>> found;
    std::unordered_map<std::string, int> seen;
    for (const Node& node : m_nodes) {
        seen.clear();
        for (int child : node.children) {
            std::string lowered = m_nodes[static_cast<size_t>(child)].name;
            std::transform(lowered.begin(), lowered.end(), lowered.begin(), LowerAscii);
            const auto [first, fresh] = seen.emplace(std::move(lowered), child);
            if (!fresh) {
                found.emplace_back(NodePath(child), NodePath(first->second));
            }
        }
    }
    return found;
}

CArchiveTree::Kind CArchiveTree::KindOf(const std::string& path) const {
    const int node = Lookup(path);
    if (node < 0) {
        return Kind::None;
    }
    return m_nodes[static_cast<size_t>(node)].folder ? Kind::Folder : Kind::File;
}

bool CArchiveTree::ListFolder(const std::string& folder, std::vector<DirEntry>& out) const {
    out.clear();
    const int node = Lookup(folder);
    if (node < 0 || !m_nodes[static_cast<size_t>(node)].folder) {
        return false;
    }
    const Node& n = m_nodes[static_cast<size_t>(node)];
    out.reserve(n.children.size() + 2);
    out.push_back({".", true});
    out.push_back({"..", true});
    for (int child : n.children) {
        const Node& c = m_nodes[static_cast<size_t>(child)];
        out.push_back({c.name, c.folder});
    }
    return true;
}

int CArchiveTree::AddNode(int parent, std::string_view name, std::string_view inner, bool folder) {
    const int index = static_cast<int>(m_nodes.size());
    Node& node = m_nodes.emplace_back();
    node.name = std::string(name);
    node.parent = parent;
    node.folder = folder;
    m_nodes[static_cast<size_t>(parent)].children.push_back(index);
    m_byPath.emplace(std::string(inner), index);
    return index;
}

void CArchiveTree::AddEntry(ArchiveEntry entry, const std::string& inner) {
    const int entryIndex = static_cast<int>(m_entries.size());
    const bool folder = entry.folder;
    m_entries.push_back(std::move(entry));
    if (inner.empty()) {
        m_entries.back().node = 0;  // "./" and the like: the top level itself
        return;
    }
    // Entries of one folder mostly follow one another: the last folder met is looked up first.
    const size_t lastSlash = inner.rfind('/');
    const std::string_view folderPart =
        lastSlash == std::string::npos ? std::string_view() : std::string_view(inner).substr(0, lastSlash);
    int parent = 0;
    size_t start = 0;
    if (!folderPart.empty() && m_lastFolderNode > 0 && folderPart == m_lastFolder) {
        parent = m_lastFolderNode;
        start = lastSlash + 1;
    }
    while (true) {
        const size_t slash = inner.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string_view prefix = std::string_view(inner).substr(0, last ? inner.size() : slash);
        const std::string_view name =
            std::string_view(inner).substr(start, (last ? inner.size() : slash) - start);
        const auto found = m_byPath.find(prefix);
        int node = found != m_byPath.end() ? found->second : -1;
        if (node < 0) {
            node = AddNode(parent, name, prefix, last ? folder : true);
        }
        if (last) {
            // A name stored twice unpacks to the later entry; a file cannot also be a folder.
            // (The paths of notes are made only while notes are kept: a hostile archive may hold
            // a million of them.)
            Node& at = m_nodes[static_cast<size_t>(node)];
            if (at.folder != folder && RoomForDamage()) {
                AddDamage(NodePath(node),
                          "stored both as a file and as a folder: one of them cannot be unpacked");
            } else if (at.folder == folder && !folder && at.entry >= 0 && RoomForDamage()) {
                AddDamage(NodePath(node),
                          "stored twice: the later entry overwrites the earlier one when unpacked");
            }
            if (at.folder == folder) {
                at.entry = entryIndex;
            }
            m_entries[static_cast<size_t>(entryIndex)].node = node;
            m_lastFolder.assign(folderPart);
            m_lastFolderNode = parent;
            return;
        }
        if (!m_nodes[static_cast<size_t>(node)].folder) {
            if (RoomForDamage()) {
                AddDamage(InnerToPath(inner),
                          "lies below " + NodePath(node) + ", which is a file: it cannot be unpacked");
            }
            return;
        }
        parent = node;
        start = slash + 1;
    }
}

namespace {

constexpr size_t kReadBlock = 64 * 1024;
// After a seek the library mostly wants one header of a few dozen bytes: the reads start small and
// double while they run on, so a zip's headers cost a page each and its data still come in big blocks.
constexpr size_t kFirstReadBlock = 4 * 1024;

// The archive file behind one pass: a held descriptor fed to the library block by block.
class ArchiveReader {
public:
    ~ArchiveReader() {
        if (m_archive != nullptr) {
            archive_read_free(m_archive);
        }
        CloseRegularFile(m_fd);
    }

    // Opens path and the library's reader on it; false with error set.
    bool Open(const std::string& path, std::string& error) {
        std::error_code ec;
        m_fd = OpenRegularFile(path, ec);
        if (m_fd < 0) {
            error = ec.message();
            return false;
        }
        m_buffer = std::make_unique<char[]>(kReadBlock);
        m_archive = archive_read_new();
        if (m_archive == nullptr) {
            error = "Out of memory.";
            return false;
        }
        // The formats a package comes in, each under any compression; the other formats' detectors
        // read far ahead, which would fail a short damaged stream before its first entry.
        archive_read_support_filter_all(m_archive);
        archive_read_support_format_zip(m_archive);
        archive_read_support_format_7zip(m_archive);
        archive_read_support_format_tar(m_archive);
        archive_read_set_callback_data(m_archive, this);
        archive_read_set_read_callback(m_archive, &ArchiveReader::ReadCallback);
        archive_read_set_skip_callback(m_archive, &ArchiveReader::SkipCallback);
        archive_read_set_seek_callback(m_archive, &ArchiveReader::SeekCallback);
        if (archive_read_open1(m_archive) != ARCHIVE_OK) {
            error = ErrorText();
            return false;
        }
        return true;
    }

    struct archive* Handle() const {
        return m_archive;
    }

    std::string ErrorText() const {
        const char* text = m_archive != nullptr ? archive_error_string(m_archive) : nullptr;
        return text != nullptr ? text : "The archive could not be read.";
    }

    // Reads size bytes at offset of the file, beside the library's pass (done with the file by then).
    bool ReadAt(int64_t offset, char* out, size_t size) {
        if (SeekCallback(m_archive, this, offset, SEEK_SET) != offset) {
            return false;
        }
        while (size > 0) {
#ifdef _WIN32
            const int got = _read(m_fd, out, static_cast<unsigned>(std::min<size_t>(size, kReadBlock)));
#else
            const ssize_t got = ::read(m_fd, out, size);
#endif
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            out += got;
            size -= static_cast<size_t>(got);
        }
        return true;
    }

    int64_t Size() {
        return SeekCallback(m_archive, this, 0, SEEK_END);
    }

private:
    static la_ssize_t ReadCallback(struct archive*, void* data, const void** buffer) {
        auto* self = static_cast<ArchiveReader*>(data);
        *buffer = self->m_buffer.get();
        const size_t block = self->m_block;
        self->m_block = std::min(block * 2, kReadBlock);
        while (true) {
#ifdef _WIN32
            const int got = _read(self->m_fd, self->m_buffer.get(), static_cast<unsigned>(block));
#else
            const ssize_t got = ::read(self->m_fd, self->m_buffer.get(), block);
#endif
            if (got >= 0 || errno != EINTR) {
                return static_cast<la_ssize_t>(got);
            }
        }
    }

    static la_int64_t SeekCallback(struct archive*, void* data, la_int64_t offset, int whence) {
        auto* self = static_cast<ArchiveReader*>(data);
        self->m_block = kFirstReadBlock;
#ifdef _WIN32
        const int64_t at = _lseeki64(self->m_fd, offset, whence);
#else
        const off_t at = ::lseek(self->m_fd, static_cast<off_t>(offset), whence);
#endif
        return at < 0 ? ARCHIVE_FATAL : static_cast<la_int64_t>(at);
    }

    static la_int64_t SkipCallback(struct archive* a, void* data, la_int64_t request) {
        return SeekCallback(a, data, request, SEEK_CUR) < 0 ? 0 : request;
    }

    int m_fd = -1;
    size_t m_block = kFirstReadBlock;  // the size of the next read
    std::unique_ptr<char[]> m_buffer;
    struct archive* m_archive = nullptr;
};

// Called with the offset of a damaged header the library stepped over (the first of a run), and its
// words for it.
using SkipHandler = std::function<void(int64_t offset, const std::string& error)>;

// The next header of the pass; nullptr at the end, or with error set when the archive ends there. A
// damaged header (a tar header failing its checksum) is stepped over, and onSkip told where.
struct archive_entry* NextHeader(ArchiveReader& file, std::string& error, const SkipHandler& onSkip = {}) {
    struct archive_entry* entry = nullptr;
    struct archive_entry* found = nullptr;
    int64_t skippedAt = -1;
    std::string skipError;
    // Each step over a damaged header moves on through the file, so the steps end with it; a reader
    // that keeps standing at one place is given up on.
    int64_t lastAt = -1;
    for (int stuck = 0; stuck < 100;) {
        const int status = archive_read_next_header(file.Handle(), &entry);
        if (status == ARCHIVE_RETRY) {
            const int64_t at = archive_read_header_position(file.Handle());
            if (skippedAt < 0) {
                skippedAt = at;
                skipError = file.ErrorText();
            }
            stuck = at > lastAt ? 0 : stuck + 1;
            lastAt = at;
            if (stuck == 100) {
                error = file.ErrorText();
            }
            continue;
        }
        if (status == ARCHIVE_FATAL || (status != ARCHIVE_EOF && entry == nullptr)) {
            error = file.ErrorText();
        } else if (status != ARCHIVE_EOF) {
            found = entry;
        }
        break;
    }
    if (skippedAt >= 0 && onSkip) {
        onSkip(skippedAt, skipError);
    }
    return found;
}

uint64_t LittleEndian(const char* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// Where a zip's central directory is, as its end records say.
struct ZipDirectory {
    uint64_t entries = 0;
    uint64_t size = 0;
    uint64_t offset = 0;  // from the start of the zip, which may follow a prefix (a self-extractor)
    int64_t end = 0;      // where it ends in the file: at the end record (or its 64-bit form)
    bool oneDisk = true;
};

// Finds the end of central directory record in the last 64 KiB of the file (and its 64-bit form
// when the record points to one). False when there is none.
bool ReadZipEnd(ArchiveReader& file, int64_t fileSize, ZipDirectory& dir) {
    constexpr size_t kRecord = 22;
    const size_t tailSize = static_cast<size_t>(std::min<int64_t>(fileSize, kRecord + 0xFFFF));
    std::string tail(tailSize, '\0');
    if (tailSize < kRecord ||
        !file.ReadAt(fileSize - static_cast<int64_t>(tailSize), tail.data(), tailSize)) {
        return false;
    }
    size_t at = tail.rfind(std::string_view("PK\5\6", 4), tailSize - kRecord);
    while (at != std::string::npos && at + kRecord + LittleEndian(&tail[at + 20], 2) > tailSize) {
        at = at == 0 ? std::string::npos : tail.rfind(std::string_view("PK\5\6", 4), at - 1);
    }
    if (at == std::string::npos) {
        return false;
    }
    const char* record = &tail[at];
    dir.end = fileSize - static_cast<int64_t>(tailSize - at);
    dir.entries = LittleEndian(record + 10, 2);
    dir.size = LittleEndian(record + 12, 4);
    dir.offset = LittleEndian(record + 16, 4);
    dir.oneDisk = LittleEndian(record + 4, 2) == 0 && LittleEndian(record + 6, 2) == 0 &&
                  LittleEndian(record + 8, 2) == dir.entries;
    // The 64-bit record, found through its locator just before the end record.
    char locator[20];
    char wide[56];
    if ((dir.entries == 0xFFFF || dir.size == 0xFFFFFFFF || dir.offset == 0xFFFFFFFF) && dir.end >= 20 &&
        file.ReadAt(dir.end - 20, locator, sizeof locator) && std::string_view(locator, 4) == "PK\6\7") {
        const int64_t wideAt = static_cast<int64_t>(LittleEndian(locator + 8, 8));
        if (wideAt >= 0 && wideAt < dir.end && file.ReadAt(wideAt, wide, sizeof wide) &&
            std::string_view(wide, 4) == "PK\6\6") {
            dir.entries = LittleEndian(wide + 32, 8);
            dir.size = LittleEndian(wide + 40, 8);
            dir.offset = LittleEndian(wide + 48, 8);
            dir.oneDisk = LittleEndian(wide + 24, 8) == dir.entries;
            dir.end = wideAt;
        }
    }
    return true;
}

// What a zip's tail says against its listing. The library reads a zip through its central directory
// when the end record is sound, and else from the entries' own headers, silently: an unpacker refuses
// the archive then, so the tail is checked apart (reading its last 64 KiB and a few bytes more).
std::vector<std::string> ZipTailDamage(ArchiveReader& file, size_t listed, bool complete) {
    std::vector<std::string> notes;
    const int64_t fileSize = file.Size();
    ZipDirectory dir;
    if (fileSize < 0 || !ReadZipEnd(file, fileSize, dir)) {
        notes.emplace_back(
            "its end of central directory record is missing: the zip is cut short or "
            "damaged (its entries were read from their own headers)");
        return notes;
    }
    const std::string where = " (" + std::to_string(dir.size) + " bytes from byte " +
                              std::to_string(dir.offset) + ", ending at byte " + std::to_string(dir.end) +
                              ")";
    char signature[4];
    if (!dir.oneDisk) {
        notes.emplace_back("its central directory spans several disks, or counts its entries twice over");
    } else if (dir.offset + dir.size > static_cast<uint64_t>(dir.end)) {
        notes.emplace_back("its central directory runs past its end record" + where);
    } else if (dir.entries > 0 &&
               (!file.ReadAt(dir.end - static_cast<int64_t>(dir.size), signature, sizeof signature) ||
                std::string_view(signature, 4) != "PK\1\2")) {
        notes.emplace_back("its central directory is not where its end record says" + where);
    } else if (complete && dir.entries != listed) {
        notes.emplace_back("its central directory lists " + std::to_string(dir.entries) + " entries, but " +
                           std::to_string(listed) + " were read");
    }
    return notes;
}

// Why an entry does not unpack as a file or a folder; empty when it does.
std::string KindDamage(struct archive_entry* header) {
    if (const char* target = archive_entry_hardlink(header)) {
        return std::string("a hard link to ") + target + ": its data are not stored with it";
    }
    switch (archive_entry_filetype(header)) {
        case AE_IFLNK: {
            const char* target = archive_entry_symlink(header);
            return std::string("a symbolic link to ") + (target != nullptr ? target : "") +
                   ": it does not unpack as a file everywhere";
        }
        case AE_IFCHR:
        case AE_IFBLK:
        case AE_IFIFO:
        case AE_IFSOCK:
            return "neither a file nor a folder (a device, a pipe or a socket)";
        default:
            return {};
    }
}

// The stored name as UTF-8. A name the library already holds as plain ASCII is that already; only
// other names go through the (costly) conversion.
std::string StoredName(struct archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    if (name != nullptr) {
        const char* c = name;
        while (*c != '\0' && static_cast<unsigned char>(*c) < 0x80) {
            ++c;
        }
        if (*c == '\0') {
            return name;
        }
    }
    const char* utf8 = archive_entry_pathname_utf8(entry);
    return utf8 != nullptr ? utf8 : name != nullptr ? name : "";
}

}  // namespace

bool CArchiveTree::OpenFor(const std::string& path) {
    ArchivePath where;
    if (!SplitArchivePath(path, where)) {
        return false;
    }
    m_archive = where.archive;
    m_base = m_archive + kSeparator;
    m_entries.clear();
    m_nodes.assign(1, Node{});
    m_byPath.clear();
    m_error.clear();
    m_damage = {};
    m_firstDamage.clear();
    m_lastFolder.clear();
    m_lastFolderNode = 0;

    ArchiveReader file;
    std::string error;
    if (!file.Open(m_archive, error)) {
        Fail(std::move(error));
        return true;
    }
    const bool filtered = archive_filter_count(file.Handle()) > 1;
    const SkipHandler onSkip = [&](int64_t offset, const std::string& text) {
        AddDamage(m_archive, text + ": the header at byte " + std::to_string(offset) +
                                 (filtered ? " of the unpacked stream" : "") + " was skipped");
    };
    std::string inner;
    while (struct archive_entry* header = NextHeader(file, error, onSkip)) {
        ArchiveEntry entry;
        entry.stored = StoredName(header);
        entry.folder = archive_entry_filetype(header) == AE_IFDIR;
        entry.encrypted = archive_entry_is_encrypted(header) != 0;
        entry.size =
            archive_entry_size_is_set(header) ? static_cast<uint64_t>(archive_entry_size(header)) : 0;
        entry.unsafe = !CleanName(entry.stored, inner, entry.backslash);
        entry.nested = !entry.folder && !entry.unsafe && HasNestedArchiveExtension(inner);
        std::string kind = KindDamage(header);
        if (!entry.unsafe) {
            AddEntry(std::move(entry), inner);
        } else {
            m_entries.push_back(std::move(entry));
        }
        if (!kind.empty()) {
            AddDamage(PathOf(m_entries.back()), std::move(kind));
        }
    }
    if ((archive_format(file.Handle()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP) {
        for (std::string& note : ZipTailDamage(file, m_entries.size(), error.empty())) {
            AddDamage(m_archive, std::move(note));
        }
    }
    if (!error.empty()) {
        Fail(std::move(error));
    }
    return true;
}

bool CArchiveTree::ReadEntries(const std::vector<std::string>& paths, const EntryHandler& onEntry,
                               const FailureHandler& onFailure) {
    // Which wanted path each entry is, by position in archive order.
    std::vector<int64_t> wantedAt(m_entries.size(), -1);
    std::vector<bool> delivered(paths.size(), false);
    for (size_t i = 0; i < paths.size(); ++i) {
        const int node = Lookup(paths[i]);
        if (node >= 0 && !m_nodes[static_cast<size_t>(node)].folder &&
            m_nodes[static_cast<size_t>(node)].entry >= 0) {
            wantedAt[static_cast<size_t>(m_nodes[static_cast<size_t>(node)].entry)] = static_cast<int64_t>(i);
        }
    }

    std::string passError;
    ArchiveReader file;
    if (file.Open(m_archive, passError)) {
        std::unique_ptr<char[]> scratch;
        for (size_t index = 0; index < m_entries.size(); ++index) {
            struct archive_entry* header = NextHeader(file, passError);
            if (header == nullptr) {
                if (passError.empty()) {
                    passError = "The archive ended before its last entry.";
                }
                break;
            }
            if (StoredName(header) != m_entries[index].stored) {
                passError = "The archive changed while it was read.";
                break;
            }
            const ArchiveEntry& entry = m_entries[index];
            ArchiveEntrySource source;
            source.m_archive = file.Handle();
            source.m_open = true;
            if (wantedAt[index] >= 0) {
                const size_t at = static_cast<size_t>(wantedAt[index]);
                delivered[at] = true;
                const bool goOn = onEntry(at, source);
                source.Close();
                if (!goOn) {
                    return false;
                }
            } else if (onFailure && !entry.folder && !entry.unsafe) {
                if (!scratch) {
                    scratch = std::make_unique<char[]>(kReadBlock);
                }
                while (source.Read(scratch.get(), kReadBlock) > 0) {
                }
                if (source.Failed()) {
                    onFailure(entry, source.ErrorText());
                }
            }
            if (source.m_fatal) {
                passError = source.ErrorText();
                break;
            }
        }
    }
    if (!passError.empty() && m_error.empty()) {
        Fail(passError);
    }
    // What the pass could not reach is handed over unreadable, so that it is reported, not lost.
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!delivered[i]) {
            ArchiveEntrySource source;
            source.m_error =
                m_error.empty() ? std::string("The entry could not be found in the archive.") : m_error;
            if (!onEntry(i, source)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace veltrane
