#include "Options.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <set>

#include "ExitCodes.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/RegularFile.h"

namespace kelvo::apps {

// Made at build time from the project's version and `git describe`.
extern const char* const kVersionText;

namespace {

std::string flagNames(const Option& option) {
  std::string names = "--" + option.name;
  if (option.shortName != 0) names = std::string("-") + option.shortName + "," + names;
  return names;
}

std::string described(const Option& option) {
  std::string text = option.help;
  if (option.kind == Value::choice && text.find(option.choices.front()) == std::string::npos) {
    text += ": " + joined(option.choices);
  }
  return option.defaultText.empty() ? text : text + "; default " + option.defaultText;
}

using Given = std::vector<std::pair<const Option*, std::string>>;

void addRow(CLI::App& app, const Option& option, Given& given) {
  if (!option.onCommandLine) return;
  if (option.kind == Value::none) {
    app.add_flag_callback(
        flagNames(option), [&option, &given] { given.emplace_back(&option, "true"); }, described(option));
    return;
  }
  CLI::Option* added = nullptr;
  if (option.repeatable) {
    added = app.add_option_function<std::vector<std::string>>(
        flagNames(option),
        [&option, &given](const std::vector<std::string>& values) {
          for (const std::string& value : values) given.emplace_back(&option, value);
        },
        described(option));
  } else {
    added = app.add_option_function<std::string>(
        flagNames(option),
        [&option, &given](const std::string& value) { given.emplace_back(&option, value); },
        described(option));
  }
  added->option_text(option.valueName);
  if (option.required) added->required();
  if (option.check) {
    added->check(CLI::Validator([&option](std::string& value) { return option.check(value); },
                                option.valueName, option.name));
  }
}

void addRows(CLI::App& app, const Program& program, std::string_view command, Given& given) {
  for (const Option* option : program.optionsOf(command)) addRow(app, *option, given);
}

void addArguments(CLI::App& app, const std::vector<Argument>& arguments) {
  for (const Argument& argument : arguments) {
    CLI::Option* added =
        argument.repeatable
            ? app.add_option_function<std::vector<std::string>>(
                  argument.name,
                  [&argument](const std::vector<std::string>& values) {
                    for (const std::string& value : values) argument.set(value);
                  },
                  argument.help)
            : app.add_option_function<std::string>(
                  argument.name, [&argument](const std::string& value) { argument.set(value); },
                  argument.help);
    if (argument.required) added->required();
  }
}

// "--out-dir is required" and "--x: 1 required DIR missing" as the one style.
std::string usageLine(const CLI::ParseError& error, CLI::App& app, const Program& program) {
  const std::vector<CLI::App*> chosen = app.get_subcommands();
  const std::string where = program.name + (chosen.empty() ? "" : " " + chosen.front()->get_name());
  const std::string seeHelp = " (see " + where + " --help)";
  std::vector<std::string> extras = chosen.empty() ? app.remaining() : chosen.front()->remaining();
  if (extras.empty()) extras = app.remaining();
  const std::string message = error.what();
  const bool noCommand = chosen.empty() && !program.commands.empty();
  if (!extras.empty() && (noCommand || dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr)) {
    const std::string& word = extras.front();
    if (word.starts_with('-')) return word.substr(0, word.find('=')) + ": unknown option" + seeHelp;
    if (noCommand) return word + ": unknown command" + seeHelp;
    return word + ": unexpected argument" + seeHelp;
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    if (noCommand) {
      std::vector<std::string> names;
      for (const Command& command : program.commands) names.push_back(command.name);
      return "missing command: " + joined(names) + seeHelp;
    }
    if (const auto at = message.find(" is required"); at != std::string::npos) {
      return message.substr(0, at) + ": missing" + seeHelp;
    }
  }
  const auto colon = message.find(": ");
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && colon != std::string::npos) {
    const bool tooMany = message.find("At Most") != std::string::npos;
    return message.substr(0, colon) + (tooMany ? ": given more than once" : ": needs a value");
  }
  if (dynamic_cast<const CLI::RequiresError*>(&error) != nullptr) {
    const auto at = message.find(" requires ");
    if (at != std::string::npos) return message.substr(0, at) + ": needs " + message.substr(at + 10);
  }
  return message;
}

}  // namespace

const Option* Program::find(std::string_view wanted) const {
  for (const Option& option : options) {
    if (option.name == wanted || option.configKey() == wanted) return &option;
  }
  return nullptr;
}

const Command* Program::command(std::string_view wanted) const {
  for (const Command& c : commands) {
    if (c.name == wanted) return &c;
  }
  return nullptr;
}

std::vector<const Option*> Program::optionsOf(std::string_view wanted) const {
  std::vector<const Option*> rows;
  const Command* chosen = command(wanted);
  for (const std::string& name : chosen ? chosen->options : programOptions) {
    if (const Option* option = find(name)) rows.push_back(option);
  }
  return rows;
}

