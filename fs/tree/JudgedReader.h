#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fs/read/GzipSource.h"
#include "fs/read/LineScanner.h"
#include "fs/run/OverflowWarnings.h"
#include "fs/run/RunContext.h"
#include "fs/tree/FileJudge.h"

namespace veltrane {

class ArchiveEntrySource;

// One verdict per judge, in the order of the judges' makers; an empty one is a file this read could
// not give that judge (see CJudgedReader), which its tool then reads alone.
using FileVerdicts = std::vector<std::unique_ptr<FileVerdict>>;

size_t VerdictsBytes(const FileVerdicts& verdicts);

// Reads files for one judge, or for several judges at once.
//
// One judge: the file is read exactly as that judge's plan says, with the scanner polling ctx once per
// line and raising the line-length warnings through ctx under cap, as the tool's own loop would.
//
// Several judges (reads shared between tools): the file is read once, in whole pieces, through its
// compression when any judge wants the text inside; every piece goes to each judge as its own plan
// would have handed it over, until that judge has had enough. Polls go to ctx; the line-length
// warnings go into each verdict (the ones met before its judge had enough), for its tool to raise.
// A read for one judge may keep its warnings that way too (a pass through an archive, whose verdicts
// are handed over in another order than they are read).
// A judge of the bytes as stored gets nothing from a compressed file, and nobody gets anything from a
// file that would not open: their tools read those alone, and meet the failure in their own words.
class CJudgedReader {
public:
    // keepWarnings: one judge's line-length warnings too go into its verdict instead of through ctx.
    CJudgedReader(RunContext& ctx, OverflowWarnings* cap, const std::vector<JudgeMaker>& makers,
                  bool keepWarnings = false);
    ~CJudgedReader();
    CJudgedReader(const CJudgedReader&) = delete;
    CJudgedReader& operator=(const CJudgedReader&) = delete;

    FileVerdicts Read(const std::string& path);
    FileVerdicts Read(ArchiveEntrySource& entry);

private:
    FileVerdicts ReadOne(const std::string* path, ArchiveEntrySource* entry);
    FileVerdicts ReadShared(const std::string* path, ArchiveEntrySource* entry);

    // A judge fed by the shared read of the file at hand.
    struct Feed {
        size_t index = 0;
        CFileJudge* judge = nullptr;
        std::string_view needle;
        bool wholeLines = false;
        bool done = false;      // it has had enough of this file
        size_t warningsAt = 0;  // the warnings met before it had enough
    };

    std::vector<std::unique_ptr<CFileJudge>> m_judges;
    std::vector<Feed> m_feeds;
    std::vector<ReadPlan> m_plans;
    bool m_decompress = false;            // some judge wants the text inside compression
    bool m_keep = false;                  // the warnings go into the verdicts
    std::vector<std::string> m_warnings;  // those of the file being read
    GzipSource m_source;
    CLineScanner m_scanner;  // declared after the source it reads from
};

}  // namespace veltrane
