#include "fs/walk/FileRecordArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>

#include "fs/tree/DirectoryListing.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#endif
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

std::vector<std::string> Paths(const CFileRecordArray& arr) {
    std::vector<std::string> out;
    for (const auto& r : arr.Records()) {
        out.push_back(r.m_path);
    }
    return out;
}

std::string S(std::string_view rel) {
    std::string out(rel);
    std::replace(out.begin(), out.end(), '/', kSeparator);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Path parts

TEST(PathPartsTest, WindowsGrammarSplitsDriveDirectoryNameAndExtension) {
    struct Case {
        const char* path;
        const char* drive;
        const char* dir;
        const char* base;
        const char* ext;
    } cases[] = {
        {"C:\\Runtime\\Pose\\Sit.pz2", "C:", "\\Runtime\\Pose\\", "Sit", ".pz2"},
        {"C:\\a.b\\readme", "C:", "\\a.b\\", "readme", ""},
        {"D:x.cr2", "D:", "", "x", ".cr2"},
        {"C:/mixed\\seps/f.tar.gz", "C:", "/mixed\\seps/", "f.tar", ".gz"},
        {"\\\\server\\share\\x.txt", "", "\\\\server\\share\\", "x", ".txt"},
        {"1:\\odd", "", "1:\\", "odd", ""},
    };
    for (const auto& c : cases) {
        PathParts p = SplitPath(c.path, PathStyle::Windows);
        EXPECT_EQ(p.drive, c.drive) << c.path;
        EXPECT_EQ(p.directory, c.dir) << c.path;
        EXPECT_EQ(p.baseName, c.base) << c.path;
        EXPECT_EQ(p.extension, c.ext) << c.path;
    }
}

TEST(PathPartsTest, PosixGrammarHasNoDrivesAndKeepsBackslashesInNames) {
    PathParts p = SplitPath("C:\\dir/a\\b.cr2", PathStyle::Posix);
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.directory, "C:\\dir/");
    EXPECT_EQ(p.baseName, "a\\b");
    EXPECT_EQ(p.extension, ".cr2");
}

TEST(PathPartsTest, RecordOperationsUseTheNativeGrammar) {
    CFileRecord r(S("/top/Runtime/Pose/Sit.pz2"));
    EXPECT_EQ(r.GetFolderPart(), S("/top/Runtime/Pose/"));
    EXPECT_EQ(r.GetNamePart(), "Sit.pz2");
    EXPECT_EQ(r.GetBaseName(), "Sit");
    EXPECT_EQ(r.GetExtension(), ".pz2");
    EXPECT_EQ(CFileRecord(S("/a.b/readme")).GetExtension(), "");
    CFileRecord def;
    EXPECT_EQ(def.m_attributes, 0xFFFFFFFFu);
    EXPECT_EQ(def.m_size, 0u);
}

TEST(PathPartsTest, LastComponentKeepsOneTrailingSeparatorAndDriveRootsWhole) {
    EXPECT_EQ(LastComponent("C:\\a\\Props\\", PathStyle::Windows), "Props\\");
    EXPECT_EQ(LastComponent("C:\\a\\Props", PathStyle::Windows), "Props");
    EXPECT_EQ(LastComponent("E:\\", PathStyle::Windows), "E:\\");
    EXPECT_EQ(LastComponent("/", PathStyle::Posix), "/");
    EXPECT_EQ(LastComponent("/x/y.cr2", PathStyle::Posix), "y.cr2");
}

TEST(PathPartsTest, CharacterCountCountsCodePointsAndFallsBackToBytes) {
    EXPECT_EQ(CharacterCount("abc"), 3u);
    EXPECT_EQ(CharacterCount("d\xC3\xA9j\xC3\xA0"), 4u);  // déjà
    EXPECT_EQ(CharacterCount("\xF0\x9F\x98\x80x"), 2u);   // emoji + x
    EXPECT_EQ(CharacterCount("a\xE9z"), 3u);              // Latin-1 byte: not UTF-8
    EXPECT_EQ(CharacterCount("\xC0\xAF"), 2u);            // overlong form
    EXPECT_EQ(CharacterCount("\xED\xA0\x80"), 3u);        // surrogate
    EXPECT_EQ(CharacterCount("\xE2\x82"), 2u);            // cut short
}

