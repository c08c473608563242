#include "checks/CombinedCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/Gzip.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

// A random package: Poser files of every kind with texture, version and reference lines, line ends of
// all three sorts, lines past the reader's limit, a compressed file, long names, textures and other
// files, several levels deep. The same seed gives the same tree.
void Generate(const TempDir& dir, unsigned seed) {
    std::mt19937 rng(seed);
    const char* exts[] = {".cr2", ".pz2", ".pp2", ".hd2", ".CR2", ".pz3", ".lt2", ".txt", ".crz"};
    const char* eols[] = {"\r\n", "\n", "\r"};
    const char* lines[] = {"\tnumber 5",
                           "\tnumber 4.01",
                           "\tnumber 4.0",
                           "textureMap \"C:\\t\\a.jpg\"",
                           "textureMap :Runtime:textures:a b.jpg",
                           "bumpMap :Runtime:textures:P:t.jpg",
                           "reflectionMap :Runtime:textures:P\\x.jpg",
                           "figureResFile :Runtime:Geometries:g.obj",
                           "material skin",
                           "{",
                           "}",
                           "\tfile \":Runtime:textures:P:T.jpg\"",
                           ""};
    dir.WriteFile("Runtime/textures/P/t.jpg", "jpg");
    dir.WriteFile("Runtime/textures/P/unused.jpg", "jpg");
    for (int i = 0; i < 14; ++i) {
        std::string folder = "Runtime/libraries/";
        folder += (rng() % 2 ? "character/" : "props/");
        if (rng() % 3 == 0) {
            folder += "AFolderNameThatIsFarTooLongForTheMac/";
        }
        const std::string name = (rng() % 4 == 0 ? "AFileNameThatIsFarTooLongForTheMacToo" : "f") +
                                 std::to_string(i) + exts[rng() % std::size(exts)];
        const char* eol = eols[rng() % 3];
        std::string text;
        const int count = 3 + static_cast<int>(rng() % 30);
        for (int k = 0; k < count; ++k) {
            if (rng() % 25 == 0) {
                text += "\tnumber 5" + std::string(2100 + rng() % 3000, ' ');  // past the limit, then a cut
            } else if (rng() % 25 == 0) {
                text += "textureMap " + std::string(2500, 'x');
            } else {
                text += lines[rng() % std::size(lines)];
            }
            text += eol;
        }
        dir.WriteFile(folder + name, name.ends_with(".crz") || rng() % 8 == 0 ? test::Gzip(text) : text);
    }
}

struct ToolRuns {
    FileNameCheckResult names;
    PathCheckRun paths;
    PackageCheckRun package;
    VersionRunResult versions;
    std::vector<Notice> versionNotices;
};

ToolRuns Separately(const std::string& root, bool fix) {
    ToolRuns runs;
    ScriptedContext names, paths, package, versions;
    runs.names = CheckFileNames(root, NameCheckMode::EntireDirectory, names);
    runs.paths = RunPathCheck(root, PathCheckMode::AllFiles, paths);
    runs.package = RunPackageCheck(root, {}, package);
    if (fix) {
        versions.m_answers.push_back(NoticeAnswer::Ok);
    }
    CFileRecordArray records;
    runs.versions = RunVersionCheck(root, VersionCheckMode::Folder, records, versions);
    runs.versionNotices = versions.Notices();
    return runs;
}

void ExpectSameNotices(const std::vector<Notice>& a, const std::vector<Notice>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].kind, b[i].kind);
        EXPECT_EQ(a[i].title, b[i].title);
        EXPECT_EQ(a[i].text, b[i].text);
        EXPECT_EQ(a[i].answer, b[i].answer);
    }
}

TEST(CombinedCheckTest, GivesWhatTheFourSeparateRunsGive) {
    size_t warnings = 0;  // the trees must reach the cases that matter
    size_t fixed = 0;
    size_t compressed = 0;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        for (bool fix : {false, true}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + (fix ? ", fixed" : ""));
            TempDir dir;
            Generate(dir, seed);
            const ToolRuns alone = Separately(dir.Root(), fix);
            std::filesystem::remove_all(dir.Path("Runtime"));  // the fix changed files: start again
            Generate(dir, seed);

            ScriptedContext ctx;
            if (fix) {
                ctx.m_answers.push_back(NoticeAnswer::Ok);
            }
            CFileRecordArray records;
            const CombinedCheckRun both = RunCombinedCheck(dir.Root(), {}, records, ctx);

            EXPECT_EQ(both.names.report, alone.names.report);
            EXPECT_EQ(both.names.itemsChecked, alone.names.itemsChecked);
            EXPECT_EQ(both.names.findings, alone.names.findings);
            ExpectSameNotices(both.names.notices, alone.names.notices);
            EXPECT_EQ(both.paths.report, alone.paths.report);
            EXPECT_EQ(both.paths.filesChecked, alone.paths.filesChecked);
            EXPECT_EQ(both.paths.problemFiles, alone.paths.problemFiles);
            EXPECT_EQ(both.paths.findings, alone.paths.findings);
            ExpectSameNotices(both.paths.notices, alone.paths.notices);
            EXPECT_EQ(both.package.report, alone.package.report);
            EXPECT_EQ(both.package.filesChecked, alone.package.filesChecked);
            EXPECT_EQ(both.package.findings, alone.package.findings);
            ExpectSameNotices(both.package.notices, alone.package.notices);
            EXPECT_EQ(both.versions.report, alone.versions.report);
            EXPECT_EQ(both.versions.check.filesChecked, alone.versions.check.filesChecked);
            EXPECT_EQ(both.versions.findings, alone.versions.findings);
            ExpectSameNotices(both.versionNotices, alone.versionNotices);
            EXPECT_FALSE(both.cancelled);
            warnings += alone.paths.notices.size();
            fixed += alone.versions.fix.filesFixed;
            compressed += static_cast<size_t>(
                std::count_if(alone.package.findings.begin(), alone.package.findings.end(),
                              [](const Finding& f) { return f.rule == Rule::Compressed; }));
        }
    }
    EXPECT_GT(warnings, 0u);
    EXPECT_GT(fixed, 0u);
    EXPECT_GT(compressed, 0u);
}

// An Escape during the walk ends File Names as its own run would end, and every later tool at its
// first poll: all four say they were cancelled.
TEST(CombinedCheckTest, EscapeCancelsEveryTool) {
    TempDir dir;
    Generate(dir, 3);
    ScriptedContext ctx;
    ctx.m_escapeAtPoll = 2;
    CFileRecordArray records;
    const CombinedCheckRun run = RunCombinedCheck(dir.Root(), {}, records, ctx);
    EXPECT_TRUE(run.cancelled);
    EXPECT_TRUE(run.names.cancelled);
    EXPECT_TRUE(run.paths.cancelled);
    EXPECT_TRUE(run.package.cancelled);
    EXPECT_TRUE(run.versions.check.cancelled);
}

}  // namespace
}  // namespace veltrane
