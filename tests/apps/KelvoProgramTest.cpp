// The `kelvo` program, run as a user or a script would run it.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KelvoShared/WidgetSnapshot.h"
#include "ProgramRunner.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using kelvo::testing::readFile;
using kelvo::testing::Scratch;

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

const Json kSample = Json::parse(R"j({"batteryPercentage": 64, "rangeKm": 318, "statusKey": "CHARGING",
  "isDriving": false, "fullInMinutes": 95, "carTitle": "Polestar 4 · 2026", "writtenAt": "2026-12-06T09:14:00Z",
  "unit": "Kilometers (km)", "hasImage": true})j");

// Exactly one line holding one JSON object.
Json onlyObject(const std::string& out) {
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  const Json json = Json::parse(out, nullptr, false);
  EXPECT_TRUE(json.is_object()) << out;
  return json;
}

// Each test gets a store (store.shared(), empty) and runs bin/kelvo with its
// standard streams in files of `io`.
class KelvoProgram : public ::testing::Test {
 protected:
  Scratch io, store;
  std::string dir() const { return store.shared().string(); }
  std::string stored(const char* name) const { return readFile(store.shared() / name); }

  kelvo::testing::ProgramRun kelvo(const std::vector<std::string>& args, std::string_view input = "") const {
    io.write("in", input);
    std::string command = shellQuoted(std::string(KELVO_BIN_DIR) + "/kelvo");
    for (const auto& arg : args) command += " " + shellQuoted(arg);
    command += " <" + shellQuoted((io.shared() / "in").string()) + " >" +
               shellQuoted((io.root() / "out").string()) + " 2>" + shellQuoted((io.root() / "err").string());
    const int status = std::system(command.c_str());
    kelvo::testing::ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readFile(io.root() / "out");
    run.err = readFile(io.root() / "err");
    return run;
  }
};

TEST_F(KelvoProgram, SaveFromAFileOrStandardInputThenShow) {
  io.write("input.json", kSample.dump(2));
  const auto saved = kelvo({"--shared-dir", dir(), "save", (io.shared() / "input.json").string()});
  EXPECT_EQ(saved.exitCode, 0) << saved.err;
  EXPECT_EQ(saved.out, "");
  // What was stored is the compact encoding, not the input's layout.
  const auto expected = kelvo::decodeSnapshot(kSample.dump());
  EXPECT_EQ(stored("snapshot.json"), *kelvo::encodeSnapshot(*expected));

  const auto shown = kelvo({"show", "--shared-dir", dir()});
  EXPECT_EQ(shown.exitCode, 0);
  const Json json = onlyObject(shown.out);
  EXPECT_EQ(json, (Json{{"state", "ok"}, {"snapshot", json["snapshot"]}}));
  EXPECT_EQ(*kelvo::decodeSnapshot(json["snapshot"].dump()), *expected);

  // "-" or no file at all: standard input.
  for (const std::int64_t range : {1, 2}) {
    Json document = kSample;
    document["rangeKm"] = range;
    std::vector<std::string> args = {"save", "--shared-dir", dir()};
    if (range == 1) args.push_back("-");
    EXPECT_EQ(kelvo(args, document.dump()).exitCode, 0);
    EXPECT_EQ(kelvo::decodeSnapshot(stored("snapshot.json"))->rangeKm, range);
  }
}

TEST_F(KelvoProgram, InvalidInputWritesNothing) {
  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, kSample.dump()).exitCode, 0);
  const std::string before = stored("snapshot.json");
  Json badUnit = kSample;
  badUnit["unit"] = "km";
  const std::string missing = (store.root() / "missing.json").string();
  for (const auto& [source, input, error] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"-", badUnit.dump(), "kelvo: key \"unit\": \"km\" is not a distance unit\n"},
           {"-", "{\"batteryPercentage\": ", "kelvo: not JSON: "},
           {missing, "", "missing.json"},
           {"-", std::string(2 << 20, ' '), "kelvo: standard input is larger than 1 MiB\n"}}) {
    const auto run = kelvo({"save", "--shared-dir", dir(), source}, input);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(error), std::string::npos) << run.err;
    EXPECT_EQ(stored("snapshot.json"), before);
  }
}

