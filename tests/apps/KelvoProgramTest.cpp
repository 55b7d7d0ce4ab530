// The `kelvo` program, run as a user or a script would run it.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KelvoShared/WidgetSnapshot.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = (fs::temp_directory_path() / "kelvo-app-test.XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs bin/kelvo with `args`, feeding `input` on standard input.
class Kelvo {
 public:
  Outcome operator()(const std::vector<std::string>& args, std::string_view input = "") const {
    writeFile(io_.path() / "in", input);
    std::string command = shellQuoted(std::string(KELVO_BIN_DIR) + "/kelvo");
    for (const auto& arg : args) command += " " + shellQuoted(arg);
    command += " <" + shellQuoted((io_.path() / "in").string()) + " >" +
               shellQuoted((io_.path() / "out").string()) + " 2>" +
               shellQuoted((io_.path() / "err").string());
    const int status = std::system(command.c_str());
    Outcome run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readFile(io_.path() / "out");
    run.err = readFile(io_.path() / "err");
    return run;
  }

 private:
  TempDirectory io_;
};

Json sampleDocument() {
  return Json{{"batteryPercentage", 64},
              {"rangeKm", 318},
              {"statusKey", "CHARGING"},
              {"isDriving", false},
              {"fullInMinutes", 95},
              {"carTitle", "Polestar 4 · 2026"},
              {"writtenAt", "2026-12-06T09:14:00Z"},
              {"unit", "Kilometers (km)"},
              {"hasImage", true}};
}

// Exactly one line holding one JSON object.
Json onlyObject(const std::string& out) {
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  const Json json = Json::parse(out, nullptr, false);
  EXPECT_TRUE(json.is_object()) << out;
  return json;
}

bool oneLine(const std::string& text) {
  return !text.empty() && text.back() == '\n' && std::count(text.begin(), text.end(), '\n') == 1;
}

class KelvoProgram : public ::testing::Test {
 protected:
  Kelvo kelvo;
  TempDirectory shared;
  std::string dir() const { return shared.path().string(); }
};

TEST_F(KelvoProgram, SaveThenShowGivesTheSnapshotBack) {
  const fs::path input = shared.path() / "input.json";
  writeFile(input, sampleDocument().dump(2));
  const Outcome saved = kelvo({"--shared-dir", dir(), "save", input.string()});
  EXPECT_EQ(saved.exitCode, 0) << saved.err;
  EXPECT_EQ(saved.out, "");

  const Outcome shown = kelvo({"show", "--shared-dir", dir()});
  EXPECT_EQ(shown.exitCode, 0);
  const Json json = onlyObject(shown.out);
  EXPECT_EQ(json["state"], "ok");
  EXPECT_EQ(json.size(), 2u);
  const auto expected = kelvo::decodeSnapshot(sampleDocument().dump());
  const auto actual = kelvo::decodeSnapshot(json["snapshot"].dump());
  ASSERT_TRUE(actual.ok());
  EXPECT_EQ(*actual, *expected);
  // What was stored is the compact encoding, not the input's layout.
  EXPECT_EQ(readFile(shared.path() / "snapshot.json"), *kelvo::encodeSnapshot(*expected));
}

TEST_F(KelvoProgram, SaveReadsStandardInputForDashOrNothing) {
  Json document = sampleDocument();
  document["rangeKm"] = 1;
  EXPECT_EQ(kelvo({"save", "--shared-dir", dir(), "-"}, document.dump()).exitCode, 0);
  EXPECT_EQ(kelvo::decodeSnapshot(readFile(shared.path() / "snapshot.json"))->rangeKm, 1);
  document["rangeKm"] = 2;
  EXPECT_EQ(kelvo({"save", "--shared-dir", dir()}, document.dump()).exitCode, 0);
  EXPECT_EQ(kelvo::decodeSnapshot(readFile(shared.path() / "snapshot.json"))->rangeKm, 2);
}

TEST_F(KelvoProgram, InvalidInputWritesNothing) {
  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, sampleDocument().dump()).exitCode, 0);
  const std::string before = readFile(shared.path() / "snapshot.json");

  Json document = sampleDocument();
  document["unit"] = "km";
  Outcome run = kelvo({"save", "--shared-dir", dir()}, document.dump());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kelvo: key \"unit\": \"km\" is not a distance unit\n");
  EXPECT_EQ(readFile(shared.path() / "snapshot.json"), before);

  run = kelvo({"save", "--shared-dir", dir()}, "{\"batteryPercentage\": ");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.starts_with("kelvo: not JSON: ")) << run.err;

  run = kelvo({"save", "--shared-dir", dir(), (shared.path() / "missing.json").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("missing.json"), std::string::npos) << run.err;

  run = kelvo({"save", "--shared-dir", dir()}, std::string(2 << 20, ' '));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kelvo: standard input is larger than 1 MiB\n");
  EXPECT_EQ(readFile(shared.path() / "snapshot.json"), before);
}

