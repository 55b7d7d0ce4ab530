// kelvo-manual: writes the manual pages and the shell completions of every
// Kelvo program from its option table, so that neither can drift from what
// the program accepts. Run by the build; not installed.
//
//   kelvo-manual page PROGRAM SECTION PROSE   a manual page (prose: docs/man/*.in)
//   kelvo-manual bash|zsh|fish PROGRAM        a completion script

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "DesktopSettings.h"
#include "FeedProgram.h"
#include "KelvoProgram.h"
#include "WidgetProgram.h"

namespace {

using kelvo::apps::Command;
using kelvo::apps::Option;
using kelvo::apps::Program;
using kelvo::apps::Value;

// What the tables' rows set while the generator reads them; never used.
struct Targets {
  kelvo::writer::KelvoCommandLine kelvo;
  kelvo::host::WidgetCommandLine widget;
  kelvo::feed::FeedCommandLine feed;
  kelvo::desktop::DesktopCommandLine desktop;
};

std::optional<Program> programNamed(const std::string& name, Targets& t) {
  if (name == "kelvo") return kelvo::writer::kelvoProgram(t.kelvo);
  if (name == "kelvo-widget") return kelvo::host::widgetProgram(t.widget);
  if (name == "kelvo-feed") return kelvo::feed::feedProgram(t.feed);
  if (name == "kelvo-desktop") return kelvo::desktop::desktopProgram(t.desktop);
  return std::nullopt;
}

// Text as roff prints it: backslashes and minus signs escaped, no line that
// starts as a request.
std::string roff(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
  return out;
}

std::string sentence(const Option& option) {
  std::string text = option.help;
  if (option.kind == Value::choice && text.find(option.choices.front()) == std::string::npos) {
    text += ": " + kelvo::apps::joined(option.choices);
  }
  if (!option.defaultText.empty()) text += "; default " + option.defaultText;
  return roff(text) + ".";
}

void optionItem(std::ostream& out, const Option& option) {
  out << ".TP\n";
  if (option.shortName != 0) out << "\\fB\\-" << option.shortName << "\\fR, ";
  out << "\\fB" << roff("--" + option.name) << "\\fR";
  if (!option.valueName.empty()) out << " \\fI" << roff(option.valueName) << "\\fR";
  out << "\n" << sentence(option) << "\n";
}

void keyItem(std::ostream& out, const Option& option) {
  out << ".TP\n\\fB" << roff(option.configKey()) << "\\fR = ";
  out << (option.kind == Value::none ? std::string("true|false") : "\\fI" + roff(option.valueName) + "\\fR");
  out << "\n" << sentence(option);
  if (option.onCommandLine) out << " Also \\fB" << roff("--" + option.name) << "\\fR.";
  if (!option.oldKeys.empty()) {
    out << " Read under its earlier name \\fB" << roff(option.oldKeys.front()) << "\\fR too, with a warning.";
  }
  out << "\n";
}

// The generated parts a prose file asks for with a line "@NAME@".
std::string generated(const std::string& part, const Program& program) {
  std::ostringstream out;
  if (part == "SYNOPSIS") {
    out << ".SH SYNOPSIS\n";
    if (program.commands.empty()) {
      out << "\\fB" << roff(program.name) << "\\fR [\\fIOPTIONS\\fR]\n";
    } else {
      for (const Command& command : program.commands) {
        out << ".br\n\\fB" << roff(program.name) << " " << roff(command.name) << "\\fR";
        if (!command.options.empty()) out << " [\\fIOPTIONS\\fR]";
        for (const auto& argument : command.arguments) {
          out << (argument.required ? " \\fI" : " [\\fI") << argument.name
              << (argument.required ? "\\fR" : "\\fR]");
        }
        out << "\n";
      }
    }
  } else if (part == "OPTIONS") {
    out << ".SH OPTIONS\n.TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nPrint the options and exit.\n"
        << ".TP\n\\fB\\-V\\fR, \\fB\\-\\-version\\fR\nPrint the version and exit.\n";
    for (const Option* option : program.optionsOf("")) optionItem(out, *option);
    for (const Command& command : program.commands) {
      out << ".SS " << roff(command.name) << "\n" << roff(command.help) << ".\n";
      for (const Option* option : program.optionsOf(command.name)) optionItem(out, *option);
      for (const auto& argument : command.arguments) {
        out << ".TP\n\\fI" << argument.name << "\\fR\n" << roff(argument.help) << ".\n";
      }
    }
  } else if (part.starts_with("KEYS ")) {
    const std::string group = part.substr(5);
    for (const Option& option : program.options) {
      if (option.group == group) keyItem(out, option);
    }
  } else {
    out << "@" << part << "@\n";
  }
  return out.str();
}

int page(const std::string& name, const std::string& section, const std::string& proseFile) {
  Targets targets;
  const std::optional<Program> program = programNamed(name, targets);
  std::ifstream prose(proseFile);
  if (!program || !prose) {
    std::cerr << "kelvo-manual: cannot make the page of " << name << " from " << proseFile << "\n";
    return 1;
  }
  const std::string title = section == "5" ? name.substr(name.find('-') + 1) + ".ini" : name;
  std::cout << ".\\\" Made by kelvo-manual from " << proseFile.substr(proseFile.rfind('/') + 1)
            << " and the program's option table.\n"
            << ".TH " << roff(section == "5" ? "kelvo-" + title : title) << " " << section << " \"\" \"Kelvo "
            << kelvo::apps::versionLine("").substr(1, kelvo::apps::versionLine("").find(' ', 1) - 1)
            << "\" \"Kelvo\"\n";
  std::string line;
  while (std::getline(prose, line)) {
    if (line.size() > 2 && line.front() == '@' && line.back() == '@') {
      std::cout << generated(line.substr(1, line.size() - 2), *program);
    } else {
      std::cout << line << "\n";
    }
  }
  return 0;
}

std::string words(const std::vector<std::string>& list) { return kelvo::apps::joined(list, " "); }

std::vector<std::string> flags(const Program& program, std::string_view command) {
  std::vector<std::string> out{"--help", "--version"};
  for (const Option* option : program.optionsOf(command)) {
    if (!option->onCommandLine) continue;
    out.push_back("--" + option->name);
    if (option->shortName != 0) out.push_back(std::string("-") + option->shortName);
  }
  return out;
}

std::vector<std::string> commandNames(const Program& program) {
  std::vector<std::string> out;
  for (const Command& command : program.commands) out.push_back(command.name);
  return out;
}

std::string function(const Program& program) {
  std::string name = "_" + program.name;
  for (char& c : name) c = c == '-' ? '_' : c;
  return name;
}

std::vector<std::string> scopes(const Program& program) {
  std::vector<std::string> out{""};
  for (const Command& command : program.commands) out.push_back(command.name);
  return out;
}

// bash: the command is the first command word; the word before the cursor
// decides whether a value (choices, files, directories) or an option comes.
void bash(const Program& program) {
  const std::string commands =
      program.commands.empty() ? "''" : kelvo::apps::joined(commandNames(program), "|");
  std::cout << "# bash completion for " << program.name << ", made from its option table.\n"
            << function(program) << "() {\n"
            << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= word\n"
            << "  for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
            << "    case $word in " << commands << ") [ -z \"$command\" ] && command=$word;; esac\n"
            << "  done\n"
            << "  case \"$command $prev\" in\n";
  for (const std::string& scope : scopes(program)) {
    for (const Option* option : program.optionsOf(scope)) {
      if (!option->onCommandLine || option->kind == Value::none) continue;
      std::cout << "    \"" << scope << " --" << option->name << "\"";
      if (option->shortName != 0) std::cout << "|\"" << scope << " -" << option->shortName << "\"";
      std::cout << ") COMPREPLY=(";
      if (option->kind == Value::choice) {
        std::cout << "$(compgen -W '" << words(option->choices) << "' -- \"$cur\")";
      } else if (option->kind == Value::file) {
        std::cout << "$(compgen -f -- \"$cur\")";
      } else if (option->kind == Value::directory) {
        std::cout << "$(compgen -d -- \"$cur\")";
      }
      std::cout << "); return;;\n";
    }
  }
  std::cout << "  esac\n";
  if (!program.commands.empty()) {
    std::cout << "  if [ -z \"$command\" ] && [[ $cur != -* ]]; then\n"
              << "    COMPREPLY=($(compgen -W '" << words(commandNames(program))
              << "' -- \"$cur\")); return\n"
              << "  fi\n";
  }
  std::cout << "  case $command in\n";
  for (const std::string& scope : scopes(program)) {
    std::cout << "    '" << scope << "') COMPREPLY=($(compgen -W '" << words(flags(program, scope))
              << "' -- \"$cur\"));;\n";
  }
  std::cout << "  esac\n}\ncomplete -o filenames -F " << function(program) << " " << program.name << "\n";
}

std::string fishValues(const Option& option) {
  if (option.kind == Value::choice) return " -xa '" + words(option.choices) + "'";
  if (option.kind == Value::file) return " -rF";
  if (option.kind == Value::directory) return " -xa '(__fish_complete_directories)'";
  return option.kind == Value::none ? "" : " -x";
}

// Text inside fish's single quotes.
std::string fishQuoted(std::string_view help) {
  std::string text;
  for (const char c : help.substr(0, 60))
    text += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return text;
}

void fish(const Program& program) {
  const std::string& name = program.name;
  std::cout << "# fish completion for " << name << ", made from its option table.\n"
            << "complete -c " << name << " -f\n"
            << "complete -c " << name << " -s h -l help -d 'Print the options'\n"
            << "complete -c " << name << " -s V -l version -d 'Print the version'\n";
  for (const Command& command : program.commands) {
    std::cout << "complete -c " << name << " -n __fish_use_subcommand -a " << command.name << " -d '"
              << fishQuoted(command.help.substr(0, command.help.find(':'))) << "'\n";
  }
  for (const std::string& scope : scopes(program)) {
    if (scope.empty() && !program.commands.empty() && program.programOptions.empty()) continue;
    const std::string condition = scope.empty()
                                      ? (program.commands.empty() ? "" : " -n __fish_use_subcommand")
                                      : " -n '__fish_seen_subcommand_from " + scope + "'";
    for (const Option* option : program.optionsOf(scope)) {
      if (!option->onCommandLine) continue;
      std::cout << "complete -c " << name << condition << " -l " << option->name;
      if (option->shortName != 0) std::cout << " -s " << option->shortName;
      std::cout << fishValues(*option) << " -d '" << fishQuoted(option->help) << "'\n";
    }
  }
}

std::string zshSpec(const Option& option) {
  std::string help;
  for (const char c : option.help.substr(0, 60)) {
    if (c == '[' || c == ']' || c == '\'' || c == ':') continue;
    help += c;
  }
  std::string spec = (option.repeatable ? "'*--" : "'--") + option.name + "[" + help + "]";
  if (option.kind == Value::none) return spec + "'";
  // A colon in the value's name ("ADDR:PORT") would end the message early.
  std::string message;
  for (const char c : option.valueName.empty() ? std::string("value") : option.valueName)
    message += c == ':' ? std::string("\\:") : std::string(1, c);
  spec += ":" + message + ":";
  if (option.kind == Value::choice) return spec + "(" + words(option.choices) + ")'";
  if (option.kind == Value::file) return spec + "_files'";
  if (option.kind == Value::directory) return spec + "_files -/'";
  return spec + " '";
}

void zsh(const Program& program) {
  std::cout << "#compdef " << program.name << "\n# zsh completion for " << program.name
            << ", made from its option table.\n";
  const auto arguments = [&](std::string_view scope, const std::string& indent) {
    std::cout
        << indent
        << "_arguments -s '(- *)'{-h,--help}'[Print the options]' '(- *)'{-V,--version}'[Print the version]'";
    for (const Option* option : program.optionsOf(scope)) {
      if (option->onCommandLine) std::cout << " \\\n" << indent << "  " << zshSpec(*option);
    }
  };
  if (program.commands.empty()) {
    arguments("", "");
    std::cout << "\n";
    return;
  }
  std::cout << "local state\n_arguments -C '1:command:(" << words(commandNames(program))
            << ")' '*::arg:->args'\n"
            << "[[ $state == args ]] || return\ncase $words[1] in\n";
  for (const Command& command : program.commands) {
    std::cout << "  " << command.name << ")\n";
    arguments(command.name, "    ");
    for (const auto& argument : command.arguments)
      std::cout << " \\\n      '1:" << argument.name << ":_files'";
    std::cout << ";;\n";
  }
  std::cout << "esac\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "page") return page(args[1], args[2], args[3]);
  Targets targets;
  const std::optional<Program> program = args.size() == 2 ? programNamed(args[1], targets) : std::nullopt;
  if (program && args[0] == "bash") return bash(*program), 0;
  if (program && args[0] == "fish") return fish(*program), 0;
  if (program && args[0] == "zsh") return zsh(*program), 0;
  std::cerr << "usage: kelvo-manual page PROGRAM SECTION PROSE | kelvo-manual bash|zsh|fish PROGRAM\n";
  return 2;
}
