#include "checks/FileRewrite.h"

#include "fs/text/Ascii.h"
#include "fs/write/FileOps.h"

namespace veltrane {

namespace {

constexpr std::string_view kBackupExtension = ".old";

std::string NotFixed(const std::string& path, const std::string& cause) {
    return path + " was not fixed: " + cause;
}

// Where the original's content is when it is not simply back under its own name.
std::string WhereNow(const std::string& path, const std::string& backup, OriginalAt at) {
    switch (at) {
        case OriginalAt::Backup:
            return "its content is now in " + backup + ".";
        case OriginalAt::Both:
            return "its content is now under both names, " + path + " and " + backup + ".";
        case OriginalAt::Neither:
            return "its content is under neither " + path + " nor " + backup + ".";
        case OriginalAt::Path:
            break;
    }
    return {};
}

std::string FailureText(const std::string& path, const std::string& backup, const ReplaceOutcome& outcome) {
    const std::string where = WhereNow(path, backup, outcome.originalAt);
    switch (outcome.failure) {
        case ReplaceFailure::ReadOriginal:
            return FileErrorText(outcome.ec, path) + "\r\n" + NotFixed(path, "it could not be read.");
        case ReplaceFailure::WriteCopy:
            return FileErrorText(outcome.ec, path) + "\r\n" +
                   NotFixed(path, "its fixed copy could not be written in its folder.");
        case ReplaceFailure::CopyReplaced:
            return NotFixed(path,
                            "its temporary copy was replaced or removed by someone else while it was being "
                            "written; nothing was changed.");
        case ReplaceFailure::BackupTaken:
            return FileErrorText(outcome.ec, backup) + "\r\n" +
                   NotFixed(path, "its backup name " + backup + " is already taken.");
        case ReplaceFailure::BackupFailed:
            return FileErrorText(outcome.ec, path) + "\r\n" +
                   NotFixed(path, "its backup " + backup + " could not be made" +
                                      (where.empty() ? "." : "; " + where));
        case ReplaceFailure::ChangedMeanwhile:
            return NotFixed(path, "it was changed by another program while it was being fixed; " +
                                      (where.empty() ? "the changed file keeps its name." : where));
        case ReplaceFailure::PlaceCopy:
            if (!where.empty()) {
                return FileErrorText(outcome.ec, path) + "\r\n" +
                       NotFixed(path, "the fixed copy could not take its name, and " + where);
            }
            return FileErrorText(outcome.ec, path) + "\r\n" +
                   NotFixed(path, "the fixed copy could not take its name; the file was put back as it was.");
        case ReplaceFailure::Stopped:
            return NotFixed(path, "the fix was stopped.");
        case ReplaceFailure::None:
            break;
    }
    return NotFixed(path, "an unknown error occurred.");
}

}  // namespace

std::string BackupNameFor(const std::string& path, PathStyle style) {
    PathParts parts = SplitPath(path, style);
    if (parts.extension.empty() || EqualsIgnoringAsciiCase(parts.extension, kBackupExtension)) {
        return {};
    }
    return std::string(parts.drive) + std::string(parts.directory) + std::string(parts.baseName) +
           std::string(kBackupExtension);
}

bool OutputBuffer::Append(std::string_view bytes, std::error_code& ec) {
    if (m_data.size() + bytes.size() > kSize) {
        if (!Flush(ec)) {
            return false;
        }
        if (bytes.size() >= kSize) {
            return m_out.Write(bytes, ec);
        }
    }
    m_data.append(bytes);
    return true;
}

bool OutputBuffer::Flush(std::error_code& ec) {
    if (m_data.empty()) {
        return true;
    }
    bool ok = m_out.Write(m_data, ec);
    m_data.clear();
    return ok;
}

RewriteOutcome RewriteKeepingBackup(const std::string& path, bool throughLink, bool followLink,
                                    const ContentTransform& transform, const ReplaceHooks& hooks,
                                    std::set<std::string>& sweptFolders, FixFailure& failure) {
    failure = FixFailure{path, {}, false};
    // A file the scan reached through a link (or that is one) is another's file as far as the fix
    // knows: it is read, never rewritten.
    if (throughLink) {
        failure.text = NotFixed(path, "it was reached through a link, and links are never written through.");
        return RewriteOutcome::Skipped;
    }
    // A link the user named leads to the file to fix, which gets its backup beside it; a link found
    // by the scan is never followed (the fix refuses it).
    std::string target = path;
    ReplaceOutcome outcome;
    if (followLink && !FollowLinks(target, outcome.ec)) {
        outcome.failure = ReplaceFailure::ReadOriginal;
        failure.text = FailureText(path, BackupNameFor(path), outcome);
        failure.stoppedFix = true;
        return RewriteOutcome::Failed;
    }
    const std::string backup = BackupNameFor(target);
    if (backup.empty()) {
        failure.text = NotFixed(path, SplitPath(target).extension.empty()
                                          ? "its name has no extension, so it has no backup name."
                                          : "its name already ends in \".old\", the extension of backups.");
        return RewriteOutcome::Skipped;
    }
    const PathParts parts = SplitPath(target);
    if (const std::string folder = std::string(parts.drive) + std::string(parts.directory);
        sweptFolders.insert(folder).second) {
        RemoveWriteLeftovers(folder);
    }
    if (!ReplaceKeepingBackup(target, backup, transform, outcome, hooks)) {
        failure.text = FailureText(path, backup, outcome);
        failure.stoppedFix = true;
        return RewriteOutcome::Failed;
    }
    return RewriteOutcome::Written;
}

}  // namespace veltrane