TEST_F(KelvoProgram, ShowReportsEveryState) {
  const auto show = [&](const std::string& shared = "") {
    const auto run = kelvo({"show", "--shared-dir", shared.empty() ? dir() : shared});
    EXPECT_EQ(run.exitCode, 1);
    return run.out;
  };
  EXPECT_EQ(show(), "{\"state\":\"noFile\"}\n");
  EXPECT_EQ(show((store.root() / "missing").string()), "{\"state\":\"noContainer\"}\n");
  store.write("snapshot.json", "{\"rangeKm\": 1}");
  EXPECT_EQ(show(), "{\"state\":\"unreadable\",\"message\":\"key \\\"batteryPercentage\\\": missing\"}\n");
  store.write("snapshot.json", "{\"carTitle\": \"\xC3\x28\"}");  // broken bytes never break the JSON
  EXPECT_EQ(onlyObject(show())["state"], "unreadable");
  fs::remove(store.shared() / "snapshot.json");
  ASSERT_EQ(::mkfifo((store.shared() / "snapshot.json").c_str(), 0600), 0);
  EXPECT_EQ(onlyObject(show())["message"], "snapshot.json is not a regular file");  // no blocking open
}

TEST_F(KelvoProgram, PictureCommands) {
  static constexpr char kBytes[] = "\x89PNG\r\n\x1a\n not really \0 a picture";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  EXPECT_EQ(kelvo({"save-image", "--shared-dir", dir(), "-"}, bytes).exitCode, 0);
  EXPECT_EQ(stored("car.png"), bytes);
  EXPECT_EQ(kelvo({"remove-image", "--shared-dir", dir()}).exitCode, 0);
  EXPECT_FALSE(fs::exists(store.shared() / "car.png"));
  EXPECT_EQ(kelvo({"remove-image", "--shared-dir", dir()}).exitCode, 0);  // already gone is fine

  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, kSample.dump()).exitCode, 0);
  io.write("input.bin", "x");
  ASSERT_EQ(kelvo({"save-image", "--shared-dir", dir(), (io.shared() / "input.bin").string()}).exitCode, 0);
  EXPECT_EQ(stored("car.png"), "x");
  EXPECT_EQ(kelvo({"clear", "--shared-dir", dir()}).exitCode, 0);
  EXPECT_TRUE(fs::is_empty(store.shared()));
}

TEST_F(KelvoProgram, WritingWithoutASharedDirectoryFails) {
  const std::string missing = (store.root() / "missing").string();
  for (const auto& args : std::vector<std::vector<std::string>>{{"save", "-", "--shared-dir", missing},
                                                                {"save-image", "-", "--shared-dir", missing},
                                                                {"remove-image", "--shared-dir", missing},
                                                                {"clear", "--shared-dir", missing}}) {
    const auto run = kelvo(args, kSample.dump());
    EXPECT_EQ(run.exitCode, 1) << args[0];
    EXPECT_EQ(run.err, "kelvo: no shared directory: " + missing + " is not a directory\n");
  }
  EXPECT_FALSE(fs::exists(missing));
  const auto where = kelvo({"--shared-dir", missing, "where"});
  EXPECT_NE(where.out.find("shared directory: none\n"), std::string::npos) << where.out;
  EXPECT_NE(kelvo({"where", "--shared-dir", dir()}).out.find("shared directory: " + dir() + "\n"),
            std::string::npos);
}

TEST_F(KelvoProgram, HelpAndUsageErrors) {
  const auto help = kelvo({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"save-image", "remove-image", "clear", "show", "where", "--shared-dir"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
  EXPECT_EQ(kelvo({"save", "--help"}).exitCode, 0);

  for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                {"bogus"},
                                                                {"show", "--frob"},
                                                                {"save-image", "--shared-dir", dir()},
                                                                {"save", "a", "b", "--shared-dir", dir()},
                                                                {"show", "--shared-dir"}}) {
    const auto run = kelvo(args);
    const std::string what = args.empty() ? "(nothing)" : args[0] + " ... " + args.back();
    EXPECT_EQ(run.exitCode, 2) << what;
    EXPECT_TRUE(run.err.starts_with("kelvo: ") && run.err.find('\n') == run.err.size() - 1)
        << what << run.err;
    EXPECT_EQ(run.out, "") << what;
  }
  EXPECT_NE(kelvo({"bogus"}).err.find("bogus"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(store.shared()));
}

}  // namespace
