// End-to-end runs of the real binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "cli/CliRun.h"
#include "support/CliRunner.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::CliOutcome;
using test::Native;
using test::TempDir;

std::string Quote(const std::string& text) {
    return test::ShellQuote(text);
}

CliOutcome RunCli(const TempDir& work, const std::string& args) {
    return test::RunCli(args, work.Root());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

const std::string kSample = Native(std::string(VELTRANE_EXAMPLES_DIR) + "/SamplePackage");

TEST(CliTest, NamesReportsTheLongNamesOfTheSamplePackage) {
    TempDir work;
    CliOutcome r = RunCli(work, "names --recursive " + Quote(kSample));
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[2], "");  // the report's own line end, then the one the tool adds
    std::sort(lines.begin(), lines.begin() + 2);
    EXPECT_EQ(lines[0], "The file 'ThisPoseFileNameIsFarTooLongForMac.pz2' has 38 characters in its name.");
    EXPECT_EQ(lines[1], "The folder 'AFolderNameThatIsWayTooLongForMacs' has 34 characters in its name.");
    // No live count: stderr is not a terminal here.
    EXPECT_EQ(r.err, "Items checked: 59  Problems found: 2\n");
}

TEST(CliTest, JsonHasTheDocumentedShape) {
    TempDir work;
    CliOutcome r = RunCli(work, "names --json --recursive " + Quote(kSample));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(r.out);
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) {
        keys.push_back(it.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"tool", "mode", "path", "counters", "report", "notices",
                                              "cancelled", "saved", "findings"}));
    EXPECT_EQ(j["tool"], "names");
    EXPECT_EQ(j["mode"], "entire-directory");
    EXPECT_EQ(j["path"], kSample);
    EXPECT_EQ(j["counters"], nlohmann::ordered_json::array({59, 2}));
    const std::string report = j["report"];
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2);
    EXPECT_TRUE(report.ends_with(" characters in its name.\r\n"));
    EXPECT_EQ(j["notices"], nlohmann::ordered_json::array());
    EXPECT_EQ(j["cancelled"], false);
    EXPECT_TRUE(j["saved"].is_null());

    CliOutcome missing = RunCli(work, "names --json nowhere");
    EXPECT_EQ(missing.status, 2);
    nlohmann::ordered_json m = nlohmann::ordered_json::parse(missing.out);
    EXPECT_EQ(m["mode"], "this-folder");
    EXPECT_EQ(m["report"], "");
    ASSERT_EQ(m["notices"].size(), 1u);
    EXPECT_EQ(m["notices"][0]["kind"], "error");
    EXPECT_EQ(m["notices"][0]["title"], "Veltrane");
    EXPECT_EQ(
        m["notices"][0]["text"],
        "Path specified does not exist or points to an nonexistant file.\r\nPlease make sure you enter a "
        "valid path.  ");
    EXPECT_TRUE(m["notices"][0]["answer"].is_null());
}

