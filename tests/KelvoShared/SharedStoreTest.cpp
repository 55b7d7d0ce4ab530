#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

// A platform whose every answer lives under one temporary directory: the
// home directory, the group containers, and the information dictionary.
class FakePlatform {
 public:
  std::optional<InfoValue> groupKey;                // "KelvoAppGroup", nothing when missing
  std::map<std::string, fs::path> containers;       // group identifier to existing directory
  std::shared_ptr<std::vector<std::string>> asked;  // identifiers the group lookup was asked for

  explicit FakePlatform(const fs::path& root)
      : asked(std::make_shared<std::vector<std::string>>()), home_(root / "home") {
    fs::create_directories(home_);
  }

  fs::path home() const { return home_; }
  fs::path localDirectory() const { return home_ / "Library" / "Application Support" / "Kelvo"; }

  Platform platform() const {
    Platform p;
    p.infoValue = [key = groupKey](const std::string& name) -> std::optional<InfoValue> {
      return name == "KelvoAppGroup" ? key : std::nullopt;
    };
    p.groupContainer = [containers = containers,
                        asked = asked](const std::string& id) -> std::optional<fs::path> {
      asked->push_back(id);
      const auto it = containers.find(id);
      if (it == containers.end()) return std::nullopt;
      return it->second;
    };
    p.homeDirectory = [home = home_] { return std::optional<fs::path>(home); };
    return p;
  }

 private:
  fs::path home_;
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

std::string unreadableMessage(const SharedStore::SnapshotState& state) {
  const auto* unreadable = std::get_if<SharedStore::Unreadable>(&state);
  EXPECT_NE(unreadable, nullptr) << "state index " << state.index();
  return unreadable ? unreadable->message : std::string();
}

TEST(SharedStoreLifeCycle, NoFileThenOkThenClearedAgain) {
  DirectStore d;
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoFile>(d.store.snapshotState()));
  EXPECT_FALSE(d.store.loadSnapshot().has_value());

  ASSERT_TRUE(d.store.save(sample()).ok());
  const auto state = d.store.snapshotState();
  ASSERT_TRUE(std::holds_alternative<SharedStore::Ok>(state));
  EXPECT_EQ(std::get<SharedStore::Ok>(state).snapshot, sample());
  EXPECT_EQ(d.store.loadSnapshot(), sample());
  EXPECT_EQ(readFile(d.file("snapshot.json")), *encodeSnapshot(sample()));

  // Not a PNG at all: stored byte for byte all the same.
  const std::vector<std::uint8_t> picture = {'n', 'o', 't', 0, 0xFF, 'p', 'n', 'g'};
  EXPECT_FALSE(d.store.hasImage());
  ASSERT_TRUE(d.store.saveImage(picture).ok());
  EXPECT_TRUE(d.store.hasImage());
  EXPECT_EQ(d.store.loadImage(), picture);
  ASSERT_TRUE(d.store.saveImage({}).ok());
  EXPECT_EQ(d.store.loadImage(), std::vector<std::uint8_t>{});

  d.store.clear();
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoFile>(d.store.snapshotState()));
  EXPECT_FALSE(d.store.hasImage());
  EXPECT_FALSE(d.store.loadImage().has_value());
  EXPECT_TRUE(entries(d.temp.path()).empty());
  EXPECT_TRUE(fs::is_directory(d.temp.path()));  // the directory itself stays
}

TEST(SharedStoreLifeCycle, RemovalsIgnoreMissingFiles) {
  DirectStore d;
  writeFile(d.file("car.png"), "picture");
  d.store.clear();  // snapshot.json is missing; car.png goes all the same
  EXPECT_FALSE(fs::exists(d.file("car.png")));
  d.store.removeImage();
  d.store.clear();
  ASSERT_TRUE(d.store.save(sample()).ok());
  d.store.removeImage();
  EXPECT_TRUE(std::holds_alternative<SharedStore::Ok>(d.store.snapshotState()));
}

TEST(SharedStoreLifeCycle, FractionalDatesComeBackInWholeSeconds) {
  DirectStore d;
  WidgetSnapshot s = sample();
  s.writtenAt = Date{1768465800.6};
  ASSERT_TRUE(d.store.save(s).ok());
  const auto back = d.store.loadSnapshot();
  ASSERT_TRUE(back.has_value());
  EXPECT_NE(*back, s);
  EXPECT_TRUE(back->sameData(s));
}

