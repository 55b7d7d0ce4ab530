#include "DesktopSettings.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <memory>
#include <vector>

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/RegularFile.h"

namespace kelvo::desktop {

namespace fs = std::filesystem;

namespace {

template <class T>
struct Named {
  std::string_view name;
  T value;
};

constexpr std::array<Named<Layer>, 3> kLayers{{
    {"background", Layer::background},
    {"bottom", Layer::bottom},
    {"top", Layer::top},
}};
constexpr std::array<Named<Anchor>, 5> kAnchors{{
    {"top-left", Anchor::topLeft},
    {"top-right", Anchor::topRight},
    {"bottom-left", Anchor::bottomLeft},
    {"bottom-right", Anchor::bottomRight},
    {"center", Anchor::center},
}};
constexpr std::array<Named<AppearanceChoice>, 3> kAppearances{{
    {"auto", AppearanceChoice::automatic},
    {"light", AppearanceChoice::light},
    {"dark", AppearanceChoice::dark},
}};

template <class T, size_t N>
std::optional<T> lookUp(const std::array<Named<T>, N>& table, std::string_view text) {
  for (const auto& entry : table) {
    if (entry.name == text) return entry.value;
  }
  return std::nullopt;
}

template <class T, size_t N>
std::string names(const std::array<Named<T>, N>& table) {
  std::string out;
  for (const auto& entry : table) out += (out.empty() ? "" : ", ") + std::string(entry.name);
  return out;
}

std::optional<int> parsePixels(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 10000)
    return std::nullopt;
  return value;
}

// A row's check built from one of the parsers.
template <class Parse>
std::function<std::string(const std::string&)> checkedBy(Parse parse, std::string what, std::string choices) {
  return [parse, what, choices](const std::string& value) -> std::string {
    if (parse(value)) return {};
    return "\"" + value + "\" is not " + what + " (" + choices + ")";
  };
}

template <class T, size_t N>
std::vector<std::string> nameList(const std::array<Named<T>, N>& table) {
  std::vector<std::string> out;
  for (const auto& entry : table) out.emplace_back(entry.name);
  return out;
}

std::vector<std::string> offeredFamilies() {
  std::vector<std::string> names;
  for (const ui::WidgetFamilyInfo& row : ui::kWidgetFamilies) {
    if (row.offered == ui::Offered::yes) names.emplace_back(row.name);
  }
  return names;
}

// Path resolution gives up after this many links, as the kernel does.
constexpr int kMaximumLinks = 40;

// No config file is nearly this large.
constexpr std::uintmax_t kConfigSizeLimit = 256 * 1024;

// The file's text; nothing, and no problem, when there is no file. The
// reader checks the size before reading (a sparse file can claim gigabytes
// that cost nothing on disk), opens without blocking and refuses what is not
// a regular file (a FIFO swapped in after the check included).
std::optional<std::string> readText(const fs::path& file, std::string& problem) {
  std::error_code error;
  if (fs::status(file, error).type() == fs::file_type::not_found) return std::nullopt;
  const auto bytes = readRegularFile(file, kConfigSizeLimit, FileNaming::byCaller);
  if (!bytes) {
    problem = logValue(bytes.error().message);
    return std::nullopt;
  }
  return std::string(bytes->begin(), bytes->end());
}

// Where a write to `file` lands: the end of its chain of symbolic links
// (which need not exist yet), so that a linked config file stays linked.
Result<fs::path> linkTarget(fs::path file) {
  for (int links = 0; links <= kMaximumLinks; ++links) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(file, error))) return file;
    const fs::path next = fs::read_symlink(file, error);
    if (error) return Error{"cannot follow the link (" + logValue(error.message()) + ")"};
    file = next.is_absolute() ? next : file.parent_path() / next;
  }
  return Error{"too many levels of symbolic links"};
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Replaces `file` whole by a rename, so a reader sees the old text or the new
// one, with the old file's permissions (a private file stays private); a new
// file gets what the umask allows.
Status replaceFile(const fs::path& file, std::string_view text) {
  struct stat old {};
  const bool existed = ::stat(file.c_str(), &old) == 0;
  const mode_t mode = existed ? old.st_mode & 07777 : 0666;
  std::string temporary = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
  const int fd = g_mkstemp_full(temporary.data(), O_WRONLY | O_CLOEXEC, int(mode));
  const auto failure = [&](int error) {
    return Error{"cannot write " + logValue(file.string()) + ": " + g_strerror(error)};
  };
  if (fd < 0) return failure(errno);
  // The umask has had its say on the temporary file; an existing file's mode wins.
  const bool written = writeAll(fd, text) && (!existed || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
  int error = errno;
  const bool closed = ::close(fd) == 0;
  if (written && !closed) error = errno;
  if (written && closed) {
    if (::rename(temporary.c_str(), file.c_str()) == 0) return {};
    error = errno;
  }
  ::unlink(temporary.c_str());
  return failure(error);
}

}  // namespace

