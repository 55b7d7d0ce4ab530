#include "KelvoUI/WidgetFamily.h"

namespace kelvo::ui {

std::optional<WidgetFamily> parseFamily(std::string_view name, SystemNames systemNames) {
  for (const WidgetFamilyInfo& row : kWidgetFamilies) {
    if (row.name == name || (systemNames == SystemNames::accepted && row.systemName == name))
      return row.family;
  }
  return std::nullopt;
}

std::vector<WidgetFamily> offeredFamilies() {
  std::vector<WidgetFamily> families;
  for (const WidgetFamilyInfo& row : kWidgetFamilies) {
    if (row.offered == Offered::yes) families.push_back(row.family);
  }
  return families;
}

std::string familyNames(Which which, std::string_view separator) {
  std::string names;
  for (const WidgetFamilyInfo& row : kWidgetFamilies) {
    if (which == Which::offered && row.offered == Offered::no) continue;
    if (!names.empty()) names += separator;
    names += row.name;
  }
  return names;
}

}  // namespace kelvo::ui
