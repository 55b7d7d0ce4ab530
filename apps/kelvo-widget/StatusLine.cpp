#include "StatusLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoWidget/DisplayRules.h"
#include "KelvoWidget/LargeCarView.h"
#include "KelvoWidget/NoData.h"

namespace kelvo::host {

using widget::DisplayRules;
using widget::Field;
using widget::hasText;
using widget::LargeCarView;

namespace {

constexpr const char* kSeparator = " · ";

// Bars read one line per update: a control character in a car's title or
// status key (a newline above all) would split it, so each becomes a space.
std::string oneLine(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = ' ';
  }
  return text;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += separator;
    text += part;
  }
  return text;
}

// Waybar shows text and tooltip as Pango markup: a title such as "Tom & Jerry"
// must not be read as markup (it would blank the module).
std::string markupEscaped(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string cssClass(const WidgetSnapshot& snapshot) {
  if (snapshot.isCharging()) return "charging";
  if (snapshot.batteryPercentage <= 20) return "low";  // the bar turns orange here too
  if (snapshot.isDriving) return "driving";
  return "idle";
}

std::optional<int> roundedPercentage(double percentage) {
  if (!std::isfinite(percentage)) return std::nullopt;
  // nearbyint rounds halves to even, as the widget's "64%" does.
  return static_cast<int>(std::clamp(std::nearbyint(percentage), 0.0, 100.0));
}

StatusLine snapshotLine(const WidgetSnapshot& snapshot, Date now, const icu::Locale& locale,
                        const icu::Locale& ageLocale) {
  const std::string percent = DisplayRules::batteryPercentText(snapshot);
  const std::string range = snapshot.rangeText();
  const std::string status = oneLine(snapshot.statusText());
  const double reported = DisplayRules::reportInstant(snapshot).secondsSince1970;

  // While charging the time to full matters more than the report's age.
  const std::string last =
      snapshot.isCharging() && snapshot.fullInMinutes
          ? CarFormat::shortDuration(*snapshot.fullInMinutes)
          : ui::relativeTimeText(reported, now.secondsSince1970, ui::RelativeUnitsStyle::narrow, ageLocale);

  std::vector<std::string> tooltip{oneLine(DisplayRules::title(snapshot))};
  if (hasText(snapshot.registrationNo)) tooltip.push_back(oneLine(*snapshot.registrationNo));
  tooltip.push_back(status);
  tooltip.push_back(percent + kSeparator + range);
  for (const Field& field : LargeCarView{snapshot, std::nullopt}.fields(locale)) {
    tooltip.push_back(field.key + ": " + field.value);
  }
  tooltip.push_back(
      L("Updated") + " " +
      ui::relativeTimeText(reported, now.secondsSince1970, ui::RelativeUnitsStyle::abbreviated, ageLocale));

  StatusLine line;
  line.text = joined({percent, range, status, last}, kSeparator);
  line.shortText = percent + kSeparator + range;
  line.tooltip = joined(tooltip, "\n");
  line.cssClass = cssClass(snapshot);
  line.percentage = roundedPercentage(snapshot.batteryPercentage);
  line.color = DisplayRules::batteryTint(snapshot);
  return line;
}

StatusLine problemLine(const widget::WidgetProblem& problem) {
  const widget::NoData::Explanation explanation = widget::NoData::explain(problem);
  StatusLine line;
  line.text = oneLine(explanation.title);
  line.shortText = line.text;
  line.tooltip = line.text + "\n" + oneLine(explanation.subtitle);
  line.cssClass = problem.message() != nullptr ? "error" : "nodata";
  return line;
}

// "#rrggbb" of the colour as it looks on a dark bar.
std::string hexColor(const ui::Color& color) {
  const ui::Rgba rgba = color.resolved(ui::Appearance::dark);
  const auto byte = [](double component) {
    return static_cast<unsigned>(std::lround(std::clamp(component, 0.0, 1.0) * 255));
  };
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(rgba.red), byte(rgba.green), byte(rgba.blue));
  return text;
}

}  // namespace

StatusLine statusLine(const widget::CarEntry& entry, Date now, const icu::Locale& locale,
                      const icu::Locale& ageLocale) {
  if (const WidgetSnapshot* snapshot = entry.snapshot())
    return snapshotLine(*snapshot, now, locale, ageLocale);
  return problemLine(*entry.problem());
}

std::string formatStatus(const StatusLine& line, StatusFormat format, StatusOutput output) {
  switch (format) {
    case StatusFormat::text:
      return line.text + "\n";
    case StatusFormat::waybar: {
      nlohmann::ordered_json json{
          {"text", markupEscaped(line.text)},
          {"tooltip", markupEscaped(line.tooltip)},
          {"class", line.cssClass},
      };
      if (line.percentage) json["percentage"] = *line.percentage;
      // Replacement characters for malformed UTF-8: the line must stay JSON.
      return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    case StatusFormat::i3blocks: {
      if (output == StatusOutput::stream) return line.text + "\n";
      std::string block = line.text + "\n" + line.shortText + "\n";
      if (line.color) block += hexColor(*line.color) + "\n";
      return block;
    }
  }
  unreachable(__func__);
}

Date nextAgeTick(const widget::CarEntry& entry, Date now) {
  constexpr double kMinute = 60;
  const WidgetSnapshot* snapshot = entry.snapshot();
  if (!snapshot) return now.addingTimeInterval(kMinute);
  const Date reported = widget::DisplayRules::reportInstant(*snapshot);
  const double elapsed = now.timeIntervalSince(reported);
  if (!std::isfinite(elapsed)) return now.addingTimeInterval(kMinute);
  const Date tick = reported.addingTimeInterval((std::floor(elapsed / kMinute) + 1) * kMinute);
  return tick > now ? tick : tick.addingTimeInterval(kMinute);
}

}  // namespace kelvo::host
