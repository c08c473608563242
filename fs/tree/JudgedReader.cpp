#include "fs/tree/JudgedReader.h"

#include <cerrno>
#include <cstring>

#include "fs/tree/ArchiveSource.h"

namespace veltrane {

size_t VerdictsBytes(const FileVerdicts& verdicts) {
    size_t bytes = sizeof verdicts;
    for (const std::unique_ptr<FileVerdict>& verdict : verdicts) {
        if (verdict) {
            bytes += verdict->Bytes();
            bytes += verdict->warnings.size() * sizeof(uint32_t);
        }
    }
    return bytes;
}

namespace {

// Whether text holds needle (not empty): the first byte found by memchr, the rest compared in place.
bool Holds(std::string_view text, std::string_view needle) {
    const size_t rest = needle.size() - 1;
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    while (static_cast<size_t>(end - at) > rest) {
        at = static_cast<const char*>(std::memchr(at, needle[0], static_cast<size_t>(end - at) - rest));
        if (at == nullptr) {
            return false;
        }
        size_t i = 1;
        while (i <= rest && at[i] == needle[i]) {
            ++i;
        }
        if (i > rest) {
            return true;
        }
        ++at;
    }
    return false;
}

}  // namespace

CJudgedReader::CJudgedReader(RunContext& ctx, OverflowWarnings* cap, const std::vector<JudgeMaker>& makers,
                             bool keepWarnings)
    : m_keep(makers.size() > 1 || keepWarnings), m_scanner(&ctx) {
    for (const JudgeMaker& make : makers) {
        if (m_judges.size() == FileVerdicts::kMaxJudges) {
            break;  // a read shares itself among a few tools at most
        }
        m_judges.push_back(make());
        m_plans.push_back(m_judges.back()->Plan());
        m_decompress = m_decompress || m_plans.back().decompressed;
    }
    if (m_keep) {
        m_scanner.KeepOverflowWarnings(&m_warnings);
    } else {
        m_scanner.SetOverflowWarnings(cap);
    }
}

CJudgedReader::~CJudgedReader() = default;

FileVerdicts CJudgedReader::Read(const std::string& path, bool listedRegular) {
    return m_judges.size() > 1 ? ReadShared(&path, nullptr, listedRegular)
                               : ReadOne(&path, nullptr, listedRegular);
}

FileVerdicts CJudgedReader::Read(ArchiveEntrySource& entry) {
    return m_judges.size() > 1 ? ReadShared(nullptr, &entry, false) : ReadOne(nullptr, &entry, false);
}

FileVerdicts CJudgedReader::ReadOne(const std::string* path, ArchiveEntrySource* entry, bool listedRegular) {
    CFileJudge& judge = *m_judges.front();
    const ReadPlan& plan = m_plans.front();
    judge.Begin();
    m_warnings.clear();
    FileReadStatus status;
    FileVerdicts verdicts;
    if (plan.decompressed) {
        errno = 0;
        if (entry) {
            m_source.Attach(*entry);
        } else if (!m_source.Open(*path, listedRegular)) {
            status.opened = false;
            status.openError = std::error_code(errno, std::generic_category());
        }
        if (status.opened) {
            status.compressed = m_source.IsCompressed();
            m_scanner.Attach(m_source);
        }
    } else if (entry) {
        m_scanner.Attach(*entry);
    } else if (!m_scanner.Open(*path, listedRegular)) {
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
    verdicts.back()->warningsHeldBack = status.opened ? m_scanner.HeldBackWarnings() : 0;
    if (m_keep) {
        verdicts.back()->warnings = std::move(m_warnings);
    }
    return verdicts;
}

FileVerdicts CJudgedReader::ReadShared(const std::string* path, ArchiveEntrySource* entry,
                                       bool listedRegular) {
    FileVerdicts verdicts(m_judges.size());
    if (entry) {
        if (m_decompress) {
            m_source.Attach(*entry);
            m_scanner.Attach(m_source);
        } else {
            m_scanner.Attach(*entry);
        }
    } else if (m_decompress ? !m_source.Open(*path, listedRegular) : !m_scanner.Open(*path, listedRegular)) {
        return verdicts;  // each tool meets the failure itself and reports it in its own words
    } else if (m_decompress) {
        m_scanner.Attach(m_source);
    }
    const bool raw = !m_decompress || !m_source.IsCompressed();
    m_feeds.clear();
    for (size_t j = 0; j < m_judges.size(); ++j) {
        if (raw || m_plans[j].decompressed) {
            m_judges[j]->Begin();
            m_feeds.push_back({j, m_judges[j].get(), m_plans[j].needle, m_plans[j].wholeLines});
        }
    }
    m_warnings.clear();
    m_scanner.SetWholeLines(true);
    size_t feeding = m_feeds.size();
    bool continuing = false;  // the piece before was cut: this one goes on with its line
    const ScanEnd end = m_scanner.Scan({}, [&](std::string_view piece, uint32_t number) {
        const bool cut = m_scanner.PieceIsCut();
        for (Feed& feed : m_feeds) {
            if (feed.done) {
                continue;
            }
            const bool wanted =
                feed.needle.empty() || (feed.wholeLines && (continuing || cut)) || Holds(piece, feed.needle);
            if (wanted && !feed.judge->Line(piece, number, cut)) {
                feed.done = true;  // its own read would stop here
                feed.warningsAt = m_warnings.size();
                feed.heldBackAt = m_scanner.HeldBackWarnings();
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
    const std::vector<uint32_t>& met = m_warnings;
    for (const Feed& feed : m_feeds) {
        const bool decompressed = m_plans[feed.index].decompressed;
        FileReadStatus own = status;
        own.end = feed.done ? ScanEnd::Stopped : end;
        own.readError = !feed.done && status.readError;
        own.compressed = decompressed && status.compressed;
        own.damaged = decompressed && status.damaged;
        std::unique_ptr<FileVerdict>& verdict = verdicts[feed.index];
        verdict = feed.judge->End(own);
        verdict->escaped = own.end == ScanEnd::Escaped;
        verdict->warnings.assign(
            met.begin(), met.begin() + static_cast<std::ptrdiff_t>(feed.done ? feed.warningsAt : met.size()));
        verdict->warningsHeldBack = feed.done ? feed.heldBackAt : m_scanner.HeldBackWarnings();
    }
    return verdicts;
}

}  // namespace veltrane