std::optional<Layer> parseLayer(std::string_view text) { return lookUp(kLayers, text); }
std::optional<Anchor> parseAnchor(std::string_view text) { return lookUp(kAnchors, text); }
std::optional<ui::WidgetFamily> parseFamily(std::string_view text) {
  const std::optional<ui::WidgetFamily> family = ui::parseFamily(text, ui::SystemNames::refused);
  if (!family || ui::familyInfo(*family).offered == ui::Offered::no) return std::nullopt;
  return family;
}
std::optional<AppearanceChoice> parseAppearance(std::string_view text) { return lookUp(kAppearances, text); }

std::optional<Margin> parseMargin(std::string_view text) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) {
    const auto both = parsePixels(text);
    if (!both) return std::nullopt;
    return Margin{*both, *both};
  }
  const auto x = parsePixels(text.substr(0, comma)), y = parsePixels(text.substr(comma + 1));
  if (!x || !y) return std::nullopt;
  return Margin{*x, *y};
}

const char* familyName(ui::WidgetFamily family) { return ui::familyInfo(family).name.data(); }

std::string familyLabel(ui::WidgetFamily family) {
  switch (family) {
    case ui::WidgetFamily::systemSmall:
      // TRANSLATORS: Desktop widget's right-click menu: show the widget in its small size.
      return L("Small");
    case ui::WidgetFamily::systemMedium:
      // TRANSLATORS: Desktop widget's right-click menu: show the widget in its medium size.
      return L("Medium");
    case ui::WidgetFamily::systemLarge:
      // TRANSLATORS: Desktop widget's right-click menu: show the widget in its large size.
      return L("Large");
    case ui::WidgetFamily::systemExtraLarge:  // not offered, so never in a menu
      return familyName(family);
  }
  unreachable(__func__);
}

namespace {

template <class T, size_t N>
std::vector<T> valuesOf(const std::array<Named<T>, N>& table) {
  std::vector<T> out;
  for (const auto& entry : table) out.push_back(entry.value);
  return out;
}

template <class T, size_t N>
const char* nameOf(const std::array<Named<T>, N>& table, T value) {
  for (const auto& entry : table) {
    if (entry.value == value) return entry.name.data();
  }
  unreachable(__func__);
}

}  // namespace

std::vector<Anchor> anchorsInOrder() { return valuesOf(kAnchors); }
const char* anchorName(Anchor anchor) { return nameOf(kAnchors, anchor); }

std::string anchorLabel(Anchor anchor) {
  switch (anchor) {
    case Anchor::topLeft:
      // TRANSLATORS: Kelvo window, desktop widget settings: a corner of the screen.
      return L("Top left");
    case Anchor::topRight:
      // TRANSLATORS: Kelvo window, desktop widget settings: a corner of the screen.
      return L("Top right");
    case Anchor::bottomLeft:
      // TRANSLATORS: Kelvo window, desktop widget settings: a corner of the screen.
      return L("Bottom left");
    case Anchor::bottomRight:
      // TRANSLATORS: Kelvo window, desktop widget settings: a corner of the screen.
      return L("Bottom right");
    case Anchor::center:
      // TRANSLATORS: Kelvo window, desktop widget settings: the middle of the screen.
      return L("Centre");
  }
  unreachable(__func__);
}

