#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// The fixed values of the options that take one of a few words ("--color": auto, always, never).
using CompletionChoices = std::map<std::string, std::vector<std::string>>;

// A completion script for shell ("bash", "zsh" or "fish") made from the parser's own subcommands and
// options, so it never lags behind them: subcommands, their options and the values those take, files
// for PATH. nullopt for another shell.
std::optional<std::string> CompletionScript(const CLI::App& app, const std::string& shell,
                                            const CompletionChoices& choices);

}  // namespace veltrane::cli
