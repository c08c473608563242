#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "checks/LibraryReference.h"
#include "fs/read/LineScanner.h"
#include "fs/run/OverflowWarnings.h"
#include "fs/run/RunContext.h"

namespace veltrane {

class CListingCache;

// What Check Paths learns from reading one Poser file.
struct PathFileRead {
    struct Line {
        uint32_t number = 0;
        unsigned kinds = 0;  // PathFinding bits
        std::string value;   // the value as judged
    };
    ScanEnd end = ScanEnd::EndOfInput;
    bool unreadable = false;
    std::error_code failure;  // why it was unreadable
    unsigned kinds = 0;
    std::vector<Line> lines;            // the lines with findings, in file order
    std::vector<std::string> warnings;  // shared reads only: the line-length warnings the read met
};

// What Version Number learns from reading one Poser file.
enum class VersionFileVerdict { Clean, NeedsFix, Escaped, ReadError };
struct VersionFileRead {
    VersionFileVerdict verdict = VersionFileVerdict::Clean;
    uint32_t line = 0;                  // NeedsFix: where the deciding line begins
    std::string text;                   // NeedsFix: the deciding line, whole
    std::vector<std::string> warnings;  // shared reads only, as for PathFileRead
};

// What Package Check learns from reading one library file through its compression.
struct PackageFileRead {
    std::optional<std::error_code> openError;  // the file would not open, and why (never in a shared read)
    bool compressed = false;                   // the content is gzip
    ScanEnd end = ScanEnd::EndOfInput;
    bool readError = false;
    bool damaged = false;  // the compressed data was damaged or cut short
    std::vector<std::pair<uint32_t, LibraryReference>> references;  // line number and reference
    std::vector<std::string> warnings;                              // shared reads only, as for PathFileRead
};

// The bytes a file's read holds, roughly, to bound what is kept of reads done ahead.
size_t PathReadBytes(const PathFileRead& read);
size_t VersionReadBytes(const VersionFileRead& read);
size_t PackageReadBytes(const PackageFileRead& read);

// One walk of a tree and one read of each file, shared by the tools that a combined check runs. A
// tool that is given one takes its folder listings from listings and asks for each file's read
// here; an empty answer means "read it yourself" (a file that would not open, or whose bytes differ
// between the tools, such as a compressed one). The warnings of a shared read are raised by the tool
// that takes it, through its own context and under its own cap, when it takes it.
class SharedReads {
public:
    virtual ~SharedReads() = default;
    virtual CListingCache* Listings() = 0;
    // The files the tool is about to ask for, in the order it will ask; they may be read ahead.
    virtual void WillRead(const std::vector<std::string>& /*files*/) {}
    virtual std::optional<PathFileRead> ForPaths(const std::string& file) = 0;
    virtual std::optional<VersionFileRead> ForVersions(const std::string& file) = 0;
    virtual std::optional<PackageFileRead> ForPackage(const std::string& file) = 0;
};

// Raises the line-length warnings of a shared read through ctx, as the tool's own read would have:
// each one that the run's cap admits (every one without a cap) is shown, the rest are counted for
// its closing box.
void RaiseSharedWarnings(RunContext& ctx, OverflowWarnings* cap, const std::vector<std::string>& warnings);

}  // namespace veltrane
