#include "checks/PackageCheck.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "checks/CaseResolver.h"
#include "checks/LibraryReference.h"
#include "checks/PackageRules.h"
#include "checks/PathCheck.h"
#include "checks/ToolTexts.h"
#include "checks/UnreadableFolders.h"
#include "checks/VersionCheck.h"
#include "fs/run/FileErrors.h"
#include "fs/run/FreedMemory.h"
#include "fs/text/PathParts.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

namespace {

constexpr const char* kRuntimeMissingText =
    "The folder to also look in does not exist or is not a folder:\r\n";

// Every file below the package, so that textures and geometries can be told apart as well.
constexpr const char* kAllFiles = "*.*";

constexpr std::string_view kRuntime = "Runtime";
// The folder of Mac resource files that some packers add to an archive.
constexpr std::string_view kMacFolder = "__MACOSX";
constexpr std::string_view kUnreferencedFolders[] = {"textures", "Geometries"};

// Library files by extension, lowered: the nine plain ones, materials and material collections, and
// their compressed forms.
constexpr std::string_view kLibraryExtensions[] = {".cm2", ".pz2", ".lt2", ".pp2", ".cr2", ".fc2",
                                                   ".hr2", ".pz3", ".hd2", ".mt5", ".mc6"};
constexpr std::string_view kCompressedLibraryExtensions[] = {".crz", ".pzz", ".p2z", ".ppz", ".hrz", ".fcz",
                                                             ".ltz", ".cmz", ".hdz", ".mz5", ".mcz"};
// Compressed geometry: reported, not read.
constexpr std::string_view kCompressedGeometryExtension = ".obz";

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

// The files that are read, in the order given, each with what the walk listed it as.
std::vector<std::string> LibraryFiles(const std::vector<std::string>& files,
                                      const std::vector<bool>& listedRegular, ReadOptions& options) {
    std::vector<std::string> library;
    for (size_t i = 0; i < files.size(); ++i) {
        const FileKind kind = KindOf(files[i]);
        if (kind == FileKind::Library || kind == FileKind::CompressedLibrary) {
            library.push_back(files[i]);
            options.listedRegular.push_back(i < listedRegular.size() && listedRegular[i]);
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

// One run over one package.
class PackageChecker {
public:
    PackageChecker(const std::string& path, const std::vector<std::string>& runtimes, RunContext& ctx,
                   CPackageTree& tree, bool planFixes, KeptFindings& findings)
        : m_path(path), m_ctx(ctx), m_tree(tree), m_findings(findings), m_planFixes(planFixes) {
        m_resolver.SetTree(&tree);
        m_package = LocateRuntime(path, m_resolver);
        for (const std::string& runtime : runtimes) {
            m_extraRuntimes.push_back(LocateRuntime(runtime, m_resolver));
            if (m_extraRuntimes.back().runtime.empty()) {
                // A folder without a Runtime folder of its own is taken as the Runtime folder.
                m_extraRuntimes.back().runtime = m_extraRuntimes.back().root;
            }
        }
    }

    // False when Escape came before any file was read: the run then shows no findings.
    bool Run(PackageCheckRun& run);

private:
    // Findings are kept by rule in the order they are found, and put into report order at the end.
    Finding& Add(Rule rule, const std::string& path) {
        Finding finding;
        finding.rule = rule;
        finding.path = path;
        return m_findings.AddWhole(std::move(finding));
    }
    void AddAll(Findings&& findings) {
        for (Finding& finding : findings) {
            m_findings.AddWhole(std::move(finding));
        }
    }
    std::vector<std::string> ListFiles(PackageCheckRun& run);
    void ReadLibraryFiles(const std::vector<std::string>& files, PackageCheckRun& run);
    bool JudgeLibraryFile(const std::string& file, bool compressedByName, const PackageFileRead& read);
    void AddArchiveFindings();
    void AddArchiveLayout();
    // What a reference leads to when it is a finding: the rule and what it resolved to.
    struct ReferenceVerdict {
        Rule rule;
        std::optional<std::string> resolved;
    };
    std::optional<ReferenceVerdict> JudgeReference(const LibraryReference& reference);
    std::optional<ReferenceRewrite> PlanRewrite(const LibraryReference& reference,
                                                const std::optional<ReferenceVerdict>& verdict);
    std::string StoredBelowRuntime(const std::vector<std::string_view>& below, bool packageOnly);
    void JudgeReferences(const std::string& file, const PackageFileRead& read);
    CCaseResolver::Result Find(const std::string& base, const std::vector<std::string_view>& components);
    CCaseResolver::Result FindAsSpelt(const std::string& base, std::vector<std::string_view> components);
    CCaseResolver::Result ResolveInRuntime(const RuntimeFolder& runtime,
                                           const std::vector<std::string_view>& components);
    CCaseResolver::Result ResolveInTextures(const RuntimeFolder& runtime,
                                            const std::vector<std::string_view>& components);
    using Lookup = CCaseResolver::Result (PackageChecker::*)(const RuntimeFolder&,
                                                             const std::vector<std::string_view>&);
    bool LookUp(Lookup lookup, const std::vector<std::string_view>& components,
                std::optional<ReferenceVerdict>& verdict);
    void ListUnreferenced(const std::vector<std::string>& files);

    const std::string& m_path;
    RunContext& m_ctx;
    CPackageTree& m_tree;
    OverflowWarnings m_warnings;  // the run's cap on line-length warnings, as in the other tools
    CCaseResolver m_resolver;
    RuntimeFolder m_package;
    std::vector<RuntimeFolder> m_extraRuntimes;
    std::vector<bool> m_listedRegular;  // per file ListFiles gives: a regular file reached through no link
    std::unordered_set<std::string> m_referenced;   // package files that a reference found
    std::unordered_set<std::string> m_throughLink;  // files reached through a link: never rewritten
    KeptFindings& m_findings;
    std::vector<FileRewrites> m_rewrites;
    bool m_planFixes = true;  // whether a fix's rewrites are worked out along with the verdicts
};

// The geometry that a reference to name.obj also finds: name.obz, compressed. Empty for other names.
std::string CompressedGeometryName(std::string_view name) {
    if (name.size() < 4 || AsciiLowered(name.substr(name.size() - 4)) != ".obj") {
        return {};
    }
    std::string compressed(name);
    compressed.back() = compressed.back() == 'J' ? 'Z' : 'z';
    return compressed;
}

bool HasHighBytes(const std::vector<std::string_view>& components) {
    return std::any_of(components.begin(), components.end(), [](std::string_view component) {
        return std::any_of(component.begin(), component.end(),
                           [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    });
}

// components below base as spelt, then with a geometry's compressed name.
CCaseResolver::Result PackageChecker::FindAsSpelt(const std::string& base,
                                                  std::vector<std::string_view> components) {
    CCaseResolver::Result found = m_resolver.Resolve(base, components);
    if (found.match != CCaseResolver::Match::None || components.empty()) {
        return found;
    }
    const std::string compressed = CompressedGeometryName(components.back());
    if (!compressed.empty()) {
        components.back() = compressed;
        found = m_resolver.Resolve(base, components);
    }
    return found;
}

// components below base byte for byte; failing that, read in the Windows code page that Poser writes
// library files in there, against the UTF-8 names of the disk.
CCaseResolver::Result PackageChecker::Find(const std::string& base,
                                           const std::vector<std::string_view>& components) {
    CCaseResolver::Result found = FindAsSpelt(base, components);
    if (found.match != CCaseResolver::Match::None || !HasHighBytes(components)) {
        return found;
    }
    std::vector<std::string> decoded;
    decoded.reserve(components.size());
    for (std::string_view component : components) {
        decoded.push_back(WindowsTextToUtf8(component));
    }
    return FindAsSpelt(base, std::vector<std::string_view>(decoded.begin(), decoded.end()));
}

CCaseResolver::Result PackageChecker::ResolveInRuntime(const RuntimeFolder& runtime,
                                                       const std::vector<std::string_view>& components) {
    if (runtime.runtime.empty()) {
        return {};
    }
    // Poser puts its own Runtime folder in place of the first component, whatever its letter case.
    const std::vector<std::string_view> below(components.begin() + 1, components.end());
    return Find(runtime.runtime, below);
}

// Where Poser starts its search for an image: below Runtime:textures.
CCaseResolver::Result PackageChecker::ResolveInTextures(const RuntimeFolder& runtime,
                                                        const std::vector<std::string_view>& components) {
    const std::string textures =
        runtime.runtime.empty() ? std::string() : m_resolver.FindEntry(runtime.runtime, "textures", true);
    if (textures.empty()) {
        return {};
    }
    return Find(runtime.runtime + textures + kSeparator, components);
}

// Looks components up in the package's Runtime and then in the extra runtimes: true when they were
// found, with verdict set to the finding they make (none when found as spelt, or in a runtime).
bool PackageChecker::LookUp(Lookup lookup, const std::vector<std::string_view>& components,
                            std::optional<ReferenceVerdict>& verdict) {
    CCaseResolver::Result found = (this->*lookup)(m_package, components);
    if (found.match == CCaseResolver::Match::Exact) {
        m_referenced.insert(std::move(found.path));
        return true;
    }
    if (found.match == CCaseResolver::Match::IgnoringCase) {
        m_referenced.insert(found.path);
        verdict = ReferenceVerdict{Rule::CaseMismatch, std::move(found.path)};
        return true;
    }
    // Base content the package relies on.
    return std::any_of(m_extraRuntimes.begin(), m_extraRuntimes.end(), [&](const RuntimeFolder& runtime) {
        return (this->*lookup)(runtime, components).match != CCaseResolver::Match::None;
    });
}

// In this order: absolute; inside Runtime (the package's, then the extra runtimes); an image below
// Runtime:textures; anything else leads outside Runtime, found or not.
std::optional<PackageChecker::ReferenceVerdict> PackageChecker::JudgeReference(
    const LibraryReference& reference) {
    const ReferencePath parsed = ParseReferencePath(reference.value);
    if (parsed.absolute) {
        return ReferenceVerdict{Rule::AnyPlatformAbsolute, std::nullopt};
    }
    const auto& components = parsed.components;
    const bool relative = !parsed.escapesRoot && !components.empty();
    std::optional<ReferenceVerdict> verdict;
    if (relative && EqualsIgnoringAsciiCase(components.front(), kRuntime)) {
        if (LookUp(&PackageChecker::ResolveInRuntime, components, verdict)) {
            return verdict;
        }
        return ReferenceVerdict{Rule::MissingFile, std::nullopt};
    }
    if (relative && NamesImage(reference) &&
        LookUp(&PackageChecker::ResolveInTextures, components, verdict)) {
        return verdict;
    }
    std::optional<std::string> resolved;
    if (!parsed.escapesRoot) {
        CCaseResolver::Result found = components.empty() ? m_resolver.Resolve(m_package.root, components)
                                                         : Find(m_package.root, components);
        if (found.match != CCaseResolver::Match::None) {
            resolved = std::move(found.path);
        }
    }
    return ReferenceVerdict{Rule::OutsideRuntime, std::move(resolved)};
}

// The components after the first Runtime component of an absolute value; empty when it has none.
std::vector<std::string_view> AfterRuntimeComponent(std::string_view value) {
    std::vector<std::string_view> below;
    bool inRuntime = false;
    size_t start = 0;
    while (start <= value.size()) {
        const size_t end = std::min(value.find_first_of(":\\/", start), value.size());
        const std::string_view component = value.substr(start, end - start);
        if (inRuntime && component == ".." && !below.empty()) {
            below.pop_back();
        } else if (inRuntime && !component.empty() && component != "." && component != "..") {
            below.push_back(component);
        }
        inRuntime = inRuntime || EqualsIgnoringAsciiCase(component, kRuntime);
        start = end + 1;
    }
    return below;
}

constexpr const char* kNotFoundWhy = "the file it names is in neither the package nor a runtime looked in.";

// The value that names stored (a path below a Runtime folder, as stored) from any Runtime folder, or
// why there is none; written: the components as the reference spells them.
ReferenceRewrite RuntimeValue(const std::string& stored, const std::vector<std::string_view>& written) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= stored.size()) {
        const size_t end = std::min(stored.find(kSeparator, start), stored.size());
        names.emplace_back(stored.substr(start, end - start));
        start = end + 1;
    }
    // A geometry found compressed is still named as Poser asks for it.
    if (!written.empty() && !CompressedGeometryName(written.back()).empty() &&
        EqualsIgnoringAsciiCase(CompressedGeometryName(written.back()), names.back())) {
        names.back().replace(names.back().size() - 4, 4, written.back().substr(written.back().size() - 4));
    }
    for (size_t j = 1; j <= std::min(names.size(), written.size()); ++j) {
        if (!EqualsIgnoringAsciiCase(names[names.size() - j], written[written.size() - j])) {
            return {{}, "its names are written in another character set than the package's."};
        }
    }
    std::string value(":Runtime");
    for (const std::string& name : names) {
        if (name.find_first_of(":\"") != std::string::npos) {
            return {{}, "a name on its path holds a colon or a quote."};
        }
        value += ':' + name;
    }
    if (value.size() > kMaxRelativePathLength) {
        return {{}, "it would still be longer than 62 characters."};
    }
    return {std::move(value), {}};
}

// Where below is first found: below the package's Runtime, else (unless packageOnly) an extra
// runtime's; the path below that Runtime folder as stored, or empty.
std::string PackageChecker::StoredBelowRuntime(const std::vector<std::string_view>& below, bool packageOnly) {
    const size_t runtimes = packageOnly ? 0 : m_extraRuntimes.size();
    for (size_t i = 0; i <= runtimes; ++i) {
        const std::string& runtime = i == 0 ? m_package.runtime : m_extraRuntimes[i - 1].runtime;
        if (runtime.empty() || below.empty()) {
            continue;
        }
        CCaseResolver::Result found = Find(runtime, below);
        if (found.match != CCaseResolver::Match::None && found.path.starts_with(runtime)) {
            return found.path.substr(runtime.size());
        }
    }
    return {};
}

// What a fix makes of a reference: the ":Runtime:" form of the file it finds, in the letter case the
// file is stored in, or why it cannot; nothing for a reference that is fine as it is.
std::optional<ReferenceRewrite> PackageChecker::PlanRewrite(const LibraryReference& reference,
                                                            const std::optional<ReferenceVerdict>& verdict) {
    // Most references are found as spelt and already in the colon form: only their quotes may be missing.
    if (!verdict && reference.value.starts_with(":Runtime:") &&
        reference.value.find_first_of("\\/") == std::string::npos) {
        return NeedsQuotes(reference.keyword, reference.value)
                   ? std::optional(ReferenceRewrite{reference.value, {}})
                   : std::nullopt;
    }
    const ReferencePath parsed = ParseReferencePath(reference.value);
    if (verdict && verdict->rule == Rule::MissingFile) {
        // Looked for everywhere a fix would look already.
        return ReferenceRewrite{{}, parsed.escapesRoot ? "it leads out of the package." : kNotFoundWhy};
    }
    const bool underRuntime = !parsed.absolute && !parsed.escapesRoot && !parsed.components.empty() &&
                              EqualsIgnoringAsciiCase(parsed.components.front(), kRuntime);
    std::vector<std::string_view> below;
    std::string stored;
    if (parsed.absolute) {
        below = AfterRuntimeComponent(reference.value);
        if (below.empty()) {
            return ReferenceRewrite{{}, "it names no Runtime folder, so the file it means is not known."};
        }
        stored = StoredBelowRuntime(below, false);
    } else if (verdict && verdict->rule == Rule::CaseMismatch && verdict->resolved &&
               verdict->resolved->starts_with(m_package.runtime) && !m_package.runtime.empty()) {
        below = parsed.components;
        stored = verdict->resolved->substr(m_package.runtime.size());
    } else if (underRuntime || (verdict && verdict->rule == Rule::OutsideRuntime && !parsed.escapesRoot)) {
        below.assign(parsed.components.begin() + (underRuntime ? 1 : 0), parsed.components.end());
        // A reference into a runtime the package does not ship is fine as it is.
        stored = StoredBelowRuntime(below, !verdict || verdict->rule != Rule::OutsideRuntime);
        if (stored.empty() && !verdict) {
            return std::nullopt;
        }
    } else if (verdict) {
        return ReferenceRewrite{{}, parsed.escapesRoot ? "it leads out of the package." : kNotFoundWhy};
    } else if (NeedsQuotes(reference.keyword, reference.value)) {
        return ReferenceRewrite{reference.value,
                                {}};  // found where Poser looks: only its quotes may be missing
    } else {
        return std::nullopt;
    }
    if (stored.empty()) {
        return ReferenceRewrite{{}, kNotFoundWhy};
    }
    ReferenceRewrite rewrite = RuntimeValue(stored, below);
    if (!verdict && (rewrite.value.empty() || rewrite.value == reference.value) &&
        !NeedsQuotes(reference.keyword, reference.value)) {
        return std::nullopt;
    }
    return rewrite;
}

// Each different reference of the file is judged once; its findings go in line order, kFindingsKept of
// a rule, the rest counted on the last one kept.
void PackageChecker::JudgeReferences(const std::string& file, const PackageFileRead& read) {
    std::vector<std::optional<ReferenceVerdict>> verdicts;
    verdicts.reserve(read.references.size());
    std::vector<std::pair<uint32_t, uint32_t>> lines;  // line, reference
    std::array<uint64_t, kRuleCount> total{};
    FileRewrites rewrites{file, {}, {}};
    for (const PackageFileRead::Reference& kept : read.references) {
        verdicts.push_back(JudgeReference(kept.reference));
        std::optional<ReferenceRewrite> rewrite =
            m_planFixes ? PlanRewrite(kept.reference, verdicts.back()) : std::nullopt;
        if (rewrite) {
            rewrites.byReference.emplace(ReferenceKey(kept.reference.keyword, kept.reference.value),
                                         std::move(*rewrite));
        }
        if (verdicts.back()) {
            total[static_cast<size_t>(verdicts.back()->rule)] += kept.count;
            for (uint32_t line : kept.lines) {
                lines.emplace_back(line, static_cast<uint32_t>(verdicts.size() - 1));
            }
        }
    }
    std::sort(lines.begin(), lines.end());
    std::array<uint32_t, kRuleCount>
        kept{};  // per rule: the findings kept, the last of them counting the rest
    for (const auto& [line, index] : lines) {
        uint32_t& count = kept[static_cast<size_t>(verdicts[index]->rule)];
        count = std::min(count + 1, kFindingsKept);
    }
    std::array<uint32_t, kRuleCount> added{};
    for (const auto& [line, index] : lines) {
        const ReferenceVerdict& verdict = *verdicts[index];
        const size_t rule = static_cast<size_t>(verdict.rule);
        if (added[rule] == kept[rule]) {
            continue;
        }
        const uint64_t more = ++added[rule] == kept[rule] ? total[rule] - added[rule] : 0;
        const LibraryReference& reference = read.references[index].reference;
        m_findings.AddPacked(verdict.rule, file, line, reference.keyword, reference.value, verdict.resolved,
                             more);
    }
    if (!rewrites.byReference.empty()) {
        m_rewrites.push_back(std::move(rewrites));
    }
    if (read.unjudged != 0) {
        Add(Rule::UnreadableFile, file).error =
            file + " holds more different file references than one check takes; the " +
            std::to_string(read.unjudged) + " from line " + std::to_string(read.unjudgedFrom) +
            " on were not checked.";
    }
}

// Judges a library file's lines, through its compression, for references.
class PackageLineJudge final : public CFileJudge {
public:
    std::string_view Name() const override { return "package"; }
    ReadPlan Plan() const override { return {{}, false, true}; }
    void Begin() override {
        m_references.Reset();
        m_read = std::make_unique<PackageFileRead>();
        m_known.clear();
        m_held = 0;
    }
    bool Line(std::string_view piece, uint32_t number, bool /*cut*/) override {
        m_read->blank = false;
        if (std::optional<LibraryReference> reference = m_references.Examine(piece)) {
            Keep(number, std::move(*reference));
        }
        return true;
    }
    std::unique_ptr<FileVerdict> End(const FileReadStatus& status) override {
        if (!status.opened) {
            m_read->openError = status.openError;
        }
        m_read->compressed = status.compressed;
        m_read->end = status.end;
        m_read->readError = status.readError;
        m_read->damaged = status.damaged;
        m_read->sourceError = status.sourceError;
        return std::move(m_read);
    }

private:
    // The bytes of different references one read holds at most.
    static constexpr size_t kHeldBytes = size_t{16} << 20;

    void Keep(uint32_t number, LibraryReference reference) {
        // Most reference lines repeat one met before: the key is made in a buffer kept for that.
        m_key.assign(reference.keyword);
        m_key += '\0';
        m_key += reference.value;
        auto at = m_known.find(m_key);
        if (at == m_known.end()) {
            m_held += m_key.size() * 2 + sizeof(PackageFileRead::Reference);
            if (m_held > kHeldBytes) {
                m_read->unjudgedFrom = m_read->unjudged++ == 0 ? number : m_read->unjudgedFrom;
                return;
            }
            at = m_known.emplace(m_key, m_read->references.size()).first;
            m_read->references.push_back({std::move(reference), {}, 0});
        }
        PackageFileRead::Reference& kept = m_read->references[at->second];
        if (kept.lines.size() < kFindingsKept) {
            kept.lines.push_back(number);
        }
        ++kept.count;
    }

    CReferenceReader m_references;
    std::unique_ptr<PackageFileRead> m_read;
    std::unordered_map<std::string, size_t> m_known;  // keyword and value: index in references
    std::string m_key;
    size_t m_held = 0;
};

// Judges one library file's read; false when Escape ended the read.
bool PackageChecker::JudgeLibraryFile(const std::string& file, bool compressedByName,
                                      const PackageFileRead& read) {
    if (read.openError) {
        Add(Rule::UnreadableFile, file).error = FileErrorText(*read.openError, file);
        return true;
    }
    if (read.end == ScanEnd::Escaped) {
        return false;  // the file being read when Escape came adds nothing
    }
    JudgeReferences(file, read);
    if (read.blank && !read.compressed && !read.readError) {
        Add(Rule::EmptyFile, file);
    }
    if (compressedByName || read.compressed) {
        Add(Rule::Compressed, file);
    }
    if (!m_rewrites.empty() && m_rewrites.back().path == file) {
        // Why the file itself is never rewritten, whatever its references need.
        m_rewrites.back().whyNot =
            !m_tree.CanRewrite() ? kVersionArchiveNotFixedText
            : compressedByName || read.compressed
                ? "its file is compressed: compressed files are read, never rewritten."
            : m_throughLink.count(file) != 0
                ? "its file was reached through a link, and links are never written through."
                : "";
    }
    if (read.readError && !read.sourceError.empty()) {
        Add(Rule::UnreadableEntry, file).error = read.sourceError;
    } else if (read.readError) {
        Add(Rule::UnreadableFile, file).error =
            read.damaged ? file + " is compressed, and its compressed data is damaged or cut short."
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
            m_findings.AddPacked(Rule::Unreferenced, file);
        }
    }
}

// Reads the library files in the order given and judges them, with the compressed geometries among
// them; a file the read never reached (Escape ended a pass through an archive) adds nothing.
void PackageChecker::ReadLibraryFiles(const std::vector<std::string>& files, PackageCheckRun& run) {
    ReadOptions options{.checkOtherFiles = true, .listedRegular = {}};
    std::vector<std::string> library = LibraryFiles(files, m_listedRegular, options);
    std::unique_ptr<CTreeReads> reads =
        m_tree.Read(std::move(library), PackageJudge(), m_ctx, &m_warnings, options);
    std::optional<TreeRead> pending;
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
        const size_t index = next++;
        if (!pending || pending->index < index) {
            pending = reads->Next();
        }
        if (!pending || pending->index != index) {
            continue;
        }
        ++run.filesChecked;
        const bool goOn = JudgeLibraryFile(file, kind == FileKind::CompressedLibrary,
                                           VerdictAs<PackageFileRead>(*pending->verdict));
        if (!goOn) {
            run.cancelled = true;
            break;
        }
    }
    for (UnreadableEntry& entry : reads->Unreadable()) {
        Add(Rule::UnreadableEntry, entry.path).error = std::move(entry.error);
    }
    const ArchiveDamageNotes& damage = m_tree.DamageNotes();
    for (const ArchiveDamage& note : damage.kept) {
        Add(Rule::DamagedArchive, note.path).error = note.text;
    }
    if (damage.more > 0) {
        Add(Rule::DamagedArchive, m_tree.ArchiveFile()).error =
            "and " + std::to_string(damage.more) + " more, not listed";
    }
}

// The findings that the names of a packed package's entries alone give; a folder has no entries.
void PackageChecker::AddArchiveFindings() {
    const std::string& archive = m_tree.ArchiveFile();
    std::unordered_set<std::string> junkFolders;
    for (const ArchiveEntry& entry : m_tree.Entries()) {
        if (entry.unsafe) {
            Add(Rule::UnsafeEntry, archive).value = entry.stored;
            continue;
        }
        const std::string path = m_tree.EntryPath(entry);
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
        } else if (!entry.folder && IsJunkFileName(LastComponent(path))) {
            Add(Rule::JunkEntry, path);
        }
        if (entry.nested) {
            Add(Rule::NestedArchive, path);
        }
    }
    for (auto& [later, earlier] : m_tree.CaseCollisions()) {
        Add(Rule::CaseCollision, later).value = std::move(earlier);
    }
    AddArchiveLayout();
}

// What stands at the top of an archive, when the archive itself was named (not a folder inside it).
void PackageChecker::AddArchiveLayout() {
    const std::string& archive = m_tree.ArchiveFile();
    if (archive.empty() || (m_path != archive && WithoutTrailingSeparators(m_path) != archive)) {
        return;
    }
    std::vector<DirEntry> top;
    m_tree.ListInto(archive, top);
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

// Every file below the package, in the order they are judged (the last record first); empty, with the
// run cancelled, when Escape came during the scan or right after it.
std::vector<std::string> PackageChecker::ListFiles(PackageCheckRun& run) {
    std::vector<std::string> files;
    CFileRecordArray records;
    records.SetFillDetails(false);
    records.ScanFolder(WithTrailingSeparator(m_path), {.patterns = kAllFiles,
                                                       .recurse = true,
                                                       .order = InsertOrder::DescendingName,
                                                       .ctx = &m_ctx,
                                                       .tree = &m_tree});
    // An Escape taken by the scan itself ends the run too: a part of the package is no package.
    if (records.IsCancelled() || m_ctx.PollEscape()) {
        m_ctx.RestoreWait();
        run.cancelled = true;
        run.report = kCancelledNoResults;
        return files;
    }
    m_ctx.RestoreWait();
    // A folder the scan could not list leaves part of the package unchecked: never a clean result. (A
    // damaged archive has its own finding.)
    std::vector<UnreadableFolder> unreadable = records.UnreadableFolders();
    std::erase_if(unreadable, [&](const UnreadableFolder& folder) {
        return !m_tree.Damage().empty() && folder.path == m_tree.ArchiveFile();
    });
    Findings folders;
    AddUnreadableFolders(folders, unreadable);
    AddAll(std::move(folders));
    const std::vector<CFileRecord>& all = records.Records();
    files.reserve(all.size());
    m_listedRegular.reserve(all.size());
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        files.push_back(it->m_path);
        m_listedRegular.push_back(it->ListedRegular());  // an archive's tree does not look at it
        if ((it->m_attributes & kAttrThroughLink) != 0) {
            m_throughLink.insert(it->m_path);
        }
    }
    return files;
}

bool PackageChecker::Run(PackageCheckRun& run) {
    if (m_package.runtime.empty()) {
        Add(Rule::NoRuntime, m_path);
    }
    AddArchiveFindings();
    const std::vector<std::string> files = ListFiles(run);
    if (run.cancelled) {
        return false;
    }
    CPackageRules rules({.tree = m_tree,
                         .walked = WithTrailingSeparator(m_path),
                         .root = m_package.root,
                         .runtime = m_package.runtime,
                         .files = files,
                         .listedRegular = m_listedRegular,
                         .isLibrary =
                             [](const std::string& file) {
                                 const FileKind kind = KindOf(file);
                                 return kind == FileKind::Library || kind == FileKind::CompressedLibrary;
                             },
                         .threads = m_ctx.ReadThreads()});
    ReadLibraryFiles(files, run);
    if (!run.cancelled) {
        ListUnreferenced(files);
        Findings ruled;
        rules.AddFindings(ruled);
        AddAll(std::move(ruled));
    }
    m_warnings.Finish(m_ctx, kLineReaderCapacity);
    run.rewrites = std::move(m_rewrites);
    run.readOnly = !m_tree.CanRewrite();
    if (run.cancelled) {
        m_ctx.RestoreWait();
    }
    return true;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(ToFsPath(path), ec);
}

}  // namespace

