#include "fs/write/FileOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fs/tree/DirectoryListing.h"
#include "fs/write/SafeReplace.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::TempDir;

TEST(FileOpsTest, RenameNoReplaceRefusesAnExistingTarget) {
    TempDir dir;
    std::string a = dir.WriteFile("a.cr2", "original");
    std::string b = dir.WriteFile("a.old", "older backup");
    std::error_code ec;
    EXPECT_FALSE(RenameNoReplace(a, b, ec));
    EXPECT_TRUE(ec);
    EXPECT_EQ(TempDir::ReadFile(a), "original");
    EXPECT_EQ(TempDir::ReadFile(b), "older backup");

    std::string c = dir.Path("a.new");
    EXPECT_TRUE(RenameNoReplace(a, c, ec)) << ec.message();
    EXPECT_EQ(TempDir::ReadFile(c), "original");
    EXPECT_FALSE(std::filesystem::exists(a));
}

TEST(FileOpsTest, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    std::string target = dir.WriteFile("list.txt", "old content that is longer");
    std::error_code ec;
    const std::string data("..\\A\\\r\n   f.txt\0x", 16);
    ASSERT_TRUE(WriteFileAtomically(target, data, ec)) << ec.message();
    EXPECT_EQ(TempDir::ReadFile(target), data);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Root())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(FileOpsTest, AtomicWriteIntoAMissingFolderFailsWithoutSideEffects) {
    TempDir dir;
    std::error_code ec;
    std::string target = dir.Path("missing/list.txt");
    EXPECT_FALSE(WriteFileAtomically(target, "x", ec));
    EXPECT_TRUE(ec);
    EXPECT_EQ(FileErrorText(ec, target), target + " was not found.");
    // Renaming over a folder fails after the temporary file was written: it must be gone again.
    std::string folder = dir.MakeDir("taken");
    EXPECT_FALSE(WriteFileAtomically(folder, "x", ec));
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Root())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

#ifndef _WIN32
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// What stands at the target decides: a link is followed and stays, anything but a regular file is
// left alone with the file-error text, and no temporary file is ever left behind.
TEST(FileOpsTest, AtomicWriteFollowsLinksAndRefusesWhatIsNotAFile) {
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> make;
        std::string errorText;  // empty: the write succeeds
        bool needsRoot = false;
    };
    const Case cases[] = {
        {"link", [](const TempDir& d) { ::symlink("sub/real.txt", d.Path("link").c_str()); }, ""},
        {"fifo", [](const TempDir& d) { ::mkfifo(d.Path("fifo").c_str(), 0644); }, "Access to * was denied."},
        {"device", [](const TempDir& d) { ::mknod(d.Path("device").c_str(), S_IFCHR | 0666, makedev(1, 3)); },
         "Access to * was denied.", true},
        {"folder", [](const TempDir& d) { d.MakeDir("folder"); }, "* contains an invalid path."},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) {
            std::cout << "[  SKIPPED ] " << c.name << ": making a device node needs root\n";
            continue;
        }
        TempDir dir;
        const std::string real = dir.WriteFile("sub/real.txt", "old");
        ::chmod(real.c_str(), 0604);
        c.make(dir);
        const std::string target = dir.Path(c.name);
        struct stat before;
        ASSERT_EQ(::lstat(target.c_str(), &before), 0) << c.name;
        const std::set<std::string> namesBefore = Names(dir.Root());

        std::error_code ec;
        const bool ok = WriteFileAtomically(target, "list", ec);
        struct stat after;
        ASSERT_EQ(::lstat(target.c_str(), &after), 0) << c.name;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.name;  // the link, FIFO, node or folder stays
        EXPECT_EQ(after.st_rdev, before.st_rdev) << c.name;
        EXPECT_EQ(Names(dir.Root()), namesBefore) << c.name;
        EXPECT_EQ(Names(dir.Path("sub")), std::set<std::string>{"real.txt"}) << c.name;
        if (c.errorText.empty()) {
            EXPECT_TRUE(ok) << c.name << ": " << ec.message();
            EXPECT_EQ(TempDir::ReadFile(real), "list");
            struct stat st;
            ASSERT_EQ(::stat(real.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0604u);
        } else {
            EXPECT_FALSE(ok) << c.name;
            std::string expected = c.errorText;
            expected.replace(expected.find('*'), 1, target);
            EXPECT_EQ(FileErrorText(ec, target), expected);
            EXPECT_EQ(TempDir::ReadFile(real), "old");
        }
    }
    // Reading refuses such things at once instead of waiting on them.
    TempDir dir;
    ::mkfifo(dir.Path("fifo").c_str(), 0644);
    FileSource source;
    std::error_code ec;
    EXPECT_FALSE(source.Open(dir.Path("fifo"), ec));
    EXPECT_EQ(FileErrorText(ec, "F"), "Access to F was denied.");
}

