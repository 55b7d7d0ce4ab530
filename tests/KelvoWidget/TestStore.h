#pragma once

// A shared directory in a fresh temporary folder, reached through a platform
// seam that counts how often the store resolves the directory: every store
// operation (reading the snapshot, reading the picture) resolves it once, so
// the count shows whether the picture file was even looked for.

#include <memory>
#include <vector>

#include "KelvoShared/SharedStore.h"
#include "TempDirectory.h"

namespace kelvo::widget::testing {

class TestStore {
 public:
  TestStore() { std::filesystem::create_directories(shared()); }

  std::filesystem::path shared() const { return temp_.path() / "group"; }
  int lookups() const { return *lookups_; }

  // A store whose group container is shared(), or none at all.
  enum class Container { present, missing };
  SharedStore store(Container container = Container::present) const {
    Platform platform;
    platform.infoValue = [](const std::string& key) {
      return key == "KelvoAppGroup" ? std::optional<InfoValue>(InfoValue{"group.se.kelvo.test"})
                                    : std::nullopt;
    };
    platform.groupContainer = [dir = shared(), counter = lookups_, container](const std::string&) {
      ++*counter;
      return container == Container::present ? std::optional(dir) : std::nullopt;
    };
    platform.homeDirectory = [home = temp_.path() / "home"] { return std::optional(home); };
    return SharedStore(std::move(platform));
  }

  void write(const std::string& name, std::string_view bytes) const {
    kelvo::testing::writeFile(shared() / name, bytes);
  }
  void write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  void writeSnapshot(const WidgetSnapshot& snapshot) const {
    write("snapshot.json", encodeSnapshot(snapshot).value());
  }

 private:
  kelvo::testing::TempDirectory temp_;
  std::shared_ptr<int> lookups_ = std::make_shared<int>(0);
};

}  // namespace kelvo::widget::testing
