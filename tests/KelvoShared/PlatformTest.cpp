#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "KelvoShared/Platform.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;

TEST(PlatformInfo, ValuesAreTypedAndUnusableFilesHaveNoKeys) {
  const TempDirectory temp;
  const fs::path info = temp.path() / "Info.json";
  const auto value = [&](const char* key) {
    const auto found = readInfoValue(info, key);
    return !found ? "(none)" : found->string ? "\"" + *found->string + "\"" : "(not a string)";
  };
  EXPECT_EQ(value("Name"), "(none)");  // missing file
  // clang-format off
  for (const auto& [text, key, expected] : std::vector<std::array<std::string, 3>>{
           {R"({"KelvoAppGroup": 42, "Name": "Kelvo", "Blank": "  ", "List": ["a"]})", "Name", "\"Kelvo\""},
           {"", "Blank", "\"  \""}, {"", "KelvoAppGroup", "(not a string)"}, {"", "List", "(not a string)"},
           {"", "Missing", "(none)"}, {"[\"Name\"]", "Name", "(none)"}, {"{\"Name\": \"x\"", "Name", "(none)"}}) {
    // clang-format on
    if (!text.empty()) testing::writeFile(info, text);
    EXPECT_EQ(value(key.c_str()), expected) << text << " " << key;
  }
  fs::remove(info);  // an empty file is a parse failure like the rows above
  ASSERT_EQ(::mkfifo(info.c_str(), 0600), 0);
  EXPECT_EQ(value("Name"), "(none)");  // returns at once
}

TEST(PlatformCurrent, InfoFromTheResourceDirectoryHomeFromTheUserDatabase) {
  // Test programs run from <build>/bin, next to <build>/share/kelvo/Info.json.
  const auto group = Platform::current().infoValue("KelvoAppGroup");
  ASSERT_TRUE(group.has_value()) << resourceDirectory();
  EXPECT_EQ(group->string, "");
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const char* saved = std::getenv("HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("HOME", "/nonexistent/elsewhere", 1);
  const auto home = Platform::current().homeDirectory();
  saved ? ::setenv("HOME", previous.c_str(), 1) : ::unsetenv("HOME");
  EXPECT_EQ(home, fs::path(entry->pw_dir));
}

TEST(PlatformDataHome, XdgDataHomeCountsOnlyWhenAbsolute) {
  // clang-format off
  for (const auto& [xdg, home, expected] : std::vector<std::tuple<const char*, std::optional<fs::path>, const char*>>{
           {nullptr, "/home/k", "/home/k/.local/share"}, {"", "/home/k", "/home/k/.local/share"},
           {"relative/data", "/home/k", "/home/k/.local/share"}, {"./data", "/home/k", "/home/k/.local/share"},
           {"/srv/data", "/home/k", "/srv/data"}, {"/srv/data", std::nullopt, "/srv/data"}, {"relative", std::nullopt, ""}}) {
    // clang-format on
    EXPECT_EQ(dataHomeFor(xdg, home).value_or(""), fs::path(expected)) << (xdg ? xdg : "(unset)");
  }
}

TEST(PlatformGroups, ContainersLiveUnderTheDataHomeAndMustExistAndBeSafe) {
  const TempDirectory temp;
  ::setenv("XDG_DATA_HOME", temp.path().c_str(), 1);  // test programs never rely on its value
  const Platform platform = Platform::current();
  const fs::path container = temp.path() / "kelvo" / "groups" / "group.se.kelvo";
  EXPECT_FALSE(platform.groupContainer("group.se.kelvo").has_value());  // a lookup creates nothing
  fs::create_directories(container);
  fs::create_directories(temp.path() / "kelvo" / "x");
  EXPECT_EQ(platform.groupContainer("group.se.kelvo"), container);
  EXPECT_EQ(Platform::forSharedDirectory(std::nullopt).groupContainer("group.se.kelvo"), container);
  for (const char* id : {"../x", "..", "a/b", "."})
    EXPECT_FALSE(platform.groupContainer(id).has_value()) << id;
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(Platform::withSharedDirectory(temp.path()).groupContainer("anything"), temp.path());
  EXPECT_FALSE(Platform::withSharedDirectory(temp.path() / "missing").groupContainer("anything").has_value());
  EXPECT_EQ(Platform::forSharedDirectory(temp.path()).groupContainer("anything"), temp.path());
}

}  // namespace
}  // namespace kelvo