// A process that clears the folder of leftovers, saves a file and then replaces it keeping a
// backup, over and over, is killed at random moments, with unnamed temporary files, named ones,
// and a copied backup in turn. After every kill the name holds the old or the new content, the
// backup (when there) the old, and the folder listing shows nothing else; the next run removes
// whatever temporary file a kill left.
TEST(FileOpsTest, KilledAtAnyMomentTheNameHoldsOldOrNewContent) {
    const std::string oldText(3000, 'o');
    const std::string newText(3000, 'N');
    TempDir dir;
    const std::string path = dir.WriteFile("Sit.pz2", oldText);
    const std::string backup = dir.Path("Sit.old");
    const ContentTransform replace = [&](FileSource&, FileWriter& copy, std::error_code& ec,
                                         bool& readFailed) {
        readFailed = false;
        return copy.Write(newText, ec);
    };
    ReplaceHooks modes[3];
    modes[1].namedTemporary = true;
    modes[2].copyBackup = true;
    auto cycle = [&](const ReplaceHooks& hooks) {
        std::error_code ec;
        RemoveWriteLeftovers(dir.Root());
        ::unlink(backup.c_str());
        WriteFileAtomically(path, oldText, ec);
        ReplaceOutcome outcome;
        ReplaceKeepingBackup(path, backup, replace, outcome, hooks);
    };
    const auto start = std::chrono::steady_clock::now();
    cycle(modes[0]);
    const auto cycleUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
            .count();
    std::mt19937 rng(2511);
    std::uniform_int_distribution<long> delay(0, std::clamp<long>(2 * cycleUs, 500, 40000));
    const std::set<std::string> ours{".", "..", "Sit.pz2", "Sit.old"};
    std::set<std::string> left;
    int kills = 0, nameMissing = 0, wrongContent = 0, listed = 0, leftByMode[3] = {};
    for (const auto deadline = start + std::chrono::milliseconds(1500);
         kills < 300 && std::chrono::steady_clock::now() < deadline; ++kills) {
        const ReplaceHooks& hooks = modes[kills % 3];
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                cycle(hooks);
            }
        }
        ::usleep(static_cast<useconds_t>(delay(rng)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            ++nameMissing;
            dir.WriteFile("Sit.pz2", oldText);
        } else if (const std::string now = TempDir::ReadFile(path); now != oldText && now != newText) {
            ++wrongContent;
        }
        if (std::filesystem::exists(backup, ec) && TempDir::ReadFile(backup) != oldText) {
            ++wrongContent;
        }
        std::vector<DirEntry> entries;
        ListFolder(dir.Root() + "/", entries);
        for (const DirEntry& entry : entries) {
            listed += ours.count(entry.name) ? 0 : 1;
        }
        for (const std::string& name : Names(dir.Root())) {
            leftByMode[kills % 3] += !ours.count(name) && left.insert(name).second ? 1 : 0;
        }
    }
    std::cout << "[   NOTE   ] " << kills << " kills, one cycle " << cycleUs << " us: name missing "
              << nameMissing << "; temporary files left by unnamed, named, copied: " << leftByMode[0] << ", "
              << leftByMode[1] << ", " << leftByMode[2] << "\n";
    EXPECT_GE(kills, 20);
    EXPECT_EQ(nameMissing, 0);
    EXPECT_EQ(wrongContent, 0);
    EXPECT_EQ(listed, 0);
    RemoveWriteLeftovers(dir.Root());
    const std::set<std::string> after = Names(dir.Root());
    EXPECT_TRUE(std::includes(ours.begin(), ours.end(), after.begin(), after.end()));
}

// Only regular files under the exact temporary names, held by no write, are removed; the listing
// leaves out every such name.
TEST(FileOpsTest, OnlyAbandonedTemporaryFilesAreRemoved) {
    TempDir dir;
    const std::string abandoned = dir.WriteFile(".vt0123456789", "x");
    for (const char* name : {".vtABCDEFGHIJ", ".vt012345678", ".vt0123456789x", "vt0123456789"}) {
        dir.WriteFile(name, "x");  // not quite our names
    }
    dir.MakeDir(".vtfolder0000");
    ASSERT_EQ(::symlink(abandoned.c_str(), dir.Path(".vtlink000000").c_str()), 0);
    ReplacementFile inUse;
    std::error_code ec;
    ASSERT_TRUE(inUse.Create(dir.Path("target.txt"), ec, 0600, true)) << ec.message();

    const std::set<std::string> before = Names(dir.Root());
    EXPECT_EQ(RemoveWriteLeftovers(dir.Root()), 1);
    std::set<std::string> expected = before;
    expected.erase(".vt0123456789");
    EXPECT_EQ(Names(dir.Root()), expected);

    std::vector<DirEntry> entries;
    ListFolder(dir.Root() + "/", entries);
    std::set<std::string> listed;
    for (const DirEntry& entry : entries) {
        listed.insert(entry.name);
    }
    EXPECT_EQ(listed, (std::set<std::string>{".", "..", ".vtABCDEFGHIJ", ".vt012345678", ".vt0123456789x",
                                             "vt0123456789"}));
}
#endif

TEST(FileOpsTest, FileErrorTextsNameTheFile) {
    auto text = [](std::errc e) { return FileErrorText(std::make_error_code(e), "F"); };
    EXPECT_EQ(text(std::errc::permission_denied), "Access to F was denied.");
    EXPECT_EQ(text(std::errc::file_exists), "Access to F was denied.");
    EXPECT_EQ(text(std::errc::no_space_on_device), "Disk full while accessing F.");
    EXPECT_EQ(text(std::errc::file_too_large), "Disk full while accessing F.");  // a file size limit
    EXPECT_EQ(text(std::errc::no_such_file_or_directory), "F was not found.");
    EXPECT_EQ(text(std::errc::too_many_files_open),
              "F could not be opened because there are too many open files.");
    EXPECT_EQ(text(std::errc::io_error), "A hardware I/O error was reported while accessing F.");
    EXPECT_EQ(text(std::errc::device_or_resource_busy), "A sharing violation occurred while accessing F.");
    EXPECT_EQ(text(std::errc::not_a_directory), "F contains an invalid path.");
    EXPECT_EQ(text(std::errc::bad_message), "An unknown error occurred while accessing F.");
}

}  // namespace
}  // namespace veltrane
