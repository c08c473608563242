#include "fs/tree/ArchiveSource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fs/text/PathParts.h"
#include "fs/tree/PackageTree.h"
#include "support/Archive.h"
#include "support/CliRunner.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ArchiveFormat;
using test::ArchiveItem;
using test::Native;
using test::TempDir;

std::vector<std::string> Listing(const CArchiveTree& tree, const std::string& folder) {
    std::vector<DirEntry> entries;
    EXPECT_TRUE(tree.ListFolder(folder, entries)) << folder;
    std::vector<std::string> names;
    for (const DirEntry& e : entries) {
        names.push_back(e.name + (e.isFolder ? "/" : ""));
    }
    return names;
}

// Everything ReadEntries hands over: index, bytes, and the error of a failed entry.
struct Read {
    size_t index;
    std::string bytes;
    std::string error;
};

std::vector<Read> ReadAll(CArchiveTree& tree, const std::vector<std::string>& paths) {
    std::vector<Read> out;
    tree.ReadEntries(paths, [&](size_t index, ArchiveEntrySource& source) {
        Read r{index, {}, {}};
        char block[7];  // small on purpose: entries come in many pieces
        ptrdiff_t got;
        while ((got = source.Read(block, sizeof block)) > 0) {
            r.bytes.append(block, static_cast<size_t>(got));
        }
        if (got == ByteSource::kReadError) {
            r.error = source.ErrorText();
        }
        out.push_back(r);
        return true;
    });
    return out;
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

TEST(ArchiveSourceTest, WalksEveryFormatAsTheFolderItUnpacksTo) {
    const std::vector<ArchiveItem> items = {
        {"./b/x.cr2", "first"}, {"a/", ""},         {"b\\y.txt", "win"},   {"../up.txt", "no"},
        {"/abs.txt", "no"},     {"a/z.txt", "zed"}, {"b/x.cr2", "second"},
    };
    const ArchiveFormat formats[] = {ArchiveFormat::Zip, ArchiveFormat::SevenZip, ArchiveFormat::TarGz};
    const char* names[] = {"p.zip", "p.7z", "p.tar.gz"};
    TempDir dir;
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(names[f]);
        const std::string file = dir.Path(names[f]);
        ASSERT_TRUE(test::WriteArchive(file, formats[f], items));
        CArchiveTree tree;
        ASSERT_TRUE(tree.OpenFor(file));
        EXPECT_EQ(tree.Error(), "");
        ASSERT_EQ(tree.Entries().size(), items.size());
        // The 7z writer stores its folders last, so entries are found by name.
        auto entry = [&](const std::string& stored) {
            for (const ArchiveEntry& e : tree.Entries()) {
                if (e.stored == stored) {
                    return e;
                }
            }
            ADD_FAILURE() << stored;
            return ArchiveEntry{};
        };
        // The library hands zip names over with slashes already; tar and 7z keep the stored name,
        // except that on Windows its tar writer stores backslashes as slashes.
        const bool slashes =
            formats[f] == ArchiveFormat::Zip || (kWindows && formats[f] == ArchiveFormat::TarGz);
        EXPECT_TRUE(slashes ? entry("b/y.txt").stored == "b/y.txt" : entry("b\\y.txt").backslash);
        EXPECT_TRUE(entry("../up.txt").unsafe);
        EXPECT_TRUE(entry("/abs.txt").unsafe);
        EXPECT_TRUE(entry("a/").folder);

        // Folders implied by names, entries in archive order, unsafe names left out.
        const std::string sep(1, kSeparator);
        EXPECT_EQ(Listing(tree, file + sep), (std::vector<std::string>{"./", "../", "b/", "a/"}));
        EXPECT_EQ(Listing(tree, file + sep + "b"), (std::vector<std::string>{"./", "../", "x.cr2", "y.txt"}));
        EXPECT_EQ(tree.KindOf(file + sep + "a" + sep), CArchiveTree::Kind::Folder);
        EXPECT_EQ(tree.KindOf(file + sep + "a" + sep + "z.txt"), CArchiveTree::Kind::File);
        EXPECT_EQ(tree.KindOf(file + sep + "up.txt"), CArchiveTree::Kind::None);

        // Read in archive order whatever the order asked; a name stored twice unpacks to its last entry.
        const std::string x = file + sep + "b" + sep + "x.cr2";
        const std::string z = file + sep + "a" + sep + "z.txt";
        const std::string missing = file + sep + "nothing.txt";
        const std::vector<Read> got = ReadAll(tree, {z, missing, x});
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].index, 0u);
        EXPECT_EQ(got[0].bytes, "zed");
        EXPECT_EQ(got[1].index, 2u);
        EXPECT_EQ(got[1].bytes, "second");
        EXPECT_EQ(got[2].index, 1u);
        EXPECT_NE(got[2].error, "");
    }
}