size_t PackageFileRead::Bytes() const {
    size_t bytes = sizeof *this + sourceError.size();
    for (const Reference& kept : references) {
        bytes += sizeof kept + kept.reference.value.size() + kept.lines.size() * sizeof(uint32_t);
    }
    return bytes;
}

JudgeMaker PackageJudge() {
    return [] { return std::make_unique<PackageLineJudge>(); };
}

PackageCheckRun RunPackageCheck(const std::string& path, const std::vector<std::string>& runtimes,
                                RunContext& ctx, CPackageTree* given, bool planFixes, bool listFindings) {
    const size_t noticesBefore = ctx.Notices().size();
    PackageCheckRun run;
    // An archive, and a folder inside one, is checked as the package it unpacks to.
    std::unique_ptr<CPackageTree> opened = given ? nullptr : CPackageTree::Open(path);
    CPackageTree& tree = given ? *given : *opened;
    const CPackageTree::Kind kind = tree.KindOf(path);
    const bool exists = kind != CPackageTree::Kind::None && kind != CPackageTree::Kind::BrokenLink;
    const auto missingRuntime =
        std::find_if(runtimes.begin(), runtimes.end(), [](const std::string& dir) { return !IsFolder(dir); });
    if (!exists) {
        run.stop = PackageCheckStop::PathMissing;
        run.disableCheckButton = true;
        ctx.Notify(NoticeKind::Error, kErrorTitle, kPathMissingText);
    } else if (kind != CPackageTree::Kind::Folder) {
        run.stop = PackageCheckStop::NotAFolder;
        ctx.Notify(NoticeKind::Error, kErrorTitle, kNotAFolderText);
    } else if (missingRuntime != runtimes.end()) {
        run.stop = PackageCheckStop::RuntimeMissing;
        ctx.Notify(NoticeKind::Error, kErrorTitle, kRuntimeMissingText + *missingRuntime);
    } else {
        {
            WaitCursorScope wait(ctx);
            ProgressScope progress(ctx);
            auto findings = std::make_shared<KeptFindings>();
            bool listed = false;
            {
                PackageChecker checker(path, runtimes, ctx, tree, planFixes, *findings);
                listed = checker.Run(run);
            }
            // The list of findings and the report are made once the run's file lists, listings and
            // reads are given back.
            opened.reset();
            GiveBackFreedMemory();
            const uint64_t problems = listed ? findings->Problems() : 0;
            run.problemsFound = static_cast<int32_t>(std::min<uint64_t>(problems, INT32_MAX));
            if (listed && listFindings) {
                run.findings = findings->Take();
                run.report = PackageReport(run.findings, run.cancelled);
            } else if (listed) {
                run.kept = std::move(findings);
            }
        }
        run.refreshCounters = true;
        ctx.CountersChanged(run.filesChecked, run.problemsFound);
    }
    run.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                       ctx.Notices().end());
    return run;
}

}  // namespace veltrane
