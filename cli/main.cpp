// veltrane-cli: the five tools of Veltrane, and check, which runs four of them at once, from a terminal.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "checks/ReportHtml.h"
#include "cli/CliOutput.h"
#include "cli/CliRun.h"
#include "cli/Completions.h"
#include "fs/text/PathParts.h"
#include "fs/tree/PackageTree.h"
#include "fs/write/FileOps.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define VELTRANE_ISATTY _isatty
#define VELTRANE_FILENO _fileno
#else
#include <unistd.h>
#define VELTRANE_ISATTY isatty
#define VELTRANE_FILENO fileno
#endif

#ifndef VELTRANE_VERSION
#define VELTRANE_VERSION "unknown"
#endif

namespace veltrane::cli {
namespace {

// Writes text and flushes it. False, with errno telling why, when not all of it got out.
bool Write(std::FILE* stream, const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
        if (errno == 0) {
            errno = EIO;
        }
        return false;
    }
    return true;
}

// --file when neither flag is given and PATH names an existing entry that is not a folder. An
// archive counts as a folder; an entry inside one is a file when it is one.
bool ResolveFileMode(const std::string& path, bool file, bool folder) {
    if (file || folder) {
        return file;
    }
    return CPackageTree::Open(path)->KindOf(path) == CPackageTree::Kind::File;
}

constexpr const char* kExitStatuses =
    "Exit status: 0 nothing to report; 1 problems reported (or an empty list); 2 usage error, or the run\n"
    "stopped at an error before checking; 3 a fix or a save failed; 130 cancelled with Ctrl-C (partial\n"
    "results printed). With several PATHs, the highest status of their runs.";
constexpr const char* kModeRule =
    "Without --file or --folder, --file is used when PATH names an existing file, else --folder.";

std::string Footer(const std::string& extra, const std::string& example) {
    std::string footer;
    if (!extra.empty()) {
        footer += extra + "\n";
    }
    footer += kExitStatuses;
    footer += "\nExample: " + example;
    return footer;
}

// Levenshtein distance between two short words.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The first word that is not an option, when it names no subcommand: the nearest name to suggest.
std::optional<std::string> UnknownSubcommand(int argc, char** argv, const std::vector<std::string>& names,
                                             std::string& nearest) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.starts_with("-")) {
            continue;
        }
        if (std::find(names.begin(), names.end(), arg) != names.end()) {
            return std::nullopt;
        }
        nearest =
            *std::min_element(names.begin(), names.end(), [&](const std::string& x, const std::string& y) {
                return EditDistance(arg, x) < EditDistance(arg, y);
            });
        return arg;
    }
    return std::nullopt;
}

constexpr const char* kJsonHelp = "Write one JSON object per PATH to stdout (one line each when several)";

// What the command line asked for; the subcommands' options write straight into it.
struct Options {
    std::vector<std::string> pathList;
    bool json = false;
    bool recursive = false;
    bool file = false;
    bool folder = false;
    bool fix = false;
    bool dryRun = false;
    std::optional<std::string> output;
    std::vector<std::string> runtimes;
    unsigned threads = 0;
    std::optional<std::string> html;  // --html FILE
    std::string color = "auto";
    std::string shell;  // completions SHELL
};

struct Subcommands {
    CLI::App* names = nullptr;
    CLI::App* paths = nullptr;
    CLI::App* versions = nullptr;
    CLI::App* list = nullptr;
    CLI::App* package = nullptr;
    CLI::App* check = nullptr;
    CLI::App* completions = nullptr;
};

// Without TZ the C library looks at /etc/localtime again for every time it converts, and the archive
// library converts one for each entry it lists. Naming the same zone once keeps it loaded; the zone
// itself does not change.
void KeepTimeZoneLoaded() {
#ifndef _WIN32
    if (std::getenv("TZ") == nullptr) {
        setenv("TZ", ":/etc/localtime", 0);
    }
#endif
}

void AddPathArgument(CLI::App* sub, Options& opts, const char* what) {
    sub->add_option("PATH", opts.pathList, std::string(what) + "; several are run in turn")
        ->required()
        ->expected(1, -1);
}

void AddThreadsOption(CLI::App* sub, Options& opts) {
    sub->add_option("--threads", opts.threads,
                    "Read files on N threads (1: one after the other; default: the machine's cores, "
                    "at most 8); the results are the same")
        ->type_name("N")
        ->check(CLI::Range(1u, RunContext::kMaxReadThreads));
}

const CompletionChoices kChoices = {{"--color", {"auto", "always", "never"}}};

void AddColorOption(CLI::App* sub, Options& opts) {
    sub->add_option("--color", opts.color,
                    "Colour the plain output: auto (when stdout is a terminal and NO_COLOR is unset), always "
                    "or never")
        ->type_name("WHEN")
        ->check(CLI::IsMember(kChoices.at("--color")));
}

