#include "checks/PathCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/text/PathParts.h"
#include "fs/walk/FileRecordArray.h"
#include "support/CliRunner.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

constexpr const char* kSpacesLine =
    "This file contained paths that should be enclosed in quotes (spaces in path).\r\n";
constexpr const char* kAbsoluteLine = "This file contained absolute paths.\r\n";
constexpr const char* kBackslashLine =
    "This file contained relative paths that had backslashes (\\) in them.\r\n";
constexpr const char* kTooLongLine =
    "This file contained relative paths that are too long to be Mac compatible (>62 characters).\r\n";
constexpr const char* kSpacesHeader =
    "These files contained paths that should be enclosed in quotes (spaces in path):\r\n";
constexpr const char* kAbsoluteHeader = "These files contained absolute paths in them:\r\n";
constexpr const char* kBackslashHeader =
    "These files contained relative paths that had backslashes (\\) in them:\r\n";
constexpr const char* kUnreadableHeader = "These files could not be read:\r\n";

// The progress window and the wait cursor are released on every way out of a run.
void ExpectReleased(const ScriptedContext& ctx) {
    EXPECT_EQ(ctx.m_progressShown, ctx.m_progressClosed);
    EXPECT_FALSE(ctx.m_progressOpen);
    EXPECT_EQ(ctx.m_waitDepth, 0);
}

// Escape polls the scanner makes on folder (files and folders of every level count), so a test can
// put an Escape after the scan or on a chosen line.
int ScanPolls(const std::string& folder) {
    ScriptedContext ctx;
    CFileRecordArray records;
    int32_t counter = 0;
    records.ScanFolder(WithTrailingSeparator(folder), {.patterns = kPathCheckPatterns,
                                                       .recurse = true,
                                                       .order = InsertOrder::DescendingName,
                                                       .counter = &counter,
                                                       .ctx = &ctx});
    return ctx.m_polls;
}

#ifndef _WIN32
// A socket file exists and is no folder, but no one can open it for reading, not even root.
void MakeUnopenableFile(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}
#endif

struct LineCase {
    const char* name;
    std::string line;
    unsigned expected;
};

TEST(PathCheckTest, ExaminesEachLineByTheFixedOrderOfTests) {
    const std::string sixtyTwo(62, 'a');
    // 64 bytes, two of them spaces, inside quotes.
    const std::string quotedWithSpaces = "\"" + std::string(30, 'b') + "  " + std::string(32, 'c') + "\"";
    const LineCase cases[] = {
        {"quoted drive path with backslashes", "\ttextureMap \"C:\\Program Files\\tex\\a.jpg\"",
         kFindingAbsolute},
        {"leading backslash", "textureMap \\Runtime\\a.jpg", kFindingAbsolute},
        {"quoted relative with backslash", "textureMap \"Runtime\\textures\\a.jpg\"", kFindingBackslash},
        {"62 bytes", "textureMap " + sixtyTwo, 0},
        {"63 bytes", "textureMap " + sixtyTwo + "a", kFindingTooLong},
        {"unquoted space", "textureMap :Runtime:textures:a b.jpg", kFindingUnquotedSpaces},
        {"quoted space", "textureMap \":Runtime:textures:a b.jpg\"", 0},
        {"one quote mark counts as quoted", "textureMap Runtime/a b.jpg\"", 0},
        {"unquoted spaces and absolute", "textureMap C:\\My Textures\\a.jpg",
         kFindingUnquotedSpaces | kFindingAbsolute},
        {"quoted 64 bytes with two spaces is too long", "textureMap " + quotedWithSpaces, kFindingTooLong},
        {"two spaces before a quoted drive path", "textureMap  \"C:\\tex\\a.jpg\"", kFindingAbsolute},
        {"white space after the closing quote", "textureMap \"a.jpg\" \t \v\f", 0},
        {"spaces inside the quotes before a drive path", "textureMap \"  C:\\x.bmp\"", kFindingAbsolute},
        {"white space inside the quotes at both ends", "textureMap \"\t" + sixtyTwo + " \"", 0},
        {"capital keyword", "TextureMap C:\\a.jpg", 0},
        {"other word ending in Map", "bumpMap C:\\a.jpg", 0},
        {"keyword inside a longer word", "mytextureMapping \"Runtime\\a.jpg\"", kFindingBackslash},
        {"first Map belongs to another word", "bumpMap \"a:b\" textureMap Runtime\\x", kFindingAbsolute},
        {"reflection keyword", "reflectionMap Runtime\\r.jpg", kFindingBackslash},
        {"transparency keyword", "transparencyMap \"C:\\t.jpg\"", kFindingAbsolute},
        {"keyword and tab, no Map-space", "textureMap\t\"C:\\tex\\a.jpg\"", kFindingAbsolute},
        {"keyword at the end of the line", "textureMap", 0},
        {"empty value", "textureMap    ", 0},
        {"no map", "textureMap NO_MAP", 0},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(ExaminePathLine(c.line), c.expected) << c.name;
    }
}

