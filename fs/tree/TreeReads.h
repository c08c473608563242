#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fs/run/RunContext.h"
#include "fs/tree/FileJudge.h"
#include "fs/tree/JudgedReader.h"

namespace veltrane {

// What a read of a list of files is asked to do besides.
struct ReadOptions {
    // Packed trees: read the data of every other file through as well, and tell which could not be
    // unpacked (Unreadable). Folders have nothing of the kind.
    bool checkOtherFiles = false;
    // Per file of the list (missing ones false): the walk listed it as a regular file reached through
    // no link, so its open needs no look first (OpenRegularFile). Folders only.
    std::vector<bool> listedRegular;
};

// A file the tree holds but could not unpack, and the packer's words for why.
struct UnreadableEntry {
    std::string path;
    std::string error;
};

// The verdicts of a read of a list of files, by list position, each asked for once, in increasing
// order. How the files are read (ahead on other threads, or in one pass through a packed file) is
// the tree's; what each gives is exactly what a read of that one file on the caller's thread gives.
class CVerdictRun {
public:
    virtual ~CVerdictRun() = default;
    // One verdict per judge; empty when the run never reached the file (Escape ended a pass first).
    virtual FileVerdicts Take(size_t index) = 0;
    virtual std::vector<UnreadableEntry> Unreadable() { return {}; }
};

// One file's verdict, handed to its tool.
struct TreeRead {
    size_t index = 0;  // its place in the list asked for
    std::unique_ptr<FileVerdict> verdict;
};

// A tool's read of a list of files through its judge: Next hands the verdicts over in list order.
class CTreeReads {
public:
    // ctx hears how far the list is (FilesRead) as each file is handed over.
    CTreeReads(std::unique_ptr<CVerdictRun> run, size_t count, RunContext& ctx)
        : m_run(std::move(run)), m_count(count), m_ctx(ctx) {}

    // The next file's verdict; a file the read never reached is left out, and nothing follows the
    // file during whose read Escape came (its verdict says so).
    std::optional<TreeRead> Next();

    // What the read found unreadable among the other files (ReadOptions::checkOtherFiles), once the
    // list has been read.
    std::vector<UnreadableEntry> Unreadable() { return m_run->Unreadable(); }

private:
    std::unique_ptr<CVerdictRun> m_run;
    size_t m_count;
    RunContext& m_ctx;
    size_t m_next = 0;
    bool m_ended = false;
};

}  // namespace veltrane
