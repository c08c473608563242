// The record list and the directory scanner.
//
// Scanning one folder: the folder is listed once. The folder pass walks that listing, polling the
// Escape hook once per entry ("." and ".." included), adds a record for each subfolder when folders
// are listed, and descends into it when recursing. The file pass then runs the pattern list from
// left to right over the same listing, adding every non-folder entry that matches, pattern by
// pattern, in listing order; it makes no poll. An Escape stops the folder that sees it at once
// (its file pass is skipped); the folders above it finish their own passes but descend no further.
// A folder already on the current descent path (a link leading back into the tree) is listed but
// never descended into. A folder that cannot be listed, or whose listing fails part way, is
// recorded with the reason (what was listed of it is still used), so no caller reports a clean run
// over folders it never saw.
//
// Ordered insertion: the linear rules are kept exactly, but found in logarithmic time:
// - code 4 (descending name order) keeps the records in an implicit treap that knows the smallest
//   lower-cased path of every subtree, so "the first record that sorts below the new one" is one
//   descent;
// - code 5 (folder-grouped) links records into the same treap: only the front run of records of
//   one folder can take a record of its own folder, and it stays in descending path order, so an
//   ordered set of the front run's records finds the place, and a record of another folder starts a
//   new front run at index 0. Each insertion is O(log n), also when one folder holds everything.
// Mixing codes on one array falls back to the literal rules on a plain vector.

#include "fs/walk/FileRecordArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "fs/run/FileErrors.h"
#include "fs/text/Ascii.h"
#include "fs/tree/DirectoryListing.h"
#include "fs/tree/FolderPackageTree.h"