TEST(SharedStoreWriting, FailedEncodingKeepsThePreviousFile) {
  DirectStore d;
  ASSERT_TRUE(d.store.save(sample()).ok());
  const std::string before = readFile(d.file("snapshot.json"));
  WidgetSnapshot bad = sample(1);
  bad.batteryPercentage = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(d.store.save(bad).ok());
  EXPECT_EQ(readFile(d.file("snapshot.json")), before);
  EXPECT_EQ(entries(d.temp.path()), std::vector<std::string>{"snapshot.json"});
}

TEST(SharedStoreWriting, FailedReplacementRemovesTheTemporaryFile) {
  DirectStore d;
  // A non-empty directory in the target's place cannot be renamed over.
  fs::create_directories(d.file("snapshot.json") / "inside");
  fs::create_directories(d.file("car.png") / "inside");
  EXPECT_FALSE(d.store.save(sample()).ok());
  EXPECT_FALSE(d.store.saveImage({1, 2, 3}).ok());
  EXPECT_EQ(entries(d.temp.path()), (std::vector<std::string>{"car.png", "snapshot.json"}));
  EXPECT_TRUE(fs::is_directory(d.file("snapshot.json") / "inside"));
  // Removal never takes a directory tree with it.
  d.store.clear();
  EXPECT_TRUE(fs::is_directory(d.file("car.png") / "inside"));
}

TEST(SharedStoreWriting, WhatTheReaderWouldRefuseIsNotWritten) {
  DirectStore d;
  WidgetSnapshot huge = sample();
  huge.carTitle = std::string(SharedStore::kSnapshotSizeLimit, 'x');
  const auto status = d.store.save(huge);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().message, "the encoded snapshot is larger than 1 MiB");
  EXPECT_FALSE(d.store.saveImage(std::vector<std::uint8_t>(SharedStore::kImageSizeLimit + 1)).ok());
  EXPECT_TRUE(entries(d.temp.path()).empty());
}

// Memory-backed when possible: every save flushes to disk, and thousands of
// flushes to a real disk take many seconds.
fs::path fastTemporaryBase() {
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path();
}

TEST(SharedStoreWriting, ReplacementIsAtomicUnderAConcurrentReader) {
  DirectStore d(fastTemporaryBase());
  const WidgetSnapshot first = sample(100), second = sample(200);
  ASSERT_TRUE(d.store.save(first).ok());
  constexpr int kWrites = 2000;
  std::atomic<bool> done{false};
  std::atomic<int> failedWrites{0};
  std::thread writer([&] {
    for (int i = 0; i < kWrites; ++i) {
      if (!d.store.save(i % 2 ? first : second).ok()) ++failedWrites;
    }
    done = true;
  });
  int reads = 0, other = 0;
  while (!done) {
    const auto state = d.store.snapshotState();
    const auto* ok = std::get_if<SharedStore::Ok>(&state);
    if (!ok || (ok->snapshot != first && ok->snapshot != second)) ++other;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(failedWrites, 0);
  EXPECT_EQ(other, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 0);
  EXPECT_EQ(entries(d.temp.path()), std::vector<std::string>{"snapshot.json"});  // no temporary files left
}

TEST(SharedStoreReading, BrokenDocumentsAreUnreadableWithAShortMessage) {
  DirectStore d;
  for (const std::string& content : {std::string(), std::string("not json"), std::string("{\"rangeKm\":1}"),
                                     std::string("\xEF\xBB\xBF[", 4)}) {
    writeFile(d.file("snapshot.json"), content);
    const std::string message = unreadableMessage(d.store.snapshotState());
    EXPECT_FALSE(message.empty());
    EXPECT_LE(message.size(), 120u * 4);
    EXPECT_FALSE(d.store.loadSnapshot().has_value());
  }
  writeFile(d.file("snapshot.json"), "{\"rangeKm\":1}");
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "key \"batteryPercentage\": missing");
}

