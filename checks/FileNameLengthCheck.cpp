#include "checks/FileNameLengthCheck.h"

#include "checks/UnreadableFolders.h"
#include "fs/tree/PackageTree.h"
#include "fs/walk/FileRecordArray.h"

namespace veltrane {

namespace {

constexpr const char* kTitle = "Veltrane";
constexpr const char* kNoSuchPath =
    "Path specified does not exist or points to an nonexistant file.\r\nPlease make sure you enter a valid "
    "path.  ";
constexpr const char* kNotAFolder =
    "Path specified does not point to a folder, will check only file specified by current path.";
constexpr const char* kNoFilesFound = "No files found in path,\nchecking the folder's name instead.";
constexpr const char* kNoProblems = "No Problems found!";

void AddLongName(Findings& findings, std::string path, size_t length) {
    Finding& finding = findings.emplace_back();
    finding.rule = Rule::LongName;
    finding.path = std::move(path);
    finding.length = static_cast<uint32_t>(length);
}

}  // namespace

std::string LongNameLine(std::string_view name, size_t length, bool isFolder) {
    std::string line = isFolder ? "The folder '" : "The file '";
    line.append(name);
    line += "' has ";
    line += std::to_string(length);
    line += " characters in its name.";
    return line;
}

std::string_view FolderOwnName(std::string_view folder, PathStyle style) {
    std::string_view name = LastComponent(folder, style);
    std::string_view trimmed = name;
    while (!trimmed.empty() && IsSeparator(trimmed.back(), style)) {
        trimmed.remove_suffix(1);
    }
    if (trimmed.empty()) {
        return name;  // "/" or "\": the root itself
    }
    if (style == PathStyle::Windows && trimmed.size() == 2 && trimmed[1] == ':' &&
        name.data() == folder.data()) {
        return name;  // "C:\": a drive root is measured whole
    }
    return trimmed;
}

namespace {

// A single file: its own name is the only thing to measure.
void MeasureFileName(const std::string& path, RunContext& ctx, FileNameCheckResult& result) {
    ctx.Notify(NoticeKind::Information, kTitle, kNotAFolder);
    const std::string_view name = LastComponent(path);
    const size_t length = CharacterCount(name);
    if (length >= kLongNameThreshold) {
        result.itemsChecked = 1;
        result.problemsFound = 1;
        result.report = LongNameLine(name, length, false);
        AddLongName(result.findings, path, length);
    } else {
        result.report = kNoProblems;
    }
    result.refreshCounters = true;
}

// The names below the folder, in record order; the folder's own name when it holds nothing.
void MeasureFolder(const std::string& path, NameCheckMode mode, RunContext& ctx, CPackageTree& tree,
                   FileNameCheckResult& result) {
    ProgressScope progress(ctx);
    const std::string folder = WithTrailingSeparator(path);
    int32_t counter = 0;
    {
        CFileRecordArray records;
        records.SetFillDetails(false);
        records.ScanFolder(folder, {.recurse = mode == NameCheckMode::EntireDirectory,
                                    .listFolders = true,
                                    .counter = &counter,
                                    .ctx = &ctx,
                                    .tree = &tree});
        result.cancelled = records.IsCancelled();
        result.unreadableFolders = records.UnreadableFolders();

        if (counter == 0) {
            // Nothing inside (or Escape before the first entry): measure the folder's own name.
            ctx.Notify(NoticeKind::Error, kTitle, kNoFilesFound);
            const std::string_view name = FolderOwnName(folder);
            const size_t length = CharacterCount(name);
            if (length >= kLongNameThreshold) {
                result.problemsFound = 1;
                result.report = LongNameLine(name, length, true);
                AddLongName(result.findings, path, length);
            }
        } else {
            result.itemsChecked = counter;
            ctx.CountersChanged(result.itemsChecked, 0);
            // The page walks the records backwards and puts each line in front of the report, so the
            // report lists them in record order; build it forwards instead of prepending.
            for (const CFileRecord& record : records.Records()) {
                const std::string name = record.GetNamePart();
                const size_t length = CharacterCount(name);
                if (length >= kLongNameThreshold) {
                    result.report += LongNameLine(name, length, record.IsFolder());
                    result.report += "\r\n";
                    ++result.problemsFound;
                    AddLongName(result.findings, record.m_path, length);
                }
            }
        }
    }
    progress.Close();
    if (result.problemsFound == 0) {
        result.report = kNoProblems;
    }
    result.refreshCounters = true;
    AddUnreadableFolders(result.findings, result.unreadableFolders);
    NotifyUnreadableFolders(ctx, result.unreadableFolders);
}

}  // namespace

FileNameCheckResult RunFileNameCheck(const std::string& path, NameCheckMode mode, RunContext& ctx,
                                     CPackageTree* given) {
    FileNameCheckResult result;
    const size_t noticesBefore = ctx.Notices().size();
    // An archive, and a folder inside one, is checked as the folder it unpacks to.
    std::unique_ptr<CPackageTree> opened = given ? nullptr : CPackageTree::Open(path);
    CPackageTree& tree = given ? *given : *opened;
    const CPackageTree::Kind kind = tree.KindOf(path);
    if (kind == CPackageTree::Kind::None || kind == CPackageTree::Kind::BrokenLink) {
        ctx.Notify(NoticeKind::Error, kTitle, kNoSuchPath);
        result.disableCheckButton = true;
    } else if (kind == CPackageTree::Kind::File) {
        MeasureFileName(path, ctx, result);
    } else {
        MeasureFolder(path, mode, ctx, tree, result);
    }
    result.notices.assign(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(noticesBefore),
                          ctx.Notices().end());
    if (result.refreshCounters) {
        ctx.CountersChanged(result.itemsChecked, result.problemsFound);
    }
    return result;
}

}  // namespace veltrane
