#include "checks/PackageCheck.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "checks/CaseResolver.h"
#include "checks/LibraryReference.h"
#include "checks/ToolTexts.h"
#include "checks/UnreadableFolders.h"
#include "fs/read/GzipSource.h"
#include "fs/read/LineScanner.h"
#include "fs/text/PathParts.h"
#include "fs/tree/ArchiveSource.h"
#include "fs/tree/ReadAhead.h"
#include "fs/walk/FileRecordArray.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

constexpr int kRuleCount = static_cast<int>(Rule::DamagedArchive) + 1;

constexpr const char* kRuntimeMissingText =
    "The folder to also look in does not exist or is not a folder:\r\n";

// Every file below the package, so that textures and geometries can be told apart as well.
constexpr const char* kAllFiles = "*.*";

constexpr std::string_view kRuntime = "Runtime";
constexpr std::string_view kUnreferencedFolders[] = {"textures", "Geometries"};

// Library files by extension, lowered: the nine plain ones and their compressed forms.
constexpr std::string_view kLibraryExtensions[] = {".cm2", ".pz2", ".lt2", ".pp2", ".cr2",
                                                   ".fc2", ".hr2", ".pz3", ".hd2"};
constexpr std::string_view kCompressedLibraryExtensions[] = {".crz", ".pzz", ".p2z", ".ppz", ".hrz",
                                                             ".fcz", ".ltz", ".cmz", ".hdz"};
// Compressed geometry: reported, not read.
constexpr std::string_view kCompressedGeometryExtension = ".obz";

const char* SectionHeader(Rule rule) {
    switch (rule) {
        case Rule::UnreadableFile:
            return kUnreadableFilesHeader;
        case Rule::UnreadableFolder:
            return kUnreadableFoldersHeader;
        case Rule::MissingFile:
            return "These references name files that are neither in the package nor in a runtime looked "
                   "in:\r\n";
        case Rule::CaseMismatch:
            return "These references find their files only when letter case is ignored (they fail on "
                   "case-sensitive volumes):\r\n";
        case Rule::OutsideRuntime:
            return "These references lead outside the package's Runtime folder:\r\n";
        case Rule::AnyPlatformAbsolute:
            return "These references are absolute paths (a drive, a server, a Mac volume or a leading "
                   "/):\r\n";
        case Rule::Compressed:
            return "These files are compressed (older Poser releases and most other programs cannot read "
                   "them):\r\n";
        case Rule::NoRuntime:
            return "This folder holds no Runtime folder:\r\n";
        case Rule::Unreferenced:
            return "No Poser file of the package refers to these textures and geometries (for "
                   "information):\r\n";
        case Rule::ArchiveLayout:
            return "The archive's top level should hold the Runtime folder (a ReadMe or licence may stand "
                   "beside it), not these:\r\n";
        case Rule::JunkEntry:
            return "These entries are clutter left by the packing system and should not be shipped:\r\n";
        case Rule::BackslashEntry:
            return "These entry names separate their folders with backslashes (\\), which only Windows "
                   "unpacks as folders:\r\n";
        case Rule::UnsafeEntry:
            return "These entry names are absolute or climb out of the archive with .. (they were not "
                   "checked):\r\n";
        case Rule::CaseCollision:
            return "These entries differ only in letter case from another entry (they collide when unpacked "
                   "on Windows or a Mac):\r\n";
        case Rule::UnreadableEntry:
            return "These entries could not be read (encrypted, compressed by a method that cannot be read, "
                   "or damaged):\r\n";
        case Rule::DamagedArchive:
            return "This archive is damaged or cut short; the entries before the damage were checked:\r\n";
        default:
            return "";
    }
}

enum class FileKind { Other, Library, CompressedLibrary, CompressedGeometry };

FileKind KindOf(const std::string& path) {
    const std::string ext = AsciiLowered(SplitPath(path).extension);
    auto in = [&](const auto& list) {
        return std::find(std::begin(list), std::end(list), ext) != std::end(list);
    };
    if (in(kLibraryExtensions)) {
        return FileKind::Library;
    }
    if (in(kCompressedLibraryExtensions)) {
        return FileKind::CompressedLibrary;
    }
    return ext == kCompressedGeometryExtension ? FileKind::CompressedGeometry : FileKind::Other;
}

