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

// A run of records, read from the last to the first, that share one folder part.
struct ListGroup {
    std::string_view folder;
    size_t count = 0;
};

// The groups of records read from the last to the first, and the bytes of all their names.
std::vector<ListGroup> GroupsOf(const std::vector<CFileRecord>& records, PathStyle style, size_t& nameBytes) {
    std::vector<ListGroup> groups;
    nameBytes = 0;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const std::string_view path = it->m_path;
        const std::string_view folder = path.substr(0, FolderPartLength(path, style));
        if (groups.empty() || folder != groups.back().folder) {
            groups.push_back({folder, 0});
        }
        ++groups.back().count;
        nameBytes += path.size() - folder.size();
    }
    return groups;
}

// Appends text to block, which has room for it, and returns where it now stands there.
std::string_view Append(std::string& block, std::string_view text) {
    const size_t at = block.size();
    block.append(text);
    return std::string_view(block).substr(at, text.size());
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
    size_t nameBytes = 0;
    const std::vector<ListGroup> groups = GroupsOf(records, style, nameBytes);
    size_t folderBytes = 0;
    size_t textBytes = nameBytes + 5 * records.size();  // "\r\n   " before each name
    for (const ListGroup& group : groups) {
        folderBytes += group.folder.size();
        textBytes += 6 + group.folder.size();  // "\r\n\r\n" and ".." with the folder: an upper bound
    }
    FileListText list;
    list.groups = static_cast<int32_t>(groups.size());
    list.text.reserve(textBytes);
    // Reserved in full, the block never moves while it fills, so the entries can view it at once.
    auto block = std::make_shared<std::string>();
    block->reserve(folderBytes + nameBytes);
    std::vector<ListEntry> entries;
    entries.reserve(records.size());
    auto record = records.rbegin();
    for (const ListGroup& group : groups) {
        if (!list.text.empty()) {
            list.text += "\r\n\r\n";
        }
        list.text += "..";
        list.text.append(group.folder.substr(std::min(basePrefix.size(), group.folder.size())));
        const std::string_view folder = Append(*block, group.folder);
        for (size_t i = 0; i < group.count; ++i, ++record) {
            const std::string_view name = std::string_view(record->m_path).substr(group.folder.size());
            list.text += "\r\n   ";
            list.text.append(name);
            entries.push_back({folder, Append(*block, name)});
        }
    }
    list.entries = ListEntries(std::move(block), std::move(entries));
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