TEST_F(KelvoProgram, ShowReportsEveryState) {
  Outcome run = kelvo({"show", "--shared-dir", dir()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "{\"state\":\"noFile\"}\n");

  run = kelvo({"show", "--shared-dir", (shared.path() / "missing").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "{\"state\":\"noContainer\"}\n");

  writeFile(shared.path() / "snapshot.json", "{\"rangeKm\": 1}");
  run = kelvo({"show", "--shared-dir", dir()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "{\"state\":\"unreadable\",\"message\":\"key \\\"batteryPercentage\\\": missing\"}\n");

  // Broken bytes in the file never break the output's JSON.
  writeFile(shared.path() / "snapshot.json", "{\"carTitle\": \"\xC3\x28\"}");
  run = kelvo({"show", "--shared-dir", dir()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(onlyObject(run.out)["state"], "unreadable");

  fs::remove(shared.path() / "snapshot.json");
  ASSERT_EQ(::mkfifo((shared.path() / "snapshot.json").c_str(), 0600), 0);
  run = kelvo({"show", "--shared-dir", dir()});  // would hang on a blocking open
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(onlyObject(run.out)["message"], "snapshot.json is not a regular file");
}

TEST_F(KelvoProgram, PictureCommands) {
  static constexpr char kBytes[] = "\x89PNG\r\n\x1a\n not really \0 a picture";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  const fs::path picture = shared.path() / "input.bin";
  writeFile(picture, bytes);
  EXPECT_EQ(kelvo({"save-image", "--shared-dir", dir(), picture.string()}).exitCode, 0);
  EXPECT_EQ(readFile(shared.path() / "car.png"), bytes);
  EXPECT_EQ(kelvo({"save-image", "--shared-dir", dir(), "-"}, "other").exitCode, 0);
  EXPECT_EQ(readFile(shared.path() / "car.png"), "other");

  EXPECT_EQ(kelvo({"remove-image", "--shared-dir", dir()}).exitCode, 0);
  EXPECT_FALSE(fs::exists(shared.path() / "car.png"));
  EXPECT_EQ(kelvo({"remove-image", "--shared-dir", dir()}).exitCode, 0);  // already gone is fine

  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, sampleDocument().dump()).exitCode, 0);
  ASSERT_EQ(kelvo({"save-image", "--shared-dir", dir(), "-"}, "x").exitCode, 0);
  EXPECT_EQ(kelvo({"clear", "--shared-dir", dir()}).exitCode, 0);
  EXPECT_FALSE(fs::exists(shared.path() / "car.png"));
  EXPECT_FALSE(fs::exists(shared.path() / "snapshot.json"));
  EXPECT_EQ(kelvo({"show", "--shared-dir", dir()}).out, "{\"state\":\"noFile\"}\n");
}

TEST_F(KelvoProgram, WritingWithoutASharedDirectoryFails) {
  const std::string missing = (shared.path() / "missing").string();
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"save", "-"}, {"save-image", "-"}, {"remove-image"}, {"clear"}}) {
    std::vector<std::string> full = args;
    full.insert(full.end(), {"--shared-dir", missing});
    const Outcome run = kelvo(full, sampleDocument().dump());
    EXPECT_EQ(run.exitCode, 1) << args[0];
    EXPECT_EQ(run.err, "kelvo: no shared directory: " + missing + " is not a directory\n");
  }
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(KelvoProgram, WhereNamesTheDirectory) {
  Outcome run = kelvo({"where", "--shared-dir", dir()});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("shared directory: " + dir() + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("app group: "), std::string::npos);
  EXPECT_NE(run.out.find("shared group: "), std::string::npos);
  run = kelvo({"--shared-dir", (shared.path() / "missing").string(), "where"});
  EXPECT_NE(run.out.find("shared directory: none\n"), std::string::npos) << run.out;
}

TEST_F(KelvoProgram, HelpAndUsageErrors) {
  Outcome help = kelvo({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command :
       {"save", "save-image", "remove-image", "clear", "show", "where", "--shared-dir"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
  help = kelvo({"save", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("FILE"), std::string::npos);

  for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                {"bogus"},
                                                                {"show", "--frob"},
                                                                {"save-image", "--shared-dir", dir()},
                                                                {"save", "a", "b", "--shared-dir", dir()},
                                                                {"show", "--shared-dir"},
                                                                {"clear", "extra"}}) {
    const Outcome run = kelvo(args);
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    EXPECT_EQ(run.exitCode, 2) << joined;
    EXPECT_TRUE(oneLine(run.err)) << joined << ": " << run.err;
    EXPECT_TRUE(run.err.starts_with("kelvo: ")) << run.err;
    EXPECT_EQ(run.out, "") << joined;
  }
  EXPECT_NE(kelvo({"bogus"}).err.find("bogus"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(shared.path()));
}

}  // namespace