void AddHtmlOption(CLI::App* sub, Options& opts) {
    sub->add_option("--html", opts.html,
                    "Also write a self-contained HTML report to FILE (- is standard output); with several "
                    "PATHs FILE is a folder that gets one PATH-report.html each")
        ->type_name("FILE");
}

void AddRuntimeOption(CLI::App* sub, Options& opts) {
    sub->add_option("--runtime", opts.runtimes, "Also look in this Poser runtime (repeatable)")
        ->type_name("DIR")
        ->allow_extra_args(false);
}

void AddFixOptions(CLI::App* sub, Options& opts, const char* what) {
    CLI::Option* fix = sub->add_flag("--fix", opts.fix, what);
    sub->add_flag("--dry-run", opts.dryRun,
                  "With --fix: print the changes as unified diffs and write nothing")
        ->needs(fix);
}

CLI::App* AddNamesCommand(CLI::App& app, Options& opts) {
    CLI::App* names = app.add_subcommand("names", "Report file and folder names of 32 characters or more.");
    names->add_flag("--recursive", opts.recursive, "Check every level below PATH (\"Entire directory\")");
    names->add_flag("--json", opts.json, kJsonHelp);
    AddColorOption(names, opts);
    AddPathArgument(names, opts, "Folder or file to check");
    names->footer(Footer("Without --recursive only the folder's own entries are checked.",
                         "veltrane-cli names --recursive MyPackage"));
    return names;
}

CLI::App* AddPathsCommand(CLI::App& app, Options& opts) {
    CLI::App* paths = app.add_subcommand("paths", "Report texture paths that will not work on every system.");
    CLI::Option* pathsFile = paths->add_flag("--file", opts.file, "Check the one Poser file PATH");
    CLI::Option* pathsFolder =
        paths->add_flag("--folder", opts.folder, "Check every Poser file below the folder PATH");
    pathsFile->excludes(pathsFolder);
    paths->add_flag("--json", opts.json, kJsonHelp);
    AddThreadsOption(paths, opts);
    AddColorOption(paths, opts);
    AddPathArgument(paths, opts, "Poser file or folder to check");
    paths->footer(Footer(kModeRule, "veltrane-cli paths MyPackage/Runtime/Libraries/Character/Figure.cr2"));
    return paths;
}

CLI::App* AddVersionsCommand(CLI::App& app, Options& opts) {
    CLI::App* versions =
        app.add_subcommand("versions", "Find Poser files that declare a version above 4.0, and fix them.");
    CLI::Option* versionsFile = versions->add_flag("--file", opts.file, "Check the one file PATH");
    CLI::Option* versionsFolder =
        versions->add_flag("--folder", opts.folder, "Check every Poser file below PATH");
    versionsFile->excludes(versionsFolder);
    versions->add_flag("--fix", opts.fix, "Rewrite the flagged files as version 4.0, keeping .old backups");
    versions->add_flag("--json", opts.json, kJsonHelp);
    AddThreadsOption(versions, opts);
    AddColorOption(versions, opts);
    AddPathArgument(versions, opts, "Poser file or folder to check");
    versions->footer(Footer(kModeRule, "veltrane-cli versions --fix MyPackage"));
    return versions;
}

CLI::App* AddListCommand(CLI::App& app, Options& opts) {
    CLI::App* list = app.add_subcommand("list", "Make a packing list of every file below a folder.");
    list->add_option("--output", opts.output, "Save the list to FILE (replacing it); - is standard output")
        ->type_name("FILE");
    list->add_flag("--json", opts.json, kJsonHelp);
    AddColorOption(list, opts);
    AddPathArgument(list, opts, "Folder to list");
    list->footer(Footer("", "veltrane-cli list --output MyPackage.txt MyPackage"));
    return list;
}

CLI::App* AddPackageCommand(CLI::App& app, Options& opts) {
    CLI::App* package = app.add_subcommand(
        "package",
        "Check that a package holds every file its Poser files refer to, with paths that load anywhere.");
    AddRuntimeOption(package, opts);
    AddFixOptions(package, opts,
                  "Rewrite the references that can point at a file the package holds, keeping .old backups");
    package->add_flag("--json", opts.json, kJsonHelp);
    AddHtmlOption(package, opts);
    AddThreadsOption(package, opts);
    AddColorOption(package, opts);
    AddPathArgument(package, opts, "Package folder (holding Runtime) or a Runtime folder");
    package->footer(Footer("", "veltrane-cli package --runtime ~/Poser/Runtime MyPackage"));
    return package;
}

