#include "checks/UnreadableFolders.h"

namespace veltrane {

namespace {

// The folders of one kind (links out of the package, or folders that could not be read), one per
// line ("link -> target" for a link), each line ending in end.
std::string Lines(const std::vector<UnreadableFolder>& folders, bool links, const char* end) {
    std::string lines;
    for (const UnreadableFolder& folder : folders) {
        if (folder.linkTarget.empty() == links) {
            continue;
        }
        lines += folder.path;
        lines += links ? " -> " + folder.linkTarget : "";
        lines += end;
    }
    return lines;
}

}  // namespace

std::string UnreadableFoldersSection(const std::vector<UnreadableFolder>& folders) {
    std::string section;
    for (bool links : {false, true}) {
        const std::string lines = Lines(folders, links, "\r\n");
        if (!lines.empty()) {
            section += links ? kLinksOutsideHeader : kUnreadableFoldersHeader;
            section += lines + "\r\n";
        }
    }
    return section;
}

void NotifyUnreadableFolders(RunContext& ctx, const std::vector<UnreadableFolder>& folders) {
    std::string text;
    for (bool links : {false, true}) {
        std::string lines = Lines(folders, links, "\r\n");
        if (!lines.empty()) {
            lines.resize(lines.size() - 2);
            text += (text.empty() ? "" : "\r\n\r\n") +
                    std::string(links ? kLinksOutsideHeader : kUnreadableFoldersHeader);
            text += lines;
        }
    }
    if (!text.empty()) {
        ctx.Notify(NoticeKind::Warning, "Veltrane", text);
    }
}

void AddUnreadableFolders(Findings& findings, const std::vector<UnreadableFolder>& folders) {
    for (const UnreadableFolder& folder : folders) {
        Finding& finding = findings.emplace_back();
        finding.rule = folder.linkTarget.empty() ? Rule::UnreadableFolder : Rule::LinkOutside;
        finding.path = folder.path;
        finding.error = folder.error;
        finding.value = folder.linkTarget;
    }
}

}  // namespace veltrane
