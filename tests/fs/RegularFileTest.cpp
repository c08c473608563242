#include "fs/read/RegularFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fs/tree/FileHeads.h"
#include "support/TestTree.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace veltrane {
namespace {

using test::TempDir;

#ifndef _WIN32
// Only a regular file is opened; a FIFO (which would block the open until a writer came), a device
// (read forever), a socket and a folder under a Poser name are refused at once.
TEST(RegularFileTest, OpensRegularFilesAndRefusesEveryOtherKindWithoutBlocking) {
    TempDir dir;
    const std::string regular = dir.WriteFile("a.cr2", "x");
    const std::string fifo = dir.Path("fifo.cr2");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::error_code ec;
    std::filesystem::create_symlink("/dev/zero", dir.Path("zero.pz2"), ec);
    ASSERT_FALSE(ec);
    std::filesystem::create_symlink(regular, dir.Path("link.cr2"), ec);
    ASSERT_FALSE(ec);
    const std::string socketPath = dir.Path("socket.cr2");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(sock);
    dir.MakeDir("folder.cr2");

    // listed: the walk said regular, so there is no look before the open; whatever was put there
    // since is still refused, and a link is no longer followed.
    struct Case {
        std::string path;
        bool opens;
        std::errc error;
        bool listed = false;
    } cases[] = {
        {regular, true, {}},
        {dir.Path("link.cr2"), true, {}},
        {fifo, false, std::errc::invalid_argument},
        {dir.Path("zero.pz2"), false, std::errc::invalid_argument},
        {socketPath, false, std::errc::invalid_argument},
        {dir.Path("folder.cr2"), false, std::errc::invalid_argument},
        {dir.Path("missing.cr2"), false, std::errc::no_such_file_or_directory},
        {regular, true, {}, true},
        {dir.Path("link.cr2"), false, std::errc::too_many_symbolic_link_levels, true},
        {dir.Path("zero.pz2"), false, std::errc::too_many_symbolic_link_levels, true},
        {fifo, false, std::errc::invalid_argument, true},
        {dir.Path("folder.cr2"), false, std::errc::invalid_argument, true},
    };
    for (const Case& c : cases) {
        const int fd = OpenRegularFile(c.path, ec, nullptr, c.listed);
        EXPECT_EQ(fd >= 0, c.opens) << c.path;
        if (c.opens) {
            char byte = 0;
            EXPECT_EQ(::read(fd, &byte, 1), 1);
            EXPECT_FALSE(ec);
        } else {
            EXPECT_EQ(ec, std::make_error_code(c.error)) << c.path;
        }
        CloseRegularFile(fd);
    }
}
#endif

// Heads read on several threads at once (as when the cache is cold) are the heads read one by one,
// in list order, and a reader dropped part way stops its threads.
TEST(RegularFileTest, HeadsReadOnSeveralThreadsAreTheHeadsReadOneByOne) {
    TempDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 1500; ++i) {
        const std::string name = "f" + std::to_string(i % 7) + "/" + std::to_string(i) + ".jpg";
        files.push_back(i % 100 == 3 ? dir.Path(name) : dir.WriteFile(name, "head of " + std::to_string(i)));
    }
    for (const size_t taken : {files.size(), size_t{300}}) {
        const std::unique_ptr<CHeadReads> heads = ReadFolderHeads(files, 10, {2, {}, true});
        for (size_t i = 0; i < taken; ++i) {
            const FileHead head = heads->Take(i);
            const FileHead one = ReadFileHead(files[i], 10);
            ASSERT_EQ(head.read, one.read) << files[i];
            ASSERT_EQ(head.bytes, one.bytes) << files[i];
        }
    }
}

}  // namespace
}  // namespace veltrane
