#include "checks/PackageRules.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "fs/text/Ascii.h"
#include "fs/text/PathParts.h"

namespace veltrane {

namespace {

// The folder of Mac resource files that some packers add: clutter as a whole.
constexpr std::string_view kMacFolder = "__MACOSX";
constexpr uint32_t kThumbnailSide = 91;

struct ImageExtension {
    std::string_view extension;
    const char* format;
};
constexpr ImageExtension kImageExtensions[] = {{".jpg", "JPEG"}, {".jpeg", "JPEG"}, {".png", "PNG"},
                                               {".bmp", "BMP"},  {".gif", "GIF"},   {".tif", "TIFF"},
                                               {".tiff", "TIFF"}};
constexpr std::string_view kReadmeExtensions[] = {".txt", ".pdf", ".rtf", ".htm", ".html"};

// The format an image extension promises, or null.
const char* FormatOfExtension(std::string_view name) {
    const std::string ext = AsciiLowered(SplitPath(name).extension);
    for (const ImageExtension& image : kImageExtensions) {
        if (ext == image.extension) {
            return image.format;
        }
    }
    return nullptr;
}

bool IsReadmeName(std::string_view name) {
    const std::string lowered = AsciiLowered(name);
    const std::string ext(SplitPath(lowered).extension);
    return (lowered.find("readme") != std::string::npos || lowered.find("read me") != std::string::npos) &&
           std::find(std::begin(kReadmeExtensions), std::end(kReadmeExtensions), ext) !=
               std::end(kReadmeExtensions);
}

// The first component of path below folder (which ends in a separator), lowered; empty when path is not
// below it.
std::string FirstComponentBelow(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size() || !path.starts_with(folder)) {
        return {};
    }
    size_t end = folder.size();
    while (end < path.size() && !IsSeparator(path[end])) {
        ++end;
    }
    return end == path.size() ? std::string() : AsciiLowered(path.substr(folder.size(), end - folder.size()));
}

uint32_t BigEndian32(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// What is wrong with a thumbnail's first bytes; empty for a 91 x 91 PNG.
std::string ThumbnailProblem(std::string_view bytes) {
    if (bytes.empty()) {
        return "an empty file";
    }
    const char* format = ImageFormatOf(bytes);
    if (format == nullptr) {
        return "not an image";
    }
    if (std::string_view(format) != "PNG") {
        return format;
    }
    // The signature, then the IHDR chunk: its length, its type, the width and the height.
    if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") {
        return "a damaged PNG";
    }
    const uint32_t width = BigEndian32(bytes, 16);
    const uint32_t height = BigEndian32(bytes, 20);
    if (width == kThumbnailSide && height == kThumbnailSide) {
        return {};
    }
    return std::to_string(width) + " x " + std::to_string(height);
}

void Add(Findings& out, Rule rule, const std::string& path, std::string value = {}) {
    Finding& finding = out.emplace_back();
    finding.rule = rule;
    finding.path = path;
    finding.value = std::move(value);
}

bool IsReservedDeviceName(std::string_view name) {
    std::string stem = AsciiLowered(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

bool IsJunkFileName(std::string_view name) {
    const std::string lowered = AsciiLowered(name);
    return lowered == ".ds_store" || lowered == "thumbs.db" || lowered == "desktop.ini" ||
           (name.starts_with("._") && name.size() > 2);
}

const char* ImageFormatOf(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xD8\xFF")) {
        return "JPEG";
    }
    if (bytes.starts_with("\x89PNG\r\n\x1A\n")) {
        return "PNG";
    }
    if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) {
        return "GIF";
    }
    if (bytes.starts_with(std::string_view("II*\0", 4)) || bytes.starts_with(std::string_view("MM\0*", 4))) {
        return "TIFF";
    }
    return bytes.starts_with("BM") ? "BMP" : nullptr;
}

std::string UnportableNameReason(std::string_view name) {
    for (size_t i = 0; i < name.size();) {
        const size_t length = Utf8SequenceLength(name, i);
        if (length == 0) {
            return "not valid UTF-8";
        }
        i += length;
    }
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return "a control character";
        }
        if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
            return std::string("the character ") + c;
        }
    }
    if (name.ends_with('.') && name != "." && name != "..") {
        return "a trailing dot";
    }
    if (name.ends_with(' ')) {
        return "a trailing space";
    }
    return IsReservedDeviceName(name) ? "a reserved device name" : "";
}