#ifndef _WIN32  // Windows names are UTF-16: every name converts to valid UTF-8
TEST(CliTest, JsonEscapesBytesThatAreNotUtf8) {
    TempDir work;
    const std::string name = "caf\xE9-" + std::string(30, 'n') + "-\xC3\xA9t\xC3\xA9.txt";  // 0xE9 alone
    work.WriteFile("d/" + name, "x");
    CliOutcome r = RunCli(work, "names --json d");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("caf\\u00e9-nnn"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-\xC3\xA9t\xC3\xA9.txt"), std::string::npos);  // valid UTF-8 stays as it is
    EXPECT_TRUE(nlohmann::json::accept(r.out));
}
#endif

struct StatusCase {
    const char* label;
    std::string args;
    int status;
    std::string out;
    std::string err;  // compared whole unless empty
};

TEST(CliTest, StatusesAndPlainOutput) {
    TempDir work;
    work.WriteFile("short.txt", "x");
    work.MakeDir("Props");
    work.WriteFile("v5.cr2", "\tnumber 5\r\n");
    const StatusCase cases[] = {
        {"names, missing path", "names nowhere", 2, "\n",
         "error: Veltrane: Path specified does not exist or points to an nonexistant file. Please make sure "
         "you "
         "enter a valid path.  \n"},
        {"names, one short file", "names short.txt", 0, "No Problems found!\n",
         "information: Veltrane: Path specified does not point to a folder, will check only file specified "
         "by "
         "current path.\nItems checked: 0  Problems found: 0\n"},
        {"names, empty folder", "names Props", 0, "No Problems found!\n",
         "error: Veltrane: No files found in path, checking the folder's name instead.\nItems checked: 0  "
         "Problems found: 0\n"},
        {"list, missing path", "list nowhere", 2, "\n",
         "error: ERROR: Path specified does not exist or points to an unexisting file. Please make sure you "
         "enter a valid path.  \n"},
        {"list, empty folder", "list Props", 1, "\n",
         "none: Veltrane: Selected folder was empty!\nFolders scanned: 0  Files Listed: 0\n"},
        {"versions, question answered", "versions v5.cr2", 1,
         "These Files contain a version number higher than 4.0:\nv5.cr2\n\n",
         "none: Files to Fix: There are one or more files to fix. You won't be able to cancel while the "
         "files "
         "are being fixed...  Continue? [answered Cancel]\nFiles checked: 1  Problems found: 1\n"},
        {"no subcommand", "", 2, "", ""},
        {"unknown option", "names --bogus x", 2, "", ""},
        {"missing PATH", "names", 2, "", ""},
        {"both mode flags", "paths --file --folder x", 2, "", ""},
        {"both mode flags", "versions --folder --file x", 2, "", ""},
        {"version", "--version", 0, "veltrane-cli 1.2.3\n", ""},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.label);
        CliOutcome r = RunCli(work, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        } else if (c.status == 2) {
            EXPECT_FALSE(r.err.empty());  // a usage error says what was wrong
        }
    }
    CliOutcome help = RunCli(work, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* sub : {"names", "paths", "versions", "list"}) {
        EXPECT_NE(help.out.find(sub), std::string::npos) << sub;
    }
}

TEST(CliTest, ListSavesExactlyWhatItReports) {
    TempDir work;
    work.WriteFile("Top/sub/b.txt", "x");
    work.WriteFile("Top/a.txt", "x");
    work.WriteFile("out.txt", "an older, longer list that the save must replace entirely");

    CliOutcome r = RunCli(work, "list --json --output out.txt Top");
    EXPECT_EQ(r.status, 0);
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["report"], Native("..Top/sub/\r\n   b.txt\r\n\r\n..Top/\r\n   a.txt"));
    EXPECT_EQ(j["counters"], nlohmann::json::array({2, 2}));
    EXPECT_EQ(j["saved"], "out.txt");
    EXPECT_TRUE(j["mode"].is_null());
    EXPECT_EQ(TempDir::ReadFile(work.Path("out.txt")), j["report"].get<std::string>());

    CliOutcome plain = RunCli(work, "list " + Quote(work.Path("Top")));
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, Native("../Top/sub/\n   b.txt\n\n../Top/\n   a.txt\n"));
    EXPECT_EQ(plain.err, "Folders scanned: 2  Files Listed: 2\n");
}

TEST(CliTest, ListSaveFailuresAndEmptyLists) {
    TempDir work;
    work.WriteFile("Top/a.txt", "x");
    work.MakeDir("Empty");

    CliOutcome failed = RunCli(work, "list --output no/such/dir/list.txt Top");
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.out, Native("..Top/\n   a.txt\n"));
    const std::string why = " was not found.";  // the folder is missing, on every platform
    EXPECT_EQ(failed.err,
              "error: Veltrane: no/such/dir/list.txt" + why + "\nFolders scanned: 1  Files Listed: 1\n");

    CliOutcome empty = RunCli(work, "list --output list.txt Empty");
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(
        empty.err,
        "none: Veltrane: Selected folder was empty!\nnone: Veltrane: Can't output a file, there are no files "
        "to list!\nFolders scanned: 0  Files Listed: 0\n");
    EXPECT_FALSE(std::filesystem::exists(work.Path("list.txt")));
}