TEST(PatternTest, WildcardsMatchWholeNamesWithoutRegardToCase) {
    EXPECT_TRUE(MatchesPattern("README", "*.*"));
    EXPECT_TRUE(MatchesPattern("X.CR2", "*.cr2"));
    EXPECT_TRUE(MatchesPattern("x.cr2", "*.CR2"));
    EXPECT_FALSE(MatchesPattern("x.cr2x", "*.cr2"));
    EXPECT_FALSE(MatchesPattern("cr2", "*.cr2"));
    EXPECT_TRUE(MatchesPattern("abc.txt", "a?c.*"));
    EXPECT_FALSE(MatchesPattern("ac.txt", "a?c.*"));
    EXPECT_TRUE(MatchesPattern("d\xC3\xA9.txt", "d?.txt"));  // ? takes one character
    EXPECT_TRUE(MatchesPattern("aXbYc", "a*b*c"));
    EXPECT_FALSE(MatchesPattern("aXbYd", "a*b*c"));
    EXPECT_TRUE(MatchesPattern("anything", "*"));
}

// ---------------------------------------------------------------------------------------------
// Ordered insertion

TEST(InsertRecordTest, DescendingNameOrderFollowsTheFirstLowerRecordOnly) {
    CFileRecordArray arr;
    for (const char* p : {"/F/b.cr2", "/F/a.cr2", "/F/c.cr2", "/F/S/y.cr2", "/F/S/x.cr2"}) {
        arr.InsertRecord(CFileRecord(S(p)), InsertOrder::DescendingName);
    }
    EXPECT_EQ(Paths(arr), (std::vector<std::string>{S("/F/c.cr2"), S("/F/b.cr2"), S("/F/a.cr2"),
                                                    S("/F/S/y.cr2"), S("/F/S/x.cr2")}));
}

TEST(InsertRecordTest, DescendingNameOrderIgnoresCaseAndPutsEqualsAfter) {
    CFileRecordArray arr;
    EXPECT_EQ(arr.InsertRecord(CFileRecord(S("/F/B.cr2")), InsertOrder::DescendingName), 0);
    EXPECT_EQ(arr.InsertRecord(CFileRecord(S("/F/b.cr2")), InsertOrder::DescendingName), 1);
    EXPECT_EQ(arr.InsertRecord(CFileRecord(S("/F/a.cr2")), InsertOrder::DescendingName), 2);
    EXPECT_EQ(arr.InsertRecord(CFileRecord(S("/F/C.cr2")), InsertOrder::DescendingName), 0);
    EXPECT_EQ(Paths(arr),
              (std::vector<std::string>{S("/F/C.cr2"), S("/F/B.cr2"), S("/F/b.cr2"), S("/F/a.cr2")}));
}

TEST(InsertRecordTest, FolderGroupedOrderReadsBackwardsAsAscendingGroups) {
    CFileRecordArray arr;
    for (const char* p : {"/F/A/b.txt", "/F/A/a.txt", "/F/z.txt"}) {
        arr.InsertRecord(CFileRecord(S(p)), InsertOrder::FolderGrouped);
    }
    EXPECT_EQ(Paths(arr), (std::vector<std::string>{S("/F/z.txt"), S("/F/A/b.txt"), S("/F/A/a.txt")}));
}

// The literal rules, one linear walk per insertion, as the reference for the indexed ones.
struct LiteralArray {
    std::deque<std::string> paths;  // inserting near the front costs little, as the walk does

    static int Lowered(const std::string& a, const std::string& b) {
        std::string x = a, y = b;
        for (auto* s : {&x, &y}) {
            for (char& c : *s) {
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c + 32);
            }
        }
        return x.compare(y);
    }

    int Insert(const std::string& path, InsertOrder order) {
        size_t pos = paths.size();
        if (order == InsertOrder::DescendingName) {
            for (size_t i = 0; i < paths.size(); ++i) {
                if (Lowered(paths[i], path) < 0) {
                    if (CFileRecord(paths[i]).GetDirectory() == CFileRecord(path).GetDirectory()) {
                        pos = i;
                    }
                    break;
                }
            }
        } else if (order == InsertOrder::FolderGrouped) {
            for (size_t i = 0; i < paths.size(); ++i) {
                if (paths[i] <= path ||
                    CFileRecord(paths[i]).GetFolderPart() != CFileRecord(path).GetFolderPart()) {
                    pos = i;
                    break;
                }
            }
        }
        paths.insert(paths.begin() + static_cast<long>(pos), path);
        return static_cast<int>(pos);
    }

    std::vector<std::string> Paths() const { return {paths.begin(), paths.end()}; }
};

