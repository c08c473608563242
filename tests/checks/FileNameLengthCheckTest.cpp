#include "checks/FileNameLengthCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

constexpr const char* kNoSuchPath =
    "Path specified does not exist or points to an nonexistant file.\r\nPlease make sure you enter a valid "
    "path.  ";
constexpr const char* kNotAFolder =
    "Path specified does not point to a folder, will check only file specified by current path.";
constexpr const char* kNoFilesFound = "No files found in path,\nchecking the folder's name instead.";

std::string Repeat(std::string_view unit, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i) {
        s += unit;
    }
    return s;
}

// A name of `chars` characters: "a" repeated, ending in ".txt" when it is long enough.
std::string NameOf(size_t chars) {
    return Repeat("a", chars - 4) + ".txt";
}

void ExpectFinalCounters(const ScriptedContext& ctx, const FileNameCheckResult& result) {
    ASSERT_FALSE(ctx.m_counters.empty());
    EXPECT_EQ(ctx.m_counters.back(), std::make_pair(result.itemsChecked, result.problemsFound));
}

struct OneEntryCase {
    const char* label;
    std::string name;
    bool reported;
    size_t length;
};

// A folder holding a single file: the threshold, and lengths in characters rather than bytes.
TEST(FileNameLengthCheckTest, MeasuresNamesInCharactersAgainstTheThreshold) {
    const std::string accented = Repeat("\xC3\xA9", 27) + ".txt";  // 31 characters, 58 bytes
    const OneEntryCase cases[] = {
        {"31 characters pass", NameOf(31), false, 31},
        {"32 characters are reported", NameOf(32), true, 32},
        {"accented, 31 characters in 58 bytes", accented, false, 31},
        {"accented, 32 characters", "\xC3\xA9" + accented, true, 32},
#ifndef _WIN32  // names there are UTF-16: every name has a UTF-8 form
        {"invalid UTF-8 counts bytes", "\xFF" + NameOf(31), true, 32},
#endif
        {"percent signs stay literal", Repeat("%s", 14) + "%.txt", true, 33},
    };
    for (const OneEntryCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        dir.WriteFile(c.name, "x");
        ScriptedContext ctx;
        FileNameCheckResult result = RunFileNameCheck(dir.Root(), NameCheckMode::ThisFolderOnly, ctx);
        EXPECT_EQ(result.itemsChecked, 1);
        EXPECT_TRUE(result.notices.empty());
        EXPECT_TRUE(result.refreshCounters);
        if (c.reported) {
            EXPECT_EQ(result.problemsFound, 1);
            EXPECT_EQ(result.report, "The file '" + c.name + "' has " + std::to_string(c.length) +
                                         " characters in its name.\r\n");
        } else {
            EXPECT_EQ(result.problemsFound, 0);
            EXPECT_EQ(result.report, "No Problems found!");
        }
        ExpectFinalCounters(ctx, result);
        EXPECT_EQ(ctx.m_progressShown, 1);
        EXPECT_FALSE(ctx.m_progressOpen);
    }
}

TEST(FileNameLengthCheckTest, ModeDecidesHowDeepTheScanGoes) {
    TempDir dir;
    const std::string longFolder = Repeat("F", 33);
    const std::string longFile = NameOf(40);
    dir.WriteFile(longFolder + "/" + longFile, "x");
    dir.WriteFile(longFolder + "/inner/" + longFile, "x");
    dir.WriteFile("short.txt", "x");

    ScriptedContext flat;
    FileNameCheckResult top = RunFileNameCheck(dir.Root(), NameCheckMode::ThisFolderOnly, flat);
    EXPECT_EQ(top.itemsChecked, 2);
    EXPECT_EQ(top.problemsFound, 1);
    EXPECT_EQ(top.report, "The folder '" + longFolder + "' has 33 characters in its name.\r\n");

    ScriptedContext deep;
    FileNameCheckResult all = RunFileNameCheck(dir.Root(), NameCheckMode::EntireDirectory, deep);
    EXPECT_EQ(all.itemsChecked, 5);  // the long folder, inner, its file, the long file, short.txt
    EXPECT_EQ(all.problemsFound, 3);
    // Record order: a folder before its contents, subfolders' contents before a folder's own files;
    // the same long name in two folders gives two identical lines.
    const std::string fileLine = "The file '" + longFile + "' has 40 characters in its name.\r\n";
    EXPECT_EQ(all.report,
              "The folder '" + longFolder + "' has 33 characters in its name.\r\n" + fileLine + fileLine);
    ExpectFinalCounters(deep, all);
}