TEST(ArchiveSourceTest, FindsArchivesInPathsAndCaseCollisions) {
    TempDir dir;
    const std::string file = dir.Path("Pkg.ZIP");
    ASSERT_TRUE(
        test::WriteArchive(file, ArchiveFormat::Zip,
                           {{"Runtime/Tex/a.jpg", "1"}, {"Runtime/tex/b.jpg", "2"}, {"Runtime/C", ""}}));
    dir.MakeDir("folder.zip");
    const std::string sep(1, kSeparator);
    ArchivePath where;
    ASSERT_TRUE(SplitArchivePath(file + sep + "Runtime" + sep + "Tex" + sep, where));
    EXPECT_EQ(where.archive, file);
    EXPECT_EQ(where.inner, "Runtime/Tex");
    EXPECT_FALSE(SplitArchivePath(dir.Path("folder.zip"), where));  // a folder named like one is a folder
    EXPECT_FALSE(SplitArchivePath(dir.Path("gone.zip"), where));

    CArchiveTree tree;
    ASSERT_TRUE(tree.OpenFor(file));
    const auto collisions = tree.CaseCollisions();
    ASSERT_EQ(collisions.size(), 1u);
    EXPECT_EQ(collisions[0].first, file + sep + "Runtime" + sep + "tex");
    EXPECT_EQ(collisions[0].second, file + sep + "Runtime" + sep + "Tex");
}

TEST(ArchiveSourceTest, ReportsDamageAndKeepsTheEntriesBeforeIt) {
    TempDir dir;
    // Data that does not compress, so that the cut falls in the middle of the entries.
    std::vector<ArchiveItem> items;
    uint32_t seed = 1;
    for (int i = 0; i < 100; ++i) {
        std::string data(4000, ' ');
        for (char& c : data) {
            seed = seed * 1103515245u + 12345u;
            c = static_cast<char>(seed >> 24);
        }
        items.push_back({"f" + std::to_string(i) + ".txt", data});
    }
    const std::string whole = dir.Path("whole.tar.gz");
    ASSERT_TRUE(test::WriteArchive(whole, ArchiveFormat::TarGz, items));
    const std::string zip = dir.Path("whole.zip");
    ASSERT_TRUE(test::WriteArchive(zip, ArchiveFormat::Zip, items));
    for (const std::string& source : {whole, zip}) {
        SCOPED_TRACE(source);
        const std::string bytes = TempDir::ReadFile(source);
        const std::string cut = dir.WriteFile("cut" + source.substr(source.rfind("whole") + 5),
                                              bytes.substr(0, bytes.size() / 2));
        CArchiveTree tree;
        ASSERT_TRUE(tree.OpenFor(cut));
        std::vector<std::string> paths;
        for (const ArchiveItem& item : items) {
            paths.push_back(cut + kSeparator + item.name);
        }
        const std::vector<Read> got = ReadAll(tree, paths);
        EXPECT_NE(tree.Error(), "");
        ASSERT_EQ(got.size(), items.size());  // every file is handed over, read or failed
        EXPECT_EQ(got[0].bytes, items[0].data);
        EXPECT_EQ(got[0].error, "");
        EXPECT_NE(got.back().error, "");
    }

    // Not an archive at all: an empty tree and the library's error.
    CArchiveTree junk;
    ASSERT_TRUE(junk.OpenFor(dir.WriteFile("junk.zip", "this is no archive")));
    EXPECT_NE(junk.Error(), "");
    EXPECT_EQ(Listing(junk, junk.ArchiveFile()), (std::vector<std::string>{"./", "../"}));
}