// The files that are read, in the order given.
std::vector<std::string> LibraryFiles(const std::vector<std::string>& files) {
    std::vector<std::string> library;
    for (const std::string& file : files) {
        const FileKind kind = KindOf(file);
        if (kind == FileKind::Library || kind == FileKind::CompressedLibrary) {
            library.push_back(file);
        }
    }
    return library;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && EndsWithSeparator(path)) {
        path.pop_back();
    }
    return path;
}

// Where a package's (or an installation's) Runtime folder is.
struct RuntimeFolder {
    std::string root;     // the package root, ending in a separator: references are relative to it
    std::string runtime;  // the Runtime folder, ending in a separator; empty when there is none
    std::string name;     // the Runtime folder's name as stored
};

RuntimeFolder LocateRuntime(const std::string& path, CCaseResolver& resolver) {
    RuntimeFolder found;
    const std::string bare = WithoutTrailingSeparators(path);
    const std::string_view last = LastComponent(bare);
    if (AsciiLowered(last) == AsciiLowered(kRuntime)) {
        found.runtime = WithTrailingSeparator(bare);
        found.name = std::string(last);
        found.root = std::string(bare.substr(0, bare.size() - last.size()));
        if (found.root.empty()) {
            found.root = std::string(".") + kSeparator;
        }
        return found;
    }
    found.root = WithTrailingSeparator(bare);
    found.name = resolver.FindEntry(found.root, kRuntime, true);
    if (!found.name.empty()) {
        found.runtime = found.root + found.name + kSeparator;
    }
    return found;
}

// Puts findings into rule order, keeping the order of discovery within a rule, in place: a finding
// list can be large, and a second copy of it is not needed.
void SortByRule(Findings& findings) {
    std::array<size_t, kRuleCount> next{};
    for (const Finding& finding : findings) {
        ++next[static_cast<size_t>(finding.rule)];
    }
    size_t start = 0;
    for (size_t& slot : next) {
        start += std::exchange(slot, start);
    }
    std::vector<uint32_t> target(findings.size());
    for (size_t i = 0; i < findings.size(); ++i) {
        target[i] = static_cast<uint32_t>(next[static_cast<size_t>(findings[i].rule)]++);
    }
    for (size_t i = 0; i < findings.size(); ++i) {
        while (target[i] != i) {
            const uint32_t j = target[i];
            std::swap(findings[i], findings[j]);
            std::swap(target[i], target[j]);
        }
    }
}

// One run over one package.
class PackageChecker {
public:
    PackageChecker(const std::string& path, const std::vector<std::string>& runtimes, RunContext& ctx,
                   SharedReads* shared, CArchiveTree* archive)
        : m_path(path), m_ctx(ctx), m_shared(shared), m_scanner(&ctx), m_archive(archive) {
        m_scanner.SetOverflowWarnings(&m_warnings);
        m_resolver.SetArchive(archive);
        m_package = LocateRuntime(path, m_resolver);
        for (const std::string& runtime : runtimes) {
            m_extraRuntimes.push_back(LocateRuntime(runtime, m_resolver));
            if (m_extraRuntimes.back().runtime.empty()) {
                // A folder without a Runtime folder of its own is taken as the Runtime folder.
                m_extraRuntimes.back().runtime = m_extraRuntimes.back().root;
            }
        }
    }

    void Run(PackageCheckRun& run);

private:
    // Findings go into one list in the order they are found and are put into report order at the end.
    Finding& Add(Rule rule, const std::string& path) {
        Finding& finding = m_findings.emplace_back();
        finding.rule = rule;
        finding.path = path;
        return finding;
    }
    bool ReadLibraryFile(const std::string& file, bool compressedByName, ArchiveEntrySource* entry = nullptr,
                         std::optional<PackageFileRead> read = std::nullopt);
    void ReadArchiveFiles(const std::vector<std::string>& files, PackageCheckRun& run);
    void AddArchiveFindings();
    void JudgeReference(const std::string& file, uint32_t line, const LibraryReference& reference);
    CCaseResolver::Result ResolveInRuntime(const RuntimeFolder& runtime,
                                           const std::vector<std::string_view>& components);
    void ListUnreferenced(const std::vector<std::string>& files);

