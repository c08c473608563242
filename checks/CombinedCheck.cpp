// The combined check. The first tool's walk fills a listing cache from which the other tools' scans
// are replayed; a scan polls once per entry whatever its patterns, so the replays meet exactly the
// folders, entries and polls that their own walks would. Each Poser file is read once, the first time
// any tool asks for it, and every line goes to the line judges of the three reading tools, each fed as
// its own scanner would feed it; a tool then takes its part of the read (and the line-length warnings
// of it) in its own order.

#include "checks/CombinedCheck.h"

#include <memory>
#include <optional>
#include <unordered_map>

#include "fs/read/GzipSource.h"
#include "fs/read/LineScanner.h"
#include "fs/tree/ListingCache.h"
#include "fs/tree/ReadAhead.h"

namespace veltrane {

namespace {

constexpr std::string_view kPathNeedle = "Map";
constexpr std::string_view kVersionNeedle = "number";

// What each tool sees of the caller's context. Boxes go through to the caller (and are recorded here
// too, so each tool's boxes stay apart); counters stay here, as they belong to the tool's own page. An
// Escape seen by one tool is seen by every later tool at its first poll.
class ToolContext : public RunContext {
public:
    ToolContext(RunContext& parent, bool& cancelled) : m_parent(parent), m_cancelled(cancelled) {
        m_pendingEscape = cancelled;
        SetReadThreads(parent.ReadThreads());
    }

    bool PollEscape() override {
        if (m_pendingEscape) {
            m_pendingEscape = false;
            return true;
        }
        if (m_parent.PollEscape()) {
            m_cancelled = true;
            return true;
        }
        return false;
    }
    uint64_t PollEscapeRun(uint64_t count) override {
        if (count > 0 && m_pendingEscape) {
            m_pendingEscape = false;
            return 1;
        }
        const uint64_t escaped = m_parent.PollEscapeRun(count);
        if (escaped != 0) {
            m_cancelled = true;
        }
        return escaped;
    }
    void ItemCounted(int32_t total) override { m_parent.ItemCounted(total); }
    void BeginWait() override { m_parent.BeginWait(); }
    void RestoreWait() override { m_parent.RestoreWait(); }
    void EndWait() override { m_parent.EndWait(); }
    void ShowProgress() override { m_parent.ShowProgress(); }
    void CloseProgress() override { m_parent.CloseProgress(); }

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override {
        return m_parent.Notify(notice.kind, notice.title, notice.text, notice.buttons);
    }

private:
    RunContext& m_parent;
    bool& m_cancelled;
    bool m_pendingEscape = false;
};

// The context of the one read: polls go to the tool that asked for the file (or, for a read done
// ahead, to the read-ahead's recorder), the line-length warnings are only recorded, to be raised by
// each tool when it takes its part.
class ReadContext : public RunContext {
public:
    RunContext* m_tool = nullptr;

    bool PollEscape() override { return m_tool != nullptr && m_tool->PollEscape(); }
    void RestoreWait() override {
        if (m_tool != nullptr) {
            m_tool->RestoreWait();
        }
    }
};

// The parts of one read not taken yet; an empty part is read by its tool itself.
struct Entry {
    std::optional<PathFileRead> paths;
    std::optional<VersionFileRead> versions;
    std::optional<PackageFileRead> package;
};

size_t EntryBytes(const Entry& entry) {
    // Each part holds the line-length warnings of the read.
    return sizeof entry + (entry.paths ? PathReadBytes(*entry.paths) : 0) +
           (entry.versions ? VersionReadBytes(*entry.versions) : 0) +
           (entry.package ? PackageReadBytes(*entry.package) : 0);
}

// Reads files once for all three reading tools, each part as that tool's own read would give it.
class CombinedFileReader {
public:
    explicit CombinedFileReader(RunContext* polls) : m_scanner(&m_readContext) {
        m_readContext.m_tool = polls;
        m_scanner.SetWholeLines(true);
    }

    // The tool whose context is polled during the read.
    void SetPolls(RunContext* polls) { m_readContext.m_tool = polls; }

    // The parts of file; none when it would not open.
    Entry Read(const std::string& file);

private:
    ReadContext m_readContext;
    GzipSource m_source;
    CLineScanner m_scanner;  // declared after the source it reads from
    CReferenceReader m_references;
};

class CombinedReads final : public SharedReads {
public:
    explicit CombinedReads(const bool& cancelled) : m_cancelled(cancelled), m_reader(nullptr) {}

    // The tool whose asking reads a file: its context is polled during the read.
    void SetTool(RunContext& ctx) {
        m_tool = &ctx;
        m_reader.SetPolls(&ctx);
    }

    CListingCache* Listings() override { return &m_listings; }
    void WillRead(const std::vector<std::string>& files) override {
        m_ahead.reset();
        m_aheadFiles = files;
        m_aheadNext = 0;
        m_ahead = std::make_unique<CReadAhead<Entry>>(
            m_aheadFiles.size(), m_tool ? m_tool->ReadThreads() : 1,
            [this](RunContext& ctx) {
                auto reader = std::make_shared<CombinedFileReader>(&ctx);
                return [this, reader](size_t index) { return reader->Read(m_aheadFiles[index]); };
            },
            EntryBytes);
    }
    // Ends the reads ahead; whatever a tool asks for later is read when it asks.
    void StopReadingAhead() { m_ahead.reset(); }