TEST(PathCheckTest, FileOnlyReportsEachKindOnceInTableOrder) {
    TempDir dir;
    const std::string path = dir.WriteFile("Fig.cr2",
                                           "version\r\n"
                                           "\ttextureMap \"Runtime\\a.jpg\"\r\n"
                                           "\ttextureMap Runtime:a b.jpg\r\n"
                                           "\treflectionMap C:\\r.jpg\r\n"
                                           "\ttextureMap \"Runtime\\b.jpg\"\n");
    ScriptedContext ctx;
    const PathCheckRun run = RunPathCheck(path, PathCheckMode::FileOnly, ctx);
    EXPECT_EQ(run.stop, PathCheckStop::None);
    EXPECT_TRUE(run.refreshCounters);
    EXPECT_EQ(run.report, std::string(kSpacesLine) + kAbsoluteLine + kBackslashLine);
    EXPECT_EQ(run.filesChecked, 1);
    EXPECT_EQ(run.problemFiles, 1);
    EXPECT_TRUE(run.notices.empty());
    EXPECT_EQ(ctx.m_polls, 5);  // one per line
    EXPECT_EQ(ctx.m_counters.back(), std::make_pair(int32_t{1}, int32_t{1}));
    ExpectReleased(ctx);
}

TEST(PathCheckTest, CleanFileAndHandFileExtensionInAnyCase) {
    TempDir dir;
    const std::string clean = dir.WriteFile("Clean.PZ2", "textureMap \":Runtime:a.jpg\"\r\n");
    const std::string hand = dir.WriteFile("Hand.hD2", "textureMap Runtime\\h.jpg\r\n");
    ScriptedContext ctx;
    PathCheckRun run = RunPathCheck(clean, PathCheckMode::FileOnly, ctx);
    EXPECT_EQ(run.report, "No absolute paths found");
    EXPECT_EQ(run.filesChecked, 1);
    EXPECT_EQ(run.problemFiles, 0);
    run = RunPathCheck(hand, PathCheckMode::FileOnly, ctx);
    EXPECT_EQ(run.report, kBackslashLine);
    ExpectReleased(ctx);
}

