#include "fs/FileOps.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

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
#ifdef _WIN32
    EXPECT_EQ(FileErrorText(ec, target), target + " contains an invalid path.");  // path not found
#else
    EXPECT_EQ(FileErrorText(ec, target), target + " was not found.");
#endif
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

TEST(FileOpsTest, FileErrorTextsNameTheFile) {
    auto text = [](std::errc e) { return FileErrorText(std::make_error_code(e), "F"); };
    EXPECT_EQ(text(std::errc::permission_denied), "Access to F was denied.");
    EXPECT_EQ(text(std::errc::file_exists), "Access to F was denied.");
    EXPECT_EQ(text(std::errc::no_space_on_device), "Disk full while accessing F.");
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
