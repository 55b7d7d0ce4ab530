#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <limits>
#include <map>
#include <thread>

#include "KelvoShared/SharedStore.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDirectory;
using testing::writeFile;

WidgetSnapshot sample(std::int64_t rangeKm = 318) {
  WidgetSnapshot s;
  s.batteryPercentage = 64;
  s.rangeKm = rangeKm;
  s.statusKey = "CHARGING";
  s.isPluggedIn = true;
  s.carTitle = "Polestar 4 · 2026";
  s.carReportedAt = Date{1768465680};
  s.writtenAt = Date{1768465800};
  return s;
}

// A platform whose home directory and group containers all live under one
// temporary directory; `asked` records the group lookups. It outlives the
// stores made from it.
struct FakePlatform {
  TempDirectory temp;
  fs::path home = temp.path() / "home";
  fs::path local = home / ".local" / "share" / "kelvo";
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

// A store over a shared directory given directly, as --shared-dir does.
struct DirectStore {
  explicit DirectStore(const fs::path& base = fs::temp_directory_path()) : temp(base) {}
  TempDirectory temp;
  SharedStore store{Platform::withSharedDirectory(temp.path())};
  fs::path file(const char* name) const { return temp.path() / name; }
};

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

template <typename State>
bool is(const SharedStore::SnapshotState& state) {
  return std::holds_alternative<State>(state);
}

std::string unreadableMessage(const SharedStore::SnapshotState& state) {
  const auto* unreadable = std::get_if<SharedStore::Unreadable>(&state);
  EXPECT_NE(unreadable, nullptr) << "state index " << state.index();
  return unreadable ? unreadable->message : std::string();
}

TEST(SharedStore, LifeCycle) {
  DirectStore d;
  d.store.clear();  // nothing there to remove
  d.store.removeImage();
  EXPECT_TRUE(is<SharedStore::NoFile>(d.store.snapshotState()));

  WidgetSnapshot fractional = sample();
  fractional.writtenAt = Date{1768465800.6};
  ASSERT_TRUE(d.store.save(fractional).ok());
  const auto state = d.store.snapshotState();
  ASSERT_TRUE(is<SharedStore::Ok>(state));
  EXPECT_EQ(std::get<SharedStore::Ok>(state).snapshot, sample());  // whole seconds on disk
  EXPECT_TRUE(d.store.loadSnapshot()->sameData(fractional));

  // Not a PNG at all: stored byte for byte all the same.
  const std::vector<std::uint8_t> picture = {'n', 'o', 't', 0, 0xFF, 'p', 'n', 'g'};
  ASSERT_TRUE(d.store.saveImage(picture).ok());
  EXPECT_EQ(d.store.loadImage(), picture);
  d.store.removeImage();
  EXPECT_FALSE(d.store.hasImage());
  EXPECT_TRUE(is<SharedStore::Ok>(d.store.snapshotState()));

  ASSERT_TRUE(d.store.saveImage({}).ok());
  EXPECT_EQ(d.store.loadImage(), std::vector<std::uint8_t>{});
  d.store.clear();
  EXPECT_TRUE(is<SharedStore::NoFile>(d.store.snapshotState()));
  EXPECT_FALSE(d.store.loadImage().has_value());
  EXPECT_TRUE(entries(d.temp.path()).empty());
  EXPECT_TRUE(fs::is_directory(d.temp.path()));  // the directory itself stays
}

TEST(SharedStore, FailedSavesKeepThePreviousFilesAndLeaveNoTemporaries) {
  DirectStore d;
  ASSERT_TRUE(d.store.save(sample()).ok());
  const std::string before = readFile(d.file("snapshot.json"));
  WidgetSnapshot bad = sample(1);
  bad.batteryPercentage = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(d.store.save(bad).ok());
  // What the reader would refuse is not written either.
  bad.batteryPercentage = 1;
  bad.carTitle = std::string(SharedStore::kSnapshotSizeLimit, 'x');
  EXPECT_EQ(d.store.save(bad).error().message, "the encoded snapshot is larger than 1 MiB");
  EXPECT_FALSE(d.store.saveImage(std::vector<std::uint8_t>(SharedStore::kImageSizeLimit + 1)).ok());
  EXPECT_EQ(readFile(d.file("snapshot.json")), before);
  EXPECT_EQ(entries(d.temp.path()), std::vector<std::string>{"snapshot.json"});

  // A non-empty directory in the target's place cannot be renamed over.
  d.store.clear();
  fs::create_directories(d.file("snapshot.json") / "inside");
  fs::create_directories(d.file("car.png") / "inside");
  EXPECT_FALSE(d.store.save(sample()).ok());
  EXPECT_FALSE(d.store.saveImage({1, 2, 3}).ok());
  EXPECT_EQ(entries(d.temp.path()), (std::vector<std::string>{"car.png", "snapshot.json"}));
  d.store.clear();  // removal never takes a directory tree with it
  EXPECT_TRUE(fs::is_directory(d.file("car.png") / "inside"));
}

TEST(SharedStore, ReplacementIsAtomicUnderAConcurrentReader) {
  // Memory-backed when possible: every save flushes to disk.
  const bool shm = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0;
  DirectStore d(shm ? fs::path("/dev/shm") : fs::temp_directory_path());
  const WidgetSnapshot first = sample(100), second = sample(200);
  ASSERT_TRUE(d.store.save(first).ok());
  std::atomic<bool> done{false};
  int failedWrites = 0;
  std::thread writer([&] {
    for (int i = 0; i < 500; ++i) failedWrites += d.store.save(i % 2 ? first : second).ok() ? 0 : 1;
    done = true;
  });
  int reads = 0, other = 0;
  while (!done) {
    const auto state = d.store.snapshotState();
    const auto* ok = std::get_if<SharedStore::Ok>(&state);
    other += !ok || (ok->snapshot != first && ok->snapshot != second);
    ++reads;
  }
  writer.join();
  EXPECT_EQ(failedWrites, 0);
  EXPECT_EQ(other, 0) << "of " << reads << " reads";
  EXPECT_EQ(entries(d.temp.path()), std::vector<std::string>{"snapshot.json"});  // no temporary files left
}

TEST(SharedStore, BrokenDocumentsAreUnreadableWithAShortMessage) {
  DirectStore d;
  for (const std::string& content : {std::string(), std::string("not json"), std::string("\xEF\xBB\xBF[", 4),
                                     std::string("{\"rangeKm\":1}")}) {
    writeFile(d.file("snapshot.json"), content);
    EXPECT_FALSE(unreadableMessage(d.store.snapshotState()).empty()) << content;
    EXPECT_FALSE(d.store.loadSnapshot().has_value());
  }
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "key \"batteryPercentage\": missing");