const char* PackageRuleHeader(Rule rule) {
    switch (rule) {
        case Rule::UnportableName:
            return "These names cannot be created on Windows, or break when unpacked:\r\n";
        case Rule::NonAsciiName:
            return "These names hold characters outside ASCII (zip tools and Poser on Windows read them in "
                   "different code pages):\r\n";
        case Rule::EmptyFile:
            return "These files are empty (zero bytes):\r\n";
        case Rule::MissingThumbnail:
            return "These library files have no PNG thumbnail of the same name beside them:\r\n";
        case Rule::ThumbnailSize:
            return "These thumbnails are not PNG images of 91 x 91 pixels:\r\n";
        case Rule::ImageMismatch:
            return "These images hold another format than their extension says, or no image at all:\r\n";
        case Rule::NoReadme:
            return "This package holds no readme (.txt, .pdf, .rtf or .htm at the top or below Runtime):\r\n";
        default:
            return nullptr;
    }
}

CPackageRules::CPackageRules(const PackageRulesInput& input) : m_in(input) {
    // The PNGs of the package by their lowered paths: a library file's thumbnail, in any letter case.
    std::unordered_map<std::string, const std::string*> pngs;
    for (const std::string& file : m_in.files) {
        if (AsciiLowered(SplitPath(file).extension) == ".png") {
            pngs.emplace(AsciiLowered(file), &file);
        }
    }
    std::unordered_set<const std::string*> thumbnails;
    std::vector<Role> roles(m_in.files.size(), Role::Texture);
    std::vector<bool> judged(m_in.files.size(), false);
    for (size_t i = 0; i < m_in.files.size(); ++i) {
        const std::string& file = m_in.files[i];
        const std::string_view name = LastComponent(file);
        if (file.find(kMacFolder) != std::string::npos || IsJunkFileName(name) ||
            !UnportableNameReason(name).empty()) {
            continue;  // reported for its name; what it holds does not matter
        }
        const std::string below = FirstComponentBelow(file, m_in.runtime);
        if (m_in.isLibrary(file)) {
            // Its read for references tells whether it is empty.
            if (below == "libraries") {
                const PathParts parts = SplitPath(file);
                const std::string png =
                    AsciiLowered(file.substr(0, file.size() - parts.extension.size())) + ".png";
                const auto found = pngs.find(png);
                if (found == pngs.end()) {
                    m_missingThumbnail.push_back(&file);
                } else {
                    thumbnails.insert(found->second);
                }
            }
        } else if (FormatOfExtension(name) != nullptr && file.starts_with(m_in.runtime) &&
                   !m_in.runtime.empty()) {
            judged[i] = true;  // a texture
        } else if (below == "geometries") {
            roles[i] = Role::Geometry;
            judged[i] = true;
        }
    }
    std::vector<std::string> heads;
    HeadReadOptions options{.threads = m_in.threads, .listedRegular = {}};
    for (size_t i = 0; i < m_in.files.size(); ++i) {
        if (judged[i]) {
            const std::string& file = m_in.files[i];
            m_judged.push_back({&file, thumbnails.count(&file) != 0 ? Role::Thumbnail : roles[i]});
            heads.push_back(file);
            options.listedRegular.push_back(i < m_in.listedRegular.size() && m_in.listedRegular[i]);
        }
    }
    m_heads = m_in.tree.ReadHeads(std::move(heads), kHeadBytes, std::move(options));
}

CPackageRules::~CPackageRules() = default;

size_t CPackageRules::FoldedHash::operator()(const FoldedName& key) const {
    size_t hash = std::hash<std::string_view>()(key.path.substr(0, key.nameAt));
    for (char c : key.path.substr(key.nameAt)) {
        hash = hash * 131 + static_cast<unsigned char>(AsciiLower(c));
    }
    return hash;
}

bool CPackageRules::FoldedEqual::operator()(const FoldedName& a, const FoldedName& b) const {
    return a.nameAt == b.nameAt && a.path.size() == b.path.size() &&
           a.path.substr(0, a.nameAt) == b.path.substr(0, b.nameAt) &&
           EqualsIgnoringAsciiCase(a.path.substr(a.nameAt), b.path.substr(b.nameAt));
}

