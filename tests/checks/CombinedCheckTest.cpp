#include "checks/CombinedCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/Archive.h"
#include "support/RandomPackage.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ExpectSameNotices;
using test::Generate;
using test::ScriptedContext;
using test::TempDir;

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
    runs.names = RunFileNameCheck(root, NameCheckMode::EntireDirectory, names);
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

void ExpectSameRuns(const CombinedCheckRun& both, const ToolRuns& alone) {
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

            ExpectSameRuns(both, alone);
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

// An archive is opened once for all four tools and each entry read once; what each tool gives stays
// what its own run on the archive gives.
TEST(CombinedCheckTest, GivesWhatTheFourSeparateRunsGiveOnAnArchive) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
        for (test::ArchiveFormat format : {test::ArchiveFormat::Zip, test::ArchiveFormat::TarGz}) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            TempDir dir;
            Generate(dir, seed);
            const std::string archive = dir.Path(format == test::ArchiveFormat::Zip ? "p.zip" : "p.tar.gz");
            ASSERT_TRUE(test::WriteArchive(archive, format, test::ItemsOfFolder(dir.Root())));
            const ToolRuns alone = Separately(archive, false);
            ScriptedContext ctx;
            CFileRecordArray records;
            const CombinedCheckRun both = RunCombinedCheck(archive, {}, records, ctx);
            ExpectSameRuns(both, alone);
            EXPECT_GT(both.package.filesChecked, 0);
        }
    }
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