std::vector<AppearanceChoice> appearancesInOrder() { return valuesOf(kAppearances); }
const char* appearanceName(AppearanceChoice choice) { return nameOf(kAppearances, choice); }

std::string appearanceLabel(AppearanceChoice choice) {
  switch (choice) {
    case AppearanceChoice::automatic:
      // TRANSLATORS: Kelvo window, desktop widget settings: light or dark as the desktop is.
      return L("Automatic");
    case AppearanceChoice::light:
      // TRANSLATORS: Kelvo window, desktop widget settings: always light colours.
      return L("Light");
    case AppearanceChoice::dark:
      // TRANSLATORS: Kelvo window, desktop widget settings: always dark colours.
      return L("Dark");
  }
  unreachable(__func__);
}

// Rows name only the fields they need; the others keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
apps::Program desktopProgram(DesktopCommandLine& t) {
  Settings& s = t.settings;
  using apps::Value;
  const std::vector<std::string> families = offeredFamilies();
  apps::Program program{
      "kelvo-desktop",
      "The Kelvo widget on the desktop: a layer surface on Wayland, a desktop window on X11.",
      "Settings not given come from the config file's [widget NAME] group (with --name), then its [widget] "
      "group (key = the option's name).\n"
      "SIGHUP reads the shared directory again; SIGTERM and SIGINT end it with status 0."};
  // clang-format off
  program.options = {
      {.name = "layer", .valueName = "LAYER", .kind = Value::choice, .help = "Layer-shell layer on Wayland",
       .defaultText = "bottom", .choices = nameList(kLayers), .check = checkedBy(parseLayer, "a layer", names(kLayers)),
       .set = [&s](const std::string& v) { s.layer = parseLayer(v).value_or(s.layer); }, .group = "widget"},
      {.name = "anchor", .valueName = "ANCHOR", .kind = Value::choice, .help = "Where on the output",
       .defaultText = "top-right", .choices = nameList(kAnchors),
       .check = checkedBy(parseAnchor, "an anchor", names(kAnchors)),
       .set = [&s](const std::string& v) { s.anchor = parseAnchor(v).value_or(s.anchor); }, .group = "widget"},
      {.name = "margin", .valueName = "PX|X,Y", .kind = Value::number,
       .help = "Distance from the anchored edges in whole pixels (0 to 10000)", .defaultText = "24",
       .check = checkedBy(parseMargin, "a margin", "PX or X,Y, whole pixels from 0 to 10000"),
       .set = [&s](const std::string& v) { s.margin = parseMargin(v).value_or(s.margin); }, .group = "widget"},
      {.name = "output", .valueName = "NAME", .help = "Monitor connector name", .defaultText = "the primary (or first) one",
       .set = [&s](const std::string& v) { s.output = v.empty() ? std::nullopt : std::optional(v); }, .group = "widget"},
      {.name = "family", .valueName = "FAMILY", .kind = Value::choice, .help = "Widget size", .defaultText = "small",
       .choices = families, .check = checkedBy(parseFamily, "a size", apps::joined(families)),
       .set = [&s](const std::string& v) { s.family = parseFamily(v).value_or(s.family); }, .group = "widget"},
      {.name = "shared-dir", .valueName = "DIR", .kind = Value::directory,
       .help = "Use DIR as the shared directory (a missing DIR means no data)", .check = apps::nonEmpty,
       .set = [&s](const std::string& v) { s.sharedDir = fs::path(v); }, .group = "widget"},
      {.name = "appearance", .valueName = "APPEARANCE", .kind = Value::choice,
       .help = "Colours: the desktop's preference (auto), light or dark", .defaultText = "auto",
       .choices = nameList(kAppearances), .check = checkedBy(parseAppearance, "an appearance", names(kAppearances)),
       .set = [&s](const std::string& v) { s.appearance = parseAppearance(v).value_or(s.appearance); },
       .group = "widget"},
      {.name = "config", .valueName = "FILE", .kind = Value::file, .help = "Config file",
       .defaultText = "${XDG_CONFIG_HOME:-~/.config}/kelvo/desktop.ini, when it exists",
       .set = [&t](const std::string& v) { t.config = v; }},
      {.name = "name", .valueName = "NAME", .help = "Instance name: settings come from the group [widget NAME]",
       .check = [](const std::string& name) -> std::string {
         if (isInstanceName(name)) return {};
         return "\"" + name + "\" cannot name an instance (up to 64 bytes of UTF-8, no brackets or "
                "control characters)";
       },
       .set = [&t](const std::string& v) { t.name = v; }},
  };
  // clang-format on
  for (const apps::Option& option : program.options) program.programOptions.push_back(option.name);
  return program;
}
#pragma GCC diagnostic pop

