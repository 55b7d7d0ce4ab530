// The `kelvo` program, run as a user or a script would run it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
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

  // The default store (no --shared-dir) is in io's data directory.
  fs::path defaultStore() const { return io.root() / "data" / "kelvo"; }

  // `shell` runs first in the same shell (ulimit, ...).
  kelvo::testing::ProgramRun kelvo(const std::vector<std::string>& args, std::string_view input = "",
                                   const std::string& shell = "") const {
    io.write("in", input);
    std::string command = shell + " XDG_DATA_HOME=" + shellQuoted((io.root() / "data").string()) + " exec " +
                          shellQuoted(std::string(KELVO_BIN_DIR) + "/kelvo");
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
  const auto local = kelvo({"where"});
  EXPECT_NE(local.out.find("shared directory: " + defaultStore().string() + "\n"), std::string::npos)
      << local.out;
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

TEST_F(KelvoProgram, AnEmptySharedDirIsAUsageErrorNeverTheRealStore) {
  fs::create_directories(defaultStore());
  std::ofstream(defaultStore() / "snapshot.json") << kSample.dump();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"clear", "--shared-dir", ""},
                                             {"--shared-dir", "", "clear"},
                                             {"save", "--shared-dir", ""},
                                             {"remove-image", "--shared-dir", ""},
                                             {"show", "--shared-dir", ""}}) {
    const auto run = kelvo(args, kSample.dump());
    EXPECT_EQ(run.exitCode, 2) << args[0];
    EXPECT_EQ(run.err, "kelvo: --shared-dir: needs a directory, not an empty value (see kelvo --help)\n");
  }
  EXPECT_TRUE(fs::exists(defaultStore() / "snapshot.json"));
  for (const char* command : {"timeline", "render", "run"}) {
    std::vector<std::string> args = {command, "--shared-dir", ""};
    if (args[0] == "run") args.insert(args.end(), {"--out-dir", io.root().string()});
    const auto run = kelvo::testing::runProgram("kelvo-widget", args, io);
    EXPECT_EQ(run.exitCode, 2) << command;
    EXPECT_NE(run.err.find("--shared-dir: needs a directory"), std::string::npos) << command << run.err;
  }
}

TEST_F(KelvoProgram, FailedRemovalsAndUnsearchableDirectoriesAreReported) {
  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, kSample.dump()).exitCode, 0);
  store.write("car.png", "x");
  // Run as nobody when root, so the mode bits apply.
  const kelvo::testing::Launch unprivileged{{}, -1, -1, true};
  kelvo::testing::makeUnprivilegedOwner(store, store.shared());
  const auto asUser = [&](const std::string& program, const std::vector<std::string>& args) {
    return kelvo::testing::runProgram(program, args, store, unprivileged);
  };
  fs::permissions(store.shared(), fs::perms::owner_read | fs::perms::owner_exec);  // read-only
  for (const char* command : {"clear", "remove-image"}) {
    const auto run = asUser("kelvo", {command, "--shared-dir", dir()});
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_EQ(run.err, std::string("kelvo: cannot remove ") +
                           (command[0] == 'c' ? "snapshot.json" : "car.png") + ": Permission denied\n");
  }
  EXPECT_TRUE(fs::exists(store.shared() / "snapshot.json") && fs::exists(store.shared() / "car.png"));

  fs::permissions(store.shared(), fs::perms::owner_read | fs::perms::owner_write);  // no search
  const auto shown = asUser("kelvo", {"show", "--shared-dir", dir()});
  EXPECT_EQ(shown.out, R"({"state":"unreadable","message":"cannot read snapshot.json: Permission denied"})"
                       "\n");
  const auto timeline = asUser("kelvo-widget", {"timeline", "--shared-dir", dir()});
  EXPECT_NE(timeline.out.find(R"("problem":{"case":"unreadable","message":"cannot read snapshot.json: )"
                              R"(Permission denied"})"),
            std::string::npos)
      << timeline.out;
  fs::permissions(store.shared(), fs::perms::owner_all);
}

TEST_F(KelvoProgram, WritersCleanUpAfterKilledWritersAndFailPastAFileSizeLimit) {
  // What writers killed mid-write leave: temporaries an hour old (stale) or
  // five seconds old (maybe still in use), ours or, as root, another user's.
  const struct {
    const char* name;
    int age;
    bool ours, left;
  } files[] = {{".car.png.tmp-41-0-7", 3600, true, false},
               {".car.png.tmp-42-0-7", 5, true, true},
               {".snapshot.json.tmp-43-0-7", 3600, true, false},
               {".car.png.unrelated", 3600, true, true},
               {".car.png.tmp-44-0-7", 3600, false, true}};
  const auto plant = [&] {
    for (const auto& file : files) {
      if (!file.ours && ::geteuid() != 0) continue;
      store.write(file.name, "partial");
      const timespec when[2] = {{::time(nullptr) - file.age, 0}, {::time(nullptr) - file.age, 0}};
      ::utimensat(AT_FDCWD, (store.shared() / file.name).c_str(), when, 0);
      if (!file.ours) ::chown((store.shared() / file.name).c_str(), 65534, 65534);
    }
  };
  const auto expectLeft = [&](const char* after) {
    for (const auto& file : files) {
      if (!file.ours && ::geteuid() != 0) continue;
      EXPECT_EQ(fs::exists(store.shared() / file.name), file.left) << file.name << " after " << after;
    }
    return std::distance(fs::directory_iterator(store.shared()), {});
  };
  plant();
  ASSERT_EQ(kelvo({"clear", "--shared-dir", dir()}).exitCode, 0);
  expectLeft("clear");
  plant();
  ASSERT_EQ(kelvo({"save-image", "--shared-dir", dir(), "-"}, "picture").exitCode, 0);
  const auto entries = expectLeft("save-image");

  // ulimit -f: the write fails with EFBIG instead of SIGXFSZ killing kelvo.
  const auto limited =
      kelvo({"save-image", "--shared-dir", dir(), "-"}, std::string(1 << 20, 'x'), "ulimit -f 64;");
  EXPECT_EQ(limited.exitCode, 1);
  EXPECT_EQ(limited.err, "kelvo: cannot write car.png: File too large\n");
  EXPECT_EQ(stored("car.png"), "picture");
  EXPECT_EQ(expectLeft("a failed write"), entries) << "the failed writer's temporary file is gone";
}

}  // namespace
