#include <array>
#include <utility>

#include "Commands.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "ParseCommandLine.h"

namespace kelvo::host {

namespace {

struct FamilyName {
  std::string_view name;
  ui::WidgetFamily family;
};
constexpr std::array<FamilyName, 8> kFamilyNames{{
    {"small", ui::WidgetFamily::systemSmall},
    {"medium", ui::WidgetFamily::systemMedium},
    {"large", ui::WidgetFamily::systemLarge},
    {"extraLarge", ui::WidgetFamily::systemExtraLarge},
    {"systemSmall", ui::WidgetFamily::systemSmall},
    {"systemMedium", ui::WidgetFamily::systemMedium},
    {"systemLarge", ui::WidgetFamily::systemLarge},
    {"systemExtraLarge", ui::WidgetFamily::systemExtraLarge},
}};

}  // namespace

std::optional<ui::WidgetFamily> parseFamily(std::string_view name) {
  for (const FamilyName& entry : kFamilyNames) {
    if (entry.name == name) return entry.family;
  }
  return std::nullopt;
}

ui::WidgetFamily RequestOptions::widgetFamily() const {
  return parseFamily(family).value_or(ui::WidgetFamily::systemSmall);
}

widget::CarProvider::Clock RequestOptions::clock() const {
  if (now) {
    if (std::optional<Date> fixed = parseInternetDateTime(*now)) return [moment = *fixed] { return moment; };
  }
  return &Date::now;
}

widget::CarProvider RequestOptions::provider() const {
  SharedStore store(sharedDir ? Platform::withSharedDirectory(*sharedDir) : Platform::current());
  return widget::CarProvider(std::move(store), clock());
}

CLI::Validator familyValidator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (parseFamily(value)) return {};
        return "unknown family \"" + value + "\" (small, medium, large, extraLarge or systemSmall, ...)";
      },
      "FAMILY", "family");
}

void addStoreAndClockOptions(CLI::App& command, RequestOptions& options) {
  apps::addSharedDirOption(command, options.sharedDir);
  command.add_option("--now", options.now, "Fix the host's clock, e.g. 2026-12-06T12:00:00Z")
      ->option_text("ISO8601")
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            if (parseInternetDateTime(value)) return {};
            return "not an ISO 8601 date-time with a zone: \"" + value + "\"";
          },
          "ISO8601", "date"));
}

void addRequestOptions(CLI::App& command, RequestOptions& options) {
  command
      .add_option("--family", options.family,
                  "Widget size: small, medium, large, extraLarge (or systemSmall, ...); default small")
      ->option_text("FAMILY")
      ->check(familyValidator());
  addStoreAndClockOptions(command, options);
}

}  // namespace kelvo::host