  // An unterminated string: the message says where, without quoting what was read.
  std::string text = "{\"carTitle\":\"";
  for (int i = 0; i < 300; ++i) text += "é";
  writeFile(d.file("snapshot.json"), text);
  const std::string message = unreadableMessage(d.store.snapshotState());
  EXPECT_EQ(message, decodeSnapshot(text).error().message);
  EXPECT_EQ(message.find("é"), std::string::npos) << message;
}

TEST(SharedStore, AMessageQuotingOneHugeCharacterStaysSmall) {
  DirectStore d;
  // The decoder quotes the date it cannot read: "e" with 200,000 combining
  // marks, one character of 400 KB.
  std::string date = "e";
  for (int i = 0; i < 200000; ++i) date += "\u0301";
  const std::string document =
      R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,)json"
      R"json("unit":"Kilometers (km)","hasImage":false,"writtenAt":")json";
  writeFile(d.file("snapshot.json"), document + date + "\"}");
  const std::string message = unreadableMessage(d.store.snapshotState());
  EXPECT_TRUE(message.starts_with("key \"writtenAt\": \"e\u0301")) << message.substr(0, 40);
  EXPECT_LE(message.size(), SharedStore::kMessageByteLimit);
  EXPECT_EQ(SharedStore::boundedMessage(message), message);  // bounding twice changes nothing
}

