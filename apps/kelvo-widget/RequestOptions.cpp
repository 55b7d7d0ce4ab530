#include <sstream>
#include <utility>

#include "Commands.h"
#include "KelvoBase/Unreachable.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "ParseCommandLine.h"

namespace kelvo::host {
namespace {

// A few words on a family's shape, for --help.
const char* shapeWords(ui::WidgetFamily family) {
  switch (family) {
    case ui::WidgetFamily::systemSmall:
      return "square";
    case ui::WidgetFamily::systemMedium:
      return "wide";
    case ui::WidgetFamily::systemLarge:
      return "big";
    case ui::WidgetFamily::systemExtraLarge:
      return "wide and big";
  }
  unreachable(__func__);
}

}  // namespace

std::string familyHelp() {
  std::string help;
  for (const ui::WidgetFamilyInfo& row : ui::kWidgetFamilies) {
    std::ostringstream size;
    size << row.size.width << "x" << row.size.height;
    help += (help.empty() ? "" : ", ") + std::string(row.name) + " (" + size.str() + " points, " +
            shapeWords(row.family) + (row.offered == ui::Offered::no ? ", not offered" : "") + ")";
  }
  return help;
}

ui::WidgetFamily RequestOptions::widgetFamily() const {
  return ui::parseFamily(family).value_or(ui::WidgetFamily::systemSmall);
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
        if (ui::parseFamily(value)) return {};
        return "unknown family \"" + value + "\" (" + ui::familyNames(ui::Which::all, ", ") + " or " +
               std::string(ui::kWidgetFamilies.front().systemName) + ", ...)";
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
                  "Widget size: " + familyHelp() + "; or the system names (" +
                      std::string(ui::kWidgetFamilies.front().systemName) + ", ...); default small")
      ->option_text("FAMILY")
      ->check(familyValidator());
  addStoreAndClockOptions(command, options);
}

}  // namespace kelvo::host