std::string RandomPath(std::mt19937& rng) {
    static const char* folders[] = {"/F/", "/F/S/", "/F/s/", "/G/", "/F/S/T/", "/"};
    static const char letters[] = "aAbBcC_~.\xC3\xA9";
    std::string p = S(folders[rng() % 6]);
    int len = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < len; ++i) {
        p.push_back(letters[rng() % (sizeof letters - 1)]);
    }
    return p;
}

TEST(InsertRecordTest, IndexedOrdersMatchTheLiteralRulesOnRandomSequences) {
    std::mt19937 rng(20261207);
    for (InsertOrder order : {InsertOrder::DescendingName, InsertOrder::FolderGrouped}) {
        for (int round = 0; round < 300; ++round) {
            CFileRecordArray arr;
            LiteralArray ref;
            int n = 1 + static_cast<int>(rng() % 60);
            for (int i = 0; i < n; ++i) {
                std::string p = RandomPath(rng);
                // Code 4 arrays also take appends, as a page adding single files would.
                InsertOrder code =
                    (order == InsertOrder::DescendingName && rng() % 5 == 0) ? InsertOrder::Append : order;
                ASSERT_EQ(arr.InsertRecord(CFileRecord(p), code), ref.Insert(p, code))
                    << "order " << static_cast<int>(order) << " round " << round << " step " << i;
            }
            ASSERT_EQ(Paths(arr), ref.Paths()) << "order " << static_cast<int>(order) << " round " << round;
        }
    }
}

TEST(InsertRecordTest, MixingCodesFallsBackToTheLiteralRules) {
    std::mt19937 rng(7);
    CFileRecordArray arr;
    LiteralArray ref;
    for (int i = 0; i < 200; ++i) {
        InsertOrder code = std::vector<InsertOrder>{InsertOrder::Append, InsertOrder::DescendingName,
                                                    InsertOrder::FolderGrouped}[rng() % 3];
        std::string p = RandomPath(rng);
        ASSERT_EQ(arr.InsertRecord(CFileRecord(p), code), ref.Insert(p, code)) << i;
        if (i % 50 == 0) {
            ASSERT_EQ(Paths(arr), ref.Paths());  // reading in between lays the records out
        }
    }
    EXPECT_EQ(Paths(arr), ref.Paths());
}

// One folder of 120,000 files after a few of another: names arrive nearly ascending (shuffled in
// small windows, with repeats and letter-case twins), the order in which every record lands near
// the front of the run, where inserting into a plain array costs a move of everything behind it.
// The literal walk stays short on such input, so it can check every index at this size.
TEST(InsertRecordTest, FolderGroupedOrderMatchesTheLiteralRuleInOneHugeFolder) {
    std::mt19937 rng(5);
    std::vector<std::string> input{S("/F/A/x"), S("/F/A/b")};
    std::vector<std::string> names;
    for (int i = 0; i < 120000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%06d%c.cr2", i / 2, i % 3 == 0 ? 'A' : 'a');
        names.push_back(S("/F/") + name);
    }
    for (size_t i = 0; i + 8 <= names.size(); i += 8) {
        std::shuffle(names.begin() + static_cast<long>(i), names.begin() + static_cast<long>(i + 8), rng);
    }
    input.insert(input.end(), names.begin(), names.end());
    CFileRecordArray arr;
    LiteralArray ref;
    for (size_t i = 0; i < input.size(); ++i) {
        ASSERT_EQ(arr.InsertRecord(CFileRecord(input[i]), InsertOrder::FolderGrouped),
                  ref.Insert(input[i], InsertOrder::FolderGrouped))
            << "step " << i;
    }
    EXPECT_EQ(Paths(arr), ref.Paths());
}

// ---------------------------------------------------------------------------------------------
// Scanning

class ScanTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string Folder(std::string_view rel = "") const { return WithTrailingSeparator(dir.Path(rel)); }
};

