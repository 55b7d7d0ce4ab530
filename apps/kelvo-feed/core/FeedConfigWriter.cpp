#include "FeedConfigWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>
#include <vector>

namespace kelvo::feed {

namespace fs = std::filesystem;

namespace {

std::string systemError() { return std::generic_category().message(errno); }

bool readsBack(const std::string& value) {
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7F) return false;
  return value.empty() || (value.front() != ' ' && value.back() != ' ');
}

struct Line {
  const char* key;
  std::string value;
};

}  // namespace

Result<std::string> configText(const FeedSettings& settings) {
  const FeedSettings defaults;
  std::vector<Line> broker{{"url", settings.broker}};
  if (settings.username) broker.push_back({"username", *settings.username});
  if (settings.passwordFile) broker.push_back({"password-file", *settings.passwordFile});
  if (settings.cafile) broker.push_back({"cafile", *settings.cafile});
  if (settings.insecure) broker.push_back({"insecure", "true"});
  if (!settings.clientId.empty()) broker.push_back({"client-id", settings.clientId});
  std::vector<Line> feed{{"preset", std::string(kPresets[static_cast<std::size_t>(settings.preset)].name)}};
  if (settings.preset == Preset::teslamate || settings.preset == Preset::evcc)
    feed.push_back({"car", settings.car});
  if (settings.prefix) feed.push_back({"prefix", *settings.prefix});
  if (settings.range != defaults.range) feed.push_back({"range", settings.range});
  if (!settings.topic.empty()) feed.push_back({"topic", settings.topic});
  if (settings.unit) feed.push_back({"unit", *settings.unit});
  if (settings.sharedDir) feed.push_back({"shared-dir", *settings.sharedDir});
  if (settings.image) feed.push_back({"image", *settings.image});
  if (settings.dashboard) feed.push_back({"dashboard", *settings.dashboard});

  std::string text = "# Kelvo feed settings (kelvo-feed reads them at start and on reload).\n";
  const auto group = [&](const char* name, const std::vector<Line>& lines) -> Status {
    text += std::string("\n[") + name + "]\n";
    for (const Line& line : lines) {
      if (!readsBack(line.value))
        return Error{std::string("the value of ") + line.key +
                     " has a line break, a control character "
                     "or blanks at an end"};
      text += std::string(line.key) + " = " + line.value + "\n";
    }
    return {};
  };
  if (auto ok = group("broker", broker); !ok) return ok.error();
  if (auto ok = group("feed", feed); !ok) return ok.error();
  if (!settings.map.empty()) {
    text += "\n[map]\n";
    for (const IniEntry& entry : settings.map) {
      if (!readsBack(entry.key) || !readsBack(entry.value) || entry.key.find('=') != std::string::npos)
        return Error{"the map line \"" + entry.key + "\" cannot be written"};
      text += entry.key + " = " + entry.value + "\n";
    }
  }
  // What is written must read back: the reader is the judge.
  FeedSettings check;
  if (auto ok = applyConfigText(text, "feed.ini", check); !ok) return ok.error();
  return text;
}

Status writePrivateFile(const fs::path& file, const std::string& text) {
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    if (!fs::create_directories(folder, error) && error)
      return Error{"cannot make the folder " + folder.string() + ": " + error.message()};
    fs::permissions(folder, fs::perms::owner_all, error);
  }
  fs::path temporary = folder / ("." + file.filename().string() + ".XXXXXX");
  std::string name = temporary.string();
  const int fd = ::mkstemp(name.data());  // 0600 from the start
  if (fd < 0) return Error{"cannot write " + file.string() + ": " + systemError()};
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) break;
    done += static_cast<std::size_t>(wrote);
  }
  const bool written = done == text.size() && ::fsync(fd) == 0;
  const std::string why = systemError();
  ::close(fd);
  if (!written || ::rename(name.c_str(), file.c_str()) != 0) {
    const std::string reason = written ? systemError() : why;
    ::unlink(name.c_str());
    return Error{"cannot write " + file.string() + ": " + reason};
  }
  return {};
}

Status writeConfigFile(const fs::path& file, const FeedSettings& settings) {
  auto text = configText(settings);
  if (!text) return text.error();
  return writePrivateFile(file, *text);
}

Status writePasswordFile(const fs::path& file, const std::string& password) {
  if (password.empty()) return Error{"the password is empty"};
  if (password.find_first_of("\r\n") != std::string::npos) return Error{"the password has a line break"};
  return writePrivateFile(file, password + "\n");
}

}  // namespace kelvo::feed
