#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace veltrane {

// The first bytes of a file, for telling what it holds by its signature.
struct FileHead {
    std::string bytes;  // at most the bytes asked for; fewer when the file is shorter
    bool read = false;  // false: it would not open or read (a FIFO, a device, a damaged entry)
};

// How the heads of a list of files are read.
struct HeadReadOptions {
    unsigned threads = 1;  // ReadThreads of the run
    // Per file, when known: the walk listed it as a regular file and reached it through no link, so its
    // open needs no look first (the descriptor still decides).
    std::vector<bool> listedRegular;
    // Start every reading thread at once, as a cold cache does (else they start when a read has waited
    // on the disk).
    bool spreadAtOnce = false;
};

// The heads of a list of files, each taken once, in increasing list order.
class CHeadReads {
public:
    virtual ~CHeadReads() = default;
    virtual FileHead Take(size_t index) = 0;
};

// Reads at most size bytes from the start of the regular file at path; a FIFO, a device or a folder
// is refused without a wait.
FileHead ReadFileHead(const std::string& path, size_t size);

// The heads of files of the file system. With threads beside the caller's (threads > 1), one thread
// starts reading them at once, so the caller may do other work meanwhile; else each is read when taken.
std::unique_ptr<CHeadReads> ReadFolderHeads(std::vector<std::string> files, size_t size,
                                            HeadReadOptions options);

}  // namespace veltrane