TEST_F(ScanTest, AppendOrderPutsEachFolderBeforeItsContentsAndOwnFilesLast) {
    dir.WriteFile("A/a.txt", "x");
    dir.WriteFile("z.txt", "x");
    const std::string root = Folder();
    struct Case {
        bool recurse, list;
        std::vector<std::string> want;
    } cases[] = {
        {true, true, {root + "A", root + S("A/a.txt"), root + "z.txt"}},
        {true, false, {root + S("A/a.txt"), root + "z.txt"}},
        {false, true, {root + "A", root + "z.txt"}},
    };
    for (const auto& c : cases) {
        CFileRecordArray arr;
        int32_t counter = 0;
        int32_t added =
            arr.ScanFolder(root, {.recurse = c.recurse, .listFolders = c.list, .counter = &counter});
        EXPECT_EQ(Paths(arr), c.want);
        EXPECT_EQ(added, static_cast<int32_t>(c.want.size()));
        EXPECT_EQ(counter, added);
        EXPECT_FALSE(arr.IsCancelled());
    }
    CFileRecordArray arr;
    arr.ScanFolder(root, {.recurse = true, .listFolders = true});
    EXPECT_TRUE(arr.GetAt(0).IsFolder());
    EXPECT_FALSE(arr.GetAt(1).IsFolder());
    EXPECT_EQ(arr.GetAt(1).m_size, 1u);
}

TEST_F(ScanTest, PatternListRunsPatternByPatternAndRecordsDoubleMatchesTwice) {
    dir.WriteFile("b.cr2");
    dir.WriteFile("a.cm2");
    dir.MakeDir("pose.cr2");
    CFileRecordArray arr;
    arr.ScanFolder(Folder(), {.patterns = "*.cm2;;*.cr2"});
    EXPECT_EQ(Paths(arr), (std::vector<std::string>{Folder() + "a.cm2", Folder() + "b.cr2"}));

    CFileRecordArray twice;
    twice.ScanFolder(Folder(), {.patterns = "*.*;*.CR2", .listFolders = true});
    auto paths = Paths(twice);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), Folder() + "b.cr2"), 2);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), Folder() + "pose.cr2"), 1);  // only the folder pass
}

TEST_F(ScanTest, EmptyOrMissingFolderGivesNothing) {
    dir.MakeDir("empty");
    for (const std::string& f : {Folder("empty"), Folder("missing")}) {
        CFileRecordArray arr;
        int32_t counter = 0;
        EXPECT_EQ(arr.ScanFolder(f, {.recurse = true, .listFolders = true, .counter = &counter}), 0);
        EXPECT_EQ(counter, 0);
        EXPECT_EQ(arr.GetSize(), 0);
    }
}

TEST_F(ScanTest, EscapeAtTheFirstPollGivesNothingAndSetsTheCancelledFlag) {
    dir.WriteFile("A/a.txt");
    dir.WriteFile("z.txt");
    ScriptedContext ctx;
    ctx.m_escapeAtPoll = 1;
    CFileRecordArray arr;
    int32_t counter = 0;
    EXPECT_EQ(
        arr.ScanFolder(Folder(), {.recurse = true, .listFolders = true, .counter = &counter, .ctx = &ctx}),
        0);
    EXPECT_TRUE(arr.IsCancelled());
    EXPECT_EQ(arr.GetSize(), 0);
    EXPECT_EQ(ctx.m_waitDepth, 0);
}