TEST(FileNameLengthCheckTest, TrailingSeparatorDoesNotChangeTheResult) {
    TempDir dir;
    dir.WriteFile("sub/" + NameOf(35), "x");
    dir.WriteFile(NameOf(32), "x");
    ScriptedContext a, b;
    FileNameCheckResult without = RunFileNameCheck(dir.Root(), NameCheckMode::EntireDirectory, a);
    FileNameCheckResult with = RunFileNameCheck(dir.Root() + "/", NameCheckMode::EntireDirectory, b);
    EXPECT_EQ(without.report, with.report);
    EXPECT_EQ(without.itemsChecked, with.itemsChecked);
    EXPECT_EQ(without.problemsFound, 2);
}

struct EmptyFolderCase {
    const char* label;
    size_t nameLength;
    bool trailingSeparator;
    bool reported;
};

// The empty folder's own name is measured without its trailing separator, so 31 characters pass.
TEST(FileNameLengthCheckTest, EmptyFolderMeasuresItsOwnName) {
    const EmptyFolderCase cases[] = {
        {"short name", 5, false, false},
        {"31 characters pass", 31, false, false},
        {"31 characters typed with a separator", 31, true, false},
        {"32 characters are reported", 32, false, true},
    };
    for (const EmptyFolderCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const std::string name = Repeat("E", c.nameLength);
        std::string path = dir.MakeDir(name);
        if (c.trailingSeparator) {
            path += "/";
        }
        ScriptedContext ctx;
        FileNameCheckResult result = RunFileNameCheck(path, NameCheckMode::EntireDirectory, ctx);
        ASSERT_EQ(result.notices.size(), 1u);
        EXPECT_EQ(result.notices[0].kind, NoticeKind::Error);
        EXPECT_EQ(result.notices[0].title, "Veltrane");
        EXPECT_EQ(result.notices[0].text, kNoFilesFound);
        EXPECT_EQ(result.itemsChecked, 0);
        EXPECT_TRUE(result.refreshCounters);
        if (c.reported) {
            EXPECT_EQ(result.problemsFound, 1);
            EXPECT_EQ(result.report, "The folder '" + name + "' has 32 characters in its name.");
        } else {
            EXPECT_EQ(result.problemsFound, 0);
            EXPECT_EQ(result.report, "No Problems found!");
        }
        ExpectFinalCounters(ctx, result);
        EXPECT_FALSE(ctx.m_progressOpen);
    }
}

TEST(FileNameLengthCheckTest, FolderOwnNameKeepsRootsWhole) {
    struct Case {
        const char* folder;
        PathStyle style;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\a\\Props\\", PathStyle::Windows, "Props"},
        {"C:\\a\\Props", PathStyle::Windows, "Props"},
        {"E:\\", PathStyle::Windows, "E:\\"},
        {"\\\\server\\share\\", PathStyle::Windows, "share"},
        {"/home/u/Props/", PathStyle::Posix, "Props"},
        {"/", PathStyle::Posix, "/"},
        {"/data/c:/", PathStyle::Posix, "c:"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOwnName(c.folder, c.style), c.name) << c.folder;
    }
    EXPECT_EQ(CharacterCount(FolderOwnName("E:\\", PathStyle::Windows)), 3u);
}

