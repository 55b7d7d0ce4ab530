#include "KelvoProgram.h"

// Rows name only the fields they need; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace kelvo::writer {

apps::Program kelvoProgram(KelvoCommandLine& t) {
  apps::Program program{"kelvo", "Writes the car's state into the shared store that the Kelvo widget reads."};
  const auto input = [&t](const std::string& v) { t.input = v; };
  // clang-format off
  program.options = {
      {.name = "shared-dir", .valueName = "DIR", .kind = apps::Value::directory,
       .help = "Use DIR as the shared directory (a missing DIR means no container)", .check = apps::nonEmpty,
       .set = [&t](const std::string& v) { t.sharedDir = v; }},
      {.name = "pretty", .kind = apps::Value::none, .help = "Indent the JSON for reading",
       .set = [&t](const std::string& v) { t.pretty = v == "true"; }},
  };
  program.programOptions = {"shared-dir"};
  program.commands = {
      {"save", "Decode a snapshot document (FILE, or standard input for - or nothing) and save it", {"shared-dir"},
       {{"FILE", apps::Value::file, "The snapshot.json document to save, or - for standard input", false, input}}},
      {"save-image", "Save the car picture, stored unchanged", {"shared-dir"},
       {{"FILE", apps::Value::file, "The picture file, or - for standard input", true, input}}},
      {"remove-image", "Remove the car picture", {"shared-dir"}},
      {"clear", "Remove the snapshot and the car picture", {"shared-dir"}},
      {"show", "Print the snapshot's state as one JSON object; exit status 0 only when it is ok", {"shared-dir", "pretty"}},
      {"where", "Print the app group and the shared directory", {"shared-dir"}},
  };
  // clang-format on
  return program;
}

}  // namespace kelvo::writer
