#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "KelvoShared/Platform.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;
using testing::writeFile;

TEST(PlatformInfo, ValuesAreTypedAndUnusableFilesHaveNoKeys) {
  TempDirectory temp;
  const fs::path info = temp.path() / "Info.json";
  EXPECT_FALSE(readInfoValue(info, "Name").has_value());  // missing file
  writeFile(info, R"({"KelvoAppGroup": 42, "Name": "Kelvo", "Blank": "  ", "List": ["a"]})");
  EXPECT_FALSE(readInfoValue(info, "Missing").has_value());
  ASSERT_TRUE(readInfoValue(info, "KelvoAppGroup").has_value());
  EXPECT_FALSE(readInfoValue(info, "KelvoAppGroup")->string.has_value());
  EXPECT_FALSE(readInfoValue(info, "List")->string.has_value());
  EXPECT_EQ(readInfoValue(info, "Name")->string, "Kelvo");
  EXPECT_EQ(readInfoValue(info, "Blank")->string, "  ");
  for (const char* text : {"", "[\"Name\"]", "{\"Name\": \"x\""}) {
    writeFile(info, text);
    EXPECT_FALSE(readInfoValue(info, "Name").has_value()) << text;
  }
  fs::remove(info);
  ASSERT_EQ(::mkfifo(info.c_str(), 0600), 0);
  EXPECT_FALSE(readInfoValue(info, "Name").has_value());  // returns at once
}

TEST(PlatformCurrent, InfoFromTheResourceDirectoryHomeFromTheUserDatabase) {
  // Test programs run from <build>/bin, next to <build>/share/kelvo/Info.json.
  const auto group = Platform::current().infoValue("KelvoAppGroup");
  ASSERT_TRUE(group.has_value()) << resourceDirectory();
  EXPECT_EQ(group->string, "");
  EXPECT_EQ(Platform::current().infoValue("CFBundleName")->string, "Kelvo");

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
  const fs::path home = "/home/k";
  for (const auto& [xdg, expected] :
       std::vector<std::pair<const char*, const char*>>{{nullptr, "/home/k/.local/share"},
                                                        {"", "/home/k/.local/share"},
                                                        {"relative/data", "/home/k/.local/share"},
                                                        {"./data", "/home/k/.local/share"},
                                                        {"/srv/data", "/srv/data"}}) {
    EXPECT_EQ(dataHomeFor(xdg, home), fs::path(expected)) << (xdg ? xdg : "(unset)");
  }
  EXPECT_EQ(dataHomeFor("/srv/data", std::nullopt), fs::path("/srv/data"));
  EXPECT_FALSE(dataHomeFor("relative", std::nullopt).has_value());
}

TEST(PlatformGroups, ContainersLiveUnderTheDataHome) {
  TempDirectory temp;
  ::setenv("XDG_DATA_HOME", temp.path().c_str(), 1);  // test programs never rely on its value
  const Platform platform = Platform::current();
  const fs::path container = temp.path() / "kelvo" / "groups" / "group.se.kelvo";
  EXPECT_FALSE(platform.groupContainer("group.se.kelvo").has_value());  // a lookup creates nothing
  fs::create_directories(container);
  fs::create_directories(temp.path() / "kelvo" / "x");
  EXPECT_EQ(platform.groupContainer("group.se.kelvo"), container);
  EXPECT_FALSE(platform.groupContainer("../x").has_value());
  ::unsetenv("XDG_DATA_HOME");
}

TEST(PlatformGroups, ContainersMustExistAndBeSafe) {
  for (const char* id : {"..", "a/b", "kelvo-test-group-that-does-not-exist"}) {
    EXPECT_FALSE(Platform::current().groupContainer(id).has_value()) << id;
  }
  TempDirectory temp;
  EXPECT_EQ(Platform::withSharedDirectory(temp.path()).groupContainer("anything"), temp.path());
  EXPECT_FALSE(Platform::withSharedDirectory(temp.path() / "missing").groupContainer("anything").has_value());
}

}  // namespace
}  // namespace kelvo
