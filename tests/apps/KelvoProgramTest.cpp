// The `kelvo` program, run as a user or a script would run it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
  std::string file(const char* name, std::string_view bytes) const {
    writeFile(scratch.root() / name, bytes);
    return (scratch.root() / name).string();
  }
  ProgramRun kelvo(const Args& args, std::string_view input = "", Launch launch = {}) const {
    launch.input = file("stdin", input);
    return runProgram("kelvo", args, scratch, launch);
  }
  // kelvo on the scratch's shared directory.
  ProgramRun onShared(Args args, std::string_view input = "", Launch launch = {}) const {
    args.insert(args.end(), {"--shared-dir", dir()});
    return kelvo(args, input, launch);
  }
};

TEST_F(KelvoProgram, SaveReadsAFileOrStandardInput) {
  Json sample = kSample;
  const auto ranged = [&sample](int km) { return (sample["rangeKm"] = km, sample.dump(2)); };
  // Source, then the ranges on standard input and stored.
  const std::tuple<Args, int, int> cases[] = {
      {{file("input.json", ranged(3))}, 2, 3}, {{"-"}, 2, 2}, {{}, 1, 1}};
  for (const auto& [source, input, range] : cases) {
    Args args = {"save"};
    args.insert(args.end(), source.begin(), source.end());
    const auto saved = onShared(args, ranged(input));
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    auto expected = *decodeSnapshot(ranged(range));
    expected.hasImage = false;  // there is no car.png
    EXPECT_EQ(stored("snapshot.json"), *encodeSnapshot(expected)) << "the compact encoding, not the input";
  }
}

// Which snapshot.json hasImage each step leaves is the writer's unit tests' business.
TEST_F(KelvoProgram, PictureCommandsStoreRemoveAndClear) {
  ASSERT_EQ(onShared({"save"}, kSample.dump()).exitCode, 0);
  const std::string bytes("\x89PNG\r\n\x1a\n \0 x", 12);
  // A command and the car.png it leaves; removing a missing picture is fine.
  const std::pair<Args, std::string> steps[] = {{{"save-image", "-"}, bytes},
                                                {{"remove-image"}, ""},
                                                {{"remove-image"}, ""},
                                                {{"save-image", file("input.png", "file")}, "file"}};
  for (const auto& [args, picture] : steps) {
    EXPECT_EQ(onShared(args, bytes).exitCode, 0) << args[0];
    EXPECT_EQ(stored("car.png"), picture) << args[0];
  }
  EXPECT_TRUE(decodeSnapshot(stored("snapshot.json"))->hasImage);
  EXPECT_EQ(onShared({"clear"}).exitCode, 0);
  EXPECT_TRUE(fs::is_empty(scratch.shared()));
}

TEST_F(KelvoProgram, FailedRemovalsAndUnsearchableDirectoriesAreReported) {
  ASSERT_EQ(onShared({"save"}, kSample.dump()).exitCode, 0);
  scratch.write("car.png", "x");
  // Run as nobody when root, so the mode bits apply.
  const Launch unprivileged{{}, -1, -1, true};
  makeUnprivilegedOwner(scratch, scratch.shared());
  fs::permissions(scratch.shared(), fs::perms::owner_read | fs::perms::owner_exec);  // read-only
  for (const std::string name : {"snapshot.json", "car.png"}) {
    const auto run = onShared({name == "car.png" ? "remove-image" : "clear"}, "", unprivileged);
    EXPECT_EQ(run.exitCode, 1) << name;
    EXPECT_EQ(run.err, "kelvo: cannot remove " + name + ": Permission denied\n");
    EXPECT_TRUE(fs::exists(scratch.shared() / name));
  }
  fs::permissions(scratch.shared(), fs::perms::owner_read | fs::perms::owner_write);  // no search
  EXPECT_EQ(onShared({"show"}, "", unprivileged).out,
            R"({"state":"unreadable","message":"cannot read snapshot.json: Permission denied"})"
            "\n");
  fs::permissions(scratch.shared(), fs::perms::owner_all);
}

TEST_F(KelvoProgram, WritersCleanUpAfterKilledWritersAndFailPastAFileSizeLimit) {
  // What writers killed mid-write leave: temporaries an hour old (stale) or
  // five seconds old (maybe still in use), ours or, as root, another user's.
  const std::tuple<const char*, int, bool, bool> files[] = {// name, age, ours, left
                                                            {".car.png.tmp-41-0-7", 3600, true, false},
                                                            {".car.png.tmp-42-0-7", 5, true, true},
                                                            {".snapshot.json.tmp-43-0-7", 3600, true, false},
                                                            {".car.png.unrelated", 3600, true, true},
                                                            {".car.png.tmp-44-0-7", 3600, false, true}};
  const bool root = ::geteuid() == 0;
  for (const Args& args : {Args{"clear"}, Args{"save-image", "-"}}) {
    for (const auto& [name, age, ours, left] : files) {
      if (!ours && !root) continue;
      scratch.write(name, "partial");
      const timespec when[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
      ::utimensat(AT_FDCWD, (scratch.shared() / name).c_str(), when, 0);
      if (!ours) {
        ASSERT_EQ(::chown((scratch.shared() / name).c_str(), 65534, 65534), 0) << name;
      }
    }
    ASSERT_EQ(onShared(args, "picture").exitCode, 0) << args[0];
    for (const auto& [name, age, ours, left] : files) {
      EXPECT_EQ(fs::exists(scratch.shared() / name), left && (ours || root)) << name << args[0];
    }
  }
  const auto entries = std::distance(fs::directory_iterator(scratch.shared()), {});

  // A file size limit: the write fails with EFBIG instead of SIGXFSZ killing kelvo.
  Launch limited;
  limited.fileSizeLimit = 64 << 10;
  const auto run = onShared({"save-image", "-"}, std::string(1 << 20, 'x'), limited);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kelvo: cannot write car.png: File too large\n");
  EXPECT_EQ(stored("car.png"), "picture");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.shared()), {}), entries)
      << "a temporary file is left";
}

}  // namespace
}  // namespace kelvo::testing
