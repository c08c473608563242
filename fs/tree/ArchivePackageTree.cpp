#include "fs/tree/ArchivePackageTree.h"

namespace veltrane {

namespace {

// The wanted entries of an archive, read in one pass in archive order when the first is asked for,
// and handed over in list order. Escape ends the pass: the entries after it in the archive are not
// read, and the one being read then says so.
class ArchiveRun final : public CVerdictRun {
public:
    ArchiveRun(CArchiveTree& archive, std::vector<std::string> files, const std::vector<JudgeMaker>& makers,
               RunContext& ctx, OverflowWarnings* cap, const ReadOptions& options)
        : m_archive(archive),
          m_files(std::move(files)),
          m_ctx(ctx),
          m_cap(cap),
          m_single(makers.size() == 1),
          m_reader(ctx, cap, makers, true),
          m_options(options) {}

    // A verdict of one judge raises the line-length warnings of its read now, in list order, as a read
    // of the unpacked folder would have; the verdicts of several judges keep theirs for their tools.
    FileVerdicts Take(size_t index) override {
        if (!m_passed) {
            Pass();
        }
        FileVerdicts verdicts = std::move(m_reads[index]);
        if (m_single && !verdicts.empty() && verdicts.front()) {
            RaiseKeptWarnings(m_ctx, m_cap, *verdicts.front());
        }
        return verdicts;
    }

    // The pass is made now if no file was asked for: the other files are read through all the same.
    std::vector<UnreadableEntry> Unreadable() override {
        if (!m_passed) {
            Pass();
        }
        return m_unreadable;
    }

private:
    void Pass() {
        m_passed = true;
        m_reads.resize(m_files.size());
        CArchiveTree::FailureHandler onFailure;
        if (m_options.checkOtherFiles) {
            onFailure = [this](const ArchiveEntry& entry, const std::string& error) {
                m_unreadable.push_back({m_archive.PathOf(entry), error});
            };
        }
        m_archive.ReadEntries(
            m_files,
            [this](size_t index, ArchiveEntrySource& source) {
                m_reads[index] = m_reader.Read(source);
                for (const std::unique_ptr<FileVerdict>& verdict : m_reads[index]) {
                    if (verdict && verdict->escaped) {
                        return false;
                    }
                }
                return true;
            },
            onFailure);
    }

    CArchiveTree& m_archive;
    const std::vector<std::string> m_files;
    RunContext& m_ctx;
    OverflowWarnings* m_cap;
    bool m_single;
    CJudgedReader m_reader;
    ReadOptions m_options;
    bool m_passed = false;
    std::vector<FileVerdicts> m_reads;
    std::vector<UnreadableEntry> m_unreadable;
};

// The heads of wanted entries, read in one pass in archive order when the first is taken.
class ArchiveHeads final : public CHeadReads {
public:
    ArchiveHeads(CArchiveTree& archive, std::vector<std::string> files, size_t size)
        : m_archive(archive), m_files(std::move(files)), m_size(size) {}

    FileHead Take(size_t index) override {
        if (m_heads.empty()) {
            m_heads.resize(m_files.size());
            m_archive.ReadEntries(m_files, [this](size_t at, ArchiveEntrySource& source) {
                FileHead& head = m_heads[at];
                head.bytes.resize(m_size);
                size_t got = 0;
                ptrdiff_t n = 1;
                while (got < m_size && (n = source.Read(head.bytes.data() + got, m_size - got)) > 0) {
                    got += static_cast<size_t>(n);
                }
                head.bytes.resize(got);
                head.read = n >= 0;
                return true;
            });
        }
        return std::move(m_heads[index]);
    }

private:
    CArchiveTree& m_archive;
    const std::vector<std::string> m_files;
    const size_t m_size;
    std::vector<FileHead> m_heads;
};

}  // namespace

std::unique_ptr<CHeadReads> CArchivePackageTree::ReadHeads(std::vector<std::string> files, size_t size,
                                                           HeadReadOptions /*options*/) {
    return std::make_unique<ArchiveHeads>(*m_archive, std::move(files), size);
}

CPackageTree::Kind CArchivePackageTree::KindOf(const std::string& path) {
    switch (m_archive->KindOf(path)) {
        case CArchiveTree::Kind::Folder:
            return Kind::Folder;
        case CArchiveTree::Kind::File:
            return Kind::File;
        case CArchiveTree::Kind::None:
            break;
    }
    return Kind::None;
}

bool CArchivePackageTree::List(const std::string& folder, const std::vector<DirEntry>*& entries,
                               std::vector<DirEntry>& scratch, std::error_code& /*ec*/) {
    // A folder the tree lacks is simply not there.
    entries = &scratch;
    if (!m_archive->ListFolder(folder, scratch)) {
        scratch.clear();
    }
    return true;
}

void CArchivePackageTree::ListInto(const std::string& folder, std::vector<DirEntry>& out) {
    // A folder outside the archive (a runtime looked in) is the file system's.
    if (!m_archive->ListFolder(folder, out)) {
        ListFolder(folder, out);
    }
}

std::unique_ptr<CVerdictRun> CArchivePackageTree::ReadJudged(std::vector<std::string> files,
                                                             std::vector<JudgeMaker> makers, RunContext& ctx,
                                                             OverflowWarnings* cap,
                                                             const ReadOptions& options) {
    return std::make_unique<ArchiveRun>(*m_archive, std::move(files), makers, ctx, cap, options);
}

}  // namespace veltrane
