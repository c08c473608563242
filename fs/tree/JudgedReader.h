#pragma once

#include <algorithm>
#include <array>
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
// not give that judge (see CJudgedReader), which its tool then reads alone. Held in place: a read of
// one file costs no list of its own.
class FileVerdicts {
public:
    static constexpr size_t kMaxJudges = 4;

    FileVerdicts() = default;
    explicit FileVerdicts(size_t count) : m_count(std::min(count, kMaxJudges)) {}

    bool empty() const { return m_count == 0; }
    size_t size() const { return m_count; }
    std::unique_ptr<FileVerdict>& operator[](size_t index) { return m_items[index]; }
    std::unique_ptr<FileVerdict>& front() { return m_items[0]; }
    std::unique_ptr<FileVerdict>& back() { return m_items[m_count - 1]; }
    void push_back(std::unique_ptr<FileVerdict> verdict) { m_items[m_count++] = std::move(verdict); }
    std::unique_ptr<FileVerdict>* begin() { return m_items.data(); }
    std::unique_ptr<FileVerdict>* end() { return m_items.data() + m_count; }
    const std::unique_ptr<FileVerdict>* begin() const { return m_items.data(); }
    const std::unique_ptr<FileVerdict>* end() const { return m_items.data() + m_count; }

private:
    std::array<std::unique_ptr<FileVerdict>, kMaxJudges> m_items;
    size_t m_count = 0;
};

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
    // At most FileVerdicts::kMaxJudges makers.
    CJudgedReader(RunContext& ctx, OverflowWarnings* cap, const std::vector<JudgeMaker>& makers,
                  bool keepWarnings = false);
    ~CJudgedReader();
    CJudgedReader(const CJudgedReader&) = delete;
    CJudgedReader& operator=(const CJudgedReader&) = delete;

    FileVerdicts Read(const std::string& path, bool listedRegular = false);  // see OpenRegularFile
    FileVerdicts Read(ArchiveEntrySource& entry);

private:
    FileVerdicts ReadOne(const std::string* path, ArchiveEntrySource* entry, bool listedRegular);
    FileVerdicts ReadShared(const std::string* path, ArchiveEntrySource* entry, bool listedRegular);

    // A judge fed by the shared read of the file at hand.
    struct Feed {
        size_t index = 0;
        CFileJudge* judge = nullptr;
        std::string_view needle;
        bool wholeLines = false;
        bool done = false;      // it has had enough of this file
        size_t warningsAt = 0;  // the warnings met before it had enough
        uint64_t heldBackAt = 0;
    };

    std::vector<std::unique_ptr<CFileJudge>> m_judges;
    std::vector<Feed> m_feeds;
    std::vector<ReadPlan> m_plans;
    bool m_decompress = false;         // some judge wants the text inside compression
    bool m_keep = false;               // the warnings go into the verdicts
    std::vector<uint32_t> m_warnings;  // those of the file being read
    GzipSource m_source;
    CLineScanner m_scanner;  // declared after the source it reads from
};

}  // namespace veltrane
