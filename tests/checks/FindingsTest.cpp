// The findings each tool gives, on small trees: what a script reads instead of the report.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "checks/FileListBuilder.h"
#include "checks/FileNameLengthCheck.h"
#include "checks/PathCheck.h"
#include "checks/VersionCheck.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

Finding LineFinding(Rule rule, const std::string& file, uint32_t line, const std::string& value) {
    Finding finding;
    finding.rule = rule;
    finding.path = file;
    finding.line = line;
    finding.value = value;
    return finding;
}

// Line numbers as the line reader counts them: two line-end bytes in a row are one line end, so an
// empty line between LF or CR ends is no line, and one between CR LF ends is.
TEST(FindingsTest, PathFindingsNameTheLineOfEachProblem) {
    struct Case {
        std::string eol;
        uint32_t spaces, backslash;
    };
    for (const Case& c : {Case{"\r\n", 3, 5}, Case{"\n", 2, 4}, Case{"\r", 2, 4}}) {
        const std::string& eol = c.eol;
        SCOPED_TRACE(testing::PrintToString(eol));
        TempDir dir;
        const std::string a =
            dir.WriteFile("a.cr2", "{" + eol + eol + "textureMap C:\\x y.jpg" + eol + "bumpMap ok" + eol +
                                       "textureMap \"a\\b.jpg\"" + eol);
        const std::string b =
            dir.WriteFile("b.pz2", "reflectionMap :Runtime:textures:" + std::string(60, 'x'));
        ScriptedContext ctx;
        const PathCheckRun run = RunPathCheck(dir.Root(), PathCheckMode::AllFiles, ctx);
        // Kind by kind, as the report's sections; the line with two problems appears in both.
        const Findings expected = {
            LineFinding(Rule::UnquotedSpaces, a, c.spaces, "C:\\x y.jpg"),
            LineFinding(Rule::AbsolutePath, a, c.spaces, "C:\\x y.jpg"),
            LineFinding(Rule::Backslash, a, c.backslash, "a\\b.jpg"),
            LineFinding(Rule::TooLong, b, 1, ":Runtime:textures:" + std::string(60, 'x')),
        };
        EXPECT_EQ(run.findings, expected);
    }
}

TEST(FindingsTest, VersionFindingsNameTheDecidingLineAndWhetherItWasFixed) {
    for (const bool fix : {false, true}) {
        TempDir dir;
        const std::string file = dir.WriteFile("v.cr2", "{\r\n\r\nversion\n\t{\r\tnumber 5\r\n\t}\r\n}\r\n");
        dir.WriteFile("ok.cr2", "version\r\n\tnumber 4.0\r\n");
        ScriptedContext ctx;
        if (fix) {
            ctx.m_answers.push_back(NoticeAnswer::Ok);
        }
        CFileRecordArray records;
        const VersionRunResult run = RunVersionCheck(dir.Root(), VersionCheckMode::Folder, records, ctx);
        Finding expected;
        expected.rule = Rule::Version;
        expected.path = file;
        expected.line = 5;
        expected.text = "\tnumber 5";
        expected.fixed = fix;
        EXPECT_EQ(run.findings, Findings{expected});
    }
}

TEST(FindingsTest, NameFindingsAndListEntriesCarryFullPaths) {
    TempDir dir;
    const std::string longName(33, 'n');
    dir.WriteFile("sub/" + longName, "x");
    dir.WriteFile("short.txt", "x");
    ScriptedContext ctx;
    const FileNameCheckResult names = RunFileNameCheck(dir.Root(), NameCheckMode::EntireDirectory, ctx);
    ASSERT_EQ(names.findings.size(), 1u);
    EXPECT_EQ(names.findings[0].rule, Rule::LongName);
    EXPECT_EQ(names.findings[0].path, dir.Path("sub/" + longName));
    EXPECT_EQ(names.findings[0].length, 33u);

    const FileListResult list = RunFileListCheck(dir.Root(), ctx);
    ASSERT_EQ(list.entries.size(), 2u);
    for (const ListEntry& entry : list.entries) {
        EXPECT_TRUE(entry.name == longName || entry.name == "short.txt");
        EXPECT_TRUE(std::filesystem::exists(std::string(entry.folder) + std::string(entry.name)))
            << entry.folder << entry.name;
    }
}

}  // namespace
}  // namespace veltrane