    const std::string& m_path;
    RunContext& m_ctx;
    SharedReads* m_shared;
    GzipSource m_source;
    CLineScanner m_scanner;       // declared after the source it reads from
    OverflowWarnings m_warnings;  // the run's cap on line-length warnings, as in the other tools
    CCaseResolver m_resolver;
    CReferenceReader m_reader;
    RuntimeFolder m_package;
    std::vector<RuntimeFolder> m_extraRuntimes;
    std::unordered_set<std::string> m_referenced;  // package files that a reference found
    Findings m_findings;
    CArchiveTree* m_archive;  // the archive the package is in, or null for a folder
};

CCaseResolver::Result PackageChecker::ResolveInRuntime(const RuntimeFolder& runtime,
                                                       const std::vector<std::string_view>& components) {
    CCaseResolver::Result result;
    if (runtime.runtime.empty()) {
        return result;
    }
    const std::vector<std::string_view> below(components.begin() + 1, components.end());
    result = m_resolver.Resolve(runtime.runtime, below);
    if (result.match == CCaseResolver::Match::Exact && components.front() != runtime.name) {
        result.match = CCaseResolver::Match::IgnoringCase;
    }
    return result;
}

void PackageChecker::JudgeReference(const std::string& file, uint32_t line,
                                    const LibraryReference& reference) {
    auto add = [&](Rule rule, std::optional<std::string> resolved) {
        Finding& finding = Add(rule, file);
        finding.line = line;
        finding.keyword = std::string(reference.keyword);
        finding.value = reference.value;
        finding.resolved = std::move(resolved);
    };
    const ReferencePath parsed = ParseReferencePath(reference.value);
    if (parsed.absolute) {
        add(Rule::AnyPlatformAbsolute, std::nullopt);
        return;
    }
    const auto& components = parsed.components;
    if (parsed.escapesRoot || components.empty() ||
        AsciiLowered(components.front()) != AsciiLowered(kRuntime)) {
        std::optional<std::string> resolved;
        if (!parsed.escapesRoot) {
            CCaseResolver::Result found = m_resolver.Resolve(m_package.root, components);
            if (found.match != CCaseResolver::Match::None) {
                resolved = std::move(found.path);
            }
        }
        add(Rule::OutsideRuntime, std::move(resolved));
        return;
    }
    CCaseResolver::Result found = ResolveInRuntime(m_package, components);
    if (found.match == CCaseResolver::Match::Exact) {
        m_referenced.insert(std::move(found.path));
        return;
    }
    if (found.match == CCaseResolver::Match::IgnoringCase) {
        m_referenced.insert(found.path);
        add(Rule::CaseMismatch, std::move(found.path));
        return;
    }
    for (const RuntimeFolder& runtime : m_extraRuntimes) {
        if (ResolveInRuntime(runtime, components).match != CCaseResolver::Match::None) {
            return;  // base content the package relies on
        }
    }
    add(Rule::MissingFile, std::nullopt);
}

// Reads one library file (or an archive's entry) line by line, through its compression when it has
// one, and keeps its references; the scanner polls Escape per line.
PackageFileRead ReadPackageFile(GzipSource& source, CLineScanner& scanner, CReferenceReader& reader,
                                const std::string& file, ArchiveEntrySource* entry) {
    PackageFileRead read;
    reader.Reset();
    errno = 0;
    if (entry) {
        source.Attach(*entry);
    } else if (!source.Open(file)) {
        read.openError = std::error_code(errno, std::generic_category());
        return read;
    }
    read.compressed = source.IsCompressed();
    scanner.Attach(source);
    read.end = scanner.Scan({}, [&](std::string_view text, uint32_t number) {
        if (std::optional<LibraryReference> reference = reader.Examine(text)) {
            read.references.emplace_back(number, std::move(*reference));
        }
        return true;
    });
    read.readError = scanner.HadReadError();
    read.damaged = source.WasDamaged();
    scanner.Close();
    return read;
}

