#pragma once

// A shared directory in a fresh temporary folder, reached through a platform
// seam that counts how often the store resolves the directory: every store
// operation (reading the snapshot, reading the picture) resolves it once, so
// the count shows whether the picture file was even looked for.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::widget::testing {

class TestStore {
 public:
  TestStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-widget-test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    std::filesystem::create_directories(shared());
  }
  TestStore(const TestStore&) = delete;
  ~TestStore() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  std::filesystem::path shared() const { return root_ / "group"; }
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
    platform.homeDirectory = [home = root_ / "home"] { return std::optional(home); };
    return SharedStore(std::move(platform));
  }

  void write(const std::string& name, std::string_view bytes) const {
    std::ofstream(shared() / name, std::ios::binary | std::ios::trunc) << bytes;
  }
  void write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  void writeSnapshot(const WidgetSnapshot& snapshot) const {
    write("snapshot.json", encodeSnapshot(snapshot).value());
  }

 private:
  std::filesystem::path root_;
  std::shared_ptr<int> lookups_ = std::make_shared<int>(0);
};

}  // namespace kelvo::widget::testing
