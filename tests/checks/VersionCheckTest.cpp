#include "checks/VersionCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

const std::string kHeader = "{\r\nversion\r\n\t{\r\n";

std::string PoserFile(std::string_view versionLine) {
    return kHeader + std::string(versionLine) + "\r\n\t}\r\nactor BODY:1\r\n";
}

TEST(VersionCheckTest, JudgesOnlyVersionLines) {
    struct Case {
        const char* line;
        VersionVerdict verdict;
    };
    const Case cases[] = {
        {"\tnumber 5", VersionVerdict::NeedsFix},
        {"\tnumber 5.0", VersionVerdict::NeedsFix},
        {"\tnumber 5.1", VersionVerdict::NeedsFix},
        {"\tnumber 50", VersionVerdict::NeedsFix},
        {"\tnumber 4.1", VersionVerdict::NeedsFix},
        {"\tnumber 4.2", VersionVerdict::NeedsFix},
        {"\tnumber 4.10", VersionVerdict::NeedsFix},
        {"  \t number 4.1 \t ", VersionVerdict::NeedsFix},
        {"number 5", VersionVerdict::NeedsFix},
        {"\tnumber 4.0", VersionVerdict::Fine},
        {"\tnumber 4.01", VersionVerdict::Fine},
        {"\tnumber 4.05", VersionVerdict::Fine},
        {"\tnumber 4", VersionVerdict::Fine},
        {"\tnumber 6", VersionVerdict::NeedsFix},  // Poser 6 to 13 declare their own version
        {"\tnumber 11.0", VersionVerdict::NeedsFix},
        {"\tnumber 13", VersionVerdict::NeedsFix},
        {"\tnumber 05", VersionVerdict::NeedsFix},
        {"\tnumber 0.6", VersionVerdict::Fine},
        {"\tnumber 3", VersionVerdict::Fine},
        {"\tnumber\t6", VersionVerdict::Fine},
        {"\tnumber\t5", VersionVerdict::Fine},  // the tests look for "number 5" with one space
        {"\tNumber 5", VersionVerdict::NotVersionLine},
        {"\tname Jersey number 5", VersionVerdict::NotVersionLine},
        {"\tnumber 5 and more", VersionVerdict::NotVersionLine},
        {"\tnumbers 5", VersionVerdict::NotVersionLine},
        {"\tnumber5", VersionVerdict::NotVersionLine},
        {"\tnumber", VersionVerdict::NotVersionLine},
        {"\tnumber   ", VersionVerdict::NotVersionLine},
        {"x number 5", VersionVerdict::NotVersionLine},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JudgeVersionLine(c.line), c.verdict) << '"' << c.line << '"';
    }
}

// The verdict streams over a line; the rule it follows searches the whole line for substrings.
TEST(VersionCheckTest, StreamedVerdictMatchesTheSubstringRuleOnRandomLines) {
    auto literal = [](std::string_view line) {
        std::string_view rest = line;
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
            rest.remove_prefix(1);
        }
        const bool blank = [](char c) { return c == ' ' || c == '\t'; }(rest.size() > 6 ? rest[6] : 'x');
        size_t token = rest.find_first_not_of(" \t", 6);
        size_t after = token == std::string_view::npos ? token : rest.find_first_of(" \t", token);
        const bool isVersionLine = rest.substr(0, 6) == "number" && blank &&
                                   token != std::string_view::npos &&
                                   (after == std::string_view::npos ||
                                    rest.find_first_not_of(" \t", after) == std::string_view::npos);
        if (!isVersionLine) {
            return VersionVerdict::NotVersionLine;
        }
        // The token's integer part, after "number" and one space.
        const size_t word = line.find("number ");
        const size_t digits =
            word == std::string_view::npos ? 0 : line.find_first_not_of("0123456789", word + 7);
        const std::string_view integer =
            word == std::string_view::npos ? std::string_view() : line.substr(word + 7, digits - word - 7);
        const bool fix =
            (!integer.empty() && std::stoull(std::string(integer)) >= 5) ||
            (line.find("number 4") != std::string_view::npos && line.find('.') != std::string_view::npos &&
             line.find(".0") == std::string_view::npos);
        return fix ? VersionVerdict::NeedsFix : VersionVerdict::Fine;
    };
    std::mt19937 rng(13);
    const std::string pieces[] = {" ", "\t", "number", "4", "5", "1", "6", ".", "0", "x", "number 4.", "n"};
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        for (int n = static_cast<int>(rng() % 7); n >= 0; --n) {
            line += pieces[rng() % std::size(pieces)];
        }
        ASSERT_EQ(JudgeVersionLine(line), literal(line)) << '"' << line << '"';
    }
}

