#include "checks/UnreadableFolders.h"

namespace veltrane {

std::string UnreadableFoldersSection(const std::vector<UnreadableFolder>& folders) {
    if (folders.empty()) {
        return {};
    }
    std::string section = kUnreadableFoldersHeader;
    for (const UnreadableFolder& folder : folders) {
        section += folder.path;
        section += "\r\n";
    }
    return section + "\r\n";
}

void NotifyUnreadableFolders(RunContext& ctx, const std::vector<UnreadableFolder>& folders) {
    if (folders.empty()) {
        return;
    }
    std::string text = kUnreadableFoldersHeader;
    for (size_t i = 0; i < folders.size(); ++i) {
        text += (i == 0 ? "" : "\r\n") + folders[i].path;
    }
    ctx.Notify(NoticeKind::Warning, "Veltrane", text);
}

void AddUnreadableFolders(Findings& findings, const std::vector<UnreadableFolder>& folders) {
    for (const UnreadableFolder& folder : folders) {
        Finding& finding = findings.emplace_back();
        finding.rule = Rule::UnreadableFolder;
        finding.path = folder.path;
        finding.error = folder.error;
    }
}

}  // namespace veltrane