    std::optional<PathFileRead> ForPaths(const std::string& file) override {
        return std::exchange(Read(file).paths, std::nullopt);
    }
    std::optional<VersionFileRead> ForVersions(const std::string& file) override {
        return std::exchange(Read(file).versions, std::nullopt);
    }
    std::optional<PackageFileRead> ForPackage(const std::string& file) override {
        return std::exchange(Read(file).package, std::nullopt);
    }

private:
    Entry& Read(const std::string& file) {
        auto [it, added] = m_reads.try_emplace(file);
        if (added) {
            it->second = ReadOnce(file);
        }
        return it->second;
    }

    Entry ReadOnce(const std::string& file) {
        if (m_cancelled) {
            // After an Escape nothing more is read: every tool meets the Escape at this file.
            Entry entry;
            entry.paths.emplace().end = ScanEnd::Escaped;
            entry.versions.emplace().verdict = VersionFileVerdict::Escaped;
            entry.package.emplace().end = ScanEnd::Escaped;
            return entry;
        }
        if (m_ahead && m_tool && m_aheadNext < m_aheadFiles.size() && m_aheadFiles[m_aheadNext] == file) {
            if (std::optional<Entry> taken = m_ahead->Take(m_aheadNext++, *m_tool, nullptr)) {
                return std::move(*taken);
            }
        }
        return m_reader.Read(file);
    }

    const bool& m_cancelled;
    RunContext* m_tool = nullptr;
    CListingCache m_listings;
    CombinedFileReader m_reader;
    std::unordered_map<std::string, Entry> m_reads;
    std::vector<std::string> m_aheadFiles;
    size_t m_aheadNext = 0;
    std::unique_ptr<CReadAhead<Entry>> m_ahead;  // declared last: its threads read m_aheadFiles
};

Entry CombinedFileReader::Read(const std::string& file) {
    Entry entry;
    if (!m_source.Open(file)) {
        return entry;  // each tool meets the failure itself and reports it in its own words
    }
    // Check Paths and Version Number read a compressed file's bytes as they are, Package Check reads
    // the text inside: only the latter is this read's.
    const bool raw = !m_source.IsCompressed();
    PathFileRead paths;
    VersionLineReader versions;
    bool versionsDecided = false;
    size_t versionWarnings = 0;
    PackageFileRead package;
    m_references.Reset();
    bool continuing = false;  // the piece before was cut: this one goes on with its line
    const size_t warningsBefore = m_readContext.Notices().size();

    m_scanner.Attach(m_source);
    const ScanEnd end = m_scanner.Scan({}, [&](std::string_view piece, uint32_t number) {
        const bool cut = m_scanner.PieceIsCut();
        if (raw) {
            if (piece.find(kPathNeedle) != std::string_view::npos) {
                AddPathLine(paths, piece, number);
            }
            if (!versionsDecided &&
                (continuing || cut || piece.find(kVersionNeedle) != std::string_view::npos) &&
                !versions.Take(piece, number, cut)) {
                versionsDecided = true;  // its own read would stop here
                versionWarnings = m_readContext.Notices().size() - warningsBefore;
            }
        }
        continuing = cut;
        if (std::optional<LibraryReference> reference = m_references.Examine(piece)) {
            package.references.emplace_back(number, std::move(*reference));
        }
        return true;
    });
    const bool readError = m_scanner.HadReadError();
    package.damaged = m_source.WasDamaged();
    m_scanner.Close();

    std::vector<std::string> warnings;
    for (size_t i = warningsBefore; i < m_readContext.Notices().size(); ++i) {
        warnings.push_back(m_readContext.Notices()[i].text);
    }
    package.compressed = !raw;
    package.end = end;
    package.readError = readError;
    package.warnings = warnings;
    if (raw) {
        VersionFileRead versionRead = versions.Finish(end, readError);
        versionRead.warnings.assign(
            warnings.begin(), warnings.begin() + static_cast<std::ptrdiff_t>(
                                                     versionsDecided ? versionWarnings : warnings.size()));
        entry.versions = std::move(versionRead);
        paths.end = end;
        paths.unreadable = readError;
        if (readError) {
            paths.failure = std::make_error_code(std::errc::io_error);
        }
        paths.warnings = std::move(warnings);
        entry.paths = std::move(paths);
    }
    entry.package = std::move(package);
    return entry;
}

void Append(Findings& all, const Findings& some) {
    all.insert(all.end(), some.begin(), some.end());
}

}  // namespace

CombinedCheckRun RunCombinedCheck(const std::string& path, const std::vector<std::string>& runtimes,
                                  CFileRecordArray& records, RunContext& ctx, const ReplaceHooks& hooks) {
    CombinedCheckRun run;
    // Package Check reads first: it asks for every library file and takes its part of each read at
    // once, so the references of a file are held only while that file is being judged.
    CombinedReads reads(run.cancelled);
    {
        ToolContext names(ctx, run.cancelled);
        run.names = CheckFileNames(path, NameCheckMode::EntireDirectory, names, reads.Listings());
    }
    {
        ToolContext package(ctx, run.cancelled);
        reads.SetTool(package);
        run.package = RunPackageCheck(path, runtimes, package, &reads);
        reads.StopReadingAhead();
    }
    {
        ToolContext paths(ctx, run.cancelled);
        reads.SetTool(paths);
        run.paths = RunPathCheck(path, PathCheckMode::AllFiles, paths, &reads);
    }
    {
        ToolContext versions(ctx, run.cancelled);
        reads.SetTool(versions);
        run.versions = RunVersionCheck(path, VersionCheckMode::Folder, records, versions, hooks, &reads);
        run.versionNotices = versions.Notices();
    }
    Append(run.findings, run.names.findings);
    Append(run.findings, run.paths.findings);
    Append(run.findings, run.versions.findings);
    Append(run.findings, run.package.findings);
    return run;
}

}  // namespace veltrane