namespace veltrane {

namespace {

inline unsigned char LowerByte(unsigned char c) {
    return static_cast<unsigned char>(AsciiLower(static_cast<char>(c)));
}

// Compares two paths after lower-casing their letters, as unsigned bytes. Paths of one tree share
// long prefixes: equal bytes are skipped a word at a time, since they lower alike.
int CompareLowered(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            break;
        }
    }
    for (; i < n; ++i) {
        unsigned char x = LowerByte(static_cast<unsigned char>(a[i]));
        unsigned char y = LowerByte(static_cast<unsigned char>(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string_view DirectoryOf(const std::string& path) {
    return SplitPath(path).directory;
}

std::string_view FolderPartOf(const std::string& path) {
    PathParts p = SplitPath(path);
    return std::string_view(path).substr(0, p.drive.size() + p.directory.size());
}

// Length of one character starting at s[i]: a UTF-8 sequence, or a single byte that starts none.
size_t CharLength(std::string_view s, size_t i) {
    return std::max<size_t>(1, Utf8SequenceLength(s, i));
}

bool MatchFrom(std::string_view name, size_t n, std::string_view pat, size_t p) {
    // Iterative matcher with one backtrack point for the last "*".
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && pat[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pat.size() && pat[p] == '?') {
            ++p;
            n += CharLength(name, n);
        } else if (p < pat.size() && LowerByte(static_cast<unsigned char>(pat[p])) ==
                                         LowerByte(static_cast<unsigned char>(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += CharLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') {
        ++p;
    }
    // A trailing ".*" also matches a name without a dot, as "*.*" matches "README".
    if (p + 2 == pat.size() && pat[p] == '.' && pat[p + 1] == '*') {
        return true;
    }
    if (p + 1 == pat.size() && pat[p] == '.') {
        return true;  // "name." matches "name"
    }
    return p == pat.size();
}

// A pattern prepared once per scan: "*" / "*.*" match everything, "*.ext" is a suffix test.
struct CompiledPattern {
    enum class Kind { All, Suffix, General } kind = Kind::General;
    std::string text;  // the pattern, or the suffix for Kind::Suffix

    explicit CompiledPattern(std::string_view pat) : text(pat) {
        if (pat == "*" || pat == "*.*") {
            kind = Kind::All;
        } else if (pat.size() >= 2 && pat[0] == '*' &&
                   pat.substr(1).find_first_of("*?") == std::string_view::npos && pat.back() != '.') {
            kind = Kind::Suffix;
            text = std::string(pat.substr(1));
        }
    }

    bool Matches(std::string_view name) const {
        switch (kind) {
            case Kind::All:
                return true;
            case Kind::Suffix:
                if (name.size() < text.size()) {
                    return false;
                }
                for (size_t i = 0, off = name.size() - text.size(); i < text.size(); ++i) {
                    if (LowerByte(static_cast<unsigned char>(name[off + i])) !=
                        LowerByte(static_cast<unsigned char>(text[i]))) {
                        return false;
                    }
                }
                return true;
            case Kind::General:
                break;
        }
        return MatchFrom(name, 0, text, 0);
    }
};

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    return CompiledPattern(pattern).Matches(name);
}

// ---------------------------------------------------------------------------------------------
// Ordered-insertion indexes

struct CFileRecordArray::Index {
    enum class Kind { Treap, Grouped, ScannedRuns } kind;
    explicit Index(Kind k) : kind(k), front(ByPathDescending{&nodes}) {}

    // A tree ordered by position only, with subtree sizes and parent links, so a record can be linked
    // in before a known record and its index read off in O(log n). Treap takes codes 0 and 4,
    // Grouped code 5.
    struct Node {
        CFileRecord rec;
        int left = -1, right = -1, parent = -1;
        uint32_t prio = 0;
        int size = 1;
    };
    std::vector<Node> nodes;
    int first = -1;       // the first node in order, where a new folder's run starts
    int last = -1;        // the last node in order, where appends go
    std::string scratch;  // the lowered path of the record being inserted
    int root = -1;
    std::minstd_rand rng{12345};
    // The prefix minima: records whose lowered path sorts strictly below every record before them,
    // by lowered path. Their paths fall as their positions rise, so the first record that sorts
    // below a path is the prefix minimum with the largest path below it.
    std::map<std::string, int, std::less<>> minima;  // keyed by lowered path

    int Size(int t) const { return t < 0 ? 0 : nodes[t].size; }

    void Resize(int t) { nodes[t].size = 1 + Size(nodes[t].left) + Size(nodes[t].right); }

    // Turns t's parent into t's child, keeping the in-order sequence.
    void RotateUp(int t) {
        int p = nodes[t].parent;
        int g = nodes[p].parent;
        if (nodes[p].left == t) {
            nodes[p].left = nodes[t].right;
            if (nodes[t].right >= 0)
                nodes[nodes[t].right].parent = p;
            nodes[t].right = p;
        } else {
            nodes[p].right = nodes[t].left;
            if (nodes[t].left >= 0)
                nodes[nodes[t].left].parent = p;
            nodes[t].left = p;
        }
        nodes[p].parent = t;
        nodes[t].parent = g;
        if (g < 0) {
            root = t;
        } else if (nodes[g].left == p) {
            nodes[g].left = t;
        } else {
            nodes[g].right = t;
        }
        Resize(p);
        Resize(t);
    }

    int Rightmost(int t) const {
        while (nodes[t].right >= 0)
            t = nodes[t].right;
        return t;
    }

    // Links t in just before node `before`, or at the end when before is -1; returns t's index.
    int Link(int t, int before) {
        if (root < 0) {
            root = first = last = t;
            return 0;
        }
        if (before == first) {
            first = t;
        }
        int parent;
        if (before < 0) {
            parent = last;
            last = t;
            nodes[parent].right = t;
        } else if (nodes[before].left < 0) {
            parent = before;
            nodes[parent].left = t;
        } else {
            parent = Rightmost(nodes[before].left);
            nodes[parent].right = t;
        }
        nodes[t].parent = parent;
        for (int a = parent; a >= 0; a = nodes[a].parent) {
            ++nodes[a].size;
        }
        while (nodes[t].parent >= 0 && nodes[nodes[t].parent].prio < nodes[t].prio) {
            RotateUp(t);
        }
        int pos = Size(nodes[t].left);
        for (int c = t, p = nodes[t].parent; p >= 0; c = p, p = nodes[p].parent) {
            if (nodes[p].right == c)
                pos += Size(nodes[p].left) + 1;
        }
        return pos;
    }

    int TreapInsert(CFileRecord&& rec, InsertOrder order) {
        scratch.assign(rec.m_path);
        for (char& ch : scratch) {
            ch = static_cast<char>(LowerByte(static_cast<unsigned char>(ch)));
        }
        const std::string_view key = scratch;
        int before = -1;
        auto above = minima.lower_bound(key);  // first minimum not below the new path
        if (order == InsertOrder::DescendingName && above != minima.begin()) {
            int below = std::prev(above)->second;
            if (DirectoryOf(nodes[below].rec.m_path) == DirectoryOf(rec.m_path)) {
                before = below;
            }
        }
        // The new record is a prefix minimum when nothing before it sorts at or below its path.
        bool isMinimum = before >= 0 ? (above == minima.end() || above->first != key)
                                     : (minima.empty() || key < minima.begin()->first);
        Node& n = nodes.emplace_back();
        n.rec = std::move(rec);
        n.prio = static_cast<uint32_t>(rng());
        int t = static_cast<int>(nodes.size()) - 1;
        if (isMinimum) {
            minima.emplace_hint(above, key, t);
        }
        return Link(t, before);
    }

    void TreapCollect(int t, std::vector<CFileRecord>& out) {
        // In-order walk with an explicit stack; the records are moved out.
        std::vector<int> stack;
        while (t >= 0 || !stack.empty()) {
            while (t >= 0) {
                stack.push_back(t);
                t = nodes[t].left;
            }
            t = stack.back();
            stack.pop_back();
            out.push_back(std::move(nodes[t].rec));
            t = nodes[t].right;
        }
    }

    // Code 5: the records of the front run (the folder inserted last), by path, greatest first; a
    // record equal to others goes before them, as the first record not greater than it is the place.
    struct ByPathDescending {
        using is_transparent = void;
        const std::vector<Node>* nodes;
        const std::string& Path(int t) const { return (*nodes)[static_cast<size_t>(t)].rec.m_path; }
        bool operator()(int a, int b) const { return Path(a) > Path(b); }
        bool operator()(int a, std::string_view b) const { return Path(a) > b; }
        bool operator()(std::string_view a, int b) const { return a > Path(b); }
    };
    std::multiset<int, ByPathDescending> front;
    std::string frontFolder;
    int afterFront = -1;  // the node right after the front run, -1 when it is the array's end

    int GroupedInsert(CFileRecord&& rec) {
        Node& n = nodes.emplace_back();
        n.rec = std::move(rec);
        n.prio = static_cast<uint32_t>(rng());
        const int t = static_cast<int>(nodes.size()) - 1;
        const std::string& path = n.rec.m_path;
        const std::string_view folder = FolderPartOf(path);
        if (nodes.size() == 1 || folder != frontFolder) {
            // Index 0 is a record of another folder: the new record starts a new front run there.
            frontFolder.assign(folder);
            front.clear();
            afterFront = first;
            front.insert(t);
            return Link(t, first);
        }
        // The first record of the front run that is not greater, or the record after the run.
        const auto place = front.lower_bound(std::string_view(path));
        const int before = place != front.end() ? *place : afterFront;
        front.emplace_hint(place, t);
        return Link(t, before);
    }

    // Code 5 filled by a scan, which never asks where a record stands: the records as added, in runs
    // of one folder. Read, the runs come last first, each in descending path order, and of equal paths
    // the one added later goes first.
    struct Run {
        size_t start;         // index of the run's first record in scanned
        size_t folderLength;  // the folder part every record of the run shares
    };
    std::vector<CFileRecord> scanned;
    std::vector<Run> runs;
    std::string runFolder;  // the folder part of the last run

    void AppendScanned(CFileRecord&& rec) {
        const std::string_view folder = FolderPartOf(rec.m_path);
        if (runs.empty() || runFolder != folder) {
            runs.push_back({scanned.size(), folder.size()});
            runFolder.assign(folder);
        }
        scanned.push_back(std::move(rec));
    }

    // Makes room for more records in one step (a folder's files come one after another), growing
    // at least twofold, so that a tree of many small folders still moves each record O(1) times.
    void ReserveScanned(size_t more) {
        if (scanned.size() + more > scanned.capacity()) {
            scanned.reserve(std::max(scanned.size() + more, 2 * scanned.capacity()));
        }
    }

    size_t Count() const { return kind == Kind::ScannedRuns ? scanned.size() : nodes.size(); }

    // A record of a run as its sort sees it: the first eight bytes of its name as a big-endian
    // number (zeros past its end), which order most names alone, and its place in scanned.
    struct SortKey {
        uint64_t head;
        uint32_t index;
    };

    // keys becomes the records [start, end) of scanned, whose folder parts are folderLength bytes,
    // in descending path order, of equal paths the later first.
    void SortRun(size_t start, size_t end, size_t folderLength, std::vector<SortKey>& keys) const {
        keys.clear();
        for (size_t i = start; i < end; ++i) {
            const std::string_view name = std::string_view(scanned[i].m_path).substr(folderLength);
            uint64_t head = 0;
            for (size_t k = 0; k < 8; ++k) {
                head = head << 8 | (k < name.size() ? static_cast<unsigned char>(name[k]) : 0u);
            }
            keys.push_back({head, static_cast<uint32_t>(i)});
        }
        std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
            if (a.head != b.head) {
                return a.head > b.head;
            }
            const int c = std::string_view(scanned[a.index].m_path).compare(scanned[b.index].m_path);
            return c != 0 ? c > 0 : a.index > b.index;
        });
    }

    // Moves the records so that place k holds the one that stood at order[k]; order is used up.
    static void Permute(std::vector<CFileRecord>& records, std::vector<uint32_t>& order) {
        for (size_t i = 0; i < order.size(); ++i) {
            if (order[i] == i) {
                continue;
            }
            CFileRecord held = std::move(records[i]);
            size_t k = i;
            while (order[k] != i) {
                const size_t from = order[k];
                records[k] = std::move(records[from]);
                order[k] = static_cast<uint32_t>(k);
                k = from;
            }
            records[k] = std::move(held);
            order[k] = static_cast<uint32_t>(k);
        }
    }

    void Collect(std::vector<CFileRecord>& out) {
        if (kind != Kind::ScannedRuns) {
            out.reserve(Count());
            TreapCollect(root, out);
            return;
        }
        // Each run is sorted as keys (its names' first bytes and the record's place), and the
        // records then move once, straight to where the order puts them.
        std::vector<uint32_t> order;
        order.reserve(scanned.size());
        std::vector<SortKey> keys;
        for (size_t i = runs.size(); i-- > 0;) {
            const size_t end = i + 1 < runs.size() ? runs[i + 1].start : scanned.size();
            SortRun(runs[i].start, end, runs[i].folderLength, keys);
            for (const SortKey& key : keys) {
                order.push_back(key.index);
            }
        }
        Permute(scanned, order);
        if (out.empty()) {
            out = std::move(scanned);
        } else {
            out.insert(out.end(), std::make_move_iterator(scanned.begin()),
                       std::make_move_iterator(scanned.end()));
        }
    }
};

CFileRecordArray::CFileRecordArray() = default;
CFileRecordArray::~CFileRecordArray() = default;

void CFileRecordArray::Materialize() const {
    if (m_index) {
        std::unique_ptr<Index> index = std::move(m_index);
        index->Collect(m_records);
    }
}

int32_t CFileRecordArray::GetSize() const {
    if (m_index) {
        return static_cast<int32_t>(m_index->Count());
    }
    return static_cast<int32_t>(m_records.size());
}

const CFileRecord& CFileRecordArray::GetAt(int32_t index) const {
    Materialize();
    return m_records.at(static_cast<size_t>(index));
}

const std::vector<CFileRecord>& CFileRecordArray::Records() const {
    Materialize();
    return m_records;
}

void CFileRecordArray::RemoveAll() {
    m_index.reset();
    m_records.clear();
}

int32_t CFileRecordArray::InsertLiteral(CFileRecord record, InsertOrder order) {
    size_t pos = m_records.size();
    if (order == InsertOrder::DescendingName) {
        for (size_t i = 0; i < m_records.size(); ++i) {
            if (CompareLowered(m_records[i].m_path, record.m_path) < 0) {
                if (DirectoryOf(m_records[i].m_path) == DirectoryOf(record.m_path)) {
                    pos = i;
                }
                break;
            }
        }
    } else if (order == InsertOrder::FolderGrouped) {
        std::string_view folder = FolderPartOf(record.m_path);
        for (size_t i = 0; i < m_records.size(); ++i) {
            if (m_records[i].m_path <= record.m_path || FolderPartOf(m_records[i].m_path) != folder) {
                pos = i;
                break;
            }
        }
    }
    m_records.insert(m_records.begin() + static_cast<std::ptrdiff_t>(pos), std::move(record));
    return static_cast<int32_t>(pos);
}

void CFileRecordArray::AddScanned(CFileRecord record, InsertOrder order) {
    if (order == InsertOrder::FolderGrouped && m_index && m_index->kind == Index::Kind::ScannedRuns) {
        m_index->AppendScanned(std::move(record));  // nobody asks where it stands
        return;
    }
    InsertRecord(std::move(record), order);
}

int32_t CFileRecordArray::InsertRecord(CFileRecord record, InsertOrder order) {
    if (!m_index && m_records.empty() &&
        (order == InsertOrder::DescendingName || order == InsertOrder::FolderGrouped)) {
        m_index = std::make_unique<Index>(order == InsertOrder::FolderGrouped ? Index::Kind::Grouped
                                                                              : Index::Kind::Treap);
    }
    if (m_index) {
        if (m_index->kind == Index::Kind::Treap &&
            (order == InsertOrder::DescendingName || order == InsertOrder::Append)) {
            return m_index->TreapInsert(std::move(record), order);
        }
        if (m_index->kind == Index::Kind::Grouped && order == InsertOrder::FolderGrouped) {
            return m_index->GroupedInsert(std::move(record));
        }
        Materialize();
    }
    return InsertLiteral(std::move(record), order);
}

// ---------------------------------------------------------------------------------------------
// Scanning

struct CFileRecordArray::ScanState {
    explicit ScanState(const ScanOptions& o) : options(o) {}

    const ScanOptions& options;
    std::vector<CompiledPattern> patterns;
    int32_t total = 0;                  // records added by the whole scan, for progress reports
    std::vector<FileIdentity> descent;  // folders on the current descent path
    bool top = true;                    // the folder being listed is the one the caller named
    std::string root;                   // the real path of the folder scanned, with a separator; empty
                                        // where links are not judged (an archive, another platform)
    int throughLinks = 0;               // linked folders on the current descent path
};

namespace {

// The real path of path; empty when it cannot be found.
std::string RealPath(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return {};
#else
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
#endif
}

}  // namespace

bool CFileRecordArray::LeadsOutside(const std::string& link, const ScanState& state) {
    if (state.root.empty()) {
        return false;
    }
    const std::string target = RealPath(link);
    if (target.empty() || (target + kSeparator).starts_with(state.root)) {
        return false;  // a broken link is met as before; one that stays inside is followed
    }
    std::error_code ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    m_unreadable.push_back({link, ec, link + " is a link to " + target + ", outside the package.", target});
    return true;
}

int32_t CFileRecordArray::ScanFolder(const std::string& folder, const ScanOptions& given) {
    // Without a tree the scan walks the file system; a deep scan with a context that reads on several
    // threads has its folders listed ahead.
    CFolderPackageTree ownTree;
    ScanOptions options = given;
    if (!options.tree) {
        options.tree = &ownTree;
    }
    CPackageTree& tree = *options.tree;
    tree.BeginScan(folder, options.recurse && options.ctx ? options.ctx->ReadThreads() : 1);
    ScanState state(options);
    const std::string_view patterns = options.patterns;
    // An empty piece of the list finds nothing; keep it so the pattern order stays as given.
    size_t start = 0;
    while (true) {
        size_t semi = patterns.find(';', start);
        std::string_view piece = patterns.substr(start, semi == std::string_view::npos ? semi : semi - start);
        if (!piece.empty()) {
            state.patterns.emplace_back(piece);
        }
        if (semi == std::string_view::npos) {
            break;
        }
        start = semi + 1;
    }
    FileIdentity id;
    if (tree.Identity(folder, id)) {
        state.descent.push_back(id);
    }
    if (tree.HasDetails() && tree.ArchiveFile().empty()) {
        state.root = RealPath(folder);
        if (!state.root.empty() && !IsSeparator(state.root.back())) {
            state.root += kSeparator;
        }
    }
    // A folder-grouped scan into an empty array fills runs, for which each folder makes room ahead.
    if (options.order == InsertOrder::FolderGrouped && !m_index && m_records.empty()) {
        m_index = std::make_unique<Index>(Index::Kind::ScannedRuns);
    }
    const int32_t added = ScanOne(folder, state);
    if (m_index && m_index->kind == Index::Kind::ScannedRuns && m_index->Count() == 0) {
        m_index.reset();  // nothing was added: the array is as it was
    }
    tree.EndScan();
    if (!tree.Damage().empty()) {
        m_unreadable.push_back(
            {tree.ArchiveFile(), std::make_error_code(std::errc::io_error), tree.DamageReport(), {}});
    }
    return added;
}

int32_t CFileRecordArray::Descend(const std::string& sub, ScanState& state) {
    // A folder met again on the way down (a link to a folder above) is not walked a second time.
    FileIdentity id;
    const bool known = state.options.tree->Identity(sub, id);
    if (known && std::find(state.descent.begin(), state.descent.end(), id) != state.descent.end()) {
        return 0;
    }
    if (known) {
        state.descent.push_back(id);
    }
    const int32_t added = ScanOne(sub, state);
    if (known) {
        state.descent.pop_back();
    }
    return added;
}

void CFileRecordArray::AddUnreadable(const std::string& folder, const std::error_code& ec, bool top) {
    // The named folder itself, missing or no folder, is the caller's to report.
    if (top && (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)) {
        return;
    }
    std::string path = folder;
    if (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':') {
        path.pop_back();
    }
    std::string error = FileErrorText(ec, path);
    m_unreadable.push_back({std::move(path), ec, std::move(error), {}});
}

int32_t CFileRecordArray::ScanOne(const std::string& folder, ScanState& state) {
    RunContext* ctx = state.options.ctx;
    if (ctx) {
        ctx->BeginWait();
    }
    int32_t count = 0;
    std::vector<DirEntry> ownEntries;
    const std::vector<DirEntry>* listing = &ownEntries;
    std::error_code listError;
    CPackageTree& tree = *state.options.tree;
    const bool whole = tree.List(folder, listing, ownEntries, listError);
    const std::vector<DirEntry>& entries = *listing;
    if (!whole) {
        AddUnreadable(folder, listError, state.top);
    }
    state.top = false;

    // A link that leads out of the folder scanned is recorded once and skipped by both passes.
    std::vector<bool> outside;
    if (!state.root.empty()) {
        outside.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            outside[i] = entries[i].isLink && LeadsOutside(folder + entries[i].name, state);
        }
    }
    auto skipped = [&](const DirEntry& e) { return !outside.empty() && outside[&e - entries.data()]; };

    auto add = [&](const std::string& path, const DirEntry& e) {
        CFileRecord rec(path, e.isFolder ? kAttrDirectory : kAttrArchive);
        if (m_fillDetails && tree.HasDetails()) {
            QueryEntry(path, rec);
        }
        if (e.isLink || state.throughLinks > 0) {
            rec.m_attributes |= kAttrThroughLink;
        }
        if (e.isOther) {
            rec.m_attributes |= kAttrDevice;
        }
        AddScanned(std::move(rec), state.options.order);
        ++count;
        ++state.total;
        if (state.options.counter) {
            ++*state.options.counter;
        }
        if (ctx) {
            ctx->ItemCounted(state.options.counter ? *state.options.counter : state.total);
        }
    };
    auto finish = [&]() {
        if (ctx) {
            ctx->RestoreWait();
            ctx->EndWait();
        }
        return count;
    };

    // Folder pass.
    for (const DirEntry& e : entries) {
        if (ctx && ctx->PollEscape()) {
            m_cancelled = true;
            if (ctx) {
                ctx->EndWait();
            }
            return count;
        }
        if (ctx) {
            ctx->RestoreWait();
        }
        if (!e.isFolder || e.name == "." || e.name == ".." || skipped(e)) {
            continue;
        }
        std::string path = folder + e.name;
        if (state.options.listFolders) {
            add(path, e);
        }
        if (state.options.recurse && !m_cancelled) {
            state.throughLinks += e.isLink ? 1 : 0;
            count += Descend(path + kSeparator, state);
            state.throughLinks -= e.isLink ? 1 : 0;
        }
    }

    if (state.options.order == InsertOrder::FolderGrouped && m_index &&
        m_index->kind == Index::Kind::ScannedRuns) {
        m_index->ReserveScanned(entries.size());
    }
    // File pass: pattern by pattern, in listing order; no poll.
    for (const CompiledPattern& pattern : state.patterns) {
        for (const DirEntry& e : entries) {
            if (e.isFolder || skipped(e) || !pattern.Matches(e.name)) {
                continue;
            }
            add(folder + e.name, e);
        }
    }
    return finish();
}

int32_t CFileRecordArray::AddFile(const std::string& path, InsertOrder order) {
    return InsertRecord(StoredRecord(path), order);
}

}  // namespace veltrane
