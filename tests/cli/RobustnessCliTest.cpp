// Inputs that once made a tool hang, read forever or report a clean run over what it never read.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "support/CliRunner.h"
#include "support/Images.h"
#include "support/OrdinaryUser.h"
#include "support/TestTree.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace veltrane {
namespace {

using test::CliOutcome;
using test::Native;
using test::TempDir;

struct Case {
    std::string args;
    int status;
    std::string expected;  // a piece of stdout (or of stderr when it starts with "err:")
};

// The case's result, or a description of how it differs.
std::string Mismatch(const Case& c, const CliOutcome& r) {
    const bool inErr = c.expected.rfind("err:", 0) == 0;
    const std::string piece = inErr ? c.expected.substr(4) : c.expected;
    const std::string& text = inErr ? r.err : r.out;
    if (r.status == c.status && text.find(piece) != std::string::npos) {
        return {};
    }
    return c.args + ": status " + std::to_string(r.status) + "\nout: " + r.out + "\nerr: " + r.err + "\n";
}

TEST(RobustnessCliTest, EmptyPathIsRefusedLikeAMissingOne) {
    const Case cases[] = {
        {"names ''", 2, "err:error: Veltrane:"},
        {"paths ''", 2, "err:Path specified does not exist"},
        {"versions ''", 2, "err:Path specified does not exist"},
        {"list ''", 2, "err:Path specified does not exist"},
    };
    for (const Case& c : cases) {
        const CliOutcome r = test::RunCli(c.args);
        EXPECT_EQ(Mismatch(c, r), "");
        EXPECT_LT(r.out.size(), 2u) << c.args;  // nothing listed, nothing checked
    }
}

#ifndef _WIN32
// A FIFO and a device under Poser names: never read, reported like a file that cannot be opened.
TEST(RobustnessCliTest, SpecialFilesAreReportedUnreadAndNeverHang) {
    TempDir work;
    work.WriteFile("Pkg/a.cr2", "{\r\nversion\r\n\t{\r\n\tnumber 4.0\r\n\t}\r\n");
    ASSERT_EQ(::mkfifo(work.Path("Pkg/pipe.cr2").c_str(), 0644), 0);
    std::error_code ec;
    std::filesystem::create_symlink("/dev/zero", work.Path("Pkg/zero.pz2"), ec);
    ASSERT_FALSE(ec);
    const std::string unread = "These files could not be read:\n";
    const Case cases[] = {
        {"paths --folder Pkg", 1, unread},
        {"versions --folder Pkg", 1, unread},
        {"paths --file Pkg/pipe.cr2", 2, "err:File could not be read."},
        {"paths --file Pkg/zero.pz2", 2, "err:File could not be read."},
        {"versions --file Pkg/pipe.cr2", 2, "err:File could not be read."},
        {"versions --file Pkg/zero.pz2", 2, "err:File could not be read."},
    };
    for (const Case& c : cases) {
        const CliOutcome r = test::RunCli(c.args, work.Root());
        EXPECT_EQ(Mismatch(c, r), "");
        if (c.status == 1) {
            EXPECT_NE(r.out.find(Native("Pkg/pipe.cr2\n")), std::string::npos) << c.args;
            EXPECT_NE(r.out.find(Native("Pkg/zero.pz2") + " -> /dev/zero\n"), std::string::npos) << c.args;
        }
    }
}

// A folder the user may not list: every tool names it and none exits 0. Root lists any folder, so the
// runs go as the user nobody.
TEST(RobustnessCliTest, UnreadableFolderIsNamedByEveryTool) {
    TempDir work;
    work.WriteFile("Pkg/ok.cr2", "{\r\nversion\r\n\t{\r\n\tnumber 4.0\r\n\t}\r\n");
    work.WriteFile("Pkg/locked/x.cr2", "textureMap \"C:\\x.jpg\"\r\n");
    ASSERT_EQ(::chmod(work.Path("Pkg/locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod(work.Root().c_str(), 0777), 0);  // for the saved list
    const std::string locked = work.Path("Pkg/locked");
    const std::string shown = Native("Pkg/locked");  // as the relative PATH composes it
    const std::string section = "These folders could not be read:\n" + shown + "\n\n";
    const std::string box = "err:warning: Veltrane: These folders could not be read: " + shown + "\n";
    const Case cases[] = {
        {"names --recursive Pkg", 1, box},     {"paths --folder Pkg", 1, section},
        {"versions --folder Pkg", 1, section}, {"list --output list.txt Pkg", 1, box},
        {"package Pkg", 1, section},
    };
    const test::OrdinaryUserRun run = test::RunAsOrdinaryUser([&] {
        std::string mismatches;
        for (const Case& c : cases) {
            mismatches += Mismatch(c, test::RunCli(c.args, work.Root()));
        }
        return mismatches;
    });
    ::chmod(locked.c_str(), 0755);
    if (!run.skipReason.empty()) {
        GTEST_SKIP() << run.skipReason;
    }
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.output, "");
    // The saved list stays a pure list of what was read.
    EXPECT_EQ(TempDir::ReadFile(work.Path("list.txt")), Native("..Pkg/") + "\r\n   ok.cr2");
}

// A file without line ends: the first 20 warnings, then one that counts the rest (100,000 bytes are
// 48 pieces of 2047 bytes and a last one).
TEST(RobustnessCliTest, RunawayLineRaisesTwentyWarningsAndOneSummary) {
    TempDir work;
    work.WriteFile("Pkg/run.cr2", std::string(100000, 'x'));
    for (const char* tool : {"paths --folder", "versions --folder", "package"}) {
        const CliOutcome r = test::RunCli(std::string(tool) + " Pkg", work.Root());
        size_t warnings = 0;
        for (size_t at = r.err.find("warning: Warning !: m_pBuffer overflow"); at != std::string::npos;
             at = r.err.find("warning: Warning !: m_pBuffer overflow", at + 1)) {
            ++warnings;
        }
        EXPECT_EQ(warnings, 20u) << tool;
        EXPECT_NE(r.err.find("warning: Warning !: 28 more lines were longer than 2047 characters.\n"),
                  std::string::npos)
            << tool << r.err;
    }
}

// A file that repeats a finding: each tool keeps the first 100 of a rule in a file and counts the rest,
// and a run over a large one stays within a memory limit (the kept findings do not grow with it).
TEST(RobustnessCliTest, RepeatedFindingsAreCountedNotKept) {
    TempDir work;
    std::string text = "{\r\n";
    for (int i = 0; i < 3000; ++i) {
        text +=
            "\ttextureMap C:\\t\\x.jpg\r\n\ttextureMap :Runtime:textures:n" + std::to_string(i) + ".jpg\r\n";
    }
    work.WriteFile("Pkg/Runtime/libraries/pose/a.pz2", text + "}\r\n");
    work.WriteFile("Pkg/Runtime/libraries/pose/a.png", test::Thumbnail());
    work.WriteFile("Pkg/ReadMe.txt", "r");
    const CliOutcome r = test::RunCli("check --json Pkg", work.Root());
    const nlohmann::json j = nlohmann::json::parse(r.out);
    std::map<std::string, std::pair<int, uint64_t>> kept;  // rule: findings, and the more they name
    for (const auto& finding : j["findings"]) {
        auto& [count, more] = kept[finding["rule"].get<std::string>()];
        ++count;
        more += finding.value("more", uint64_t{0});
    }
    using Kept = std::pair<int, uint64_t>;
    EXPECT_EQ(kept["absolute-path"], Kept(100, 2900));
    EXPECT_EQ(kept["any-platform-absolute"], Kept(100, 2900));
    EXPECT_EQ(kept["missing-file"], Kept(100, 2900));
    EXPECT_EQ(j["package"]["counters"], nlohmann::json::array({1, 6000}));
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // 400,000 such lines (17 MB): once well over a gigabyte, now well under the limit.
    std::string big;
    for (int i = 0; i < 400000; ++i) {
        big += "\ttextureMap C:\\t\\x.jpg\r\n";
    }
    work.WriteFile("Big/Runtime/libraries/pose/a.pz2", big);
    const std::string command = "cd " + test::ShellQuote(work.Root()) + " && ulimit -d 153600 && " +
                                test::ShellQuote(VELTRANE_CLI_PATH) +
                                " check --json Big >out.json 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    EXPECT_NE(TempDir::ReadFile(work.Path("out.json")).find("\"more\": 399900"), std::string::npos);
#endif
}

// A link out of the package is named by every tool and never followed: nothing behind it is read or
// rewritten. A file reached through a link inside the package is read but never rewritten.
TEST(RobustnessCliTest, LinksOutOfThePackageAreNamedAndNeverFollowed) {
    TempDir work;
    const std::string five = "{\r\nversion\r\n\t{\r\n\tnumber 5\r\n\t}\r\n";
    work.WriteFile("Own/v.cr2", five);
    work.WriteFile("Pkg/Runtime/libraries/in/w.cr2", five);
    std::error_code ec;
    std::filesystem::create_directory_symlink(work.Path("Own"), work.Path("Pkg/Runtime/libraries/out"), ec);
    std::filesystem::create_symlink("in/w.cr2", work.Path("Pkg/Runtime/libraries/x.cr2"), ec);
    ASSERT_FALSE(ec);
    const std::string link = Native("Pkg/Runtime/libraries/out") + " -> " + work.Path("Own");
    for (const char* tool : {"names --recursive", "paths --folder", "versions --folder", "package", "list"}) {
        const CliOutcome r = test::RunCli(std::string(tool) + " Pkg", work.Root());
        EXPECT_EQ(r.status, 1) << tool;
        EXPECT_NE((r.out + r.err).find(link), std::string::npos) << tool << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find("v.cr2"), std::string::npos) << tool;
    }
    const CliOutcome json = test::RunCli("check --json Pkg", work.Root());
    EXPECT_NE(json.out.find(R"("rule": "link-outside")"), std::string::npos) << json.out;
    const CliOutcome fix = test::RunCli("versions --fix --folder Pkg", work.Root());
    EXPECT_NE(fix.out.find("w.cr2"), std::string::npos) << fix.out;
    EXPECT_EQ(TempDir::ReadFile(work.Path("Own/v.cr2")), five);
    EXPECT_FALSE(std::filesystem::exists(work.Path("Own/v.old")));
    EXPECT_NE(fix.err.find("reached through a link"), std::string::npos) << fix.err;
}