TEST(PathCheckTest, PathValidationStopsWithItsErrorBox) {
    TempDir dir;
    const std::string file = dir.WriteFile("a.cr2", "textureMap C:\\a.jpg\r\n");
    const std::string other = dir.WriteFile("notes.txt", "textureMap C:\\a.jpg\r\n");
    struct Case {
        const char* name;
        std::string path;
        PathCheckMode mode;
        PathCheckStop stop;
        std::string text;
        bool disable;
    };
    const Case cases[] = {
        {"missing", dir.Path("nothing"), PathCheckMode::AllFiles, PathCheckStop::PathMissing,
         "Path specified does not exist or points to an unexisting file.\r\nPlease make sure you enter a "
         "valid path.  ",
         true},
        {"missing, file mode", dir.Path("nothing.cr2"), PathCheckMode::FileOnly, PathCheckStop::PathMissing,
         "Path specified does not exist or points to an unexisting file.\r\nPlease make sure you enter a "
         "valid path.  ",
         true},
        {"file in folder mode", file, PathCheckMode::AllFiles, PathCheckStop::NotAFolder,
         "Path specified does not point to a folder, or it is invalid.  ", false},
        {"folder in file mode", dir.Root(), PathCheckMode::FileOnly, PathCheckStop::NotAFile,
         "Path specified does not point to a file.  ", false},
        {"other file type", other, PathCheckMode::FileOnly, PathCheckStop::NotRecognised,
         "File type is not recognized.  ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedContext ctx;
        const PathCheckRun run = RunPathCheck(c.path, c.mode, ctx);
        EXPECT_EQ(run.stop, c.stop);
        EXPECT_FALSE(run.refreshCounters);
        EXPECT_EQ(run.disableCheckButton, c.disable);
        ASSERT_EQ(run.notices.size(), 1u);
        EXPECT_EQ(run.notices[0].kind, NoticeKind::Error);
        EXPECT_EQ(run.notices[0].title, "ERROR");
        EXPECT_EQ(run.notices[0].text, c.text);
        EXPECT_EQ(run.report, "");
        EXPECT_EQ(ctx.m_polls, 0);
        EXPECT_TRUE(ctx.m_counters.empty());
        ExpectReleased(ctx);
    }
}

TEST(PathCheckTest, FileOnlyCancelKeepsWhatWasFound) {
    TempDir dir;
    const std::string path = dir.WriteFile("Fig.cr2",
                                           "textureMap \"C:\\a.jpg\"\r\n"
                                           "other\r\n"
                                           "textureMap Runtime\\b.jpg\r\n");
    struct Case {
        int escapeAt;
        std::string report;
        int32_t problems;
    };
    const std::string head = "User Cancelled Operation, showing partial results\r\n\r\n";
    const Case cases[] = {{1, head, 0}, {2, head + kAbsoluteLine, 1}, {3, head + kAbsoluteLine, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.escapeAt);
        ScriptedContext ctx;
        ctx.m_escapeAtPoll = c.escapeAt;
        const PathCheckRun run = RunPathCheck(path, PathCheckMode::FileOnly, ctx);
        EXPECT_TRUE(run.cancelled);
        EXPECT_EQ(run.report, c.report);
        EXPECT_EQ(run.filesChecked, 1);
        EXPECT_EQ(run.problemFiles, c.problems);
        EXPECT_EQ(ctx.m_polls, c.escapeAt);
        ExpectReleased(ctx);
    }
}

TEST(PathCheckTest, LongLineWarnsAndItsPiecesAreExamined) {
    TempDir dir;
    // The second piece of the cut line starts with the keyword.
    const std::string path = dir.WriteFile("Long.pp2", std::string(2047, 'x') + "textureMap C:\\a.jpg\r\n");
    ScriptedContext ctx;
    const PathCheckRun run = RunPathCheck(path, PathCheckMode::FileOnly, ctx);
    ASSERT_EQ(run.notices.size(), 1u);
    EXPECT_EQ(run.notices[0].title, "Warning !");
    EXPECT_EQ(run.notices[0].text, "m_pBuffer overflow in line 1 (line length over 2048 chars)");
    EXPECT_EQ(run.report, kAbsoluteLine);
}

// A folder of Poser files with every kind of finding; a.cr2 has two kinds.
class PathFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.WriteFile("Pkg/a.cr2", "textureMap \"C:\\abs.jpg\"\r\nreflectionMap Runtime\\r.jpg\r\n");
        dir.WriteFile("Pkg/b.pz2", "textureMap \":Runtime:ok.jpg\"\r\ntextureMap \":Runtime:ok2.jpg\"\r\n");
        dir.WriteFile("Pkg/c.pp2", "transparencyMap Runtime\\c.jpg\r\n");
        dir.WriteFile("Pkg/d.hd2", "textureMap C:\\hand.jpg\r\n");  // hand files are not listed
        dir.WriteFile("Pkg/e.txt", "textureMap C:\\text.jpg\r\n");  // nor other files
        dir.WriteFile("Pkg/Sub/f.LT2", "textureMap a b.jpg\r\n");
        folder = dir.Path("Pkg");
    }

    std::string P(const char* rel) const { return dir.Path(std::string("Pkg/") + rel); }

    TempDir dir;
    std::string folder;
};

