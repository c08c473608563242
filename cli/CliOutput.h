#pragma once

#include <string>
#include <string_view>

#include <cstdio>

#include "checks/Finding.h"
#include "cli/CliRun.h"

namespace veltrane::cli {

// The plain output of a run: what goes to stdout (the report with the platform's line ends and
// one line end after it; for list --output - the list's bytes alone) and to stderr (one
// "KIND: TITLE: TEXT" line per box, a question's line ending in its answer, " [answered Cancel]",
// then the counters).
std::string PlainStdout(const CliRun& run);
// The same bytes after heading, written to stream as they are made and flushed; false (errno set)
// when the stream refused them.
bool WritePlainStdout(std::FILE* stream, const CliRun& run, std::string_view heading = {});
std::string PlainStderr(const CliRun& run);

// For a terminal: the control characters of the run's reports (when reports) and of its boxes (when
// notices) escaped, so that no name steers the terminal or splits a line. Output that goes to a file
// or a pipe keeps its bytes exactly.
void EscapeForTerminal(CliRun& run, bool reports, bool notices);

// "Items checked: 3  Problems found: 1" from the run's labels and counters.
std::string CounterLine(const CliRun& run);

// The --json output: one object and a line end; with oneLine the object takes a single line (JSON
// Lines, for several PATHs).
std::string JsonOutput(const CliRun& run, bool oneLine = false);
// The same, written to stream as it is made; false (errno set) when the stream refused it.
bool WriteJson(std::FILE* stream, const CliRun& run, bool oneLine = false);

class JsonWriter;
// One finding as a JSON object, with the members its rule carries in the order of the contract.
// A string that is not valid UTF-8 also gets a member of its name plus "_bytes": its raw bytes in
// base64.
void WriteFinding(JsonWriter& out, const Finding& finding);
// The same object on one line.
std::string FindingJsonLine(const Finding& finding);

// Whether text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// Standard base64 (with "=" padding) of bytes.
std::string Base64(std::string_view bytes);

// A JSON string literal for bytes: valid UTF-8 is kept, every byte that is not part of valid
// UTF-8 becomes a \u00XX escape of its own.
std::string JsonString(std::string_view bytes);
// The same escapes, without the quotes, appended to out.
void AppendJsonEscaped(std::string& out, std::string_view bytes);

// The plain stdout of a run with ANSI colours for a terminal: section headers bold (errors red,
// warnings yellow), the package's file paths in cyan. Lines other than these are left as they are.
std::string Colourize(const std::string& plain, const std::string& path);

// Writes the HTML report of a finished run (not one stopped before checking) to target, replacing
// it atomically; "-" is stdout. Returns kExitClean, or kExitFileError after saying why on stderr.
int WriteHtmlFile(const CliRun& run, const std::string& target);

}  // namespace veltrane::cli