CLI::App* AddCheckCommand(CLI::App& app, Options& opts) {
    CLI::App* check = app.add_subcommand(
        "check", "Run names (entire directory), paths, versions (folder) and package on each PATH at once.");
    AddRuntimeOption(check, opts);
    AddFixOptions(
        check, opts,
        "Fix the files versions flags, as versions --fix does, then the references as package --fix does");
    check->add_flag("--json", opts.json, kJsonHelp);
    AddHtmlOption(check, opts);
    AddThreadsOption(check, opts);
    AddColorOption(check, opts);
    AddPathArgument(check, opts, "Package folder to check");
    check->footer(Footer("The tree is walked once and each Poser file read once.",
                         "veltrane-cli check --json MyPackage"));
    return check;
}

// The subcommands in the order --help lists them.
Subcommands AddSubcommands(CLI::App& app, Options& opts) {
    Subcommands subs;
    subs.names = AddNamesCommand(app, opts);
    subs.paths = AddPathsCommand(app, opts);
    subs.versions = AddVersionsCommand(app, opts);
    subs.list = AddListCommand(app, opts);
    subs.package = AddPackageCommand(app, opts);
    subs.check = AddCheckCommand(app, opts);
    subs.completions = app.add_subcommand("completions", "Print the completion script of a shell.");
    subs.completions->add_option("SHELL", opts.shell, "bash, zsh or fish")
        ->required()
        ->check(CLI::IsMember({"bash", "zsh", "fish"}));
    subs.completions->footer(
        "Example: veltrane-cli completions bash > ~/.local/share/bash-completion/completions/veltrane-cli");
    return subs;
}

// A mistyped subcommand gets a suggestion instead of the parser's own message. True when it did.
bool ReportUnknownSubcommand(CLI::App& app, int argc, char** argv) {
    std::vector<std::string> subcommandNames;
    for (const CLI::App* sub : app.get_subcommands({})) {
        subcommandNames.push_back(sub->get_name());
    }
    std::string nearest;
    const std::optional<std::string> unknown = UnknownSubcommand(argc, argv, subcommandNames, nearest);
    if (!unknown) {
        return false;
    }
    Write(stderr, "veltrane-cli: unknown subcommand '" + *unknown + "'; did you mean '" + nearest +
                      "'? See veltrane-cli --help.\n");
    return true;
}

// The --output combinations that cannot work. True, after saying why, when the options ask for one.
bool ReportOutputConflict(const Options& opts) {
    if (opts.json && opts.output && *opts.output == "-") {
        std::fputs("veltrane-cli: --output - and --json would both write to standard output\n", stderr);
        return true;
    }
    if (opts.output && *opts.output != "-" && opts.pathList.size() > 1) {
        // Each list would replace the one before it in FILE.
        std::fputs("veltrane-cli: --output FILE takes one PATH\n", stderr);
        return true;
    }
    return false;
}

CliRun RunSubcommand(const std::string& path, const Options& opts, const Subcommands& subs, CliContext& ctx) {
    if (subs.names->parsed()) {
        return RunNamesCommand(path, opts.recursive, ctx);
    }
    if (subs.paths->parsed()) {
        return RunPathsCommand(path, ResolveFileMode(path, opts.file, opts.folder), ctx);
    }
    if (subs.versions->parsed()) {
        return RunVersionsCommand(path, ResolveFileMode(path, opts.file, opts.folder), opts.fix, ctx);
    }
    if (subs.package->parsed()) {
        return RunPackageCommand(path, opts.runtimes, {opts.fix, opts.dryRun, opts.json}, ctx);
    }
    if (subs.check->parsed()) {
        return RunCheckCommand(path, opts.runtimes, {opts.fix, opts.dryRun, opts.json}, ctx);
    }
    return RunListCommand(path, opts.output, ctx);
}

// Where each PATH's HTML report goes: FILE itself, or in the folder FILE a page named after its
// package. None without --html. False, after saying why, when the options cannot work together.
bool HtmlTargets(const Options& opts, std::vector<std::string>& targets) {
    if (!opts.html) {
        return true;
    }
    const std::string& file = *opts.html;
    if (file == "-" && opts.json) {
        std::fputs("veltrane-cli: --html - and --json would both write to standard output\n", stderr);
        return false;
    }
    std::error_code ec;
    if (file == "-" || !std::filesystem::is_directory(ToFsPath(file), ec)) {
        if (opts.pathList.size() > 1) {
            std::fputs("veltrane-cli: --html FILE takes one PATH unless FILE is a folder\n", stderr);
            return false;
        }
        targets.push_back(file);
        return true;
    }
    for (const std::string& path : opts.pathList) {
        const std::string target = WithTrailingSeparator(file) + HtmlReportName(path);
        if (std::find(targets.begin(), targets.end(), target) != targets.end()) {
            Write(stderr, "veltrane-cli: two PATHs would write the same report " + target + "\n");
            return false;
        }
        targets.push_back(target);
    }
    return true;
}