// Reads one library file, or takes its read when one is given or shared; false when Escape ended
// the read.
bool PackageChecker::ReadLibraryFile(const std::string& file, bool compressedByName,
                                     ArchiveEntrySource* entry, std::optional<PackageFileRead> read) {
    if (!read && m_shared && entry == nullptr) {
        read = m_shared->ForPackage(file);
        if (read) {
            RaiseSharedWarnings(m_ctx, &m_warnings, read->warnings);
        }
    }
    if (!read) {
        read = ReadPackageFile(m_source, m_scanner, m_reader, file, entry);
    }
    if (read->openError) {
        Add(Rule::UnreadableFile, file).error = FileErrorText(*read->openError, file);
        return true;
    }
    if (read->end == ScanEnd::Escaped) {
        return false;  // the file being read when Escape came adds nothing
    }
    for (const auto& [number, reference] : read->references) {
        JudgeReference(file, number, reference);
    }
    if (compressedByName || read->compressed) {
        Add(Rule::Compressed, file);
    }
    if (read->readError && entry && entry->Failed()) {
        Add(Rule::UnreadableEntry, file).error = entry->ErrorText();
    } else if (read->readError) {
        Add(Rule::UnreadableFile, file).error =
            read->damaged ? file + " is compressed, and its compressed data is damaged or cut short."
                          : FileErrorText(std::make_error_code(std::errc::io_error), file);
    }
    return true;
}

void PackageChecker::ListUnreferenced(const std::vector<std::string>& files) {
    if (m_package.runtime.empty()) {
        return;
    }
    std::vector<std::string> folders;
    for (std::string_view name : kUnreferencedFolders) {
        const std::string stored = m_resolver.FindEntry(m_package.runtime, name, true);
        if (!stored.empty()) {
            folders.push_back(m_package.runtime + stored + kSeparator);
        }
    }
    for (const std::string& file : files) {
        const bool inFolder = std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
            return file.starts_with(folder);
        });
        if (inFolder && m_referenced.count(file) == 0) {
            Add(Rule::Unreferenced, file);
        }
    }
}

// Reads the library files of an archive in archive order, reading every other entry through to find
// the ones that cannot be unpacked, and keeps the findings in the order a folder's files give them.
void PackageChecker::ReadArchiveFiles(const std::vector<std::string>& files, PackageCheckRun& run) {
    const std::vector<std::string> library = LibraryFiles(files);
    std::vector<Findings> ofFile(library.size());
    std::vector<bool> read(library.size(), false);
    std::vector<std::pair<std::string, std::string>> unreadable;
    const bool finished = m_archive->ReadEntries(
        library,
        [&](size_t index, ArchiveEntrySource& source) {
            const size_t before = m_findings.size();
            if (!ReadLibraryFile(library[index], KindOf(library[index]) == FileKind::CompressedLibrary,
                                 &source)) {
                return false;
            }
            ofFile[index].assign(
                std::make_move_iterator(m_findings.begin() + static_cast<std::ptrdiff_t>(before)),
                std::make_move_iterator(m_findings.end()));
            m_findings.resize(before);
            read[index] = true;
            return true;
        },
        [&](const ArchiveEntry& entry, const std::string& error) {
            unreadable.emplace_back(m_archive->PathOf(entry), error);
        });
    run.cancelled = !finished;

    size_t next = 0;
    for (const std::string& file : files) {
        const FileKind kind = KindOf(file);
        if (kind == FileKind::CompressedGeometry) {
            Add(Rule::Compressed, file);
        } else if (kind != FileKind::Other) {
            const size_t index = next++;
            if (read[index]) {
                ++run.filesChecked;
                std::move(ofFile[index].begin(), ofFile[index].end(), std::back_inserter(m_findings));
            }
        }
    }
    for (auto& [path, error] : unreadable) {
        Add(Rule::UnreadableEntry, path).error = std::move(error);
    }
    if (!m_archive->Error().empty()) {
        Add(Rule::DamagedArchive, m_archive->ArchiveFile()).error = m_archive->Error();
    }
}