// Check and fix judge the same whole physical line, however long: what the check flags, the fix
// changes, and what it leaves, the fix would leave too.
TEST(VersionCheckTest, CheckAndFixAgreeOnLinesLongerThanTheReaderLimit) {
    struct Case {
        const char* name;
        std::string line;
        bool flagged;
    } cases[] = {
        {"text, then a version line's words", std::string(2047, 'x') + "\tnumber 5", false},
        {"blanks past the limit, then the version", std::string(3000, ' ') + "number 5", true},
        {"a version token past the limit", "\tnumber 4." + std::string(5000, '1'), true},
        {"a newer Poser's version", "\tnumber 11.0", true},
        {"a newer version past the limit", "\tnumber " + std::string(5000, '1'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.WriteFile("a.cr2", PoserFile(c.line));
        for (int pass = 0; pass < 2; ++pass) {
            ScriptedContext ctx;
            ctx.m_answers.push_back(NoticeAnswer::Ok);
            CFileRecordArray records;
            VersionRunResult run = RunVersionCheck(dir.Root(), VersionCheckMode::Folder, records, ctx);
            EXPECT_EQ(run.check.problemsFound, pass == 0 && c.flagged ? 1 : 0) << "pass " << pass;
            EXPECT_TRUE(run.fix.failures.empty());
        }
    }
}

TEST(VersionCheckTest, FileModeStopsAtTheFirstLineThatNeedsFixing) {
    TempDir dir;
    const std::string path = dir.WriteFile(
        "a.cr2", "\tname Jersey number 5\r\n\tnumber 4.0\r\n\tnumber 5\r\nnumber 4.1\r\nlast\r\n");
    ScriptedContext ctx;
    CFileRecordArray records;
    VersionCheckResult r = CheckVersionNumbers(path, VersionCheckMode::File, records, ctx);
    EXPECT_EQ(r.outcome, VersionCheckOutcome::Checked);
    EXPECT_EQ(r.filesChecked, 1);
    EXPECT_EQ(r.problemsFound, 1);
    EXPECT_EQ(r.flaggedText, path + "\r\n");
    EXPECT_EQ(ctx.m_polls, 3);  // one poll per line, up to the flagged one
    EXPECT_EQ(ctx.m_counters, (std::vector<std::pair<int32_t, int32_t>>{{1, 0}, {1, 1}}));
    ASSERT_EQ(records.GetSize(), 1);
    EXPECT_EQ(records.GetAt(0).m_path, path);

    // A word "number" elsewhere in a line does not flag the file.
    const std::string clean = dir.WriteFile("b.cr2", "\tname Jersey number 5\n\tnumber 4.0\n");
    VersionCheckResult c = CheckVersionNumbers(clean, VersionCheckMode::File, records, ctx);
    EXPECT_EQ(c.filesChecked, 1);
    EXPECT_EQ(c.problemsFound, 0);
    EXPECT_EQ(records.GetSize(), 0);  // every check empties the list first
}

TEST(VersionCheckTest, BadPathsStopAtAnErrorBoxBeforeAnythingIsRead) {
    TempDir dir;
    const std::string file = dir.WriteFile("x.cr2", PoserFile("\tnumber 5"));
    const std::string dangling = dir.Path("gone.cr2");
    test::UnreadableFile unreadable(dangling);
    struct Case {
        std::string path;
        VersionCheckMode mode;
        const char* text;
    };
    const Case cases[] = {
        {dir.Root(), VersionCheckMode::File, "Path specified points to a folder.  "},
        {dir.Path("missing.cr2"), VersionCheckMode::File,
         "Path specified does not exist or points to an unexisting file.\r\nPlease make sure you enter a "
         "valid "
         "path.  "},
        {dangling, VersionCheckMode::File, "File could not be read.  "},
        {file, VersionCheckMode::Folder, "Path specified does not point to a folder, or it is invalid.  "},
        {dir.Path("missing"), VersionCheckMode::Folder,
         "Path specified does not exist or points to an unexisting file.\r\nPlease make sure you enter a "
         "valid "
         "path.  "},
    };
    for (const Case& c : cases) {
        ScriptedContext ctx;
        CFileRecordArray records;
        VersionRunResult run = RunVersionCheck(c.path, c.mode, records, ctx);
        EXPECT_FALSE(run.hasReport) << c.path;
        EXPECT_EQ(run.report, "");
        EXPECT_EQ(records.GetSize(), 0);
        EXPECT_EQ(ctx.m_progressShown, 1);
        EXPECT_FALSE(ctx.m_progressOpen);
        EXPECT_EQ(ctx.m_waitDepth, 0);
        ASSERT_EQ(ctx.Notices().size(), 1u) << c.path;
        const Notice& box = ctx.Notices()[0];
        EXPECT_EQ(box.kind, NoticeKind::Error);
        EXPECT_EQ(box.title, "ERROR");
        EXPECT_EQ(box.text, c.text);
    }
    EXPECT_EQ(TempDir::ReadFile(file), PoserFile("\tnumber 5"));
}

TEST(VersionCheckTest, FolderModeRecursesReadsPoserFilesOnlyAndAsksBeforeFixing) {
    TempDir dir;
    const std::string x = dir.WriteFile("x.cr2", PoserFile("\tnumber 5"));
    dir.WriteFile("y.pz2", PoserFile("\tnumber 4.0"));
    const std::string z = dir.WriteFile("Sub/Deeper/z.hd2", PoserFile("\tnumber 4.1"));
    dir.WriteFile("notes.txt", PoserFile("\tnumber 5"));
    test::UnreadableFile unreadable(dir.Path("broken.pp2"));
    const std::string broken = dir.Path("broken.pp2");

    for (NoticeAnswer answer : {NoticeAnswer::Cancel, NoticeAnswer::Ok}) {
        ScriptedContext ctx;
        ctx.m_answers.push_back(answer);
        CFileRecordArray records;
        VersionRunResult run = RunVersionCheck(dir.Root(), VersionCheckMode::Folder, records, ctx);
        ASSERT_TRUE(run.hasReport);
        EXPECT_EQ(run.check.filesChecked, 3);
        EXPECT_EQ(run.check.problemsFound, 2);
        EXPECT_EQ(run.check.unreadableFiles, std::vector<std::string>{broken});
        ASSERT_EQ(ctx.Notices().size(), 1u);
        EXPECT_EQ(ctx.Notices()[0].title, "Files to Fix");
        EXPECT_EQ(ctx.Notices()[0].kind, NoticeKind::None);
        EXPECT_EQ(ctx.Notices()[0].buttons, NoticeButtons::OkCancel);
        EXPECT_EQ(
            ctx.Notices()[0].text,
            "There are one or more files to fix.\nYou won't be able to cancel while the files are being "
            "fixed...\n\nContinue?");
        const std::string unreadable = "\r\nThese files could not be read:\r\n" + broken + "\r\n";
        // The records come in the order the files were flagged, and the flagged text with them.
        ASSERT_EQ(records.GetSize(), 2);
        std::string flagged = records.GetAt(0).m_path + "\r\n" + records.GetAt(1).m_path + "\r\n";
        EXPECT_EQ(run.check.flaggedText, flagged);
        std::vector<std::string> paths = {records.GetAt(0).m_path, records.GetAt(1).m_path};
        std::sort(paths.begin(), paths.end());
        EXPECT_EQ(paths, (std::vector<std::string>{dir.Path("Sub/Deeper/z.hd2"), dir.Path("x.cr2")}));
        if (answer == NoticeAnswer::Cancel) {
            EXPECT_EQ(run.report,
                      "These Files contain a version number higher than 4.0:\r\n" + flagged + unreadable);
            EXPECT_EQ(TempDir::ReadFile(x), PoserFile("\tnumber 5"));
        } else {
            EXPECT_EQ(run.report, "These Files have been fixed:\r\n" + records.GetAt(0).GetNamePart() +
                                      "\r\n" + records.GetAt(1).GetNamePart() + "\r\n" + unreadable);
            EXPECT_EQ(TempDir::ReadFile(x), PoserFile("\tnumber 4.0"));
            EXPECT_EQ(TempDir::ReadFile(z), PoserFile("\tnumber 4.0"));
        }
    }
    // A second check finds nothing left, and says so before listing what it could not read.
    ScriptedContext ctx;
    CFileRecordArray records;
    VersionRunResult again = RunVersionCheck(dir.Root(), VersionCheckMode::Folder, records, ctx);
    EXPECT_EQ(again.report, "No Files To Fix!\r\n\r\nThese files could not be read:\r\n" + broken + "\r\n");
    EXPECT_TRUE(ctx.Notices().empty());
}

TEST(VersionCheckTest, EscapeDuringTheThirdOfFiveFilesKeepsWhatWasFlagged) {
    TempDir dir;
    for (const char* name : {"a.cr2", "b.cr2", "c.cr2", "d.cr2", "e.cr2"}) {
        dir.WriteFile(name, "first\r\n\tnumber 5\r\n");
    }
    ScriptedContext listing;
    CFileRecordArray files;
    files.ScanFolder(dir.Root() + "/", {.patterns = kVersionPatterns, .recurse = true, .ctx = &listing});
    ASSERT_EQ(files.GetSize(), 5);
    ScriptedContext ctx;
    // The polls of the listing, then two lines in each of the first two files.
    ctx.m_escapeAtPoll = listing.m_polls + 2 + 2 + 1;
    ctx.m_answers.push_back(NoticeAnswer::Cancel);
    CFileRecordArray records;
    VersionRunResult run = RunVersionCheck(dir.Root(), VersionCheckMode::Folder, records, ctx);
    EXPECT_TRUE(run.check.cancelled);
    EXPECT_EQ(run.check.filesChecked, 3);
    EXPECT_EQ(run.check.problemsFound, 2);
    EXPECT_EQ(records.GetSize(), 2);
    EXPECT_EQ(ctx.m_polls, ctx.m_escapeAtPoll);
    EXPECT_TRUE(run.asked);  // offered for fixing as after a complete check
    EXPECT_EQ(run.report.rfind("These Files contain a version number higher than 4.0:\r\n", 0), 0u);
}

}  // namespace
}  // namespace veltrane