std::string joined(const std::vector<std::string>& words, std::string_view separator) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : std::string(separator)) + word;
  return out;
}

std::function<std::string(const std::string&)> oneOf(std::string what, std::vector<std::string> choices) {
  return [what = std::move(what), choices = std::move(choices)](const std::string& value) -> std::string {
    for (const std::string& choice : choices) {
      if (choice == value) return {};
    }
    return "\"" + value + "\" is not " + what + " (" + joined(choices) + ")";
  };
}

std::function<std::string(const std::string&)> wholeNumber(long low, long high) {
  return [low, high](const std::string& value) -> std::string {
    long number = 0;
    std::size_t used = 0;
    try {
      number = std::stol(value, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != 0 && used == value.size() && number >= low && number <= high) return {};
    return "\"" + value + "\" is not a whole number from " + std::to_string(low) + " to " +
           std::to_string(high);
  };
}

std::string nonEmpty(const std::string& value) {
  return value.empty() ? "needs a directory, not an empty value" : std::string();
}

std::string versionLine(std::string_view program) { return std::string(program) + " " + kVersionText; }

Parsed parseCommandLine(const Program& program, int argc, char** argv) {
  CLI::App app{program.summary, program.name};
  app.set_version_flag("-V,--version", versionLine(program.name), "Print the version and exit");
  if (!program.footer.empty()) app.footer(program.footer);
  Parsed parsed;
  addRows(app, program, "", parsed.given);
  addArguments(app, program.arguments);
  std::string chosen;
  for (const Command& command : program.commands) {
    CLI::App* sub = app.add_subcommand(command.name, command.help);
    addRows(*sub, program, command.name, parsed.given);
    addArguments(*sub, command.arguments);
    sub->callback([&chosen, name = command.name] { chosen = name; });
  }
  if (!program.commands.empty()) app.require_subcommand(1);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion&) {
    std::cout << versionLine(program.name) << '\n';
    parsed.exit = kExitOk;
  } catch (const CLI::Success& e) {  // --help
    parsed.exit = app.exit(e);
  } catch (const CLI::ParseError& e) {
    // The row checks quote values as given; the line is escaped once, here.
    std::cerr << program.name << ": " << logValue(usageLine(e, app, program), kLogLineBytes) << '\n';
    parsed.exit = kExitUsage;
  }
  if (parsed.exit) parsed.given.clear();
  parsed.command = chosen;
  return parsed;
}

bool Parsed::has(std::string_view name) const {
  for (const auto& [option, value] : given) {
    if (option->name == name) return true;
  }
  return false;
}

void applyGiven(const Parsed& parsed, Rows rows) {
  for (const auto& [option, value] : parsed.given) {
    const bool configurable = !option->group.empty();
    if (rows == Rows::all || (rows == Rows::configurable) == configurable) option->set(value);
  }
}

Status applyConfigGroup(const Program& program, const std::vector<IniEntry>& entries, std::string_view group,
                        const std::string& file, std::vector<std::string>& warnings,
                        std::string_view section) {
  if (section.empty()) section = group;
  std::vector<std::string> known;
  for (const Option& option : program.options) {
    if (option.group == group) known.push_back(option.configKey());
  }
  for (const IniEntry& entry : entries) {
    if (entry.group != section) continue;
    const std::string at = file + ":" + std::to_string(entry.line) + ": ";
    const Option* row = nullptr;
    for (const Option& option : program.options) {
      if (option.group != group) continue;
      if (option.configKey() == entry.key) row = &option;
      for (const std::string& old : option.oldKeys) {
        if (old == entry.key) {
          row = &option;
          warnings.push_back(at + "\"" + old + "\" is now spelled \"" + option.configKey() +
                             "\"; the old spelling will not be read in the next release");
        }
      }
    }
    if (row == nullptr) {
      return Error{at + "unknown key \"" + entry.key + "\" in [" + entry.group +
                   "] (known: " + joined(known) + ")"};
    }
    std::string value = entry.value;
    if (row->kind == Value::none) {
      if (value == "true" || value == "yes" || value == "1") {
        value = "true";
      } else if (value == "false" || value == "no" || value == "0") {
        value = "false";
      } else {
        return Error{at + row->configKey() + ": \"" + value + "\" is not true or false"};
      }
    } else if (row->check) {
      if (const std::string why = row->check(value); !why.empty()) {
        return Error{at + row->configKey() + ": " + why};
      }
    }
    row->set(value);
  }
  return {};
}

Result<std::vector<IniEntry>> readConfigFile(const std::string& file, std::size_t limit) {
  auto bytes = readRegularFile(file, limit, FileNaming::byCaller);
  if (!bytes) return Error{file + ": " + bytes.error().message};
  auto entries = parseIni(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!entries) return Error{file + ":" + entries.error().message};
  return entries;
}

}  // namespace kelvo::apps
