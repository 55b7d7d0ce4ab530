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

TEST(PlatformInfo, ValuesAreTyped) {
  TempDirectory temp;
  const fs::path info = temp.path() / "Info.json";
  writeFile(info, R"({"KelvoAppGroup": 42, "Name": "Kelvo", "Blank": "  ", "List": ["a"], "Null": null})");
  EXPECT_FALSE(readInfoValue(info, "Missing").has_value());
  const auto number = readInfoValue(info, "KelvoAppGroup");
  ASSERT_TRUE(number.has_value());
  EXPECT_FALSE(number->string.has_value());
  EXPECT_EQ(readInfoValue(info, "Name")->string, "Kelvo");
  EXPECT_EQ(readInfoValue(info, "Blank")->string, "  ");
  EXPECT_FALSE(readInfoValue(info, "List")->string.has_value());
  EXPECT_FALSE(readInfoValue(info, "Null")->string.has_value());
}

TEST(PlatformInfo, UnusableFilesHaveNoKeys) {
  TempDirectory temp;
  const fs::path info = temp.path() / "Info.json";
  EXPECT_FALSE(readInfoValue(info, "Name").has_value());  // missing
  for (const char* text : {"", "[\"Name\"]", "{\"Name\": \"x\"", "\"Name\""}) {
    writeFile(info, text);
    EXPECT_FALSE(readInfoValue(info, "Name").has_value()) << text;
  }
  fs::remove(info);
  ASSERT_EQ(::mkfifo(info.c_str(), 0600), 0);
  EXPECT_FALSE(readInfoValue(info, "Name").has_value());  // returns at once
}

TEST(PlatformCurrent, ReadsInfoFromTheResourceDirectory) {
  // Test programs run from <build>/bin, next to <build>/share/kelvo/Info.json.
  EXPECT_TRUE(fs::is_regular_file(resourceDirectory() / "kelvo" / "Info.json")) << resourceDirectory();
  const auto group = Platform::current().infoValue("KelvoAppGroup");
  ASSERT_TRUE(group.has_value());
  EXPECT_EQ(group->string, "");
  EXPECT_EQ(Platform::current().infoValue("CFBundleName")->string, "Kelvo");
}

TEST(PlatformCurrent, TheUserDatabaseHomeWinsOverHomeVariable) {
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const char* saved = std::getenv("HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("HOME", "/nonexistent/elsewhere", 1);
  const auto home = Platform::current().homeDirectory();
  if (saved) {
    ::setenv("HOME", previous.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  ASSERT_TRUE(home.has_value());
  EXPECT_EQ(*home, fs::path(entry->pw_dir));
}

TEST(PlatformCurrent, GroupLookupNeedsAnExistingSafeContainer) {
  const Platform platform = Platform::current();
  for (const char* id : {"..", ".", "a/b", "kelvo-test-group-that-does-not-exist"}) {
    EXPECT_FALSE(platform.groupContainer(id).has_value()) << id;
  }
}

TEST(PlatformShared, GivenDirectoryIsTheContainerOnlyWhenItExists) {
  TempDirectory temp;
  const Platform given = Platform::withSharedDirectory(temp.path());
  EXPECT_EQ(given.sharedDirectory, temp.path());
  EXPECT_EQ(given.groupContainer("anything"), temp.path());
  const Platform missing = Platform::withSharedDirectory(temp.path() / "missing");
  EXPECT_FALSE(missing.groupContainer("anything").has_value());
}

}  // namespace
}  // namespace kelvo
