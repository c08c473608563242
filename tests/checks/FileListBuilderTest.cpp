#include "checks/FileListBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fs/write/FileOps.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;
namespace fs = std::filesystem;

// text with every "/" turned into the platform's separator, for paths the scanner composes.
std::string Native(std::string text) {
    for (char& c : text) {
        if (c == '/') {
            c = kSeparator;
        }
    }
    return text;
}

std::string FolderPart(const std::string& path, PathStyle style) {
    const PathParts parts = SplitPath(path, style);
    return path.substr(0, parts.drive.size() + parts.directory.size());
}

// The folder-grouped insertion rule, literally: before the first record whose path is not greater
// than the new one's or whose folder part differs; at the end when there is none.
void InsertGroupedLiterally(std::vector<CFileRecord>& records, const std::string& path, PathStyle style) {
    size_t i = 0;
    while (i < records.size() && records[i].m_path > path &&
           FolderPart(records[i].m_path, style) == FolderPart(path, style)) {
        ++i;
    }
    records.insert(records.begin() + static_cast<std::ptrdiff_t>(i), CFileRecord(path));
}

// The files of folder in the order the scanner meets them: each subfolder's files first (in
// enumeration order, depth first), then the folder's own files.
void ScanLiterally(const fs::path& folder, const std::string& folderText, std::vector<std::string>& out) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = FromFsPath(entry.path().filename());
        if (entry.is_directory()) {
            ScanLiterally(entry.path(), folderText + name + kSeparator, out);
        } else {
            files.push_back(folderText + name);
        }
    }
    out.insert(out.end(), files.begin(), files.end());
}

std::string ListTextLiterally(const std::vector<CFileRecord>& records, size_t prefixLength, PathStyle style) {
    std::string text, previous;
    for (size_t i = records.size(); i-- > 0;) {
        const std::string folder = FolderPart(records[i].m_path, style);
        if (i + 1 == records.size() || folder != previous) {
            text += (i + 1 == records.size() ? "" : "\r\n\r\n") + (".." + folder.substr(prefixLength));
            previous = folder;
        }
        text += "\r\n   " + records[i].m_path.substr(folder.size());
    }
    return text;
}

// The worked example: C:\Top\ holds b.txt, C.txt, a.txt and the subfolders sub2, sub1 (with
// deeper) and empty, enumerated in that order.
TEST(FileListBuilderTest, WorkedExampleOnWindowsPaths) {
    const PathStyle win = PathStyle::Windows;
    std::vector<CFileRecord> records;
    for (const char* path : {"C:\\Top\\sub2\\x.txt", "C:\\Top\\sub1\\deeper\\z.txt", "C:\\Top\\sub1\\y.txt",
                             "C:\\Top\\sub1\\c.txt", "C:\\Top\\b.txt", "C:\\Top\\C.txt", "C:\\Top\\a.txt"}) {
        InsertGroupedLiterally(records, path, win);
    }
    const std::string prefix = ListBasePrefix("C:\\Top\\", win);
    EXPECT_EQ(prefix, "C:");
    FileListText list = BuildListText(records, prefix, win);
    EXPECT_EQ(list.text,
              "..\\Top\\sub2\\\r\n   x.txt\r\n\r\n"
              "..\\Top\\sub1\\deeper\\\r\n   z.txt\r\n\r\n"
              "..\\Top\\sub1\\\r\n   c.txt\r\n   y.txt\r\n\r\n"
              "..\\Top\\\r\n   C.txt\r\n   a.txt\r\n   b.txt");
    EXPECT_EQ(list.groups, 4);
    // The entries keep their own text: they outlive the records they were made from.
    const ListEntries entries = BuildListText(std::vector<CFileRecord>(records), prefix, win).entries;
    ASSERT_EQ(entries.size(), records.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& path = records[records.size() - 1 - i].m_path;
        EXPECT_EQ(entries[i].folder, FolderPart(path, win));
        EXPECT_EQ(std::string(entries[i].folder) + std::string(entries[i].name), path);
    }
}