// "-" is standard output: it gets the list's bytes as a saved file would hold them. Output that
// cannot be written is no success: status 2 and a message on stderr.
TEST(CliTest, ListToStandardOutputAndOutputThatCannotBeWritten) {
    TempDir work;
    work.WriteFile("Top/a.txt", "x");
    CliOutcome dash = RunCli(work, "list --output - Top");
    EXPECT_EQ(dash.status, 0);
#ifdef _WIN32  // RunCli gives CR LF back as LF
    EXPECT_EQ(dash.out, Native("..Top/\n   a.txt"));
#else
    EXPECT_EQ(dash.out, "..Top/\r\n   a.txt");
#endif
    EXPECT_FALSE(std::filesystem::exists(work.Path("-")));
    EXPECT_EQ(RunCli(work, "list --json --output - Top").status, 2);
#ifndef _WIN32
    const std::string err = work.Path("err");
    const int raw = std::system(
        (Quote(VELTRANE_CLI_PATH) + " list " + Quote(work.Path("Top")) + " >/dev/full 2>" + Quote(err))
            .c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 2);
    EXPECT_NE(TempDir::ReadFile(err).find("veltrane-cli: Disk full while accessing standard output.\n"),
              std::string::npos);
    // JSON handed over in several blocks: the refusal of the first still says why.
    for (int i = 0; i < 800; ++i) {
        work.WriteFile("Big/" + std::string(120, 'n') + std::to_string(i) + ".txt", "");
    }
    const int json = std::system(
        (Quote(VELTRANE_CLI_PATH) + " list --json " + Quote(work.Path("Big")) + " >/dev/full 2>" + Quote(err))
            .c_str());
    EXPECT_EQ(WEXITSTATUS(json), 2);
    EXPECT_NE(TempDir::ReadFile(err).find("veltrane-cli: Disk full while accessing standard output.\n"),
              std::string::npos)
        << TempDir::ReadFile(err);
#endif
}

TEST(CliTest, ListOfTheSamplePackage) {
    TempDir work;
    CliOutcome r = RunCli(work, "list --output out.txt " + Quote(kSample));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Folders scanned: 11  Files Listed: 38\n");
    const std::string saved = TempDir::ReadFile(work.Path("out.txt"));
    EXPECT_TRUE(saved.ends_with(Native("\r\n\r\n../SamplePackage/\r\n   README.txt"))) << saved;
    EXPECT_NE(
        saved.find(Native(
            "../SamplePackage/Runtime/textures/VeltraneSamples/\r\n   Thumbs.db\r\n   barrel wood.jpg\r\n")),
        std::string::npos);
    std::string plain = saved;
    plain.erase(std::remove(plain.begin(), plain.end(), '\r'), plain.end());
    EXPECT_EQ(r.out, plain + "\n");
}

// Ctrl-C is the Escape key: reported once, and the run shows what it had when it stopped.
TEST(CliTest, InterruptCancelsTheRunOnce) {
    TempDir work;
    work.WriteFile("Top/sub/a.txt", "x");
    cli::InstallInterruptHandler();
    std::raise(SIGINT);  // only once: a second one would end this test program
    cli::CliContext ctx;
    cli::CliRun run = cli::RunListCommand(work.Path("Top"), work.Path("list.txt"), ctx);
    std::signal(SIGINT, SIG_DFL);
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.status, cli::kExitCancelled);
    EXPECT_EQ(run.report, "");  // Escape at the first entry: nothing listed
    EXPECT_FALSE(run.saved.has_value());
    EXPECT_FALSE(std::filesystem::exists(work.Path("list.txt")));
    EXPECT_FALSE(ctx.PollEscape());
}

// Ctrl-C during the folder scan: every tool reports a cancelled run (Check Paths, like the window,
// still examines what was listed).
TEST(CliTest, InterruptDuringTheScanCancelsEveryTool) {
    TempDir work;
    work.WriteFile("Top/sub/a.cr2", "textureMap \"C:\\a.jpg\"\r\n");
    const std::string top = work.Path("Top");
    const std::function<cli::CliRun(cli::CliContext&)> runs[] = {
        [&](cli::CliContext& ctx) { return cli::RunNamesCommand(top, true, ctx); },
        [&](cli::CliContext& ctx) { return cli::RunPathsCommand(top, false, ctx); },
        [&](cli::CliContext& ctx) { return cli::RunVersionsCommand(top, false, false, ctx); },
        [&](cli::CliContext& ctx) { return cli::RunListCommand(top, std::nullopt, ctx); },
    };
    // Ctrl-C as the scan's first poll sees it (a second real SIGINT would end this program).
    struct InterruptAtFirstPoll : cli::CliContext {
        int polls = 0;
        bool PollEscape() override { return ++polls == 1; }
    };
    for (const auto& run : runs) {
        InterruptAtFirstPoll ctx;
        const cli::CliRun result = run(ctx);
        EXPECT_TRUE(result.cancelled) << result.tool;
        EXPECT_EQ(result.status, cli::kExitCancelled) << result.tool;
    }
}

}  // namespace
}  // namespace veltrane
