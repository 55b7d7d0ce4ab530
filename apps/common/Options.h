#pragma once

// Each program's options, declared once as rows of a table: the command
// line, the config file, --help, the manual pages and the shell completions
// are all made from the rows. A row names its option, checks a value and
// puts it onto its typed field; everything else reads the row.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Ini.h"
#include "KelvoBase/Result.h"

namespace kelvo::apps {

// What an option's value is, for help texts and completions.
enum class Value { none, text, file, directory, choice, number };

struct Option {
  std::string name;       // long name without "--"
  char shortName = 0;     // 0: none
  std::string valueName;  // the value's placeholder in help ("FILE"); empty for a flag
  Value kind = Value::text;
  std::string help;                  // one sentence, no full stop
  std::string defaultText;           // what holds when it is not given; empty: nothing said
  std::vector<std::string> choices;  // the accepted values of a choice
  // Why a value is refused, quoting it as given (whoever prints the line
  // escapes it); empty: accepted.
  std::function<std::string(const std::string&)> check;
  std::function<void(const std::string&)> set;  // puts a checked value on its field ("true" for a flag)
  std::string group;                            // its config file group; empty: command line only
  std::string key;                   // its config key (and its id in Command::options) when not `name`
  std::vector<std::string> oldKeys;  // earlier spellings, still read with a warning
  bool onCommandLine = true;         // false: config file only (a secret)
  bool repeatable = false;
  bool required = false;

  // The key it has in its config group.
  const std::string& configKey() const { return key.empty() ? name : key; }
};

// An argument without a name (kelvo save FILE).
struct Argument {
  std::string name;
  Value kind = Value::file;
  std::string help;
  bool required = false;
  std::function<void(const std::string&)> set;  // once per value
  bool repeatable = false;                      // takes any number of values
};

struct Command {
  std::string name;
  std::string help;
  std::vector<std::string> options;  // rows this command takes, by name
  std::vector<Argument> arguments;
};

struct Program {
  std::string name;     // "kelvo-widget"
  std::string summary;  // one sentence
  std::string footer;   // more lines for --help; may be empty
  std::vector<Option> options;
  std::vector<std::string> programOptions;  // rows taken before any command (all of them without commands)
  std::vector<Command> commands;
  std::vector<Argument> arguments;  // taken by a program without commands

  const Option* find(std::string_view name) const;
  const Command* command(std::string_view name) const;
  // The rows `command` takes ("" for the program's own).
  std::vector<const Option*> optionsOf(std::string_view command) const;
};

// Check helpers. The reason reads after "--NAME: ".
std::function<std::string(const std::string&)> oneOf(std::string what, std::vector<std::string> choices);
std::function<std::string(const std::string&)> wholeNumber(long low, long high);
std::string nonEmpty(const std::string& value);
// The choices joined by ", ".
std::string joined(const std::vector<std::string>& words, std::string_view separator = ", ");

// The program's version line: "kelvo-widget 0.1.0 (g1a2b3c)".
std::string versionLine(std::string_view program);

// What parsing gave.
struct Parsed {
  std::optional<int> exit;  // stop with this status (help, version, a usage error)
  std::string command;      // the command chosen, "" for none
  std::vector<std::pair<const Option*, std::string>> given;  // checked values ("true" for a flag)

  bool has(std::string_view name) const;
};

// Parses argv by the table. --help and --version (-V) print and exit 0;
// every usage error is one line, "PROGRAM: WHAT: why", and exit status 2.
// Arguments are set at once; options wait for applyGiven, so that a program
// can read its config file (named by an option) in between.
Parsed parseCommandLine(const Program& program, int argc, char** argv);

// Which given options applyGiven sets: the command line's own (no config
// key), the ones a config file may also set, or all.
enum class Rows { all, commandLineOnly, configurable };
void applyGiven(const Parsed& parsed, Rows rows = Rows::all);

// Applies the config entries of `section` (by default `group`) onto the
// fields of the rows of `group`, each checked by its row: "[widget NAME]"
// holds what "[widget]" does. Errors read "FILE:LINE: ..."; an old spelling
// of a key gives a line in `warnings`.
Status applyConfigGroup(const Program& program, const std::vector<IniEntry>& entries, std::string_view group,
                        const std::string& file, std::vector<std::string>& warnings,
                        std::string_view section = {});
// The text of `file` (a regular file, at most `limit` bytes) read as INI;
// errors name the file and line.
Result<std::vector<IniEntry>> readConfigFile(const std::string& file, std::size_t limit);

}  // namespace kelvo::apps
