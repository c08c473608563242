// Every tool on an archive: the same result as on the folder it unpacks to, and the rules only an
// archive has.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "checks/FileListBuilder.h"
#include "checks/FileNameLengthCheck.h"
#include "checks/PackageCheck.h"
#include "checks/PathCheck.h"
#include "checks/VersionCheck.h"
#include "support/Archive.h"
#include "support/CliRunner.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ArchiveFormat;
using test::ArchiveItem;
using test::Native;
using test::ScriptedContext;
using test::TempDir;

const std::string kSample = std::string(VELTRANE_EXAMPLES_DIR) + "/SamplePackage";
const std::string kSep(1, kSeparator);

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// What one tool showed, as text, for comparing a folder's run with an archive's.
std::vector<std::string> RunEveryTool(const std::string& path) {
    std::vector<std::string> out;
    auto notices = [](const std::vector<Notice>& list) {
        std::string text;
        for (const Notice& n : list) {
            text += n.title + ": " + n.text + "\n";
        }
        return text;
    };
    for (NameCheckMode mode : {NameCheckMode::ThisFolderOnly, NameCheckMode::EntireDirectory}) {
        ScriptedContext ctx;
        const FileNameCheckResult r = RunFileNameCheck(path, mode, ctx);
        out.push_back(r.report + notices(r.notices) + std::to_string(r.itemsChecked) + "/" +
                      std::to_string(r.problemsFound));
    }
    {
        ScriptedContext ctx;
        const PathCheckRun r = RunPathCheck(path, PathCheckMode::AllFiles, ctx);
        out.push_back(r.report + notices(r.notices) + std::to_string(r.filesChecked) + "/" +
                      std::to_string(r.problemFiles));
    }
    {
        ScriptedContext ctx;
        const std::string file = path + kSep + Native("Runtime/libraries/pose/VeltraneSamples/Wave.pz2");
        const PathCheckRun r = RunPathCheck(file, PathCheckMode::FileOnly, ctx);
        out.push_back(r.report + notices(r.notices) + std::to_string(r.problemFiles));
    }
    for (VersionCheckMode mode : {VersionCheckMode::Folder, VersionCheckMode::File}) {
        ScriptedContext ctx;
        CFileRecordArray records;
        const std::string target =
            mode == VersionCheckMode::Folder
                ? path
                : path + kSep + Native("Runtime/libraries/character/VeltraneSamples/BrassBot.cr2");
        const VersionCheckResult r = CheckVersionNumbers(target, mode, records, ctx);
        std::string flagged;
        for (const CFileRecord& record : records.Records()) {
            flagged += record.m_path + "\n";
        }
        out.push_back(r.flaggedText + flagged + std::to_string(r.filesChecked) + "/" +
                      std::to_string(r.problemsFound) + "/" + std::to_string(static_cast<int>(r.outcome)) +
                      "/" + std::to_string(r.unreadableFolders.size()));
    }
    {
        ScriptedContext ctx;
        const FileListResult r = RunFileListCheck(path, ctx);
        out.push_back(r.listText + notices(r.notices) + std::to_string(r.foldersScanned) + "/" +
                      std::to_string(r.filesListed));
    }
    {
        ScriptedContext ctx;
        const PackageCheckRun r = RunPackageCheck(path, {}, ctx);
        std::string findings;
        for (const Finding& f : r.findings) {
            findings += std::string(RuleName(f.rule)) + " " + f.path + " " + std::to_string(f.line) + "\n";
        }
        out.push_back(r.report + findings + notices(r.notices) + std::to_string(r.filesChecked) + "/" +
                      std::to_string(r.problemsFound));
    }
    return out;
}

