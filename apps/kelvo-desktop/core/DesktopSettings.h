#pragma once

// kelvo-desktop's settings: the command line over the config file's
// [widget NAME] (for `--name NAME`) over its [widget] over the defaults,
// each option one row of desktopProgram's table.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KelvoUI/Environment.h"
#include "Options.h"

namespace kelvo::desktop {

// The layer-shell layer the widget sits on.
enum class Layer { background, bottom, top };
// The corner (or the centre) of the output the widget is placed at.
enum class Anchor { topLeft, topRight, bottomLeft, bottomRight, center };
// Where the colours come from: the desktop's preference, or fixed.
enum class AppearanceChoice { automatic, light, dark };

// Distance from the anchored edges, logical pixels.
struct Margin {
  int x = 24;  // from the left or right edge
  int y = 24;  // from the top or bottom edge

  friend bool operator==(const Margin&, const Margin&) = default;
};

struct Settings {
  Layer layer = Layer::bottom;
  Anchor anchor = Anchor::topRight;
  Margin margin;
  std::optional<std::string> output;  // monitor connector name; nothing: the primary (or first)
  ui::WidgetFamily family = ui::WidgetFamily::systemSmall;
  std::optional<std::filesystem::path> sharedDir;  // --shared-dir; nothing: the store's own lookup
  AppearanceChoice appearance = AppearanceChoice::automatic;
};

// What the rows set.
struct DesktopCommandLine {
  Settings settings;
  std::optional<std::string> config;  // --config FILE
  std::optional<std::string> name;    // --name NAME: the config group [widget NAME]
};

// The table, its rows setting the fields of `target` (which must outlive it).
apps::Program desktopProgram(DesktopCommandLine& target);

// Value parsers shared by the command line and the config file; nothing for
// a value they do not know.
std::optional<Layer> parseLayer(std::string_view text);
std::optional<Anchor> parseAnchor(std::string_view text);
// "24" (both edges) or "12,40" (x,y); whole non-negative pixels up to 10000.
std::optional<Margin> parseMargin(std::string_view text);
// small, medium or large: the sizes a desktop offers.
std::optional<ui::WidgetFamily> parseFamily(std::string_view text);
std::optional<AppearanceChoice> parseAppearance(std::string_view text);
// The config file's name for a family ("small", ...).
const char* familyName(ui::WidgetFamily family);
// A family as menus and lists name it, translated ("Small", ...).
std::string familyLabel(ui::WidgetFamily family);
// The corners and appearances in the order lists show them, each with the
// config file's name for it and its label in lists, translated.
std::vector<Anchor> anchorsInOrder();
const char* anchorName(Anchor anchor);
std::string anchorLabel(Anchor anchor);
std::vector<AppearanceChoice> appearancesInOrder();
const char* appearanceName(AppearanceChoice choice);
std::string appearanceLabel(AppearanceChoice choice);

// ${XDG_CONFIG_HOME:-$HOME/.config}/kelvo/desktop.ini (XDG_CONFIG_HOME only
// when absolute); `environment` looks a variable up (getenv by default).
std::filesystem::path defaultConfigFile(
    const std::function<const char*(const char*)>& environment = std::getenv);
// Whether `name` can name an instance: its group [widget NAME] must be one
// the INI reader and editor read back, so UTF-8 without brackets or control
// characters, and short. The empty name is the default instance.
bool isInstanceName(std::string_view name);
// "widget", or "widget NAME".
std::string configGroup(const std::optional<std::string>& name);

// Puts the values of [widget], then of `group` when it is another, from
// `file` onto `settings`. A missing file or group changes nothing. A
// malformed file (bad syntax, an unknown key, a value out of range) changes
// nothing either and gives one line naming the file and the line:
// "FILE:LINE: reason", its values escaped for the log.
std::optional<std::string> applyConfigFile(const std::filesystem::path& file, const std::string& group,
                                           Settings& settings);

// Remembers the family in the group of `file`, keeping everything else in it
// (comments included); creates the file and its directory when missing. A
// symbolic link is written through, and the file keeps its permissions.
// Refuses to rewrite a file it cannot read (apps::setIniValue). The reason on failure.
std::optional<std::string> rememberFamily(const std::filesystem::path& file, const std::string& group,
                                          ui::WidgetFamily family);
// The same for any keys and their values as the config file spells them
// ("anchor" = "bottom-left", "margin" = "16,48", ...).
std::optional<std::string> rememberValues(const std::filesystem::path& file, const std::string& group,
                                          const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace kelvo::desktop
