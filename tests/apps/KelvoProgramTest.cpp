// The `kelvo` program, run as a user or a script would run it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <nlohmann/json.hpp>

#include "KelvoShared/WidgetSnapshot.h"
#include "ProgramRunner.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Args = std::vector<std::string>;

const Json kSample = Json::parse(R"j({"batteryPercentage": 64, "rangeKm": 318, "statusKey": "CHARGING",
  "isDriving": false, "fullInMinutes": 95, "carTitle": "Polestar 4 · 2026", "writtenAt": "2026-12-06T09:14:00Z",
  "unit": "Kilometers (km)", "hasImage": true})j");

// Each test gets an empty shared directory and runs bin/kelvo on it.
class KelvoProgram : public ::testing::Test {
 protected:
  Scratch scratch;
  std::string dir() const { return scratch.shared().string(); }
  std::string stored(const char* name) const { return readFile(scratch.shared() / name); }
  // The default store (no --shared-dir): in the scratch's XDG_DATA_HOME.
  fs::path defaultStore() const { return scratch.root() / "data" / "kelvo"; }
  std::string file(const char* name, std::string_view bytes) const {
    writeFile(scratch.root() / name, bytes);
    return (scratch.root() / name).string();
  }
  ProgramRun kelvo(const Args& args, std::string_view input = "", Launch launch = {}) const {
    launch.input = file("stdin", input);
    return runProgram("kelvo", args, scratch, launch);
  }
};

TEST_F(KelvoProgram, SaveReadsAFileOrStandardInputAndShowPrintsIt) {
  Json fromFile = kSample;
  fromFile["rangeKm"] = 3;
  for (const Args& source : {Args{file("input.json", fromFile.dump(2))}, Args{"-"}, Args{}}) {
    Json document = kSample;
    document["rangeKm"] = source.empty() ? 1 : 2;
    Args args = {"save", "--shared-dir", dir()};
    args.insert(args.end(), source.begin(), source.end());
    const auto saved = kelvo(args, document.dump());
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    auto expected =
        *decodeSnapshot(source.size() == 1 && source[0] != "-" ? fromFile.dump() : document.dump());
    expected.hasImage = false;  // there is no car.png
    EXPECT_EQ(stored("snapshot.json"), *encodeSnapshot(expected)) << "the compact encoding, not the input";
  }
  const auto shown = kelvo({"show", "--shared-dir", dir()});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(shown.out, R"({"state":"ok","snapshot":)" + stored("snapshot.json") + "}\n");
}

TEST_F(KelvoProgram, InvalidInputWritesNothing) {
  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, kSample.dump()).exitCode, 0);
  const std::string before = stored("snapshot.json");
  Json badUnit = kSample;
  badUnit["unit"] = "km";
  for (const auto& [source, input, error] : std::vector<std::array<std::string, 3>>{
           {"-", badUnit.dump(), "kelvo: key \"unit\": \"km\" is not a distance unit\n"},
           {"-", "{\"batteryPercentage\": ", "kelvo: not JSON: "},
           {(scratch.root() / "missing.json").string(), "", "missing.json"},
           {"-", std::string(2 << 20, ' '), "kelvo: standard input is larger than 1 MiB\n"}}) {
    const auto run = kelvo({"save", "--shared-dir", dir(), source}, input);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(error), std::string::npos) << run.err;
    EXPECT_EQ(stored("snapshot.json"), before);
  }
}

TEST_F(KelvoProgram, ShowReportsEveryState) {
  const auto show = [&](const std::string& shared) {
    const auto run = kelvo({"show", "--shared-dir", shared});
    EXPECT_EQ(run.exitCode, 1);
    return run.out;
  };
  EXPECT_EQ(show(dir()), "{\"state\":\"noFile\"}\n");
  EXPECT_EQ(show((scratch.root() / "missing").string()), "{\"state\":\"noContainer\"}\n");
  scratch.write("snapshot.json", "{\"rangeKm\": 1}");
  EXPECT_EQ(show(dir()),
            "{\"state\":\"unreadable\",\"message\":\"key \\\"batteryPercentage\\\": missing\"}\n");
  scratch.write("snapshot.json", "{\"carTitle\": \"\xC3\x28\"}");  // broken bytes never break the JSON
  EXPECT_EQ(Json::parse(show(dir()))["state"], "unreadable");
}

TEST_F(KelvoProgram, PictureCommandsKeepHasImageInStep) {
  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, kSample.dump()).exitCode, 0);
  const std::string bytes("\x89PNG\r\n\x1a\n \0 x", 12);
  const struct {
    Args args;
    bool picture;
  } steps[] = {{{"save-image", "-"}, true},
               {{"remove-image"}, false},
               {{"remove-image"}, false},  // already gone is fine
               {{"save-image", file("input.png", bytes)}, true}};
  for (const auto& [args, picture] : steps) {
    Args withDir = args;
    withDir.insert(withDir.end(), {"--shared-dir", dir()});
    EXPECT_EQ(kelvo(withDir, bytes).exitCode, 0) << args[0];
    EXPECT_EQ(stored("car.png"), picture ? bytes : "") << args[0];
    EXPECT_EQ(decodeSnapshot(stored("snapshot.json"))->hasImage, picture) << args[0];
  }
  EXPECT_EQ(kelvo({"clear", "--shared-dir", dir()}).exitCode, 0);
  EXPECT_TRUE(fs::is_empty(scratch.shared()));
}