TEST(FileNameLengthCheckTest, SingleFileMeasuresItsOwnName) {
    TempDir dir;
    const std::string longName = NameOf(40);
    const std::string longPath = dir.WriteFile("sub/" + longName, "x");
    const std::string shortPath = dir.WriteFile("sub/short10.x", "x");

    ScriptedContext ctx;
    FileNameCheckResult result = RunFileNameCheck(longPath, NameCheckMode::EntireDirectory, ctx);
    ASSERT_EQ(result.notices.size(), 1u);
    EXPECT_EQ(result.notices[0].kind, NoticeKind::Information);
    EXPECT_EQ(result.notices[0].title, "Veltrane");
    EXPECT_EQ(result.notices[0].text, kNotAFolder);
    EXPECT_EQ(result.report, "The file '" + longName + "' has 40 characters in its name.");
    EXPECT_EQ(result.itemsChecked, 1);
    EXPECT_EQ(result.problemsFound, 1);
    ExpectFinalCounters(ctx, result);
    EXPECT_EQ(ctx.m_progressShown, 0);

    ScriptedContext ctx2;
    FileNameCheckResult clean = RunFileNameCheck(shortPath, NameCheckMode::ThisFolderOnly, ctx2);
    EXPECT_EQ(clean.report, "No Problems found!");
    EXPECT_EQ(clean.itemsChecked, 0);  // a short single name sets no counter, as a clean check starts
    EXPECT_EQ(clean.problemsFound, 0);
    // The boxes must not keep a previous check's numbers next to this report.
    EXPECT_TRUE(clean.refreshCounters);
    ExpectFinalCounters(ctx2, clean);
}

TEST(FileNameLengthCheckTest, MissingPathStopsWithTheErrorBox) {
    TempDir dir;
    std::vector<std::string> paths = {dir.Path("missing"), std::string()};
#ifndef _WIN32
    paths.push_back(dir.WriteFile("f.txt", "x") + "/");  // a file cannot be entered as a folder
#endif
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ScriptedContext ctx;
        FileNameCheckResult result = RunFileNameCheck(path, NameCheckMode::ThisFolderOnly, ctx);
        ASSERT_EQ(result.notices.size(), 1u);
        EXPECT_EQ(result.notices[0].kind, NoticeKind::Error);
        EXPECT_EQ(result.notices[0].title, "Veltrane");
        EXPECT_EQ(result.notices[0].text, kNoSuchPath);
        EXPECT_TRUE(result.disableCheckButton);
        EXPECT_FALSE(result.refreshCounters);
        EXPECT_EQ(result.report, "");
        EXPECT_TRUE(ctx.m_counters.empty());
        EXPECT_EQ(ctx.m_progressShown, 0);
    }
}

TEST(FileNameLengthCheckTest, EscapeReportsWhatWasFoundSoFar) {
    TempDir dir;
    dir.WriteFile(NameOf(33), "x");
    dir.WriteFile(NameOf(34), "x");

    // Escape before the first entry: nothing was found, so the folder's own name is measured.
    ScriptedContext first;
    first.m_escapeAtPoll = 1;
    FileNameCheckResult none = RunFileNameCheck(dir.Root(), NameCheckMode::EntireDirectory, first);
    EXPECT_TRUE(none.cancelled);
    ASSERT_EQ(none.notices.size(), 1u);
    EXPECT_EQ(none.notices[0].text, kNoFilesFound);
    EXPECT_EQ(none.itemsChecked, 0);
    EXPECT_FALSE(first.m_progressOpen);

    // Escape inside a subfolder: the parent still adds its own files, the subfolder nothing more.
    TempDir tree;
    tree.WriteFile("sub/" + NameOf(33), "x");
    tree.WriteFile("sub/b.txt", "x");
    tree.WriteFile(NameOf(36), "x");
    // The root's folder pass polls once per entry and descends into "sub" when it meets it, so the
    // first poll inside "sub" comes right after the poll of "sub" itself.
    const int subPosition = TempDir::ListingPosition(tree.Root(), "sub");
    ASSERT_GE(subPosition, 0);
    ScriptedContext later;
    later.m_escapeAtPoll = subPosition + 2;
    FileNameCheckResult partial = RunFileNameCheck(tree.Root(), NameCheckMode::EntireDirectory, later);
    EXPECT_TRUE(partial.cancelled);
    EXPECT_EQ(partial.itemsChecked, 2);  // "sub" and the root's own file
    EXPECT_EQ(partial.problemsFound, 1);
    EXPECT_EQ(partial.report, "The file '" + NameOf(36) + "' has 36 characters in its name.\r\n");
    ExpectFinalCounters(later, partial);
}

}  // namespace
}  // namespace veltrane
