#include "fs/tree/JudgedReader.h"

#include <cerrno>

#include "fs/tree/ArchiveSource.h"

namespace veltrane {

size_t VerdictsBytes(const FileVerdicts& verdicts) {
    size_t bytes = sizeof verdicts;
    for (const std::unique_ptr<FileVerdict>& verdict : verdicts) {
        if (verdict) {
            bytes += verdict->Bytes();
            for (const std::string& warning : verdict->warnings) {
                bytes += sizeof warning + warning.size();
            }
        }
    }
    return bytes;
}

// The context of a read shared by several judges: polls go to the run's context, the line-length
// warnings are kept for the judges' verdicts.
class CJudgedReader::SharedContext final : public RunContext {
public:
    explicit SharedContext(RunContext& polls) : m_polls(polls) {}

    bool PollEscape() override { return m_polls.PollEscape(); }
    void RestoreWait() override { m_polls.RestoreWait(); }

    std::vector<std::string> m_warnings;  // of the file being read

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override {
        m_warnings.push_back(notice.text);
        return RunContext::ShowNotice(notice);
    }

private:
    RunContext& m_polls;
};

CJudgedReader::CJudgedReader(RunContext& ctx, OverflowWarnings* cap, const std::vector<JudgeMaker>& makers,
                             bool keepWarnings)
    : m_shared(makers.size() > 1 || keepWarnings ? std::make_unique<SharedContext>(ctx) : nullptr),
      m_scanner(m_shared ? static_cast<RunContext*>(m_shared.get()) : &ctx) {
    for (const JudgeMaker& make : makers) {
        m_judges.push_back(make());
        m_plans.push_back(m_judges.back()->Plan());
        m_decompress = m_decompress || m_plans.back().decompressed;
    }
    if (!m_shared) {
        m_scanner.SetOverflowWarnings(cap);
    }
}

CJudgedReader::~CJudgedReader() = default;

FileVerdicts CJudgedReader::Read(const std::string& path) {
    return m_judges.size() > 1 ? ReadShared(&path, nullptr) : ReadOne(&path, nullptr);
}

FileVerdicts CJudgedReader::Read(ArchiveEntrySource& entry) {
    return m_judges.size() > 1 ? ReadShared(nullptr, &entry) : ReadOne(nullptr, &entry);
}

FileVerdicts CJudgedReader::ReadOne(const std::string* path, ArchiveEntrySource* entry) {
    CFileJudge& judge = *m_judges.front();
    const ReadPlan& plan = m_plans.front();
    judge.Begin();
    if (m_shared) {
        m_shared->m_warnings.clear();
    }
    FileReadStatus status;
    FileVerdicts verdicts;
    if (plan.decompressed) {
        errno = 0;
        if (entry) {
            m_source.Attach(*entry);
        } else if (!m_source.Open(*path)) {
            status.opened = false;
            status.openError = std::error_code(errno, std::generic_category());
        }
        if (status.opened) {
            status.compressed = m_source.IsCompressed();
            m_scanner.Attach(m_source);
        }
    } else if (entry) {
        m_scanner.Attach(*entry);
    } else if (!m_scanner.Open(*path)) {
        status.opened = false;
        status.openError = m_scanner.OpenError();
    }
    if (status.opened) {
        m_scanner.SetWholeLines(plan.wholeLines);
        status.end = m_scanner.Scan(plan.needle, [&](std::string_view piece, uint32_t number) {
            return judge.Line(piece, number, m_scanner.PieceIsCut());
        });
        status.readError = m_scanner.HadReadError();
        status.damaged = plan.decompressed && m_source.WasDamaged();
        if (entry && entry->Failed()) {
            status.sourceError = entry->ErrorText();
        }
        m_scanner.Close();
    }
    verdicts.push_back(judge.End(status));
    verdicts.back()->escaped = status.end == ScanEnd::Escaped;
    if (m_shared) {
        verdicts.back()->warnings = std::move(m_shared->m_warnings);
    }
    return verdicts;
}

FileVerdicts CJudgedReader::ReadShared(const std::string* path, ArchiveEntrySource* entry) {
    FileVerdicts verdicts(m_judges.size());
    if (entry) {
        if (m_decompress) {
            m_source.Attach(*entry);
            m_scanner.Attach(m_source);
        } else {
            m_scanner.Attach(*entry);
        }
    } else if (m_decompress ? !m_source.Open(*path) : !m_scanner.Open(*path)) {
        return verdicts;  // each tool meets the failure itself and reports it in its own words
    } else if (m_decompress) {
        m_scanner.Attach(m_source);
    }
    const bool raw = !m_decompress || !m_source.IsCompressed();
    const size_t count = m_judges.size();
    std::vector<bool> fed(count);
    std::vector<bool> done(count, false);
    std::vector<size_t> warningsAt(count, 0);
    size_t feeding = 0;
    for (size_t j = 0; j < count; ++j) {
        fed[j] = raw || m_plans[j].decompressed;
        if (fed[j]) {
            m_judges[j]->Begin();
            ++feeding;
        }
    }
    m_shared->m_warnings.clear();
    m_scanner.SetWholeLines(true);
    bool continuing = false;  // the piece before was cut: this one goes on with its line
    const ScanEnd end = m_scanner.Scan({}, [&](std::string_view piece, uint32_t number) {
        const bool cut = m_scanner.PieceIsCut();
        for (size_t j = 0; j < count; ++j) {
            const ReadPlan& plan = m_plans[j];
            if (!fed[j] || done[j]) {
                continue;
            }
            const bool wanted = plan.needle.empty() || piece.find(plan.needle) != std::string_view::npos ||
                                (plan.wholeLines && (continuing || cut));
            if (wanted && !m_judges[j]->Line(piece, number, cut)) {
                done[j] = true;  // its own read would stop here
                warningsAt[j] = m_shared->m_warnings.size();
                --feeding;
            }
        }
        continuing = cut;
        return feeding > 0;
    });
    FileReadStatus status;
    status.readError = m_scanner.HadReadError();
    status.damaged = m_decompress && m_source.WasDamaged();
    status.compressed = !raw;
    if (entry && entry->Failed()) {
        status.sourceError = entry->ErrorText();
    }
    m_scanner.Close();
    for (size_t j = 0; j < count; ++j) {
        if (!fed[j]) {
            continue;
        }
        FileReadStatus own = status;
        own.end = done[j] ? ScanEnd::Stopped : end;
        own.readError = !done[j] && status.readError;
        own.compressed = m_plans[j].decompressed && status.compressed;
        own.damaged = m_plans[j].decompressed && status.damaged;
        verdicts[j] = m_judges[j]->End(own);
        verdicts[j]->escaped = own.end == ScanEnd::Escaped;
        const std::vector<std::string>& met = m_shared->m_warnings;
        verdicts[j]->warnings.assign(
            met.begin(), met.begin() + static_cast<std::ptrdiff_t>(done[j] ? warningsAt[j] : met.size()));
    }
    return verdicts;
}

}  // namespace veltrane
