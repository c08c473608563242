// Inputs that once made a tool hang, read forever or report a clean run over what it never read.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/CliRunner.h"
#include "support/OrdinaryUser.h"
#include "support/TestTree.h"

#ifndef _WIN32
#include <sys/stat.h>
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
            EXPECT_NE(r.out.find(Native("Pkg/zero.pz2\n")), std::string::npos) << c.args;
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