TEST_F(PathFolderTest, SectionsNameEachFileOncePerKind) {
    ScriptedContext ctx;
    const PathCheckRun run = RunPathCheck(folder, PathCheckMode::AllFiles, ctx);
    EXPECT_EQ(run.filesChecked, 4);
    EXPECT_EQ(run.problemFiles, 3);
    EXPECT_EQ(run.report, std::string(kSpacesHeader) + P("Sub/f.LT2") + "\r\n\r\n" + kAbsoluteHeader +
                              P("a.cr2") + "\r\n\r\n" + kBackslashHeader + P("a.cr2") + "\r\n" + P("c.pp2") +
                              "\r\n\r\n");
    // Escape polls: the scan's, one after it, one per line.
    EXPECT_EQ(ctx.m_polls, ScanPolls(folder) + 1 + 6);
    ExpectReleased(ctx);

    // With a trailing separator: the same result.
    ScriptedContext again;
    const PathCheckRun withSeparator =
        RunPathCheck(WithTrailingSeparator(folder), PathCheckMode::AllFiles, again);
    EXPECT_EQ(withSeparator.report, run.report);
    EXPECT_EQ(withSeparator.filesChecked, 4);
}

TEST_F(PathFolderTest, EscapeRightAfterTheScanShowsNoResults) {
    ScriptedContext ctx;
    ctx.m_escapeAtPoll = ScanPolls(folder) + 1;
    const PathCheckRun run = RunPathCheck(folder, PathCheckMode::AllFiles, ctx);
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.report, "User Cancelled Operation - no results to show");
    EXPECT_EQ(run.filesChecked, 0);
    EXPECT_EQ(run.problemFiles, 0);
    ExpectReleased(ctx);
}

TEST_F(PathFolderTest, EscapeDuringTheScanChecksWhatWasListed) {
    // The scanner's first poll: it stops before listing anything. The report is that of a finished run
    // over what was listed, but the run says it was cancelled (the command line's status depends on it).
    ScriptedContext ctx;
    ctx.m_escapeAtPoll = 1;
    const PathCheckRun run = RunPathCheck(folder, PathCheckMode::AllFiles, ctx);
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.report, "No absolute paths found");
    EXPECT_EQ(run.filesChecked, 0);
    ExpectReleased(ctx);
}

TEST_F(PathFolderTest, EscapeWhileReadingReportsTheFinishedFiles) {
    // Files are read as a.cr2 (2 lines), b.pz2 (2), c.pp2 (1), Sub/f.LT2 (1): Escape on b's second line
    // keeps a's findings only; on f's line keeps a's and c's.
    struct Case {
        int linePoll;
        std::string sections;
        int32_t problems;
    };
    const Case cases[] = {
        {4,
         std::string(kAbsoluteHeader) + P("a.cr2") + "\r\n\r\n" + kBackslashHeader + P("a.cr2") + "\r\n\r\n",
         1},
        {6,
         std::string(kAbsoluteHeader) + P("a.cr2") + "\r\n\r\n" + kBackslashHeader + P("a.cr2") + "\r\n" +
             P("c.pp2") + "\r\n\r\n",
         2},
    };
    const int scanPolls = ScanPolls(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.linePoll);
        ScriptedContext ctx;
        ctx.m_escapeAtPoll = scanPolls + 1 + c.linePoll;
        const PathCheckRun run = RunPathCheck(folder, PathCheckMode::AllFiles, ctx);
        EXPECT_TRUE(run.cancelled);
        EXPECT_EQ(run.report, "User Cancelled Operation. Showing partial results!\r\n\r\n" + c.sections);
        EXPECT_EQ(run.filesChecked, 4);
        EXPECT_EQ(run.problemFiles, c.problems);
        ExpectReleased(ctx);
    }
}