TEST(FileListBuilderTest, DriveRootHeadingsShowTheWholeFolder) {
    const PathStyle win = PathStyle::Windows;
    std::vector<CFileRecord> records;
    for (const char* path : {"C:\\Sub\\s.txt", "C:\\r.txt"}) {
        InsertGroupedLiterally(records, path, win);
    }
    const std::string prefix = ListBasePrefix("C:\\", win);
    EXPECT_EQ(prefix, "");
    EXPECT_EQ(BuildListText(records, prefix, win).text, "..C:\\Sub\\\r\n   s.txt\r\n\r\n..C:\\\r\n   r.txt");
}

TEST(FileListBuilderTest, BasePrefixDropsTheLastComponent) {
    struct Case {
        const char* folder;
        PathStyle style;
        const char* prefix;
    };
    const Case cases[] = {
        {"C:\\Content\\MyProduct\\", PathStyle::Windows, "C:\\Content"},
        {"C:\\Content\\MyProduct\\\\", PathStyle::Windows, "C:\\Content"},
        {"C:/Content/MyProduct/", PathStyle::Windows, "C:/Content"},
        {"C:\\", PathStyle::Windows, ""},
        {"/home/u/Top/", PathStyle::Posix, "/home/u"},
        {"/Top/", PathStyle::Posix, ""},
        {"/", PathStyle::Posix, ""},
        {"Top/", PathStyle::Posix, ""},
        {"a\\b/", PathStyle::Posix, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ListBasePrefix(c.folder, c.style), c.prefix) << c.folder;
    }
}

// On a real tree the list must follow the rule applied to the order the platform enumerates in.
TEST(FileListBuilderTest, RealTreeMatchesTheRuleOnTheEnumerationOrder) {
    TempDir dir;
    for (const char* rel :
         {"Top/b.txt", "Top/C.txt", "Top/a.txt", "Top/100%.txt", "Top/.hidden", "Top/sub2/x.txt",
          "Top/sub1/y.txt", "Top/sub1/c.txt", "Top/sub1/deeper/z.txt", "Top/only-folders/one/1.txt",
          "Top/only-folders/two/2.txt", "Top/sub1/deeper/Y.txt"}) {
        dir.WriteFile(rel, "x");
    }
    dir.MakeDir("Top/empty");
    dir.MakeDir("Top/sub2/pose.cr2");  // a folder never becomes a file line, whatever its name

    std::vector<std::string> scanned;
    ScanLiterally(ToFsPath(dir.Path("Top")), dir.Path("Top") + kSeparator, scanned);
    std::vector<CFileRecord> records;
    for (const std::string& path : scanned) {
        InsertGroupedLiterally(records, path, kNativeStyle);
    }
    const std::string expected = ListTextLiterally(records, dir.Root().size(), kNativeStyle);

    for (const std::string& path : {dir.Path("Top"), dir.Path("Top") + kSeparator}) {
        ScriptedContext ctx;
        FileListResult result = RunFileListCheck(path, ctx);
        EXPECT_EQ(result.listText, expected);
        EXPECT_EQ(result.basePrefix, dir.Root());
        EXPECT_EQ(result.filesListed, 12);
        EXPECT_EQ(result.foldersScanned, 6);  // Top, sub2, sub1, deeper, one, two
        EXPECT_TRUE(result.saveEnabled);
        EXPECT_TRUE(result.notices.empty());
        EXPECT_FALSE(result.cancelled);
        ASSERT_FALSE(ctx.m_counters.empty());
        EXPECT_EQ(ctx.m_counters.front(), std::make_pair(0, 0));
        EXPECT_EQ(ctx.m_counters.back(), std::make_pair(6, 12));
        EXPECT_EQ(ctx.m_progressShown, 1);
        EXPECT_FALSE(ctx.m_progressOpen);
    }
    // Spot checks of the rule itself, independent of the enumeration order.
    ScriptedContext ctx;
    const std::string text = RunFileListCheck(dir.Path("Top"), ctx).listText;
    EXPECT_TRUE(text.ends_with(
        Native("\r\n\r\n../Top/\r\n   .hidden\r\n   100%.txt\r\n   C.txt\r\n   a.txt\r\n   b.txt")));
    EXPECT_EQ(text.find(Native("../Top/only-folders/\r\n")), std::string::npos);
    EXPECT_EQ(text.find("pose.cr2"), std::string::npos);
    EXPECT_NE(text.find(Native("../Top/sub1/deeper/\r\n   Y.txt\r\n   z.txt")), std::string::npos);
}

