#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "checks/VersionCheck.h"
#include "cli/CliRun.h"
#include "fs/write/SafeReplace.h"
#include "support/CliRunner.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

namespace stdfs = std::filesystem;
using test::TempDir;

using Outcome = test::CliOutcome;

std::string Quote(const std::string& text) {
    return test::ShellQuote(text);
}

Outcome RunVersions(const std::string& args) {
    return test::RunCli("versions " + args);
}

// Every file below root (relative path -> content).
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[stdfs::relative(entry.path(), root).generic_string()] =
                TempDir::ReadFile(entry.path().string());
        }
    }
    return files;
}

const std::string kSample = std::string(VELTRANE_EXAMPLES_DIR) + "/SamplePackage";
const std::string kBrass = "Runtime/libraries/character/VeltraneSamples/BrassBot";
const std::string kWave = "Runtime/libraries/pose/VeltraneSamples/Wave";

TEST(VersionsCliTest, FixesExactlyTheFlaggedSampleFilesAndRefusesTakenBackups) {
    TempDir work;
    const std::string root = work.Path("pkg");
    stdfs::copy(kSample, root, stdfs::copy_options::recursive);
    const auto before = Snapshot(root);

    // Without --fix the question is answered Cancel and nothing changes.
    Outcome check = RunVersions("--json " + Quote(root));
    EXPECT_EQ(check.status, 1);
    nlohmann::json j = nlohmann::json::parse(check.out);
    EXPECT_EQ(j["counters"][1], 2);
    EXPECT_EQ(j["notices"][0]["answer"], "cancel");
    EXPECT_EQ(Snapshot(root), before);

    Outcome fix = RunVersions("--fix --folder " + Quote(root));
    EXPECT_EQ(fix.status, 0) << fix.err;
    EXPECT_EQ(fix.out.rfind("These Files have been fixed:\n", 0), 0u) << fix.out;
    EXPECT_NE(fix.out.find("\nBrassBot.cr2\n"), std::string::npos);
    EXPECT_NE(fix.out.find("\nWave.pz2\n"), std::string::npos);
    auto after = Snapshot(root);
    ASSERT_EQ(after.size(), before.size() + 2);
    for (const auto& [rel, content] : before) {
        if (rel == kBrass + ".cr2" || rel == kWave + ".pz2") {
            EXPECT_NE(after[rel], content);
            EXPECT_NE(after[rel].find("\tnumber 4.0\r\n"), std::string::npos);
        } else {
            EXPECT_EQ(after[rel], content) << rel;
        }
    }
    EXPECT_EQ(after[kBrass + ".old"], before.at(kBrass + ".cr2"));
    EXPECT_EQ(after[kWave + ".old"], before.at(kWave + ".pz2"));

    // The publisher drops the old files in again: the backups are taken, nothing is touched.
    stdfs::copy(kSample, root, stdfs::copy_options::recursive | stdfs::copy_options::overwrite_existing);
    const auto second = Snapshot(root);
    Outcome again = RunVersions("--fix --json " + Quote(root));
    EXPECT_EQ(again.status, 3);
    j = nlohmann::json::parse(again.out);
    ASSERT_EQ(j["notices"].size(), 2u) << again.out;
    EXPECT_EQ(j["notices"][1]["kind"], "error");
    EXPECT_EQ(j["notices"][1]["title"], "Veltrane");
    const std::string box = j["notices"][1]["text"];
    const bool namesBackup = box.find(test::Native(root + "/" + kBrass + ".old")) != std::string::npos ||
                             box.find(test::Native(root + "/" + kWave + ".old")) != std::string::npos;
    EXPECT_TRUE(namesBackup) << box;
    EXPECT_EQ(j["report"], "These Files have been fixed:\r\n");
    EXPECT_EQ(Snapshot(root), second);
}

