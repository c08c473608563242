#include "fs/tree/SharedPackageTree.h"

#include <algorithm>

namespace veltrane {

// One tool's read of a shared tree: the verdicts kept from earlier reads first, the rest read now
// through every judge, in list order.
class CSharedPackageTree::SharedRun final : public CVerdictRun {
public:
    SharedRun(CSharedPackageTree& tree, std::vector<std::string> files, size_t judge, RunContext& ctx,
              OverflowWarnings* cap, const ReadOptions& options)
        : m_tree(tree), m_files(std::move(files)), m_judge(judge), m_ctx(ctx), m_cap(cap) {
        std::vector<std::string> missing;
        ReadOptions missingOptions{.checkOtherFiles = options.checkOtherFiles, .listedRegular = {}};
        for (size_t i = 0; i < m_files.size(); ++i) {
            if (!Kept(m_files[i])) {
                missing.push_back(m_files[i]);
                missingOptions.listedRegular.push_back(i < options.listedRegular.size() &&
                                                       options.listedRegular[i]);
            }
        }
        m_missing = missing;
        if ((!missing.empty() || options.checkOtherFiles) && !m_tree.m_escaped) {
            // The warnings of a shared read are kept in its verdicts: no cap here.
            m_read =
                m_tree.m_base->ReadJudged(std::move(missing), m_tree.m_judges, ctx, nullptr, missingOptions);
        }
    }

    FileVerdicts Take(size_t index) override {
        const std::string& file = m_files[index];
        FileVerdicts own(1);
        if (Kept(file)) {
            own[0] = TakeKept(file);
        } else if (m_tree.m_escaped) {
            return Escaped();
        } else {
            while (m_nextMissing < m_missing.size() && m_missing[m_nextMissing] != file) {
                ++m_nextMissing;
            }
            if (m_nextMissing == m_missing.size() || !m_read) {
                return ReadAlone(file);
            }
            FileVerdicts all = m_read->Take(m_nextMissing++);
            if (all.empty()) {
                return all;  // the read never reached it
            }
            own[0] = std::move(all[m_judge]);
            if (!own[0]) {
                return ReadAlone(file);
            }
            if (!own[0]->escaped) {
                m_tree.m_kept[file] = std::move(all);  // the other tools take theirs later
            }
        }
        RaiseKeptWarnings(m_ctx, m_cap, *own[0]);
        return own;
    }

    std::vector<UnreadableEntry> Unreadable() override {
        return m_read ? m_read->Unreadable() : std::vector<UnreadableEntry>{};
    }

private:
    bool Kept(const std::string& file) const {
        auto it = m_tree.m_kept.find(file);
        return it != m_tree.m_kept.end() && it->second[m_judge];
    }

    // This tool's verdict of a kept file; the file is forgotten once every tool took its own.
    std::unique_ptr<FileVerdict> TakeKept(const std::string& file) {
        auto it = m_tree.m_kept.find(file);
        std::unique_ptr<FileVerdict> own = std::move(it->second[m_judge]);
        if (std::none_of(it->second.begin(), it->second.end(),
                         [](const auto& verdict) { return bool(verdict); })) {
            m_tree.m_kept.erase(it);
        }
        return own;
    }

    // A file the shared read could not give this judge: read for it alone, as its own run would.
    FileVerdicts ReadAlone(const std::string& file) {
        return m_tree.m_base->ReadJudged({file}, {m_tree.m_judges[m_judge]}, m_ctx, m_cap, {})->Take(0);
    }

    // After an Escape: the file's read ends at once, as the tool's own read would at its next poll.
    FileVerdicts Escaped() {
        std::unique_ptr<CFileJudge> judge = m_tree.m_judges[m_judge]();
        judge->Begin();
        FileReadStatus status;
        status.end = ScanEnd::Escaped;
        FileVerdicts verdicts;
        verdicts.push_back(judge->End(status));
        verdicts.back()->escaped = true;
        return verdicts;
    }

    CSharedPackageTree& m_tree;
    const std::vector<std::string> m_files;
    size_t m_judge;
    RunContext& m_ctx;
    OverflowWarnings* m_cap;
    std::vector<std::string> m_missing;  // the files not kept when the run began, in list order
    size_t m_nextMissing = 0;
    std::unique_ptr<CVerdictRun> m_read;
};

CSharedPackageTree::CSharedPackageTree(std::unique_ptr<CPackageTree> base, std::vector<JudgeMaker> judges,
                                       const bool& escaped)
    : m_base(std::move(base)), m_judges(std::move(judges)), m_escaped(escaped) {
    m_base->KeepListings();
    for (const JudgeMaker& make : m_judges) {
        m_names.emplace_back(make()->Name());
    }
}

CSharedPackageTree::~CSharedPackageTree() = default;

std::unique_ptr<CTreeReads> CSharedPackageTree::Read(std::vector<std::string> files, JudgeMaker judge,
                                                     RunContext& ctx, OverflowWarnings* cap,
                                                     const ReadOptions& options) {
    const std::string name(judge()->Name());
    const auto at = std::find(m_names.begin(), m_names.end(), name);
    if (at == m_names.end()) {
        return CPackageTree::Read(std::move(files), std::move(judge), ctx, cap, options);
    }
    const size_t count = files.size();
    return std::make_unique<CTreeReads>(
        std::make_unique<SharedRun>(*this, std::move(files), static_cast<size_t>(at - m_names.begin()), ctx,
                                    cap, options),
        count, ctx);
}

}  // namespace veltrane