// The findings that the archive's names alone give.
void PackageChecker::AddArchiveFindings() {
    constexpr std::string_view kMacFolder = "__MACOSX";
    constexpr std::string_view kJunkFiles[] = {".ds_store", "thumbs.db", "desktop.ini"};
    const std::string& archive = m_archive->ArchiveFile();
    std::unordered_set<std::string> junkFolders;
    for (const ArchiveEntry& entry : m_archive->Entries()) {
        if (entry.unsafe) {
            Add(Rule::UnsafeEntry, archive).value = entry.stored;
            continue;
        }
        const std::string path = m_archive->PathOf(entry);
        if (entry.backslash) {
            Add(Rule::BackslashEntry, path).value = entry.stored;
        }
        // A Mac resource folder is reported once, at whatever depth it stands; a stray file by itself.
        const size_t mac = path.find(std::string(1, kSeparator) + std::string(kMacFolder));
        const size_t macEnd = mac == std::string::npos ? mac : mac + 1 + kMacFolder.size();
        if (mac != std::string::npos && (macEnd == path.size() || IsSeparator(path[macEnd]))) {
            std::string folder = path.substr(0, macEnd);
            if (junkFolders.insert(folder).second) {
                Add(Rule::JunkEntry, folder);
            }
        } else if (!entry.folder && std::find(std::begin(kJunkFiles), std::end(kJunkFiles),
                                              AsciiLowered(LastComponent(path))) != std::end(kJunkFiles)) {
            Add(Rule::JunkEntry, path);
        }
    }
    for (auto& [later, earlier] : m_archive->CaseCollisions()) {
        Add(Rule::CaseCollision, later).value = std::move(earlier);
    }
    if (m_path != archive && WithoutTrailingSeparators(m_path) != archive) {
        return;  // a folder inside the archive was named: the archive's layout is not in question
    }
    std::vector<DirEntry> top;
    m_archive->ListFolder(archive, top);
    bool runtime = false;
    for (const DirEntry& entry : top) {
        if (!entry.isFolder || entry.name == "." || entry.name == ".." || entry.name == kMacFolder) {
            continue;
        }
        if (AsciiLowered(entry.name) == AsciiLowered(kRuntime) && !runtime) {
            runtime = true;
        } else {
            Add(Rule::ArchiveLayout, archive + kSeparator + entry.name);
        }
    }
    if (!runtime) {
        Add(Rule::ArchiveLayout, archive);
    }
}

void PackageChecker::Run(PackageCheckRun& run) {
    if (m_package.runtime.empty()) {
        Add(Rule::NoRuntime, m_path);
    }
    if (m_archive) {
        AddArchiveFindings();
    }
    std::vector<std::string> files;
    {
        CFileRecordArray records;
        records.SetFillDetails(false);
        records.ScanFolder(WithTrailingSeparator(m_path),
                           {.patterns = kAllFiles,
                            .recurse = true,
                            .order = InsertOrder::DescendingName,
                            .ctx = &m_ctx,
                            .listings = m_shared ? m_shared->Listings() : nullptr,
                            .archive = m_archive});
        // An Escape taken by the scan itself ends the run too: a part of the package is no package.
        if (records.IsCancelled() || m_ctx.PollEscape()) {
            m_ctx.RestoreWait();
            run.cancelled = true;
            run.report = kCancelledNoResults;
            return;
        }
        m_ctx.RestoreWait();
        if (!m_archive) {
            // A folder the scan could not list leaves part of the package unchecked: never a clean
            // result. (A damaged archive has its own finding.)
            AddUnreadableFolders(m_findings, records.UnreadableFolders());
        }
        const std::vector<CFileRecord>& all = records.Records();
        files.reserve(all.size());
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            files.push_back(it->m_path);
        }
    }

    if (m_archive) {
        ReadArchiveFiles(files, run);
    } else {
        // The library files are read ahead on the other threads, unless the reads are shared.
        const std::vector<std::string> library = LibraryFiles(files);
        if (m_shared) {
            m_shared->WillRead(library);
        }
        CReadAhead<PackageFileRead> ahead(
            m_shared ? 0 : library.size(), m_ctx.ReadThreads(),
            [&library](RunContext& ctx) {
                struct Reader {
                    GzipSource source;
                    CLineScanner scanner;  // declared after the source it reads from
                    CReferenceReader references;
                    explicit Reader(RunContext& ctx) : scanner(&ctx) {}
                };
                auto reader = std::make_shared<Reader>(ctx);
                return [reader, &library](size_t index) {
                    return ReadPackageFile(reader->source, reader->scanner, reader->references,
                                           library[index], nullptr);
                };
            },
            PackageReadBytes);
        size_t next = 0;
        for (const std::string& file : files) {
            const FileKind kind = KindOf(file);
            if (kind == FileKind::Other) {
                continue;
            }
            if (kind == FileKind::CompressedGeometry) {
                Add(Rule::Compressed, file);
                continue;
            }
            ++run.filesChecked;
            if (!ReadLibraryFile(file, kind == FileKind::CompressedLibrary, nullptr,
                                 ahead.Take(next++, m_ctx, &m_warnings))) {
                run.cancelled = true;
                break;
            }
        }
        ahead.Stop();
    }
    if (!run.cancelled) {
        ListUnreferenced(files);
    }
    m_warnings.Finish(m_ctx, m_scanner.Capacity());

    SortByRule(m_findings);
    run.problemsFound = static_cast<int32_t>(std::count_if(
        m_findings.begin(), m_findings.end(), [](const Finding& f) { return IsProblem(f.rule); }));
    run.findings = std::move(m_findings);
    run.report = PackageReport(run.findings, run.cancelled);
    if (run.cancelled) {
        m_ctx.RestoreWait();
    }
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(ToFsPath(path), ec);
}

}  // namespace

