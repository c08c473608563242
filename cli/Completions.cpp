#include "cli/Completions.h"

#include <string>
#include <vector>

namespace veltrane::cli {

namespace {

struct OptionInfo {
    std::string name;  // "--json"
    std::string help;  // its description, first line
    bool takesValue = false;
    std::vector<std::string> choices;  // the values it accepts, when they are few and fixed
};

struct CommandInfo {
    std::string name;
    std::string help;
    std::vector<OptionInfo> options;
};

// The words a description may hold in a completion script's quotes: no quote, no line end.
std::string Plain(std::string text) {
    text = text.substr(0, text.find('\n'));
    for (char& c : text) {
        if (c == '\'' || c == '"' || c == '\\' || c == '`' || c == '$' || c == '[' || c == ']' || c == ':') {
            c = ' ';
        }
    }
    return text;
}

std::vector<CommandInfo> Commands(const CLI::App& app, const CompletionChoices& choices) {
    std::vector<CommandInfo> commands;
    for (const CLI::App* sub : app.get_subcommands({})) {
        CommandInfo& command = commands.emplace_back();
        command.name = sub->get_name();
        command.help = Plain(sub->get_description());
        for (const CLI::Option* option : sub->get_options()) {
            for (const std::string& name : option->get_lnames()) {
                OptionInfo& info = command.options.emplace_back();
                info.name = "--" + name;
                info.help = Plain(option->get_description());
                info.takesValue = option->get_type_size() != 0;
                const auto known = choices.find(info.name);
                if (known != choices.end()) {
                    info.choices = known->second;
                }
            }
        }
    }
    return commands;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

std::string Bash(const std::vector<CommandInfo>& commands) {
    std::string names;
    std::string cases;
    for (const CommandInfo& command : commands) {
        names += (names.empty() ? "" : " ") + command.name;
        std::vector<std::string> options;
        std::string values;
        for (const OptionInfo& option : command.options) {
            options.push_back(option.name);
            if (!option.choices.empty()) {
                values += "            " + option.name + ") COMPREPLY=($(compgen -W '" +
                          Joined(option.choices) + "' -- \"$cur\")); return ;;\n";
            } else if (option.takesValue) {
                values +=
                    "            " + option.name + ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
            }
        }
        cases += "        " + command.name + ")\n          case \"$prev\" in\n" + values +
                 "          esac\n          opts='" + Joined(options) + "' ;;\n";
    }
    return "# bash completion for veltrane-cli\n"
           "_veltrane_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} sub='' opts='' w\n"
           "    for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
           "        case \"$w\" in -*) ;; *) sub=$w; break ;; esac\n"
           "    done\n"
           "    if [[ -z $sub ]]; then\n"
           "        COMPREPLY=($(compgen -W '" +
           names +
           " --help --version' -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    case \"$sub\" in\n" +
           cases +
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$opts --help\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -o bashdefault -F _veltrane_cli veltrane-cli\n";
}

std::string Zsh(const std::vector<CommandInfo>& commands) {
    std::string list;
    std::string cases;
    for (const CommandInfo& command : commands) {
        list += "        '" + command.name + ":" + command.help + "'\n";
        cases += "        " + command.name + ")\n            _arguments \\\n";
        for (const OptionInfo& option : command.options) {
            std::string action;
            if (!option.choices.empty()) {
                action = ":" + option.name.substr(2) + ":(" + Joined(option.choices) + ")";
            } else if (option.takesValue) {
                action = ":" + option.name.substr(2) + ":_files";
            }
            cases += "                '*" + option.name + "[" + option.help + "]" + action + "' \\\n";
        }
        cases += "                '*:path:_files' ;;\n";
    }
    return "#compdef veltrane-cli\n"
           "_veltrane-cli() {\n"
           "    local -a commands\n"
           "    commands=(\n" +
           list +
           "    )\n"
           "    if (( CURRENT == 2 )); then\n"
           "        _describe command commands\n"
           "        return\n"
           "    fi\n"
           "    local sub=${words[2]}\n"
           "    shift words; (( CURRENT-- ))\n"
           "    case $sub in\n" +
           cases +
           "    esac\n"
           "}\n"
           "_veltrane-cli \"$@\"\n";
}

std::string Fish(const std::vector<CommandInfo>& commands) {
    std::string names;
    for (const CommandInfo& command : commands) {
        names += (names.empty() ? "" : " ") + command.name;
    }
    std::string out = "# fish completion for veltrane-cli\ncomplete -c veltrane-cli -f\n";
    for (const CommandInfo& command : commands) {
        out += "complete -c veltrane-cli -n 'not __fish_seen_subcommand_from " + names + "' -a " +
               command.name + " -d '" + command.help + "'\n";
        const std::string when =
            "complete -c veltrane-cli -n '__fish_seen_subcommand_from " + command.name + "'";
        out += when + " -F\n";
        for (const OptionInfo& option : command.options) {
            out += when + " -l " + option.name.substr(2) + " -d '" + option.help + "'";
            if (!option.choices.empty()) {
                out += " -x -a '" + Joined(option.choices) + "'";
            } else if (option.takesValue) {
                out += " -r -F";
            }
            out += "\n";
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> CompletionScript(const CLI::App& app, const std::string& shell,
                                            const CompletionChoices& choices) {
    const std::vector<CommandInfo> commands = Commands(app, choices);
    if (shell == "bash") {
        return Bash(commands);
    }
    if (shell == "zsh") {
        return Zsh(commands);
    }
    if (shell == "fish") {
        return Fish(commands);
    }
    return std::nullopt;
}

}  // namespace veltrane::cli
