#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "support/CliRunner.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::TempDir;

using Outcome = test::CliOutcome;
using test::Native;

// Runs "veltrane-cli paths ARGS" in the folder work.
Outcome RunPaths(const TempDir& work, const std::string& args) {
    return test::RunCli("paths " + args, work.Root());
}

struct Case {
    const char* label;
    std::string args;
    int status;
    std::string out;
    std::string err;
};

TEST(PathsCliTest, StatusesAndPlainOutput) {
    TempDir work;
    work.WriteFile("clean.cr2", "textureMap \":Runtime:a.jpg\"\r\n");
    work.WriteFile("abs.pz2", "textureMap \"C:\\a.jpg\"\r\ntextureMap Runtime\\b.jpg\r\n");
    work.WriteFile("notes.txt", "textureMap \"C:\\a.jpg\"\r\n");
    work.WriteFile("Pkg/abs.pz2", "textureMap \"C:\\a.jpg\"\r\n");
    const Case cases[] = {
        {"clean file, mode from the path", "clean.cr2", 0, "No absolute paths found\n",
         "Files checked: 1  Problem files: 0\n"},
        {"findings in a file", "--file abs.pz2", 1,
         "This file contained absolute paths.\nThis file contained relative paths that had backslashes (\\) "
         "in "
         "them.\n\n",
         "Files checked: 1  Problem files: 1\n"},
        {"folder, mode from the path", "Pkg", 1,
         Native("These files contained absolute paths in them:\nPkg/abs.pz2\n\n\n"),
         "Files checked: 1  Problem files: 1\n"},
        {"other file type", "--file notes.txt", 2, "\n", "error: ERROR: File type is not recognized.  \n"},
        {"missing path", "nowhere", 2, "\n",
         "error: ERROR: Path specified does not exist or points to an unexisting file. Please make sure you "
         "enter a "
         "valid path.  \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Outcome r = RunPaths(work, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(PathsCliTest, JsonCarriesTheExactReport) {
    TempDir work;
    work.WriteFile("Pkg/a.cr2", "textureMap a b.jpg\r\n");
    const Outcome r = RunPaths(work, "--json Pkg");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["tool"], "paths");
    EXPECT_EQ(j["mode"], "folder");
    EXPECT_EQ(j["path"], "Pkg");
    EXPECT_EQ(j["counters"], nlohmann::json::array({1, 1}));
    EXPECT_EQ(j["report"],
              "These files contained paths that should be enclosed in quotes (spaces in "
              "path):\r\n" +
                  Native("Pkg/a.cr2") + "\r\n\r\n");
    EXPECT_EQ(j["notices"], nlohmann::json::array());
    EXPECT_EQ(j["cancelled"], false);
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

TEST(PathsCliTest, UnreadableFilesAreNotClean) {
    TempDir work;
    work.WriteFile("Pkg/a.cr2", "textureMap \"ok.jpg\"\r\n");
    MakeUnopenableFile(work.Path("Pkg/s.cr2"));
    const Outcome folder = RunPaths(work, "--folder Pkg");
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, "These files could not be read:\nPkg/s.cr2\n\n\n");
    EXPECT_EQ(folder.err, "Files checked: 2  Problem files: 1\n");

    const Outcome file = RunPaths(work, "--json Pkg/s.cr2");
    EXPECT_EQ(file.status, 2);  // stopped at its error box, as versions --file does
    const nlohmann::json j = nlohmann::json::parse(file.out);
    EXPECT_EQ(j["mode"], "file");
    EXPECT_EQ(j["report"], "");
    EXPECT_EQ(j["counters"], nlohmann::json::array({0, 0}));
    ASSERT_EQ(j["notices"].size(), 1u);
    EXPECT_EQ(j["notices"][0]["kind"], "error");
    EXPECT_EQ(j["notices"][0]["title"], "ERROR");
    EXPECT_EQ(j["notices"][0]["text"], "File could not be read.  ");
}

// Ctrl-C while a file is being read: the second file is a gigabyte without line ends (sparse, so it
// costs no disk), which takes the run long enough that the SIGINT this test sends once the file is
// opened comes while it is read. With threads reading ahead the file is opened early, perhaps while
// the folder is scanned, so the signal waits a moment more; the run still stops at once, as the
// logic takes over a read it would otherwise wait for.
TEST(PathsCliTest, InterruptWhileReadingShowsThePartialResult) {
    for (const char* threads : {"1", "4"}) {
        SCOPED_TRACE(std::string(threads) + " threads");
        TempDir work;
        TempDir io;
        work.WriteFile("Pkg/a.cr2", "textureMap \"C:\\a.jpg\"\r\n");
        const std::string big = work.Path("Pkg/b.cr2");
        const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
        ::close(fd);
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, work.Path("Pkg").c_str(), IN_OPEN), 0);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, io.Path("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, io.Path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        const std::string folder = work.Path("Pkg");
        const char* argv[] = {VELTRANE_CLI_PATH, "paths",        "--json", "--threads",
                              threads,           folder.c_str(), nullptr};
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, VELTRANE_CLI_PATH, &actions, nullptr, const_cast<char* const*>(argv),
                              environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);

        // Files are read as a.cr2, then b.cr2: wait for b's open.
        bool opened = false;
        alignas(inotify_event) char events[4096];
        while (!opened) {
            const ssize_t n = ::read(watch, events, sizeof events);
            ASSERT_GT(n, 0);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                opened = opened || (event->len > 0 && std::string(event->name) == "b.cr2");
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        ::close(watch);
        if (std::string(threads) != "1") {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        ::kill(child, SIGINT);
        int raw = 0;
        ASSERT_EQ(::waitpid(child, &raw, 0), child);
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), 130);

        const nlohmann::json j = nlohmann::json::parse(TempDir::ReadFile(io.Path("out")));
        EXPECT_EQ(j["cancelled"], true);
        EXPECT_EQ(j["counters"], nlohmann::json::array({2, 1}));
        EXPECT_EQ(j["report"],
                  "User Cancelled Operation. Showing partial results!\r\n\r\n"
                  "These files contained absolute paths in them:\r\n" +
                      folder + "/a.cr2\r\n\r\n");
    }
}

#endif  // sockets, FIFOs and signals are POSIX

}  // namespace
}  // namespace veltrane
