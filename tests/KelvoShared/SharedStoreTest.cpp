#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "KelvoShared/SharedStore.h"
#include "SampleSnapshot.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::sampleSnapshot;
using testing::TempDirectory;
using testing::writeFile;
using Bytes = std::vector<std::uint8_t>;

std::string files(const fs::path& dir) {
  std::set<std::string> names;  // in order
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  std::string all;
  for (const std::string& name : names) all += (all.empty() ? "" : " ") + name;
  return all;
}

// "ok" (the sample's data; "ok+image" with hasImage), "ok: other data",
// "noFile", "noContainer" or "unreadable: MESSAGE".
std::string describe(const SharedStore::SnapshotState& state) {
  if (const auto* ok = std::get_if<SharedStore::Ok>(&state)) {
    WidgetSnapshot without = ok->snapshot;
    without.hasImage = false;
    return without != sampleSnapshot() ? "ok: other data" : ok->snapshot.hasImage ? "ok+image" : "ok";
  }
  if (const auto* unreadable = std::get_if<SharedStore::Unreadable>(&state))
    return "unreadable: " + unreadable->message;
  return std::holds_alternative<SharedStore::NoFile>(state) ? "noFile" : "noContainer";
}

// What a reader finds in the directory: the snapshot, the picture (its bytes
// in hex up to 8 bytes), the directory's entries.
std::string summary(const SharedStore& store, const fs::path& dir) {
  const auto image = store.loadImage();
  std::string picture = !store.hasImage() ? "no image" : image ? "image " : "unloadable image";
  for (std::size_t i = 0; image && i < std::min<std::size_t>(image->size(), 8); ++i) {
    picture += "0123456789abcdef"[(*image)[i] >> 4];
    picture += "0123456789abcdef"[(*image)[i] & 15];
  }
  return describe(store.snapshotState()) + " | " + picture + " | " + files(dir);
}

WidgetSnapshot sampleWith(const std::function<void(WidgetSnapshot&)>& change) {
  WidgetSnapshot snapshot = sampleSnapshot();
  change(snapshot);
  return snapshot;
}