// Colour for --color WHEN: auto means stdout is a terminal and NO_COLOR is unset or empty.
bool UseColour(const std::string& when) {
    if (when != "auto") {
        return when == "always";
    }
    const char* noColor = std::getenv("NO_COLOR");
    return (noColor == nullptr || *noColor == '\0') && VELTRANE_ISATTY(VELTRANE_FILENO(stdout)) != 0;
}

struct PrintOptions {
    bool json = false;
    bool several = false;
    bool colour = false;
    bool stdoutTaken = false;  // --html -: standard output carries the page alone
};

// Prints one PATH's results: JSON to stdout, or the plain report to stdout and stderr, under a
// "==> PATH <==" heading when there are several. False when stdout would not take them.
bool PrintRun(CliRun& run, const std::string& path, const PrintOptions& print) {
    const bool json = print.json;
    const bool several = print.several;
    if (!json) {
        EscapeForTerminal(run, VELTRANE_ISATTY(VELTRANE_FILENO(stdout)) != 0,
                          VELTRANE_ISATTY(VELTRANE_FILENO(stderr)) != 0);
        run.findings.reset();  // the plain output is the report; a long list of findings need not stay
        for (CliRun& part : run.parts) {
            part.findings.reset();
        }
    }
    const std::string separator = several && !json ? "==> " + path + " <==\n" : std::string();
    bool written = true;
    if (json) {
        written = WriteJson(stdout, run, several);
    } else if (!print.stdoutTaken) {
        if (print.colour && !run.listToStdout) {
            written = Write(stdout, Colourize(separator + PlainStdout(run), path));
        } else {
            written = WritePlainStdout(stdout, run, separator);  // a large report is never copied whole
        }
    }
    const std::error_code writeEc(errno, std::generic_category());
    if (!json) {
        Write(stderr, separator + PlainStderr(run));
    }
    if (!written) {
        // Results nobody can read are no success: say so where it can still be seen.
        Write(stderr, "veltrane-cli: " + FileErrorText(writeEc, "standard output") + "\n");
    }
    return written;
}

// Runs the chosen subcommand on each PATH in turn; the exit status is the highest of their runs.
int RunEachPath(const Options& opts, const Subcommands& subs, const std::vector<std::string>& htmlTargets) {
    const PrintOptions print{opts.json, opts.pathList.size() > 1, UseColour(opts.color),
                             opts.html && *opts.html == "-"};
    int status = kExitClean;
    for (size_t i = 0; i < opts.pathList.size(); ++i) {
        const std::string& path = opts.pathList[i];
        CliContext ctx;
        ctx.SetReadThreads(opts.threads);
        ctx.m_showProgress = !opts.json && VELTRANE_ISATTY(VELTRANE_FILENO(stderr));
        CliRun run = RunSubcommand(path, opts, subs, ctx);
        ctx.EndProgressLine();
        if (!htmlTargets.empty() && !run.stoppedBeforeChecking) {
            status = std::max(status, WriteHtmlFile(run, htmlTargets[i]));
        }
        if (!PrintRun(run, path, print)) {
            return kExitUsage;
        }
        status = std::max(status, run.status);
        if (run.cancelled && run.status == kExitCancelled) {
            break;  // Ctrl-C stops the whole call, not just this PATH
        }
    }
    return status;
}

int Main(int argc, char** argv) {
    KeepTimeZoneLoaded();
    CLI::App app{"Checks Poser content packages before they are published.", "veltrane-cli"};
    app.set_version_flag("-V,--version", std::string("veltrane-cli ") + VELTRANE_VERSION);
    app.require_subcommand(1);
    app.footer(Footer(std::string("paths and versions: ") + kModeRule,
                      "veltrane-cli check --json MyPackage OtherPackage"));
    Options opts;
    const Subcommands subs = AddSubcommands(app, opts);
    if (ReportUnknownSubcommand(app, argc, argv)) {
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);  // prints help, the version, or the error and a hint
        return code == 0 ? kExitClean : kExitUsage;
    }
    if (subs.completions->parsed()) {
        return Write(stdout, *CompletionScript(app, opts.shell, kChoices)) ? kExitClean : kExitUsage;
    }
    std::vector<std::string> htmlTargets;
    if (ReportOutputConflict(opts) || !HtmlTargets(opts, htmlTargets)) {
        return kExitUsage;
    }
    return RunEachPath(opts, subs, htmlTargets);
}

}  // namespace
}  // namespace veltrane::cli

int main(int argc, char** argv) {
    // First of all: from here on a Ctrl-C cancels the run as it should instead of ending the
    // program without a word.
    veltrane::cli::InstallInterruptHandler();
#ifdef _WIN32
    // The report carries its own "\r\n"; keep the C runtime from adding another "\r".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        return veltrane::cli::Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltrane-cli: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "veltrane-cli: unexpected failure\n");
    }
    return veltrane::cli::kExitUsage;
}