TEST(PathCheckTest, FolderWithoutPoserFilesFindsNothing) {
    TempDir dir;
    dir.WriteFile("Pkg/readme.txt", "textureMap C:\\a.jpg\r\n");
    dir.MakeDir("Pkg/Empty");
    ScriptedContext ctx;
    const PathCheckRun run = RunPathCheck(dir.Path("Pkg"), PathCheckMode::AllFiles, ctx);
    EXPECT_EQ(run.report, "No absolute paths found");
    EXPECT_EQ(run.filesChecked, 0);
    EXPECT_EQ(run.problemFiles, 0);
}

#ifndef _WIN32
TEST(PathCheckTest, UnreadableFilesDoNotPassAsClean) {
    TempDir dir;
    dir.WriteFile("Pkg/a.cr2", "textureMap \"C:\\abs.jpg\"\r\n");
    dir.WriteFile("Pkg/b.cr2", "textureMap \"ok.jpg\"\r\n");
    MakeUnopenableFile(dir.Path("Pkg/s.cr2"));

    // Folder mode: a section of its own after the others, and a problem file.
    ScriptedContext ctx;
    const PathCheckRun run = RunPathCheck(dir.Path("Pkg"), PathCheckMode::AllFiles, ctx);
    EXPECT_EQ(run.report, std::string(kAbsoluteHeader) + dir.Path("Pkg/a.cr2") + "\r\n\r\n" +
                              kUnreadableHeader + dir.Path("Pkg/s.cr2") + "\r\n\r\n");
    EXPECT_EQ(run.filesChecked, 3);
    EXPECT_EQ(run.problemFiles, 2);
    EXPECT_EQ(run.unreadableFiles, 1);
    ExpectReleased(ctx);

    // File mode: its error box, and the page keeps what it showed.
    ScriptedContext single;
    const PathCheckRun one = RunPathCheck(dir.Path("Pkg/s.cr2"), PathCheckMode::FileOnly, single);
    EXPECT_EQ(one.stop, PathCheckStop::Unreadable);
    EXPECT_FALSE(one.refreshCounters);
    ASSERT_EQ(one.notices.size(), 1u);
    EXPECT_EQ(one.notices[0].title, "ERROR");
    EXPECT_EQ(one.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(one.notices[0].text, "File could not be read.  ");
    ExpectReleased(single);
}
#endif

TEST(PathCheckTest, SamplePackageGivesOneFileForEachKind) {
    const std::string sample = test::Native(std::string(VELTRANE_EXAMPLES_DIR) + "/SamplePackage");
    const std::string props = sample + test::Native("/Runtime/libraries/props/VeltraneSamples/");
    ScriptedContext ctx;
    const PathCheckRun run = RunPathCheck(sample, PathCheckMode::AllFiles, ctx);
    EXPECT_EQ(run.filesChecked, 8);
    EXPECT_EQ(run.problemFiles, 4);
    EXPECT_EQ(run.report,
              std::string(kSpacesHeader) + props + "Barrel.pp2\r\n\r\n" + kAbsoluteHeader + sample +
                  test::Native("/Runtime/libraries/character/VeltraneSamples/BrassBot.cr2") + "\r\n\r\n" +
                  kBackslashHeader + sample +
                  test::Native("/Runtime/libraries/pose/VeltraneSamples/Wave.pz2") + "\r\n\r\n" +
                  "These files contained relative paths that are too long to be Mac compatible (>62 "
                  "characters):\r\n" +
                  props + "Crate.pp2\r\n\r\n");
}

}  // namespace
}  // namespace veltrane