// Bytes of a written archive, damaged after the fact.
std::string Patched(std::string bytes, std::string_view find, size_t offset, char value) {
    const size_t at = bytes.rfind(find);
    EXPECT_NE(at, std::string::npos) << find;
    bytes[at + offset] = value;
    return bytes;
}

std::string CutInCentralDirectory(std::string bytes) {
    const size_t start = bytes.find("PK\1\2");
    return bytes.substr(0, (start + bytes.rfind("PK\5\6")) / 2);
}

TEST(ArchiveSourceTest, NotesEveryWayAnArchiveWouldNotUnpackAsItLists) {
    const std::vector<ArchiveItem> three = {
        {"f1.cr2", "number 4"}, {"f2.cr2", "number 5"}, {"f3.cr2", "number 6"}};
    const std::string eocd("PK\5\6", 4);
    struct Case {
        const char* file;
        ArchiveFormat format;
        std::vector<ArchiveItem> items;
        std::function<std::string(std::string)> damage;
        size_t entries;
        std::vector<std::string> notes;  // "path below the archive: start of the text" ("" for the archive)
    };
    const Case cases[] = {
        {"twice.zip",
         ArchiveFormat::Zip,
         {{"a.txt", "1"}, {"a.txt", "2"}, {"f3.cr2", "number 6"}},
         {},
         3,
         {"a.txt: stored twice"}},
        {"below.tar.gz",
         ArchiveFormat::TarGz,
         {{"a", "file"}, {"a/b.txt", "x"}, {"d/", ""}, {"d", "file"}, {"f3.cr2", "number 6"}},
         {},
         5,
         {Native("a/b.txt: lies below"), "d: stored both as a file and as a folder"}},
        {"links.tar",
         ArchiveFormat::Tar,
         {{"s", "", "f3.cr2"}, {"h", "", "f3.cr2", true}, {"f3.cr2", "number 6"}},
         {},
         3,
         {"s: a symbolic link to f3.cr2", "h: a hard link to f3.cr2"}},
        {"links.zip",
         ArchiveFormat::Zip,
         {{"s", "", "f3.cr2"}, {"f3.cr2", "number 6"}},
         {},
         2,
         {"s: a symbolic link to f3.cr2"}},
        {"cut.zip",
         ArchiveFormat::Zip,
         three,
         CutInCentralDirectory,
         3,
         {": its end of central directory record is missing"}},
        {"moved.zip",
         ArchiveFormat::Zip,
         three,
         [&](std::string b) { return Patched(b, eocd, 16, b[b.rfind(eocd) + 16] + 1); },
         3,
         {": its central directory runs past its end record"}},
        {"counted.zip",
         ArchiveFormat::Zip,
         three,
         [&](std::string b) { return Patched(Patched(b, eocd, 8, 4), eocd, 10, 4); },
         3,
         {": its central directory lists 4 entries, but 3 were read"}},
        {"checksum.tar",
         ArchiveFormat::Tar,
         three,
         [](std::string b) { return Patched(b, "f2.cr2", 0, 'g'); },
         2,
         {": Damaged tar archive: the header at byte 1024 was skipped"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string written = dir.Path(std::string("sound-") + c.file);
        ASSERT_TRUE(test::WriteArchive(written, c.format, c.items));
        const std::string bytes = TempDir::ReadFile(written);
        const std::string file = dir.WriteFile(c.file, c.damage ? c.damage(bytes) : bytes);
        CArchiveTree tree;
        ASSERT_TRUE(tree.OpenFor(file));
        EXPECT_EQ(tree.Entries().size(), c.entries);
        const ArchiveDamageNotes& damage = tree.DamageNotes();
        ASSERT_EQ(damage.kept.size(), c.notes.size()) << tree.DamageReport();
        for (size_t i = 0; i < c.notes.size(); ++i) {
            const std::string& path = damage.kept[i].path;
            const std::string line =
                path.substr(std::min(path.size(), file.size() + 1)) + ": " + damage.kept[i].text;
            EXPECT_TRUE(line.starts_with(c.notes[i])) << line;
        }
        EXPECT_NE(tree.Damage(), "");
        EXPECT_NE(tree.DamageReport().find(damage.kept[0].text), std::string::npos);
        // What can be read still is.
        const std::vector<Read> got = ReadAll(tree, {file + kSeparator + "f3.cr2"});
        EXPECT_EQ(got.at(0).bytes, "number 6");
    }
}

TEST(ArchiveSourceTest, KeepsAHundredNotesAndCountsTheRest) {
    TempDir dir;
    std::vector<ArchiveItem> items(250, ArchiveItem{"same.txt", "x"});
    const std::string file = dir.Path("same.zip");
    ASSERT_TRUE(test::WriteArchive(file, ArchiveFormat::Zip, items));
    CArchiveTree tree;
    ASSERT_TRUE(tree.OpenFor(file));
    EXPECT_EQ(tree.DamageNotes().kept.size(), ArchiveDamageNotes::kKept);
    EXPECT_EQ(tree.DamageNotes().more, 249 - ArchiveDamageNotes::kKept);
    EXPECT_TRUE(tree.DamageReport().ends_with("; and 149 more"));
}

// A judge that keeps the first line of a file.
struct FirstLine final : FileVerdict {
    std::string line;
    size_t Bytes() const override { return line.size(); }
};
class FirstLineJudge final : public CFileJudge {
public:
    std::string_view Name() const override { return "first"; }
    ReadPlan Plan() const override { return {}; }
    void Begin() override { m_line.reset(); }
    bool Line(std::string_view piece, uint32_t /*number*/, bool /*cut*/) override {
        m_line = std::string(piece);
        return false;
    }
    std::unique_ptr<FileVerdict> End(const FileReadStatus& /*status*/) override {
        auto verdict = std::make_unique<FirstLine>();
        verdict->line = m_line.value_or("");
        return verdict;
    }

private:
    std::optional<std::string> m_line;
};

// Heads asked for before a read come with the read's one pass through the archive: taken after the
// archive is gone, they are all there.
TEST(ArchiveSourceTest, HeadsAskedBeforeAReadComeWithItsPass) {
    TempDir dir;
    const std::string file = dir.Path("p.zip");
    ASSERT_TRUE(
        test::WriteArchive(file, ArchiveFormat::Zip,
                           {{"a.pz2", "{\nversion\n"}, {"b.png", "PNG head and more"}, {"c.jpg", "JPEG"}}));
    const std::string sep(1, kSeparator);
    std::unique_ptr<CPackageTree> tree = CPackageTree::Open(file);
    const std::unique_ptr<CHeadReads> heads =
        tree->ReadHeads({file + sep + "b.png", file + sep + "c.jpg"}, 8, {});
    test::ScriptedContext ctx;
    const std::unique_ptr<CTreeReads> reads = tree->Read(
        {file + sep + "a.pz2"}, [] { return std::make_unique<FirstLineJudge>(); }, ctx, nullptr);
    std::optional<TreeRead> read = reads->Next();
    ASSERT_TRUE(read && read->verdict);
    EXPECT_EQ(VerdictAs<FirstLine>(*read->verdict).line, "{");
    std::error_code ec;
    std::filesystem::remove(ToFsPath(file), ec);
    const FileHead png = heads->Take(0);
    const FileHead jpg = heads->Take(1);
    EXPECT_TRUE(png.read && jpg.read);
    EXPECT_EQ(png.bytes, "PNG head");
    EXPECT_EQ(jpg.bytes, "JPEG");
}

}  // namespace
}  // namespace veltrane