TEST(ArchiveCheckTest, ArchivesOfTheSampleGiveWhatTheFolderGives) {
    const std::vector<std::string> folder = RunEveryTool(kSample);
    TempDir dir;
    const std::vector<ArchiveItem> items = test::ItemsOfFolder(kSample);
    const std::pair<ArchiveFormat, const char*> formats[] = {
        {ArchiveFormat::Zip, ".zip"}, {ArchiveFormat::SevenZip, ".7z"}, {ArchiveFormat::TarGz, ".tar.gz"}};
    for (const auto& [format, extension] : formats) {
        SCOPED_TRACE(extension);
        const std::string archive = dir.Path(std::string("SamplePackage") + extension);
        ASSERT_TRUE(test::WriteArchive(archive, format, items));
        std::vector<std::string> got = RunEveryTool(archive);
        ASSERT_EQ(got.size(), folder.size());
        for (size_t i = 0; i < got.size(); ++i) {
            // Paths differ by where the package stands, and List Maker's headings by its name.
            std::string text = Replaced(got[i], archive, kSample);
            text = Replaced(text, std::string("SamplePackage") + extension, "SamplePackage");
            EXPECT_EQ(text, folder[i]) << "tool " << i;
        }
    }
}

// The archive rules of one archive, as "rule path[: value or error]" lines, paths below the archive.
std::vector<std::string> ArchiveFindings(const std::string& archive, const std::string& package = {}) {
    ScriptedContext ctx;
    const PackageCheckRun run = RunPackageCheck(package.empty() ? archive : package, {}, ctx);
    std::vector<std::string> lines;
    for (const Finding& f : run.findings) {
        if (IsArchiveRule(f.rule) || f.rule == Rule::UnreadableFile) {
            std::string line = std::string(RuleName(f.rule)) + " " + Replaced(f.path, archive, "@");
            if (!f.value.empty() || f.rule == Rule::DamagedArchive) {
                line += ": " + Replaced(f.rule == Rule::DamagedArchive ? f.error : f.value, archive, "@");
            }
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(ArchiveCheckTest, ReportsWhatOnlyAnArchiveCanGetWrong) {
    TempDir dir;
    const std::string zip = dir.Path("pkg.tar.gz");
    ASSERT_TRUE(test::WriteArchive(zip, ArchiveFormat::TarGz,
                                   {{"Runtime/libraries/a.cr2", "version\n{\nnumber 4\n}\n"},
                                    {"ReadMe.txt", "fine beside Runtime"},
                                    {"Docs/manual.txt", "a folder beside Runtime"},
                                    {"__MACOSX/Runtime/._a.cr2", "resource fork"},
                                    {"Runtime/.DS_Store", ""},
                                    {"Runtime\\textures\\x.jpg", "x"},
                                    {"../evil.txt", "zip-slip"},
                                    {"/etc/abs.txt", "absolute"},
                                    {"Runtime/Textures/b.jpg", "b"},
                                    {"Runtime/textures/more.ZIP", "PK"},
                                    {"Runtime/libraries/b.cr2", "", "a.cr2"}}));
    const std::string S = kSep;
    EXPECT_EQ(
        ArchiveFindings(zip),
        (std::vector<std::string>{
            "archive-layout @" + S + "Docs",
            "backslash-entry @" + S + Native("Runtime/textures/x.jpg") + ": Runtime\\textures\\x.jpg",
            "unsafe-entry @: ../evil.txt",
            "unsafe-entry @: /etc/abs.txt",
            "damaged-archive @" + S + Native("Runtime/libraries/b.cr2") +
                ": a symbolic link to a.cr2: it does not unpack as a file everywhere",
            "junk-entry @" + S + "__MACOSX",
            "junk-entry @" + S + "Runtime" + S + ".DS_Store",
            "case-collision @" + S + Native("Runtime/Textures") + ": @" + S + Native("Runtime/textures"),
            "nested-archive @" + S + Native("Runtime/textures/more.ZIP"),
        }));

    // No Runtime at the top: the archive itself is out of layout; naming a folder inside leaves it.
    const std::string nested = dir.Path("nested.zip");
    ASSERT_TRUE(test::WriteArchive(nested, ArchiveFormat::Zip, {{"Product/Runtime/libraries/a.cr2", "x"}}));
    EXPECT_EQ(ArchiveFindings(nested),
              (std::vector<std::string>{"archive-layout @" + S + "Product", "archive-layout @"}));
    EXPECT_EQ(ArchiveFindings(nested, nested + S + "Product"), (std::vector<std::string>{}));
}

TEST(ArchiveCheckTest, ReportsEntriesThatCannotBeReadAndDamage) {
    TempDir dir;
    const std::string S = kSep;
    // Encrypted entries, library file or not, are reported with the library's reason.
    const std::string locked = dir.Path("locked.zip");
    ASSERT_TRUE(test::WriteArchive(
        locked, ArchiveFormat::Zip,
        {{"Runtime/libraries/a.cr2", "version\n"}, {"Runtime/textures/t.jpg", "t"}}, true));
    EXPECT_EQ(ArchiveFindings(locked),
              (std::vector<std::string>{"unreadable-entry @" + S + Native("Runtime/libraries/a.cr2"),
                                        "unreadable-entry @" + S + Native("Runtime/textures/t.jpg")}));

    // A compression method the library does not know: the method fields of both headers patched.
    const std::string plain = dir.Path("plain.zip");
    ASSERT_TRUE(test::WriteArchive(plain, ArchiveFormat::Zip, {{"Runtime/textures/t.jpg", "texture"}}));
    std::string bytes = TempDir::ReadFile(plain);
    for (const auto& [signature, offset] :
         {std::pair<std::string, size_t>{"PK\x03\x04", 8}, {"PK\x01\x02", 10}}) {
        const size_t at = bytes.find(signature);
        ASSERT_NE(at, std::string::npos);
        bytes[at + offset] = 19;
        bytes[at + offset + 1] = 0;
    }
    const std::string odd = dir.WriteFile("odd.zip", bytes);
    ScriptedContext ctx;
    const PackageCheckRun run = RunPackageCheck(odd, {}, ctx);
    // The last error (warnings and information follow the errors).
    auto lastError = [](const PackageCheckRun& checked) {
        auto error = std::find_if(checked.findings.rbegin(), checked.findings.rend(),
                                  [](const Finding& f) { return SeverityOf(f.rule) == Severity::Error; });
        return error == checked.findings.rend() ? Finding{} : *error;
    };
    EXPECT_EQ(lastError(run).rule, Rule::UnreadableEntry);
    EXPECT_NE(lastError(run).error, "");

    // Cut short: the library files before the damage are still read, the damage is reported.
    std::vector<ArchiveItem> items;
    uint32_t seed = 7;
    for (int i = 0; i < 40; ++i) {
        std::string data = "\ttextureMap C:\\abs" + std::to_string(i) + ".jpg\n";
        for (int k = 0; k < 4000; ++k) {
            seed = seed * 1103515245u + 12345u;
            data.push_back(static_cast<char>('a' + (seed >> 24) % 26));
        }
        items.push_back({"Runtime/libraries/f" + std::to_string(i) + ".cr2", data + "\n"});
    }
    for (ArchiveFormat format : {ArchiveFormat::Zip, ArchiveFormat::TarGz}) {
        const std::string whole = dir.Path("whole");
        ASSERT_TRUE(test::WriteArchive(whole, format, items));
        const std::string full = TempDir::ReadFile(whole);
        const std::string cut = dir.WriteFile(format == ArchiveFormat::Zip ? "cut.zip" : "cut.tar.gz",
                                              full.substr(0, full.size() / 2));
        ScriptedContext cutCtx;
        const PackageCheckRun damaged = RunPackageCheck(cut, {}, cutCtx);
        SCOPED_TRACE(damaged.report);
        EXPECT_GT(damaged.filesChecked, 5);
        EXPECT_EQ(damaged.findings.front().rule, Rule::AnyPlatformAbsolute);
        EXPECT_EQ(lastError(damaged).rule, Rule::DamagedArchive);
        EXPECT_NE(lastError(damaged).error, "");
        // The other tools name the archive among the folders that could not be read.
        ScriptedContext pathsCtx;
        const PathCheckRun paths = RunPathCheck(cut, PathCheckMode::AllFiles, pathsCtx);
        ASSERT_EQ(paths.unreadableFolders.size(), 1u);
        EXPECT_EQ(paths.unreadableFolders[0].path, cut);
    }
}

// An archive an unpacker would refuse, or unpack otherwise than it lists, is never clean: every tool
// that walks it differs from its sound form (Package Check naming the entry or the place), and what
// can be read is still checked.
TEST(ArchiveCheckTest, ADamagedArchiveIsNeverClean) {
    const std::vector<ArchiveItem> items = test::ItemsOfFolder(kSample);
    const std::string brassBot("Runtime/libraries/character/VeltraneSamples/BrassBot.cr2\0", 58);
    struct Case {
        const char* file;
        ArchiveFormat format;
        std::function<std::string(std::string)> damage;  // of the sound archive's bytes
        std::string finding;                             // in Package Check, "@" for the archive
    };
    const Case cases[] = {
        {"cut.zip", ArchiveFormat::Zip,
         [](std::string b) { return b.substr(0, (b.find("PK\1\2") + b.rfind("PK\5\6")) / 2); },
         "damaged-archive @: its end of central directory record is missing"},
        {"checksum.tar", ArchiveFormat::Tar,
         [&](std::string b) { return b.replace(b.find(brassBot), 1, "X"); },
         "damaged-archive @: Damaged tar archive: the header at byte "},
        {"twice.zip", ArchiveFormat::Zip, {}, "damaged-archive @" + kSep + "README.txt: stored twice"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string sound = dir.Path(c.file);
        ASSERT_TRUE(test::WriteArchive(sound, c.format, items));
        const std::vector<std::string> soundRuns = RunEveryTool(sound);
        std::vector<ArchiveItem> twice = items;
        twice.push_back(items[0]);  // the same bytes again: it unpacks to the same tree
        ASSERT_TRUE(test::WriteArchive(sound, c.format, c.damage ? items : twice));
        if (c.damage) {
            dir.WriteFile(c.file, c.damage(TempDir::ReadFile(sound)));
        }
        const std::vector<std::string> runs = RunEveryTool(sound);
        for (size_t i : {0, 1, 2, 4, 6, 7}) {  // the single-file runs (3, 5) judge their file alone
            EXPECT_NE(runs[i], soundRuns[i]) << "tool " << i;
        }
        const std::vector<std::string> findings = ArchiveFindings(sound);
        EXPECT_TRUE(std::any_of(findings.begin(), findings.end(), [&](const std::string& f) {
            return f.starts_with(c.finding);
        })) << runs[7];
    }
}

TEST(ArchiveCheckTest, TheCommandLineTakesAnArchiveAsAFolderAndNeverFixesIt) {
    TempDir dir;
    const std::string zip = dir.Path("pkg.zip");
    ASSERT_TRUE(test::WriteArchive(zip, ArchiveFormat::Zip, test::ItemsOfFolder(kSample)));
    const std::string before = TempDir::ReadFile(zip);

    const test::CliOutcome fix = test::RunCli("versions --fix " + test::ShellQuote(zip));
    EXPECT_EQ(fix.status, 2);
    EXPECT_NE(fix.err.find(kVersionArchiveNotFixedText), std::string::npos) << fix.err;
    EXPECT_EQ(TempDir::ReadFile(zip), before);
    EXPECT_EQ(test::RunCli("versions " + test::ShellQuote(zip)).status, 1);

    // Without a mode flag an archive is a folder (no "File type is not recognized."), an entry a file.
    const test::CliOutcome paths = test::RunCli("paths " + test::ShellQuote(zip));
    EXPECT_EQ(paths.status, 1);
    EXPECT_NE(paths.out.find("These files contained absolute paths in them:"), std::string::npos)
        << paths.err;
    const test::CliOutcome entry = test::RunCli(
        "paths " + test::ShellQuote(zip + kSep + Native("Runtime/libraries/pose/VeltraneSamples/Wave.pz2")));
    EXPECT_EQ(entry.status, 1);
    EXPECT_NE(entry.out.find("This file contained relative paths that had backslashes"), std::string::npos);
    EXPECT_EQ(test::RunCli("names " + test::ShellQuote(zip + kSep + "Runtime" + kSep + "nothing")).status, 2);
}

}  // namespace
}  // namespace veltrane