TEST(SharedStoreReading, LongMessagesAreCutToOneHundredTwentyCharacters) {
  DirectStore d;
  // An unterminated string: the parser quotes what it read, 300 two-byte
  // characters of it.
  std::string text = "{\"carTitle\":\"";
  for (int i = 0; i < 300; ++i) text += "é";
  writeFile(d.file("snapshot.json"), text);
  const std::string full = decodeSnapshot(text).error().message;
  const std::string message = unreadableMessage(d.store.snapshotState());
  ASSERT_GT(full.size(), 240u);
  EXPECT_TRUE(full.starts_with(message));
  // Every character here is one code point; count them by their lead bytes.
  const auto codePoints = std::count_if(
      message.begin(), message.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
  EXPECT_EQ(codePoints, 120);
  EXPECT_NE(static_cast<unsigned char>(message.back()), 0xC3);  // never half a character
}

TEST(SharedStoreReading, ADirectoryNamedSnapshotIsUnreadable) {
  DirectStore d;
  fs::create_directory(d.file("snapshot.json"));
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is not a regular file");
}

TEST(SharedStoreReading, SpecialFilesNeitherHangNorExhaustMemory) {
  DirectStore d;
  ASSERT_EQ(::mkfifo(d.file("snapshot.json").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(d.file("car.png").c_str(), 0600), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is not a regular file");
  EXPECT_TRUE(d.store.hasImage());  // it exists, but it is no picture
  EXPECT_FALSE(d.store.loadImage().has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  d.store.clear();
  fs::create_symlink("/dev/zero", d.file("snapshot.json"));
  fs::create_symlink("/dev/zero", d.file("car.png"));
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is not a regular file");
  EXPECT_FALSE(d.store.loadImage().has_value());

  d.store.clear();
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = d.file("snapshot.json").string();
  if (path.size() < sizeof address.sun_path) {
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_FALSE(unreadableMessage(d.store.snapshotState()).empty());
  }
  ::close(sock);
}

TEST(SharedStoreReading, OversizedFilesReadAsFailures) {
  DirectStore d;
  // Exactly the limit is fine: a valid document padded with whitespace.
  std::string text = *encodeSnapshot(sample());
  text.resize(SharedStore::kSnapshotSizeLimit, ' ');
  writeFile(d.file("snapshot.json"), text);
  EXPECT_TRUE(std::holds_alternative<SharedStore::Ok>(d.store.snapshotState()));
  text.push_back(' ');
  writeFile(d.file("snapshot.json"), text);
  EXPECT_EQ(unreadableMessage(d.store.snapshotState()), "snapshot.json is larger than 1 MiB");

  // A sparse file costs no disk space.
  writeFile(d.file("car.png"), "");
  fs::resize_file(d.file("car.png"), SharedStore::kImageSizeLimit + 1);
  EXPECT_FALSE(d.store.loadImage().has_value());
  fs::resize_file(d.file("car.png"), 1000);
  EXPECT_EQ(d.store.loadImage()->size(), 1000u);
}

TEST(SharedStorePlatform, MissingNumericOrEmptyKeyMeansTheLocalDirectory) {
  for (const std::optional<InfoValue>& key :
       {std::optional<InfoValue>(), std::optional<InfoValue>(InfoValue{}),
        std::optional<InfoValue>(InfoValue{std::string()})}) {
    TempDirectory temp;
    FakePlatform fake(temp.path());
    fake.groupKey = key;
    const SharedStore store(fake.platform());
    EXPECT_FALSE(store.appGroup().has_value());
    EXPECT_FALSE(store.isSharedGroup());
    EXPECT_FALSE(fs::exists(fake.localDirectory()));
    // Reading alone creates the directory.
    EXPECT_TRUE(std::holds_alternative<SharedStore::NoFile>(store.snapshotState()));
    EXPECT_TRUE(fs::is_directory(fake.localDirectory()));
    EXPECT_EQ(store.containerURL(), fake.localDirectory());
    ASSERT_TRUE(store.save(sample()).ok());
    EXPECT_TRUE(fs::is_regular_file(fake.localDirectory() / "snapshot.json"));
    EXPECT_TRUE(fake.asked->empty());
  }
}

TEST(SharedStorePlatform, UncreatableLocalDirectoryMeansNoFile) {
  TempDirectory temp;
  FakePlatform fake(temp.path());
  writeFile(fake.home() / "Library", "a file where a directory should be");
  const SharedStore store(fake.platform());
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoFile>(store.snapshotState()));
  EXPECT_FALSE(store.save(sample()).ok());
}

TEST(SharedStorePlatform, AGroupResolvesToItsContainerRoot) {
  TempDirectory temp;
  FakePlatform fake(temp.path());
  const fs::path container = temp.path() / "group";
  fs::create_directory(container);
  fake.groupKey = InfoValue{"group.se.kelvo"};
  fake.containers["group.se.kelvo"] = container;
  const SharedStore store(fake.platform());
  EXPECT_EQ(store.appGroup(), "group.se.kelvo");
  EXPECT_TRUE(store.isSharedGroup());
  ASSERT_TRUE(store.save(sample()).ok());
  EXPECT_TRUE(fs::is_regular_file(container / "snapshot.json"));
  EXPECT_FALSE(fs::exists(fake.localDirectory()));
}

TEST(SharedStorePlatform, BlankKeyIsPassedOnUnchanged) {
  TempDirectory temp;
  FakePlatform fake(temp.path());
  fake.groupKey = InfoValue{"  "};
  const SharedStore store(fake.platform());
  EXPECT_EQ(store.appGroup(), "  ");
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoContainer>(store.snapshotState()));
  EXPECT_EQ(*fake.asked, std::vector<std::string>{"  "});
}

TEST(SharedStorePlatform, UnresolvedGroupWritesAndCreatesNothing) {
  TempDirectory temp;
  FakePlatform fake(temp.path());
  fake.groupKey = InfoValue{"group.unknown"};
  const SharedStore store(fake.platform());
  EXPECT_TRUE(store.isSharedGroup());
  EXPECT_FALSE(store.containerURL().has_value());
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoContainer>(store.snapshotState()));
  EXPECT_FALSE(store.loadSnapshot().has_value());
  EXPECT_FALSE(store.loadImage().has_value());
  EXPECT_FALSE(store.hasImage());
  EXPECT_TRUE(store.save(sample()).ok());
  EXPECT_TRUE(store.saveImage({1, 2}).ok());
  store.removeImage();
  store.clear();
  EXPECT_TRUE(entries(fake.home()).empty());  // no local directory either
}

TEST(SharedStorePlatform, UnsafeGroupIdentifiersNameNoContainer) {
  for (const std::string& id : {std::string("."), std::string(".."), std::string("a/b"), std::string("/"),
                                std::string("../../etc"), std::string("group\0x", 7)}) {
    TempDirectory temp;
    FakePlatform fake(temp.path());
    fake.groupKey = InfoValue{id};
    fake.containers[id] = temp.path();  // a careless lookup would answer
    const SharedStore store(fake.platform());
    EXPECT_TRUE(std::holds_alternative<SharedStore::NoContainer>(store.snapshotState())) << id;
    EXPECT_TRUE(fake.asked->empty()) << id;
    EXPECT_FALSE(isSafeGroupIdentifier(id));
  }
  EXPECT_TRUE(isSafeGroupIdentifier("group.se.kelvo"));
  EXPECT_TRUE(isSafeGroupIdentifier(" "));
}

TEST(SharedStorePlatform, SharedDirectoryOverridesTheGroupKey) {
  TempDirectory temp;
  FakePlatform fake(temp.path());
  fake.groupKey = InfoValue{"group.unknown"};
  Platform platform = fake.platform();
  platform.sharedDirectory = temp.path() / "given";
  const SharedStore store(platform);
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoContainer>(store.snapshotState()));  // not there yet
  fs::create_directory(temp.path() / "given");
  EXPECT_EQ(store.containerURL(), temp.path() / "given");
  EXPECT_TRUE(std::holds_alternative<SharedStore::NoFile>(store.snapshotState()));
  EXPECT_EQ(store.appGroup(), "group.unknown");

  writeFile(temp.path() / "file", "");
  EXPECT_FALSE(SharedStore(Platform::withSharedDirectory(temp.path() / "file")).containerURL().has_value());
}

}  // namespace
}  // namespace kelvo