// Scans the same tree with Escape at every possible poll and checks the partial result against
// what the rule says: the folder that sees the Escape stops at once; the folders above it finish
// their folder pass (listing, not descending) and run their file pass.
TEST_F(ScanTest, EscapeInADeepFolderKeepsParentsButNotRemainingSubfolderContents) {
    dir.WriteFile("d1/d2/deep.txt");
    dir.WriteFile("d1/d2/deeper.txt");
    dir.WriteFile("d1/f1.txt");
    dir.WriteFile("d1/s1/inner.txt");
    dir.WriteFile("d1/s2/inner.txt");
    dir.WriteFile("top.txt");
    dir.WriteFile("t2/x.txt");

    ScriptedContext counting;
    CFileRecordArray full;
    full.ScanFolder(Folder(), {.recurse = true, .listFolders = true, .ctx = &counting});
    const int totalPolls = counting.m_polls;
    ASSERT_GT(totalPolls, 10);

    for (int at = 1; at <= totalPolls; ++at) {
        // Reference: replay the same walk by hand over the real listings.
        struct Ref {
            int polls = 0, at = 0;
            bool cancelled = false;
            std::vector<std::string> out;
            void Scan(const std::string& folder) {
                std::vector<DirEntry> entries;
                ListFolder(folder, entries);
                for (const auto& e : entries) {
                    if (++polls == at) {
                        cancelled = true;
                        return;
                    }
                    if (!e.isFolder || e.name == "." || e.name == "..")
                        continue;
                    out.push_back(folder + e.name);
                    if (!cancelled)
                        Scan(folder + e.name + kSeparator);
                }
                for (const auto& e : entries) {
                    if (!e.isFolder)
                        out.push_back(folder + e.name);
                }
            }
        } ref;
        ref.at = at;
        ref.Scan(Folder());

        ScriptedContext ctx;
        ctx.m_escapeAtPoll = at;
        CFileRecordArray arr;
        int32_t counter = 0;
        arr.ScanFolder(Folder(), {.recurse = true, .listFolders = true, .counter = &counter, .ctx = &ctx});
        EXPECT_EQ(Paths(arr), ref.out) << "Escape at poll " << at;
        EXPECT_EQ(counter, static_cast<int32_t>(ref.out.size()));
        EXPECT_TRUE(arr.IsCancelled());
        EXPECT_EQ(ctx.m_waitDepth, 0);
        EXPECT_EQ(ctx.m_polls, ref.polls);
    }
}

#ifndef _WIN32
TEST_F(ScanTest, LinkBackIntoTheTreeIsListedButNotDescended) {
    dir.WriteFile("a/f.txt");
    std::error_code ec;
    std::filesystem::create_directory_symlink(dir.Path("a"), dir.Path(S("a/loop")), ec);
    ASSERT_FALSE(ec);
    std::filesystem::create_directory_symlink(dir.Path("a"), dir.Path("elsewhere"), ec);
    ASSERT_FALSE(ec);
    // With threads the folders are listed ahead, each folder once; the scan's answer is the same.
    for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        ScriptedContext ctx;
        ctx.SetReadThreads(threads);
        CFileRecordArray arr;
        int32_t counter = 0;
        arr.ScanFolder(Folder(), {.recurse = true, .listFolders = true, .counter = &counter, .ctx = &ctx});
        auto paths = Paths(arr);
        // a/loop is listed; "elsewhere" leads to a folder not on its own descent path, so it is entered.
        EXPECT_NE(std::find(paths.begin(), paths.end(), Folder() + S("a/loop")), paths.end());
        EXPECT_NE(std::find(paths.begin(), paths.end(), Folder() + S("elsewhere/f.txt")), paths.end());
        EXPECT_EQ(std::find(paths.begin(), paths.end(), Folder() + S("a/loop/f.txt")), paths.end());
        EXPECT_LT(counter, 20);
    }
}
#endif