TEST_F(KelvoProgram, WritingWithoutASharedDirectoryFails) {
  const std::string missing = (scratch.root() / "missing").string();
  for (const Args& args : {Args{"save", "-"}, Args{"save-image", "-"}, Args{"remove-image"}, Args{"clear"}}) {
    Args withDir = args;
    withDir.insert(withDir.end(), {"--shared-dir", missing});
    const auto run = kelvo(withDir, kSample.dump());
    EXPECT_EQ(run.exitCode, 1) << args[0];
    EXPECT_EQ(run.err, "kelvo: no shared directory: " + missing + " is not a directory\n");
  }
  EXPECT_FALSE(fs::exists(missing));
  for (const auto& [args, shared] :
       std::vector<std::pair<Args, std::string>>{{{"where"}, defaultStore().string()},
                                                 {{"--shared-dir", missing, "where"}, "none"},
                                                 {{"where", "--shared-dir", dir()}, dir()}}) {
    EXPECT_NE(kelvo(args).out.find("shared directory: " + shared + "\n"), std::string::npos) << shared;
  }
}

TEST_F(KelvoProgram, UsageErrorsExitTwoWithOneLineAndNeverTouchTheStore) {
  fs::create_directories(defaultStore());
  writeFile(defaultStore() / "snapshot.json", kSample.dump());
  const std::string empty = "kelvo: --shared-dir: needs a directory, not an empty value (see kelvo --help)\n";
  for (const auto& [args, err] :
       std::vector<std::pair<Args, std::string>>{{{}, ""},
                                                 {{"bogus"}, "bogus"},
                                                 {{"show", "--frob"}, ""},
                                                 {{"save-image", "--shared-dir", dir()}, ""},
                                                 {{"save", "a", "b", "--shared-dir", dir()}, ""},
                                                 {{"show", "--shared-dir"}, ""},
                                                 {{"clear", "--shared-dir", ""}, empty},
                                                 {{"--shared-dir", "", "clear"}, empty},
                                                 {{"show", "--shared-dir", ""}, empty}}) {
    const auto run = kelvo(args, kSample.dump());
    const std::string what = args.empty() ? "(nothing)" : args[0] + " ... " + args.back();
    EXPECT_EQ(run.exitCode, 2) << what;
    EXPECT_TRUE(run.err.starts_with("kelvo: ") && run.err.find('\n') == run.err.size() - 1)
        << what << run.err;
    EXPECT_NE(run.err.find(err), std::string::npos) << what << run.err;
    EXPECT_EQ(run.out, "") << what;
  }
  EXPECT_TRUE(fs::is_empty(scratch.shared()));
  EXPECT_TRUE(fs::exists(defaultStore() / "snapshot.json"));
  const auto help = kelvo({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* word : {"save-image", "remove-image", "clear", "show", "where", "--shared-dir"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
}

TEST_F(KelvoProgram, FailedRemovalsAndUnsearchableDirectoriesAreReported) {
  ASSERT_EQ(kelvo({"save", "--shared-dir", dir()}, kSample.dump()).exitCode, 0);
  scratch.write("car.png", "x");
  // Run as nobody when root, so the mode bits apply.
  const Launch unprivileged{{}, -1, -1, true};
  makeUnprivilegedOwner(scratch, scratch.shared());
  fs::permissions(scratch.shared(), fs::perms::owner_read | fs::perms::owner_exec);  // read-only
  for (const std::string name : {"snapshot.json", "car.png"}) {
    const auto run =
        kelvo({name == "car.png" ? "remove-image" : "clear", "--shared-dir", dir()}, "", unprivileged);
    EXPECT_EQ(run.exitCode, 1) << name;
    EXPECT_EQ(run.err, "kelvo: cannot remove " + name + ": Permission denied\n");
    EXPECT_TRUE(fs::exists(scratch.shared() / name));
  }
  fs::permissions(scratch.shared(), fs::perms::owner_read | fs::perms::owner_write);  // no search
  EXPECT_EQ(kelvo({"show", "--shared-dir", dir()}, "", unprivileged).out,
            R"({"state":"unreadable","message":"cannot read snapshot.json: Permission denied"})"
            "\n");
  fs::permissions(scratch.shared(), fs::perms::owner_all);
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
  const auto plantThenRun = [&](const Args& args, std::string_view input) {
    for (const auto& f : files) {
      if (!f.ours && ::geteuid() != 0) continue;
      scratch.write(f.name, "partial");
      const timespec when[2] = {{::time(nullptr) - f.age, 0}, {::time(nullptr) - f.age, 0}};
      ::utimensat(AT_FDCWD, (scratch.shared() / f.name).c_str(), when, 0);
      if (!f.ours) ::chown((scratch.shared() / f.name).c_str(), 65534, 65534);
    }
    ASSERT_EQ(kelvo(args, input).exitCode, 0) << args[0];
    for (const auto& f : files) {
      if (f.ours || ::geteuid() == 0) {
        EXPECT_EQ(fs::exists(scratch.shared() / f.name), f.left) << f.name << args[0];
      }
    }
  };
  plantThenRun({"clear", "--shared-dir", dir()}, "");
  plantThenRun({"save-image", "--shared-dir", dir(), "-"}, "picture");
  const auto entries = std::distance(fs::directory_iterator(scratch.shared()), {});

  // A file size limit: the write fails with EFBIG instead of SIGXFSZ killing kelvo.
  Launch limited;
  limited.fileSizeLimit = 64 << 10;
  const auto run = kelvo({"save-image", "--shared-dir", dir(), "-"}, std::string(1 << 20, 'x'), limited);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kelvo: cannot write car.png: File too large\n");
  EXPECT_EQ(stored("car.png"), "picture");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.shared()), {}), entries)
      << "a temporary file is left";
}

}  // namespace
}  // namespace kelvo::testing