fs::path defaultConfigFile(const std::function<const char*(const char*)>& environment) {
  const char* configHome = environment("XDG_CONFIG_HOME");
  fs::path base;
  if (configHome && fs::path(configHome).is_absolute()) {
    base = configHome;
  } else {
    const char* home = environment("HOME");
    base = fs::path(home && *home ? home : g_get_home_dir()) / ".config";
  }
  return base / "kelvo" / "desktop.ini";
}

bool isInstanceName(std::string_view name) {
  if (name.size() > 64 || !g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr))
    return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '[' || c == ']') return false;
  }
  return true;
}

std::string configGroup(const std::optional<std::string>& name) {
  return name && !name->empty() ? "widget " + *name : "widget";
}

std::optional<std::string> applyConfigFile(const fs::path& file, const std::string& group,
                                           Settings& settings) {
  std::string problem;
  const std::optional<std::string> text = readText(file, problem);
  const std::string name = logValue(file.string());
  if (!text) {
    if (problem.empty()) return std::nullopt;  // no file: the defaults, quietly
    return name + ": " + problem;
  }
  const auto entries = apps::parseIni(*text);
  if (!entries) return name + ":" + logValue(entries.error().message);
  DesktopCommandLine target{settings, {}, {}};
  const apps::Program program = desktopProgram(target);
  std::vector<std::string> warnings;
  for (const std::string& read : {std::string("widget"), group}) {
    if (const Status ok = apps::applyConfigGroup(program, *entries, "widget", file.string(), warnings, read);
        !ok) {
      return logValue(ok.error().message, kLogLineBytes);
    }
    if (group == "widget") break;
  }
  settings = target.settings;
  return std::nullopt;
}

std::optional<std::string> rememberFamily(const fs::path& file, const std::string& group,
                                          ui::WidgetFamily family) {
  return rememberValues(file, group, {{"family", familyName(family)}});
}

std::optional<std::string> rememberValues(const fs::path& file, const std::string& group,
                                          const std::vector<std::pair<std::string, std::string>>& values) {
  std::string problem;
  const std::optional<std::string> text = readText(file, problem);
  if (!problem.empty()) return logValue(file.string()) + ": " + problem + "; not changed";
  std::string written = text.value_or("");
  for (const auto& [key, value] : values) {
    Result<std::string> edited = apps::setIniValue(written, group, key, value);
    if (!edited) return logValue(file.string()) + ":" + logValue(edited.error().message) + "; not changed";
    written = std::move(edited).value();
  }

  const Result<fs::path> target = linkTarget(file);
  if (!target) return logValue(file.string()) + ": " + target.error().message + "; not changed";
  std::error_code error;
  fs::create_directories(target->parent_path(), error);
  if (const Status replaced = replaceFile(*target, written); !replaced) return replaced.error().message;
  return std::nullopt;
}

}  // namespace kelvo::desktop