TEST(SharedStore, SpecialAndOversizedFilesReadAsFailures) {
  DirectStore d;
  const auto started = std::chrono::steady_clock::now();
  fs::create_directory(d.file("snapshot.json"));
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is not a regular file");
  fs::remove(d.file("snapshot.json"));
  ASSERT_EQ(::mkfifo(d.file("snapshot.json").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(d.file("car.png").c_str(), 0600), 0);
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is not a regular file");
  EXPECT_FALSE(d.store.loadImage().has_value());
  d.store.clear();
  fs::create_symlink("/dev/zero", d.file("snapshot.json"));
  fs::create_symlink("/dev/zero", d.file("car.png"));
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is not a regular file");
  EXPECT_FALSE(d.store.loadImage().has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  d.store.clear();
  // Exactly the limit is fine: a valid document padded with whitespace.
  std::string text = *encodeSnapshot(sample());
  text.resize(SharedStore::kSnapshotSizeLimit, ' ');
  writeFile(d.file("snapshot.json"), text);
  EXPECT_TRUE(is<SharedStore::Ok>(d.store.snapshotState()));
  writeFile(d.file("snapshot.json"), text + ' ');
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is larger than 1 MiB");

  writeFile(d.file("car.png"), "");  // sparse: costs no disk space
  fs::resize_file(d.file("car.png"), SharedStore::kImageSizeLimit + 1);
  EXPECT_FALSE(d.store.loadImage().has_value());
  fs::resize_file(d.file("car.png"), 1000);
  EXPECT_EQ(d.store.loadImage()->size(), 1000u);
}

TEST(SharedStorePlatform, MissingNumericOrEmptyKeyMeansTheLocalDirectory) {
  for (const auto& key : {std::optional<InfoValue>(), std::optional<InfoValue>(InfoValue{}),
                          std::optional<InfoValue>(InfoValue{std::string()})}) {
    const FakePlatform fake(key);
    const SharedStore store(fake.platform());
    EXPECT_FALSE(store.isSharedGroup());
    EXPECT_FALSE(fs::exists(fake.local));
    EXPECT_TRUE(is<SharedStore::NoFile>(store.snapshotState()));  // reading alone creates it
    ASSERT_TRUE(store.save(sample()).ok());
    EXPECT_TRUE(fs::is_regular_file(fake.local / "snapshot.json"));
    EXPECT_TRUE(fake.asked.empty());
  }
  const FakePlatform blocked;
  writeFile(blocked.home / ".local", "a file where a directory should be");
  const SharedStore store(blocked.platform());
  EXPECT_TRUE(is<SharedStore::NoFile>(store.snapshotState()));
  EXPECT_FALSE(store.save(sample()).ok());
}

TEST(SharedStorePlatform, AGroupResolvesToItsContainerRoot) {
  FakePlatform fake(InfoValue{"group.se.kelvo"});
  const fs::path container = fake.temp.path() / "group";
  fs::create_directory(container);
  fake.containers["group.se.kelvo"] = container;
  ASSERT_TRUE(SharedStore(fake.platform()).save(sample()).ok());
  EXPECT_TRUE(fs::is_regular_file(container / "snapshot.json"));
  EXPECT_FALSE(fs::exists(fake.local));

  // A given shared directory wins over the group key, once it exists.
  Platform platform = fake.platform();
  platform.sharedDirectory = fake.temp.path() / "given";
  const SharedStore store(platform);
  EXPECT_TRUE(is<SharedStore::NoContainer>(store.snapshotState()));
  fs::create_directory(fake.temp.path() / "given");
  EXPECT_TRUE(is<SharedStore::NoFile>(store.snapshotState()));
  EXPECT_EQ(store.appGroup(), "group.se.kelvo");
  writeFile(fake.home / "file", "");
  EXPECT_FALSE(SharedStore(Platform::withSharedDirectory(fake.home / "file")).containerURL().has_value());
}

TEST(SharedStorePlatform, UnresolvedGroupWritesAndCreatesNothing) {
  for (const std::string id : {"group.unknown", "  "}) {  // a blank key is passed on unchanged
    const FakePlatform fake(InfoValue{id});
    const SharedStore store(fake.platform());
    EXPECT_EQ(store.appGroup(), id);
    EXPECT_TRUE(is<SharedStore::NoContainer>(store.snapshotState()));
    EXPECT_TRUE(store.save(sample()).ok());
    EXPECT_TRUE(store.saveImage({1, 2}).ok());
    store.clear();
    EXPECT_TRUE(entries(fake.home).empty()) << id;  // no local directory either
    EXPECT_EQ(fake.asked.at(0), id);
  }
}

TEST(SharedStorePlatform, UnsafeGroupIdentifiersNameNoContainer) {
  for (const std::string& id : {std::string("."), std::string(".."), std::string("a/b"), std::string("/"),
                                std::string("../../etc"), std::string("group\0x", 7)}) {
    FakePlatform fake(InfoValue{id});
    fake.containers[id] = fake.temp.path();  // a careless lookup would answer
    EXPECT_TRUE(is<SharedStore::NoContainer>(SharedStore(fake.platform()).snapshotState())) << id;
    EXPECT_TRUE(fake.asked.empty()) << id;
    EXPECT_FALSE(isSafeGroupIdentifier(id));
  }
}

}  // namespace
}  // namespace kelvo
