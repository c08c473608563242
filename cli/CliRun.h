#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checks/FileListBuilder.h"
#include "checks/FileNameLengthCheck.h"
#include "checks/Finding.h"
#include "checks/PackageCheck.h"
#include "checks/PathCheck.h"
#include "checks/ReferenceFix.h"
#include "checks/ToolTexts.h"
#include "checks/VersionCheck.h"
#include "cli/ProgressLine.h"
#include "fs/run/RunContext.h"

namespace veltrane::cli {

// Exit statuses of veltrane-cli.
inline constexpr int kExitClean = 0;      // finished, nothing to report
inline constexpr int kExitFindings = 1;   // finished, reported problems (or an empty list)
inline constexpr int kExitUsage = 2;      // usage error, or stopped at an error box before checking
inline constexpr int kExitFileError = 3;  // a fix or a save failed
inline constexpr int kExitCancelled = 130;

// How many SIGINTs the process has received since InstallInterruptHandler.
int InterruptCount();

// The context the command-line tool runs the checks with: SIGINT is the Escape key, counters go
// nowhere, notices are recorded (and printed by the caller), questions are answered from
// m_answerQuestionsOk.
class CliContext : public RunContext {
public:
    bool PollEscape() override;
    // A poll only looks at the flag the signal sets: polls in a row are one look.
    uint64_t PollEscapeRun(uint64_t count) override { return count > 0 && PollEscape() ? 1 : 0; }
    void ItemCounted(int32_t total) override;
    void FilesRead(uint64_t done, uint64_t total) override;

    bool m_answerQuestionsOk = false;  // "Files to Fix" gets OK with --fix
    bool m_showProgress = false;       // live count on a terminal's stderr

    // A SIGINT came since this context was made. A user who pressed Ctrl-C means "touch nothing":
    // a question is then answered Cancel whatever m_answerQuestionsOk says.
    bool Interrupted() const;
    bool m_declinedAfterInterrupt = false;  // a question was answered Cancel for that reason

    // Clears the live count line, if one was drawn, so that the results start on a clean line.
    void EndProgressLine();

private:
    int m_interruptsAtStart = InterruptCount();
    CProgressLine m_progress{stderr, true};

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override;
};

// Everything one subcommand run produced, ready for the plain or the JSON printer.
struct CliRun {
    std::string tool;                 // "names", "paths", "versions", "list"
    std::optional<std::string> mode;  // "this-folder", "entire-directory", "file", "folder" or none
    std::string path;                 // PATH as given
    int32_t counters[2] = {0, 0};     // the page's two counter boxes, in box order
    std::string counterLabels[2];     // as the page labels them, e.g. "Files checked: ", "Problem files:"
    std::string report;               // the exact results-box text
    std::vector<Notice> notices;      // every box raised, in order
    bool cancelled = false;
    std::optional<std::string> saved;  // file written by list --output
    std::optional<Findings> findings;  // the run's findings, for the tools that report them
    // package without a fix: its findings, from which its report and findings are made as they are
    // printed (findings and report then stay empty)
    std::shared_ptr<const KeptFindings> kept;
    std::optional<ListEntries> entries;  // list: the files in list order
    bool listToStdout = false;           // list --output -: stdout carries the list byte for byte
    bool stoppedBeforeChecking = false;  // an error box ended the run before anything was checked
    std::vector<CliRun> parts;           // check: the runs of names, paths, versions and package
    int status = kExitClean;
};

// Makes SIGINT the Escape key: the first request is reported once by CliContext::PollEscape, a
// second SIGINT ends the program with status 130, and SIGTERM and SIGHUP end it with 128 + the
// signal's number; an end that comes while a file stands between the two renames of the fix waits
// until that file is complete. SIGPIPE is left as it is.
void InstallInterruptHandler();

// A run of tool on path, with the page's mode name and counter labels filled in.
CliRun StartRun(const char* tool, std::optional<std::string> mode, const std::string& path,
                const ToolTexts& texts);

// A tool's result as the command line prints it (the subcommands below, and check for each part).
CliRun NamesRun(const std::string& path, bool recursive, FileNameCheckResult result);
CliRun PathsRun(const std::string& path, bool fileMode, PathCheckRun check);
CliRun VersionsRun(const std::string& path, bool fileMode, VersionRunResult result,
                   std::vector<Notice> notices, bool declinedAfterInterrupt, bool fix);
// fix: what the reference fix did after the check, when it ran.
CliRun PackageRun(const std::string& path, PackageCheckRun check, const ReferenceFixRun* fix = nullptr);

// --fix, --dry-run and --json as package and check take them.
struct FixOptions {
    bool fix = false;
    bool dryRun = false;  // plan only: the diff goes after the plain report; nothing is written
    bool json = false;
};

// package --fix (and check --fix, after the version fix): the reference fix on a finished check, its
// boxes added to the check's notices; nothing when no fix was asked for or the check did not finish.
std::optional<ReferenceFixRun> FixPackageReferences(PackageCheckRun& check, const std::string& path,
                                                    const FixOptions& options, CliContext& ctx,
                                                    const std::map<std::string, std::string>& leaveAlone);

// The subcommands; each runs exactly the logic of its page's action button.
CliRun RunNamesCommand(const std::string& path, bool recursive, CliContext& ctx);
CliRun RunListCommand(const std::string& path, const std::optional<std::string>& output, CliContext& ctx);
CliRun RunPathsCommand(const std::string& path, bool fileMode, CliContext& ctx);
CliRun RunVersionsCommand(const std::string& path, bool fileMode, bool fix, CliContext& ctx);
CliRun RunPackageCommand(const std::string& path, const std::vector<std::string>& runtimes,
                         const FixOptions& options, CliContext& ctx);
// names (entire directory), paths (folder), versions (folder; --fix answers its question) and package
// on one path, in one walk of the tree and one read of each file.
CliRun RunCheckCommand(const std::string& path, const std::vector<std::string>& runtimes,
                       const FixOptions& options, CliContext& ctx);

}  // namespace veltrane::cli