TEST(VersionsCliTest, BadPathsExitBeforeChecking) {
    TempDir work;
    const std::string file = work.WriteFile("x.cr2", "\tnumber 5\r\n");
    struct Case {
        std::string args;
        std::string err;
    };
    const Case cases[] = {
        {"--folder " + Quote(file),
         "error: ERROR: Path specified does not point to a folder, or it is invalid.  \n"},
        {"--file " + Quote(work.Root()), "error: ERROR: Path specified points to a folder.  \n"},
        {Quote(work.Path("missing.cr2")),
         "error: ERROR: Path specified does not exist or points to an unexisting file. Please make sure you "
         "enter a valid path.  \n"},
    };
    for (const Case& c : cases) {
        Outcome r = RunVersions(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "\n") << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;  // no counters after the box that stopped the run
    }
    EXPECT_EQ(TempDir::ReadFile(file), "\tnumber 5\r\n");
}

#ifndef _WIN32
const std::string kFlagged = "{\nversion\n\t{\n\tnumber 5\n\t}\n}\n";

// Ctrl-C while the files are checked means "touch nothing": with --fix the question is answered
// Cancel, the flagged files are shown as after Cancel and the status is 130. Run in a child
// process: after a SIGINT a second one would end this test program.
TEST(VersionsCliTest, InterruptDuringTheCheckFixesNothing) {
    TempDir dir;
    const std::string a = dir.WriteFile("a.pz2", kFlagged);
    EXPECT_EXIT(
        {
            // Ctrl-C once, while the first file is read; the check itself goes on to its end.
            struct InterruptOnce : cli::CliContext {
                bool PollEscape() override {
                    if (!m_raised) {
                        m_raised = true;
                        std::raise(SIGINT);
                    }
                    return false;
                }
                bool m_raised = false;
            };
            cli::InstallInterruptHandler();
            InterruptOnce ctx;
            const cli::CliRun run = cli::RunVersionsCommand(dir.Root(), false, true, ctx);
            const bool ok = run.status == cli::kExitCancelled && run.cancelled &&
                            run.report == std::string(kVersionFlaggedHeader) + a + "\r\n" &&
                            run.notices.back().answer == NoticeAnswer::Cancel;
            std::fprintf(stderr, "status %d, report %s\n", run.status, run.report.c_str());
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(TempDir::ReadFile(a), kFlagged);
    EXPECT_FALSE(stdfs::exists(dir.Path("a.old")));
}

// A second Ctrl-C, or SIGTERM, while a file stands between its two renames ends the program right
// after that file is complete: fixed under its name, the original under the backup name.
TEST(VersionsCliTest, EndRequestedBetweenTheRenamesWaitsForTheFile) {
    struct Case {
        std::vector<int> signals;
        int status;
    };
    for (const Case& c : {Case{{SIGINT, SIGINT}, 130}, Case{{SIGTERM}, 128 + SIGTERM}}) {
        TempDir dir;
        const std::string a = dir.WriteFile("a.pz2", kFlagged);
        const std::string b = dir.WriteFile("b.pz2", kFlagged);
        CFileRecordArray records;
        records.AddFile(a, InsertOrder::Append);
        records.AddFile(b, InsertOrder::Append);
        ReplaceHooks hooks;
        hooks.continueAfter = [&c](ReplaceStep step) {
            if (step == ReplaceStep::BackupMade) {
                for (int signal : c.signals) {
                    std::raise(signal);
                }
            }
            return true;
        };
        EXPECT_EXIT(
            {
                cli::InstallInterruptHandler();
                test::ScriptedContext ctx;
                FixVersionNumbers(records, ctx, hooks);
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(c.status), "");
        EXPECT_EQ(TempDir::ReadFile(a), "{\r\nversion\r\n\t{\r\n\tnumber 4.0\r\n\t}\r\n}\r\n");
        EXPECT_EQ(TempDir::ReadFile(dir.Path("a.old")), kFlagged);
        EXPECT_EQ(TempDir::ReadFile(b), kFlagged);
        EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.Root()), stdfs::directory_iterator()), 3);
    }
}
#endif

}  // namespace
}  // namespace veltrane