std::string PackageReport(const Findings& findings, bool cancelled) {
    std::string report = cancelled ? kCancelledPartialResults : "";
    const bool problems = std::any_of(findings.begin(), findings.end(),
                                      [](const Finding& finding) { return IsProblem(finding.rule); });
    if (!problems && !cancelled) {
        report = kNoProblemsFound;
        if (!findings.empty()) {
            report += "\r\n\r\n";
        }
    }
    // A large package has tens of thousands of findings: the text is sized once, not grown by doubling.
    size_t size = report.size();
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& finding = findings[i];
        const bool sectionStarts = i == 0 || findings[i - 1].rule != finding.rule;
        size += (sectionStarts ? std::char_traits<char>::length(SectionHeader(finding.rule)) + 2 : 0) +
                finding.path.size() + 2 + (finding.line != 0 ? 10 + 2 + 10 + finding.value.size() : 0);
    }
    report.reserve(size);
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& finding = findings[i];
        if (i == 0 || findings[i - 1].rule != finding.rule) {
            report += SectionHeader(finding.rule);
        }
        report += finding.path;
        if (IsArchiveRule(finding.rule) && !finding.value.empty()) {
            report += ": ";
            report += finding.value;
        } else if (IsArchiveRule(finding.rule) && !finding.error.empty()) {
            report += ": ";
            report += finding.error;
        }
        if (finding.line != 0) {
            report += ", line ";
            report += std::to_string(finding.line);
            report += ": ";
            report += finding.value;
        }
        report += "\r\n";
        if (i + 1 == findings.size() || findings[i + 1].rule != finding.rule) {
            report += "\r\n";
        }
    }
    return report;
}

PackageCheckRun RunPackageCheck(const std::string& path, const std::vector<std::string>& runtimes,
                                RunContext& ctx, SharedReads* shared) {
    const size_t noticesBefore = ctx.Notices().size();
    PackageCheckRun run;
    // An archive, and a folder inside one, is checked as the package it unpacks to.
    CArchiveTree archive;
    const bool archived = !path.empty() && archive.OpenFor(path);
    const CArchiveTree::Kind kind = archived ? archive.KindOf(path) : CArchiveTree::Kind::None;
    std::error_code ec;
    const bool exists = archived ? kind != CArchiveTree::Kind::None
                                 : !path.empty() && std::filesystem::exists(ToFsPath(path), ec);
    const auto missingRuntime =
        std::find_if(runtimes.begin(), runtimes.end(), [](const std::string& dir) { return !IsFolder(dir); });
    if (!exists) {
        run.stop = PackageCheckStop::PathMissing;
        run.disableCheckButton = true;
        ctx.Notify(NoticeKind::Error, kErrorTitle, kPathMissingText);
    } else if (archived ? kind != CArchiveTree::Kind::Folder : !IsFolder(path)) {
        run.stop = PackageCheckStop::NotAFolder;
        ctx.Notify(NoticeKind::Error, kErrorTitle, kNotAFolderText);
    } else if (missingRuntime != runtimes.end()) {
        run.stop = PackageCheckStop::RuntimeMissing;
        ctx.Notify(NoticeKind::Error, kErrorTitle, kRuntimeMissingText + *missingRuntime);
    } else {
        {
            WaitCursorScope wait(ctx);
            ProgressScope progress(ctx);
            // Reads shared with other tools are of plain files: an archive is read here, entry by entry.
            PackageChecker checker(path, runtimes, ctx, archived ? nullptr : shared,
                                   archived ? &archive : nullptr);
            checker.Run(run);
        }
        run.refreshCounters = true;
        ctx.CountersChanged(run.filesChecked, run.problemsFound);
    }
    run.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                       ctx.Notices().end());
    return run;
}

}  // namespace veltrane