// Judges one name; false when what it names is clutter, and nothing below it is judged.
bool CPackageRules::JudgeName(const std::string& path, size_t nameAt, bool isFile, NameState& state,
                              Findings& out) const {
    const std::string_view name = std::string_view(path).substr(nameAt);
    const bool folder = m_in.tree.ArchiveFile().empty();  // an archive reports clutter from its entries
    if (name == kMacFolder || (isFile && IsJunkFileName(name))) {
        if (folder) {
            Add(out, Rule::JunkEntry, path);
        }
        return false;
    }
    if (std::string reason = UnportableNameReason(name); !reason.empty()) {
        Add(out, Rule::UnportableName, path, std::move(reason));
    } else if (std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; })) {
        Add(out, Rule::NonAsciiName, path);
    }
    if (folder) {
        auto [at, added] = state.byFoldedName.try_emplace({path, nameAt}, path);
        if (!added && at->second != path) {
            // The later of the two in byte order is reported, against the earlier.
            const std::string earlier(at->second);
            const bool newer = path > earlier;
            Add(out, Rule::CaseCollision, newer ? path : earlier, newer ? earlier : path);
            at->second = std::min(at->second, std::string_view(path));
        }
    }
    return true;
}

// Each name below the walked folder once: every file's, and every folder's on the way to it (the
// folders of a file in the same folder as the one before are judged already).
void CPackageRules::AddNameFindings(Findings& out) const {
    NameState state;
    std::string lastFolder;
    bool lastSkipped = false;  // the last folder is clutter, or below it
    for (const std::string& file : m_in.files) {
        if (file.size() <= m_in.walked.size() || !file.starts_with(m_in.walked)) {
            continue;
        }
        const size_t nameAt = file.size() - LastComponent(file).size();
        if (std::string_view(file).substr(0, nameAt) == lastFolder) {
            if (!lastSkipped) {
                JudgeName(file, nameAt, true, state, out);
            }
            continue;
        }
        lastFolder = file.substr(0, nameAt);
        lastSkipped = false;
        for (size_t begin = m_in.walked.size(); begin < nameAt && !lastSkipped;) {
            size_t end = begin;
            while (!IsSeparator(file[end])) {
                ++end;
            }
            const bool macFolder = std::string_view(file).substr(begin, end - begin) == kMacFolder;
            if (auto [folder, added] = state.seen.insert(file.substr(0, end)); added) {
                lastSkipped = !JudgeName(*folder, begin, false, state, out);
            } else {
                lastSkipped = macFolder;
            }
            begin = end + 1;
        }
        if (!lastSkipped) {
            JudgeName(file, nameAt, true, state, out);
        }
    }
}

void CPackageRules::AddThumbnailAndReadme(Findings& out) const {
    for (const std::string* file : m_missingThumbnail) {
        Add(out, Rule::MissingThumbnail, *file);
    }
    // A readme is looked for where the walk saw the package's top level and its Runtime.
    if (m_in.runtime.empty() || m_in.walked != m_in.root) {
        return;
    }
    const bool found = std::any_of(m_in.files.begin(), m_in.files.end(), [&](const std::string& file) {
        const std::string_view name = LastComponent(file);
        const bool top = file.size() == m_in.root.size() + name.size() && file.starts_with(m_in.root);
        return (top || file.starts_with(m_in.runtime)) && IsReadmeName(name);
    });
    if (!found) {
        std::string package = m_in.root;
        while (package.size() > 1 && IsSeparator(package.back())) {
            package.pop_back();
        }
        Add(out, Rule::NoReadme, std::move(package));
    }
}

void CPackageRules::AddFindings(Findings& out) {
    AddNameFindings(out);
    AddThumbnailAndReadme(out);
    for (size_t i = 0; i < m_judged.size(); ++i) {
        const FileHead head = m_heads->Take(i);
        const Judged& judged = m_judged[i];
        if (!head.read) {
            continue;  // a file that would not open is no image and no content to judge
        }
        const std::string& file = *judged.file;
        if (judged.role == Role::Thumbnail) {
            if (std::string problem = ThumbnailProblem(head.bytes); !problem.empty()) {
                Add(out, Rule::ThumbnailSize, file, std::move(problem));
            }
        } else if (head.bytes.empty()) {
            Add(out, Rule::EmptyFile, file);
        } else if (judged.role == Role::Texture) {
            const char* format = ImageFormatOf(head.bytes);
            if (format == nullptr || std::string_view(format) != FormatOfExtension(file)) {
                Add(out, Rule::ImageMismatch, file, format ? format : "not an image");
            }
        }
    }
}

}  // namespace veltrane