TEST(FileListBuilderTest, NothingToListSaysSo) {
    TempDir dir;
    dir.MakeDir("empty/only/folders");
    const std::string file = dir.WriteFile("file.txt", "x");
    for (const std::string& path : {dir.Path("empty"), dir.Path("missing"), file}) {
        SCOPED_TRACE(path);
        ScriptedContext ctx;
        FileListResult result = RunFileListCheck(path, ctx);
        EXPECT_EQ(result.listText, "");
        EXPECT_EQ(result.filesListed, 0);
        EXPECT_EQ(result.foldersScanned, 0);
        EXPECT_FALSE(result.saveEnabled);
        ASSERT_EQ(result.notices.size(), 1u);
        EXPECT_EQ(result.notices[0].kind, NoticeKind::None);
        EXPECT_EQ(result.notices[0].title, "Veltrane");
        EXPECT_EQ(result.notices[0].text, "Selected folder was empty!");
        EXPECT_FALSE(ctx.m_progressOpen);
    }
}

TEST(FileListBuilderTest, EscapeListsWhatWasFound) {
    TempDir dir;
    dir.WriteFile("A/sub/deep.txt", "x");
    dir.WriteFile("A/own.txt", "x");
    // The folder pass polls every entry and enters "sub" right after polling it.
    const int subPosition = TempDir::ListingPosition(dir.Path("A"), "sub");
    ASSERT_GE(subPosition, 0);
    ScriptedContext ctx;
    ctx.m_escapeAtPoll = subPosition + 2;
    FileListResult result = RunFileListCheck(dir.Path("A"), ctx);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.listText, Native("../A/\r\n   own.txt"));
    EXPECT_EQ(result.filesListed, 1);
    EXPECT_EQ(result.foldersScanned, 1);
    EXPECT_TRUE(result.saveEnabled);
}

TEST(FileListBuilderTest, SaveWritesTheListByteForByte) {
    TempDir dir;
    dir.WriteFile("A/readme.txt", "x");
    ScriptedContext ctx;
    FileListResult list = RunFileListCheck(dir.Path("A"), ctx);
    ASSERT_EQ(list.listText, Native("../A/\r\n   readme.txt"));

    const std::string target = dir.WriteFile("out/list.txt", "an older and longer list that must go away");
    FileListSaveResult save = SaveFileListWithNotices(target, list.listText, ctx);
    EXPECT_TRUE(save.saved);
    EXPECT_FALSE(save.saveEnabled);
    EXPECT_TRUE(save.notices.empty());
    EXPECT_EQ(TempDir::ReadFile(target), list.listText);
}

TEST(FileListBuilderTest, SaveOutcomesWithoutAFile) {
    TempDir dir;
    ScriptedContext ctx;

    const std::string unwritten = dir.Path("never.txt");
    FileListSaveResult empty = SaveFileListWithNotices(unwritten, "", ctx);
    EXPECT_FALSE(empty.saved);
    EXPECT_FALSE(empty.saveEnabled);
    ASSERT_EQ(empty.notices.size(), 1u);
    EXPECT_EQ(empty.notices[0].kind, NoticeKind::None);
    EXPECT_EQ(empty.notices[0].title, "Veltrane");
    EXPECT_EQ(empty.notices[0].text, "Can't output a file, there are no files to list!");
    EXPECT_FALSE(fs::exists(ToFsPath(unwritten)));

    const std::string missing = dir.Path("no/such/folder/list.txt");
    FileListSaveResult failed = SaveFileListWithNotices(missing, "..x\r\n   y", ctx);
    EXPECT_FALSE(failed.saved);
    EXPECT_TRUE(failed.saveEnabled);  // the user may try another name
    ASSERT_EQ(failed.notices.size(), 1u);
    EXPECT_EQ(failed.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(failed.notices[0].title, "Veltrane");
    std::error_code ec;
    ASSERT_FALSE(SaveFileList(missing, "x", ec));
    EXPECT_EQ(failed.notices[0].text, FileErrorText(ec, missing));
    EXPECT_EQ(failed.notices[0].text.find(missing), 0u);
    EXPECT_EQ(ctx.Notices().size(), 2u);
}

}  // namespace
}  // namespace veltrane