// A name that would steer a terminal, or split a report line with a line end of its own, is shown
// escaped on one (run under a pseudo-terminal), and kept byte for byte when the output goes to a pipe
// or a file.
TEST(RobustnessCliTest, ControlCharactersInNamesReachATerminalEscaped) {
    TempDir work;
    const std::string name = "a\x1b]0;owned\x07\rb.cr2";
    const std::string split = "c\r\nFAKE.cr2";
    work.WriteFile("Pkg/" + name, "\ttextureMap C:\\x.jpg\r\n");
    work.WriteFile("Pkg/" + split, "\ttextureMap C:\\x.jpg\r\n");
    if (std::system("script -qec true /dev/null >/dev/null 2>&1 </dev/null") != 0) {
        GTEST_SKIP() << "no pseudo-terminal here";
    }
    const CliOutcome piped = test::RunCli("paths --folder Pkg", work.Root());
    EXPECT_NE(piped.out.find(name), std::string::npos);
    for (const char* tool : {"paths --folder", "list"}) {
        const std::string command =
            "cd " + test::ShellQuote(work.Root()) + " && script -qec " +
            test::ShellQuote(test::ShellQuote(VELTRANE_CLI_PATH) + " " + tool + " Pkg") +
            " /dev/null >tty.txt 2>&1 </dev/null";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), std::string(tool) == "list" ? 0 : 1) << tool;
        // The colours are the program's own sequences; the name brings none of its own.
        const std::string shown =
            std::regex_replace(TempDir::ReadFile(work.Path("tty.txt")), std::regex("\x1b\\[[0-9;]*m"), "");
        EXPECT_NE(shown.find("a\\x1b]0;owned\\x07\\x0db.cr2"), std::string::npos) << tool << shown;
        EXPECT_NE(shown.find("c\\x0d\\x0aFAKE.cr2"), std::string::npos) << tool << shown;
        EXPECT_EQ(shown.find('\x1b'), std::string::npos) << tool;
    }
}

// The same file reached through a folder link is fixed once, so the fix does not fail on its second
// name; a check afterwards finds nothing.
TEST(RobustnessCliTest, FileReachedTwiceThroughAFolderLinkIsFixedOnce) {
    TempDir work;
    work.WriteFile("Pkg/real/a.cr2", "{\r\nversion\r\n\t{\r\n\tnumber 5\r\n\t}\r\n");
    std::error_code ec;
    std::filesystem::create_directory_symlink(work.Path("Pkg/real"), work.Path("Pkg/link"), ec);
    ASSERT_FALSE(ec);
    const CliOutcome fix = test::RunCli("versions --fix --folder Pkg", work.Root());
    EXPECT_EQ(fix.status, 0) << fix.out << fix.err;
    EXPECT_EQ(fix.out, "These Files have been fixed:\na.cr2\n\n");
    EXPECT_EQ(test::RunCli("versions --folder Pkg", work.Root()).status, 0);
}
#endif

}  // namespace
}  // namespace veltrane