// Every case starts from a directory holding the sample's snapshot.json and a
// three-byte car.png; `result` is what the operation reports ("ok" or the
// start of its message).
TEST(SharedStore, WritesReplaceRemoveOrFailLeavingThePreviousFilesAndWritersKeepHasImageInStep) {
  const WidgetSnapshot fractional = sampleWith([](auto&s) { s.writtenAt.secondsSince1970 += 0.6; }),
                       nan = sampleWith([](auto&s) { s.batteryPercentage = NAN; }),
                       huge = sampleWith(
                           [](auto&s) { s.carTitle = std::string(SharedStore::kSnapshotSizeLimit, 'x'); }),
                       pictured = sampleWith([](auto&s) { s.hasImage = true; });
  const std::string kept = "ok | image 010203 | car.png snapshot.json", broken = "{\"hasImage\": false";
  const struct {
    const char* name;
    std::function<Status(const SharedStore&, const fs::path&)> act;
    std::string result, after;
  } cases[] = {
      // clang-format off
      {"clear removes both files, not the directory", [](auto& s, auto&) { return s.clear(); }, "ok", "noFile | no image | "},
      {"nothing left to clear is no failure", [](auto& s, auto&) { s.clear(); return s.clear(); }, "ok", "noFile | no image | "},
      {"removeImage keeps the snapshot", [](auto& s, auto&) { s.removeImage(); return s.removeImage(); }, "ok", "ok | no image | snapshot.json"},
      {"save keeps whole seconds", [&](auto& s, auto&) { return s.save(fractional); }, "ok", kept},
      {"an empty picture is a picture", [](auto& s, auto&) { return s.saveImage({}); }, "ok", "ok | image  | car.png snapshot.json"},
      {"a NaN battery is not written", [&](auto& s, auto&) { return s.save(nan); }, "key \"batteryPercentage\": a number that is not finite cannot be written", kept},
      {"what the reader would refuse is not written", [&](auto& s, auto&) { return s.save(huge); }, "the encoded snapshot is larger than 1 MiB", kept},
      {"nor a picture over the limit", [](auto& s, auto&) { return s.saveImage(Bytes(SharedStore::kImageSizeLimit + 1)); }, "the picture is larger than 64 MiB", kept},
      {"a directory is not renamed over", [](auto& s, auto& dir) { s.clear(); fs::create_directories(dir / "snapshot.json/inside"); return s.save(sampleSnapshot()); }, "cannot replace snapshot.json", "unreadable: snapshot.json is not a regular file | no image | snapshot.json"},
      {"removal never takes a directory tree", [](auto& s, auto& dir) { s.removeImage(); fs::create_directories(dir / "car.png/inside"); return s.clear(); }, "cannot remove car.png", "noFile | unloadable image | car.png"},
      {"a writer keeps hasImage while car.png is there", [&](auto& s, auto&) { return s.writer()->save(pictured); }, "ok", "ok+image | image 010203 | car.png snapshot.json"},
      {"or the writer's choice", [](auto& s, auto&) { return s.writer()->save(sampleSnapshot()); }, "ok", kept},
      {"but not without it", [&](auto& s, auto&) { s.removeImage(); return s.writer()->save(pictured); }, "ok", "ok | no image | snapshot.json"},
      {"a writer's picture sets it", [](auto& s, auto&) { return s.writer()->saveImage({4}); }, "ok", "ok+image | image 04 | car.png snapshot.json"},
      {"and its removal clears it", [&](auto& s, auto&) { s.save(pictured); return s.writer()->removeImage(); }, "ok", "ok | no image | snapshot.json"},
      {"a writer makes up no snapshot", [](auto& s, auto&) { s.clear(); return s.writer()->saveImage({4}); }, "ok", "noFile | image 04 | car.png"},
      {"nor mends an unreadable one", [&](auto& s, auto& dir) { writeFile(dir / "snapshot.json", broken); return s.writer()->saveImage({4}); }, "ok", "unreadable: " + SharedStore::boundedMessage(decodeSnapshot(broken).error().message) + " | image 04 | car.png snapshot.json"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const TempDirectory temp;
    const SharedStore store(Platform::withSharedDirectory(temp.path()));
    ASSERT_TRUE(store.save(sampleSnapshot()) && store.saveImage({1, 2, 3}));
    const Status status = c.act(store, temp.path());
    EXPECT_EQ(status ? "ok" : status.error().message.substr(0, c.result.size()), c.result) << c.name;
    EXPECT_EQ(summary(store, temp.path()), c.after) << c.name;  // and no temporary files
  }
}

TEST(SharedStore, ReplacementIsAtomicUnderAConcurrentReader) {
  // Memory-backed when possible: every save flushes to disk.
  const bool shm = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0;
  const TempDirectory temp(shm ? fs::path("/dev/shm") : fs::temp_directory_path());
  const SharedStore store(Platform::withSharedDirectory(temp.path()));
  const WidgetSnapshot first = sampleSnapshot(), second = sampleWith([](auto&s) { s.rangeKm = 200; });
  ASSERT_TRUE(store.save(first));
  std::atomic<bool> done{false};
  int failedWrites = 0, reads = 0, other = 0;
  std::thread writer([&] {
    for (int i = 0; i < 500; ++i) failedWrites += store.save(i % 2 ? first : second) ? 0 : 1;
    done = true;
  });
  for (; !done; ++reads) {
    const auto loaded = store.loadSnapshot();
    other += !loaded || (*loaded != first && *loaded != second);
  }
  writer.join();
  EXPECT_EQ(failedWrites, 0);
  EXPECT_EQ(other, 0) << "of " << reads << " reads";
  EXPECT_EQ(files(temp.path()), "snapshot.json");  // no temporary files left
}

// The store reads snapshot.json whole (readRegularFile); the picture is read
// piece by piece (RegularFileReader): both refuse what is not a regular file
// of at most their limit, without blocking.
TEST(SharedStore, UnusableFilesReadAsFailuresWithAShortMessage) {
  const TempDirectory temp;
  const SharedStore store(Platform::withSharedDirectory(temp.path()));
  const fs::path file = temp.path() / "snapshot.json";
  std::string padded = *encodeSnapshot(sampleSnapshot()), unterminated = "{\"carTitle\":\"";
  padded.resize(SharedStore::kSnapshotSizeLimit, ' ');  // exactly the limit is fine
  for (int i = 0; i < 300; ++i) unterminated += "é";
  const std::string special = "snapshot.json is not a regular file";
  // clang-format off
  for (const auto& [kind, content, expected, opened] : std::vector<std::array<std::string, 4>>{
           {"empty", "", "unreadable: not JSON", "opened"}, {"BOM", "\xEF\xBB\xBF[", "unreadable: not JSON", "opened"},
           // The message says where, without quoting what was read.
           {"unterminated", unterminated, "unreadable: " + decodeSnapshot(unterminated).error().message, "opened"},
           {"directory", "", "unreadable: " + special, special}, {"fifo", "", "unreadable: " + special, special},
           {"/dev/zero", "", "unreadable: " + special, special}, {"at the limit", padded, "ok", "opened"},
           {"over the limit", padded + ' ', "unreadable: snapshot.json is larger than 1 MiB", "snapshot.json is larger than 1 MiB"}}) {
    // clang-format on
    store.clear();
    fs::remove(file);
    if (kind == "directory") fs::create_directory(file);
    if (kind == "fifo") ::mkfifo(file.c_str(), 0600);  // read without blocking
    if (kind == "/dev/zero") fs::create_symlink(kind, file);
    if (!fs::exists(file)) writeFile(file, content);
    const std::string state = describe(store.snapshotState());
    EXPECT_EQ(state.substr(0, expected.size()), expected) << kind;
    EXPECT_LE(state.size(), 12 + SharedStore::kMessageByteLimit) << kind;
    EXPECT_EQ(state.find("é"), std::string::npos) << kind;
    EXPECT_EQ(store.loadSnapshot().has_value(), expected == "ok") << kind;
    const auto reader = RegularFileReader::open(file, SharedStore::kSnapshotSizeLimit);
    EXPECT_EQ(reader.ok() ? "opened" : reader.error().message, opened) << kind;
  }
  const std::string bounded =
      SharedStore::boundedMessage(std::get<SharedStore::Unreadable>(store.snapshotState()).message);
  EXPECT_EQ(SharedStore::boundedMessage(bounded), bounded);  // bounding twice changes nothing
}

// A platform whose home directory and group containers all live under one
// temporary directory; `asked` records the group lookups.
struct FakePlatform {
  TempDirectory temp;
  fs::path home = temp.path() / "home", local = home / ".local/share/kelvo";
  std::optional<InfoValue> groupKey;
  std::map<std::string, fs::path> containers;
  mutable std::vector<std::string> asked;

  explicit FakePlatform(std::optional<InfoValue> key = std::nullopt) : groupKey(std::move(key)) {
    fs::create_directories(home);
  }
  Platform platform() const {
    Platform p;
    p.infoValue = [this](const std::string& name) {
      return name == "KelvoAppGroup" ? groupKey : std::nullopt;
    };
    p.groupContainer = [this](const std::string& id) {
      asked.push_back(id);
      const auto it = containers.find(id);
      return it == containers.end() ? std::nullopt : std::optional<fs::path>(it->second);
    };
    p.homeDirectory = [this] { return std::optional<fs::path>(home); };
    return p;
  }
};

TEST(SharedStorePlatform, MissingNumericOrEmptyKeyMeansTheLocalDirectoryAndAGroupItsContainer) {
  for (const auto& key : {std::optional<InfoValue>(), std::optional<InfoValue>(InfoValue{}),
                          std::optional<InfoValue>(InfoValue{std::string()})}) {
    const FakePlatform fake(key);
    const SharedStore store(fake.platform());
    EXPECT_FALSE(store.isSharedGroup());
    EXPECT_EQ(describe(store.snapshotState()), "noFile");
    ASSERT_TRUE(store.save(sampleSnapshot()));
    EXPECT_TRUE(fs::is_regular_file(fake.local / "snapshot.json"));
    EXPECT_TRUE(fake.asked.empty());
  }
  const FakePlatform blocked;
  writeFile(blocked.home / ".local", "a file where a directory should be");
  EXPECT_EQ(describe(SharedStore(blocked.platform()).snapshotState()), "noFile");
  EXPECT_FALSE(SharedStore(blocked.platform()).save(sampleSnapshot()));

  FakePlatform fake(InfoValue{"group.se.kelvo"});
  fs::create_directory(fake.containers["group.se.kelvo"] = fake.temp.path() / "group");
  ASSERT_TRUE(SharedStore(fake.platform()).save(sampleSnapshot()));
  EXPECT_TRUE(fs::is_regular_file(fake.temp.path() / "group/snapshot.json"));
  EXPECT_FALSE(fs::exists(fake.local));
  // A given directory wins; one that is not a directory is no container.
  Platform platform = fake.platform();
  platform.sharedDirectory = fake.temp.path() / "given";
  fs::create_directory(fake.temp.path() / "given");
  EXPECT_EQ(describe(SharedStore(platform).snapshotState()), "noFile");
  writeFile(fake.home / "file", "");
  EXPECT_FALSE(SharedStore(Platform::withSharedDirectory(fake.home / "file")).containerURL().has_value());
}

TEST(SharedStorePlatform, UnresolvedOrUnsafeGroupsWriteAndCreateNothingAndWritersSayWhy) {
  // clang-format off
  for (const auto& [id, looked] : std::vector<std::pair<std::string, bool>>{{"group.unknown", true}, {"  ", true} /* passed on unchanged */,
           {".", false}, {"..", false}, {"a/b", false}, {"/", false}, {"../../etc", false}, {std::string("group\0x", 7), false}}) {
    // clang-format on
    FakePlatform fake(InfoValue{id});
    if (!looked) fake.containers[id] = fake.temp.path();  // a careless lookup would answer
    const SharedStore store(fake.platform());
    EXPECT_EQ(store.appGroup(), id);
    EXPECT_EQ(describe(store.snapshotState()), "noContainer") << id;
    EXPECT_TRUE(store.save(sampleSnapshot()) && store.saveImage({1, 2}) && store.clear()) << id;
    EXPECT_EQ(files(fake.home), "") << id;  // no local directory either
    EXPECT_EQ(fake.asked, looked ? std::vector<std::string>(4, id) : std::vector<std::string>{}) << id;
  }
  EXPECT_EQ(SharedStore(FakePlatform(InfoValue{"group.kelvo"}).platform()).writer().error().message,
            "no shared directory: the app group \"group.kelvo\" has no container");
}

}  // namespace
}  // namespace kelvo
