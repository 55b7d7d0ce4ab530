#include "StatusLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>

#include "KelvoBase/Markup.h"
#include "KelvoBase/Unreachable.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/Utf8Text.h"
#include "KelvoWidget/CarPresentation.h"
#include "KelvoWidget/NoData.h"

namespace kelvo::host {

using widget::CarPresentation;

namespace {

constexpr const char* kSeparator = " · ";
constexpr const char* kEllipsis = "…";

// What a bar shows of a text: printable, then its first characters, with an
// ellipsis where the rest was cut (as the widget cuts a text at its tail).
std::string shown(std::string_view text) {
  const std::string printable = printableText(text);
  std::string kept = prefixGraphemes(printable, kStatusTextCharacters, kStatusTextBytes);
  if (kept.size() == printable.size()) return kept;
  kept = prefixGraphemes(printable, kStatusTextCharacters - 1, kStatusTextBytes - std::strlen(kEllipsis));
  return kept + kEllipsis;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += separator;
    text += part;
  }
  return text;
}

std::string cssClass(const CarPresentation& car) {
  if (car.isCharging) return "charging";
  if (car.isLow) return "low";  // the bar turns orange here too
  if (car.isDriving) return "driving";
  return "idle";
}

std::optional<int> roundedPercentage(double percentage) {
  if (!std::isfinite(percentage)) return std::nullopt;
  // nearbyint rounds halves to even, as the widget's "64%" does.
  return static_cast<int>(std::clamp(std::nearbyint(percentage), 0.0, 100.0));
}

StatusLine snapshotLine(const widget::CarEntry::Car& entry, Date now, const icu::Locale& locale,
                        const icu::Locale& ageLocale) {
  const CarPresentation car = CarPresentation::of(entry, CarPresentation::Context(now, locale, ageLocale));
  const std::string percent = shown(car.percentText), range = shown(car.rangeText);
  const std::string status = shown(car.statusText);

  // While charging the time to full matters more than the report's age, but
  // not once the data is stale: then the age is the news.
  const std::string last = car.fullInText && !car.isStale ? shown(*car.fullInText) : shown(car.ageText);

  std::vector<std::string> tooltip{shown(car.title)};
  if (car.registrationNo) tooltip.push_back(shown(*car.registrationNo));
  tooltip.push_back(status);
  tooltip.push_back(percent + kSeparator + range);
  for (const widget::Detail& detail : car.details) {
    tooltip.push_back(shown(detail.label) + ": " + shown(detail.value));
  }
  tooltip.push_back(shown(car.updatedLabel + " " + car.abbreviatedAgeText));

  StatusLine line;
  line.text = joined({percent, range, status, last}, kSeparator);
  line.shortText = percent + kSeparator + range;
  line.tooltip = joined(tooltip, "\n");
  line.cssClass = cssClass(car);
  line.stale = car.isStale;
  line.percentage = roundedPercentage(entry.snapshot.batteryPercentage);
  line.color = car.tint;
  return line;
}

StatusLine problemLine(const widget::WidgetProblem& problem) {
  const widget::NoData::Explanation explanation = widget::NoData::explain(problem);
  StatusLine line;
  line.text = shown(explanation.title);
  line.shortText = line.text;
  line.tooltip = line.text + "\n" + shown(explanation.subtitle);
  line.cssClass = problem.message() != nullptr ? "error" : "nodata";
  return line;
}

// How stale data's colour shows in i3blocks: as at this opacity over the
// bar's black, like the opacity the README's Waybar style gives it.
constexpr double kStaleOpacity = 0.6;

// "#rrggbb" of the colour as it looks on a dark bar, at `opacity` over black.
std::string hexColor(const ui::Color& color, double opacity) {
  const ui::Rgba rgba = color.resolved(ui::Appearance::dark);
  const auto byte = [opacity](double component) {
    return static_cast<unsigned>(std::lround(std::clamp(component, 0.0, 1.0) * opacity * 255));
  };
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(rgba.red), byte(rgba.green), byte(rgba.blue));
  return text;
}

}  // namespace

StatusLine statusLine(const widget::CarEntry& entry, Date now, const icu::Locale& locale,
                      const icu::Locale& ageLocale) {
  if (const auto* car = std::get_if<widget::CarEntry::Car>(&entry.content)) {
    return snapshotLine(*car, now, locale, ageLocale);
  }
  return problemLine(*entry.problem());
}

std::string formatStatus(const StatusLine& line, StatusFormat format, StatusOutput output) {
  switch (format) {
    case StatusFormat::text:
      return line.text + "\n";
    case StatusFormat::waybar: {
      // Waybar takes one class or a list of them.
      const nlohmann::ordered_json classes = line.stale
                                                 ? nlohmann::ordered_json::array({line.cssClass, "stale"})
                                                 : nlohmann::ordered_json(line.cssClass);
      nlohmann::ordered_json json{
          // Waybar reads both as Pango markup: "Tom & Jerry" must not blank the module.
          {"text", markupEscaped(line.text)},
          {"tooltip", markupEscaped(line.tooltip)},
          {"class", classes},
      };
      if (line.percentage) json["percentage"] = *line.percentage;
      // Replacement characters for malformed UTF-8: the line must stay JSON.
      return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    case StatusFormat::i3blocks: {
      if (output == StatusOutput::stream) return line.text + "\n";
      std::string block = line.text + "\n" + line.shortText + "\n";
      if (line.color) block += hexColor(*line.color, line.stale ? kStaleOpacity : 1.0) + "\n";
      return block;
    }
  }
  unreachable(__func__);
}

std::vector<ui::RelativeUnitsStyle> statusAgeStyles(StatusFormat format) {
  switch (format) {
    case StatusFormat::text:
    case StatusFormat::i3blocks:
      return {ui::RelativeUnitsStyle::narrow};
    case StatusFormat::waybar:
      return {ui::RelativeUnitsStyle::narrow, ui::RelativeUnitsStyle::abbreviated};
  }
  unreachable(__func__);
}

}  // namespace kelvo::host