#ifndef _WIN32
// A folder whose path is longer than the system takes cannot be listed: the scan names it, with why.
TEST_F(ScanTest, FolderPastThePathLimitIsRecordedAsUnreadable) {
    const std::string name(200, 'd');
    std::vector<int> levels{::open(dir.Root().c_str(), O_RDONLY | O_DIRECTORY)};
    std::string deepest = dir.Root();
    while (deepest.size() <= PATH_MAX && levels.back() >= 0) {
        if (::mkdirat(levels.back(), name.c_str(), 0755) != 0) {
            break;
        }
        levels.push_back(::openat(levels.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        deepest += "/" + name;
    }
    if (deepest.size() > PATH_MAX && levels.back() >= 0) {
        CFileRecordArray arr;
        arr.ScanFolder(Folder(), {.recurse = true});
        ASSERT_EQ(arr.UnreadableFolders().size(), 1u);
        const UnreadableFolder& folder = arr.UnreadableFolders()[0];
        // The first folder along the chain whose path, with its separator, is too long.
        EXPECT_EQ(deepest.compare(0, folder.path.size(), folder.path), 0);
        EXPECT_GE(folder.path.size() + 1, static_cast<size_t>(PATH_MAX));
        EXPECT_EQ(folder.ec, std::errc::filename_too_long);
        EXPECT_EQ(folder.error, folder.path + " contains an invalid path.");
    } else {
        ADD_FAILURE() << "could not build the deep folder chain";
    }
    // Removal by path fails past the limit too: take the chain apart from the inside.
    for (size_t i = levels.size() - 1; i > 0; --i) {
        ::close(levels[i]);
        ::unlinkat(levels[i - 1], name.c_str(), AT_REMOVEDIR);
    }
    ::close(levels[0]);
}
#endif

TEST_F(ScanTest, ScannedOrdersMatchTheLiteralRulesOnRandomTrees) {
    std::mt19937 rng(99);
    for (int round = 0; round < 6; ++round) {
        TempDir tree;
        std::vector<std::string> folders{""};
        for (int i = 0; i < 40; ++i) {
            std::string parent = folders[rng() % folders.size()];
            // Some names share their first eight bytes, which the folder-grouped sort looks at first.
            std::string name =
                std::string(1, "aBcDe"[rng() % 5]) + (rng() % 2 ? "_stem_" : "") + std::to_string(rng() % 50);
            if (rng() % 4 == 0) {
                folders.push_back(parent + name + "/");
                tree.MakeDir(parent + name);
            } else {
                tree.WriteFile(parent + name + (rng() % 2 ? ".cr2" : ".TXT"));
            }
        }
        std::string root = WithTrailingSeparator(tree.Path(""));
        // Overlapping patterns add a file twice to its folder's run.
        for (const char* patterns : {"*.*", "*.cr2;*.*"}) {
            CFileRecordArray appended;
            appended.ScanFolder(root, {.patterns = patterns, .recurse = true});
            for (InsertOrder order : {InsertOrder::DescendingName, InsertOrder::FolderGrouped}) {
                LiteralArray ref;
                for (const auto& r : appended.Records()) {
                    ref.Insert(r.m_path, order);
                }
                CFileRecordArray arr;
                arr.ScanFolder(root, {.patterns = patterns, .recurse = true, .order = order});
                EXPECT_EQ(Paths(arr), ref.Paths()) << patterns << " order " << static_cast<int>(order);
            }
        }
    }
}

// Names beyond ASCII come back as the same UTF-8 text (through the wide API on Windows), match
// patterns without regard to case, and can be opened again by the path the record holds.
TEST_F(ScanTest, UnicodeNamesRoundTripAndMatchWithoutRegardToCase) {
    const std::string name = "D\xC3\xA9j\xC3\xA0 Vu.CR2";  // "Déjà Vu.CR2"
    dir.WriteFile("Pose/" + name, "x");
    CFileRecordArray arr;
    arr.ScanFolder(Folder(), {.patterns = "*.cr2", .recurse = true, .order = InsertOrder::DescendingName});
    ASSERT_EQ(arr.GetSize(), 1);
    EXPECT_EQ(arr.GetAt(0).m_path, Folder() + S("Pose/") + name);
    EXPECT_EQ(arr.GetAt(0).GetNamePart(), name);
    EXPECT_EQ(TempDir::ReadFile(arr.GetAt(0).m_path), "x");
#ifdef _WIN32
    // Windows grammar in the real file system: drive letter, backslashes, a folder part to match.
    EXPECT_EQ(arr.GetAt(0).GetDrive().size(), 2u);
    EXPECT_EQ(arr.GetAt(0).GetFolderPart(), Folder() + "Pose\\");
#endif
}

TEST_F(ScanTest, AddFileInsertsTheFoundRecordOrADefaultOne) {
    std::string f = dir.WriteFile("x.cr2", "12345");
    CFileRecordArray arr;
    EXPECT_EQ(arr.AddFile(f, InsertOrder::Append), 0);
    EXPECT_EQ(arr.AddFile(dir.Path("missing.cr2"), InsertOrder::Append), 1);
    EXPECT_EQ(arr.GetAt(0).m_path, f);
    EXPECT_EQ(arr.GetAt(0).m_size, 5u);
    EXPECT_FALSE(arr.GetAt(0).IsFolder());
    EXPECT_EQ(arr.GetAt(1).m_path, "");
    EXPECT_EQ(arr.GetAt(1).m_attributes, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace veltrane
