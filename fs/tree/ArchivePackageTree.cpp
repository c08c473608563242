#include "fs/tree/ArchivePackageTree.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace veltrane {

// Heads asked of the archive and not read yet: the next read pass takes them along, so that a run
// that asks for heads and then reads its files goes through the archive once for both.
struct ArchiveHeadsRequest {
    std::vector<std::string> files;
    size_t size = 0;
    std::vector<FileHead> heads;
    bool read = false;  // heads holds every file's head
};

namespace {

void ReadHead(ArchiveEntrySource& source, size_t size, FileHead& head) {
    head.bytes.resize(size);
    size_t got = 0;
    ptrdiff_t n = 1;
    while (got < size && (n = source.Read(head.bytes.data() + got, size - got)) > 0) {
        got += static_cast<size_t>(n);
    }
    head.bytes.resize(got);
    head.read = n >= 0;
}

// Whether the heads asked for can ride along with a read of files: none of them is read already.
bool HeadsApart(const ArchiveHeadsRequest& request, const std::vector<std::string>& files) {
    const std::unordered_set<std::string_view> heads(request.files.begin(), request.files.end());
    return std::none_of(files.begin(), files.end(),
                        [&](const std::string& file) { return heads.count(file) != 0; });
}

// The wanted entries of an archive, read in one pass in archive order when the first is asked for,
// and handed over in list order. Escape ends the pass: the entries after it in the archive are not
// read, and the one being read then says so.
class ArchiveRun final : public CVerdictRun {
public:
    ArchiveRun(CArchiveTree& archive, std::vector<std::string> files, const std::vector<JudgeMaker>& makers,
               RunContext& ctx, OverflowWarnings* cap, const ReadOptions& options,
               std::weak_ptr<ArchiveHeadsRequest>& pendingHeads)
        : m_archive(archive),
          m_pendingHeads(pendingHeads),
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
        const size_t count = m_files.size();
        m_reads.resize(count);
        CArchiveTree::FailureHandler onFailure;
        if (m_options.checkOtherFiles) {
            onFailure = [this](const ArchiveEntry& entry, const std::string& error) {
                m_unreadable.push_back({m_archive.PathOf(entry), error});
            };
        }
        // Heads still to read go after the files in the list the pass looks for.
        std::shared_ptr<ArchiveHeadsRequest> heads = m_pendingHeads.lock();
        if (heads && (heads->read || !HeadsApart(*heads, m_files))) {
            heads.reset();
        }
        if (heads) {
            heads->heads.assign(heads->files.size(), FileHead{});
            m_files.insert(m_files.end(), heads->files.begin(), heads->files.end());
        }
        const bool whole = m_archive.ReadEntries(
            m_files,
            [&](size_t index, ArchiveEntrySource& source) {
                if (index >= count) {
                    TakeHead(*heads, index - count, source);
                    return true;
                }
                m_reads[index] = m_reader.Read(source);
                for (const std::unique_ptr<FileVerdict>& verdict : m_reads[index]) {
                    if (verdict && verdict->escaped) {
                        return false;
                    }
                }
                return true;
            },
            onFailure);
        m_files.resize(count);
        if (heads) {
            heads->read = whole;
        }
    }

    // A head read along: the rest of the entry is read through as an entry not asked for would be, so
    // that damage in it is found all the same.
    void TakeHead(ArchiveHeadsRequest& heads, size_t at, ArchiveEntrySource& source) {
        ReadHead(source, heads.size, heads.heads[at]);
        if (!m_options.checkOtherFiles || !source.Reached()) {
            return;
        }
        char scratch[4096];
        while (source.Read(scratch, sizeof scratch) > 0) {
        }
        if (source.Failed()) {
            m_unreadable.push_back({heads.files[at], source.ErrorText()});
        }
    }

    CArchiveTree& m_archive;
    std::weak_ptr<ArchiveHeadsRequest>& m_pendingHeads;
    std::vector<std::string> m_files;
    RunContext& m_ctx;
    OverflowWarnings* m_cap;
    bool m_single;
    CJudgedReader m_reader;
    ReadOptions m_options;
    bool m_passed = false;
    std::vector<FileVerdicts> m_reads;
    std::vector<UnreadableEntry> m_unreadable;
};

// The heads of wanted entries: read along with the next read pass, or else in a pass of their own in
// archive order when the first is taken.
class ArchiveHeads final : public CHeadReads {
public:
    ArchiveHeads(CArchiveTree& archive, std::shared_ptr<ArchiveHeadsRequest> request)
        : m_archive(archive), m_request(std::move(request)) {}

    FileHead Take(size_t index) override {
        ArchiveHeadsRequest& request = *m_request;
        if (!request.read) {
            request.read = true;
            request.heads.assign(request.files.size(), FileHead{});
            m_archive.ReadEntries(request.files, [&](size_t at, ArchiveEntrySource& source) {
                ReadHead(source, request.size, request.heads[at]);
                return true;
            });
        }
        return std::move(request.heads[index]);
    }

private:
    CArchiveTree& m_archive;
    std::shared_ptr<ArchiveHeadsRequest> m_request;
};

}  // namespace

std::unique_ptr<CHeadReads> CArchivePackageTree::ReadHeads(std::vector<std::string> files, size_t size,
                                                           HeadReadOptions /*options*/) {
    auto request = std::make_shared<ArchiveHeadsRequest>();
    request->files = std::move(files);
    request->size = size;
    m_pendingHeads = request;
    return std::make_unique<ArchiveHeads>(*m_archive, std::move(request));
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
    return std::make_unique<ArchiveRun>(*m_archive, std::move(files), makers, ctx, cap, options,
                                        m_pendingHeads);
}

}  // namespace veltrane
