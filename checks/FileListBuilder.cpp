#include "checks/FileListBuilder.h"

#include <algorithm>

#include "checks/UnreadableFolders.h"
#include "fs/tree/PackageTree.h"
#include "fs/walk/FileRecordArray.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

constexpr const char* kTitle = "Veltrane";
constexpr const char* kFolderEmpty = "Selected folder was empty!";
constexpr const char* kNothingToSave = "Can't output a file, there are no files to list!";

// Length of the folder part of path (drive and directory, with the trailing separator).
size_t FolderPartLength(std::string_view path, PathStyle style) {
    const size_t last = path.find_last_of(style == PathStyle::Windows ? "\\/" : "/");
    if (last != std::string_view::npos) {
        return last + 1;
    }
    return SplitPath(path, style).drive.size();  // "C:name": the drive alone
}

std::vector<Notice> NoticesSince(const RunContext& ctx, size_t before) {
    return std::vector<Notice>(ctx.Notices().begin() + static_cast<std::ptrdiff_t>(before),
                               ctx.Notices().end());
}

}  // namespace

std::string ListBasePrefix(std::string_view scanFolder, PathStyle style) {
    std::string_view rest = scanFolder;
    while (!rest.empty() && IsSeparator(rest.back(), style)) {
        rest.remove_suffix(1);
    }
    for (size_t i = rest.size(); i > 0; --i) {
        if (IsSeparator(rest[i - 1], style)) {
            return std::string(rest.substr(0, i - 1));
        }
    }
    return std::string();  // "C:\" became "C:", "/" became "": a root has no prefix
}

FileListText BuildListText(const std::vector<CFileRecord>& records, std::string_view basePrefix,
                           PathStyle style) {
    FileListText list;
    list.entries.reserve(records.size());
    std::string_view previousFolder;
    bool first = true;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const std::string_view path = it->m_path;
        const size_t folderLength = FolderPartLength(path, style);
        const std::string_view folder = path.substr(0, folderLength);
        const std::string_view name = path.substr(folderLength);
        if (first || folder != previousFolder) {
            ++list.groups;
            previousFolder = folder;
            if (!first) {
                list.text += "\r\n\r\n";
            }
            first = false;
            list.text += "..";
            list.text.append(folder.substr(std::min(basePrefix.size(), folder.size())));
        }
        list.text += "\r\n   ";
        list.text.append(name);
        list.entries.push_back({std::string(folder), std::string(name)});
    }
    return list;
}

FileListResult RunFileListCheck(const std::string& path, RunContext& ctx, CPackageTree* given) {
    FileListResult result;
    const size_t noticesBefore = ctx.Notices().size();
    const std::string folder = WithTrailingSeparator(path);
    result.basePrefix = ListBasePrefix(folder);
    ctx.CountersChanged(0, 0);

    int32_t counter = 0;
    {
        ProgressScope progress(ctx);
        CFileRecordArray records;
        records.SetFillDetails(false);
        if (!path.empty()) {  // an empty path names no folder; it must not become the root
            // An archive is listed as the folder it unpacks to.
            std::unique_ptr<CPackageTree> opened = given ? nullptr : CPackageTree::Open(path);
            records.ScanFolder(folder, {.recurse = true,
                                        .order = InsertOrder::FolderGrouped,
                                        .counter = &counter,
                                        .ctx = &ctx,
                                        .tree = given ? given : opened.get()});
        }
        result.cancelled = records.IsCancelled();
        result.unreadableFolders = records.UnreadableFolders();
        progress.Close();
        FileListText list = BuildListText(records.Records(), result.basePrefix);
        result.listText = std::move(list.text);
        result.foldersScanned = list.groups;
        result.entries = std::move(list.entries);
    }
    result.filesListed = counter;
    ctx.CountersChanged(result.foldersScanned, result.filesListed);

    if (result.listText.empty()) {
        ctx.Notify(NoticeKind::None, kTitle, kFolderEmpty);
    } else {
        result.saveEnabled = true;
    }
    AddUnreadableFolders(result.findings, result.unreadableFolders);
    NotifyUnreadableFolders(ctx, result.unreadableFolders);
    result.notices = NoticesSince(ctx, noticesBefore);
    return result;
}

bool SaveFileList(const std::string& path, std::string_view text, std::error_code& ec) {
    return WriteFileAtomically(path, text, ec);
}

FileListSaveResult SaveFileListWithNotices(const std::string& path, std::string_view text, RunContext& ctx) {
    FileListSaveResult result;
    const size_t noticesBefore = ctx.Notices().size();
    if (text.empty()) {
        ctx.Notify(NoticeKind::None, kTitle, kNothingToSave);
    } else {
        std::error_code ec;
        if (SaveFileList(path, text, ec)) {
            result.saved = true;
        } else {
            ctx.Notify(NoticeKind::Error, kTitle, FileErrorText(ec, path));
            result.saveEnabled = true;  // the user can try another file name
        }
    }
    result.notices = NoticesSince(ctx, noticesBefore);
    return result;
}

}  // namespace veltrane
