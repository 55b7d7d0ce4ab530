#pragma once

// The widget families, one row each. What the toolkit and the programs know
// of a family (its command-line and config names, its size, whether the
// gallery and a desktop's menu offer it) is read from kWidgetFamilies; code
// that treats a family in its own way (the widget's view, a program's help
// and menu texts) switches over WidgetFamily without a default, so a new
// family does not compile until each such place has decided.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "KelvoUI/Geometry.h"

namespace kelvo::ui {

// The size class of the placed widget.
enum class WidgetFamily { systemSmall, systemMedium, systemLarge, systemExtraLarge };

// Whether the widget offers a family in its gallery (and a desktop in its menu).
enum class Offered { yes, no };

struct WidgetFamilyInfo {
  WidgetFamily family;
  std::string_view name;        // the command line's and config file's name, "small"
  std::string_view systemName;  // the host's name, "systemSmall"
  Size size;                    // points
  Offered offered;
};

// In declaration order of WidgetFamily.
// clang-format off
inline constexpr std::array<WidgetFamilyInfo, 4> kWidgetFamilies{{
    {WidgetFamily::systemSmall,      "small",      "systemSmall",      {170, 170}, Offered::yes},
    {WidgetFamily::systemMedium,     "medium",     "systemMedium",     {364, 170}, Offered::yes},
    {WidgetFamily::systemLarge,      "large",      "systemLarge",      {364, 382}, Offered::yes},
    {WidgetFamily::systemExtraLarge, "extraLarge", "systemExtraLarge", {715, 382}, Offered::no},
}};
// clang-format on

namespace detail {
// Row i describes the i-th family, and the last row the last family: a
// family declared without its row, or rows out of order, stop the build.
constexpr bool familyRowsInOrder() {
  for (std::size_t i = 0; i < kWidgetFamilies.size(); ++i) {
    if (kWidgetFamilies[i].family != static_cast<WidgetFamily>(i)) return false;
  }
  switch (kWidgetFamilies.back().family) {
    case WidgetFamily::systemSmall:
    case WidgetFamily::systemMedium:
    case WidgetFamily::systemLarge:
      return false;
    case WidgetFamily::systemExtraLarge:
      return true;
  }
  return false;
}
static_assert(familyRowsInOrder(), "kWidgetFamilies needs one row per WidgetFamily, in declaration order");
}  // namespace detail

constexpr const WidgetFamilyInfo& familyInfo(WidgetFamily family) {
  return kWidgetFamilies[static_cast<std::size_t>(family)];
}

// The widget's size in points for a family.
constexpr Size widgetSize(WidgetFamily family) { return familyInfo(family).size; }
// The host's name, "systemSmall".
constexpr const char* toString(WidgetFamily family) { return familyInfo(family).systemName.data(); }

// A family by its short name ("small") or, when `systemNames` allows, its
// host name ("systemSmall").
enum class SystemNames { accepted, refused };
std::optional<WidgetFamily> parseFamily(std::string_view name,
                                        SystemNames systemNames = SystemNames::accepted);

// The offered families, in gallery order.
std::vector<WidgetFamily> offeredFamilies();

// The short names joined by `separator`, offered ones only unless `all`.
enum class Which { offered, all };
std::string familyNames(Which which, std::string_view separator);

}  // namespace kelvo::ui
