#include "FeedValue.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "KelvoShared/JsonNesting.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoShared/Utf8Text.h"
#include "Trimmed.h"

namespace kelvo::feed {

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

Error notA(std::string_view what, std::string_view text) {
  return Error{"\"" + logValue(text, 40) + "\" is not " + std::string(what)};
}

}  // namespace

Result<double> parseNumber(std::string_view text) {
  const std::string_view body = trimmed(text, " \t\r\n");
  if (body.empty()) return Error{"empty where a number is expected"};
  // from_chars takes no leading "+", and "inf"/"nan"/hex must not pass.
  for (char c : body) {
    if (!((c >= '0' && c <= '9') || c == '-' || c == '.' || c == 'e' || c == 'E' || c == '+')) {
      return notA("a number", text);
    }
  }
  const std::string_view digits = body.front() == '+' ? body.substr(1) : body;
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
    return notA("a number", text);
  }
  return value + 0.0;  // "-0" is 0: a negative zero would be shown as "-0"
}

Result<bool> parseBoolean(std::string_view text) {
  const std::string word = lowered(trimmed(text, " \t\r\n"));
  if (word == "true" || word == "1" || word == "on" || word == "yes") return true;
  if (word == "false" || word == "0" || word == "off" || word == "no") return false;
  return notA("true or false", text);
}

Result<double> parseDuration(std::string_view text) {
  const std::string_view body = trimmed(text, " \t\r\n");
  if (auto number = parseNumber(body)) return *number >= 1e9 ? *number / 1e9 : *number;
  // Go's time.Duration text: a sequence of <number><unit>.
  static constexpr std::pair<std::string_view, double> kUnits[] = {
      {"ns", 1e-9}, {"us", 1e-6}, {"µs", 1e-6}, {"ms", 1e-3}, {"s", 1}, {"m", 60}, {"h", 3600}};
  std::string_view rest = body;
  double seconds = 0;
  if (rest.empty()) return notA("a duration", text);
  while (!rest.empty()) {
    std::size_t n = 0;
    while (n < rest.size() && ((rest[n] >= '0' && rest[n] <= '9') || rest[n] == '.')) ++n;
    if (n == 0) return notA("a duration", text);
    double amount = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + n, amount);
    if (ec != std::errc() || end != rest.data() + n) return notA("a duration", text);
    rest.remove_prefix(n);
    double factor = 0;
    for (const auto& [unit, unitSeconds] : kUnits) {
      // The table lists "ms" before "m" and "ns" before "s".
      if (rest.starts_with(unit)) {
        factor = unitSeconds;
        rest.remove_prefix(unit.size());
        break;
      }
    }
    if (factor == 0) return notA("a duration", text);
    seconds += amount * factor;
  }
  return seconds;
}

Result<Date> parseInstant(std::string_view text) {
  const std::string_view body = trimmed(text, " \t\r\n");
  if (auto date = parseInternetDateTime(body)) return *date;
  if (auto seconds = parseNumber(body); seconds && *seconds >= 0) {
    const Date date{*seconds};
    if (isInternetDateTimeRepresentable(date)) return date;
  }
  return notA("an RFC 3339 date-time or Unix seconds", text);
}

Result<std::string> extractJsonPointer(std::string_view json, const std::string& pointer) {
  using Json = nlohmann::json;
  // The selected value is printed recursively: the depth must be bounded first.
  if (jsonNestsDeeperThan(json)) {
    return Error{"the JSON is nested more than " + std::to_string(kJsonDepthLimit) + " levels deep"};
  }
  const Json document = Json::parse(json.begin(), json.end(), nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) return Error{"the payload is not JSON"};
  // json_pointer's constructor throws on a malformed pointer; the config
  // parser has checked it already, but a read path stays non-throwing.
  try {
    const Json::json_pointer at(pointer);
    if (!document.contains(at)) return Error{"the payload has nothing at " + pointer};
    const Json& value = document.at(at);
    if (value.is_string()) return value.get<std::string>();
    if (value.is_null()) return std::string();
    return value.dump();
  } catch (const Json::exception&) {
    return Error{"bad JSON pointer " + pointer};
  }
}

Result<WidgetSnapshot> decodeSnapshotPayload(std::string_view text) {
  auto snapshot = decodeSnapshot(text);
  if (!snapshot) return snapshot;
  // What the feed adds on writing, at its longest: both times, the longer
  // unit, "false".
  WidgetSnapshot written = *snapshot;
  const Date latest{253402300799};  // 9999-12-31T23:59:59Z
  if (!written.carReportedAt) written.carReportedAt = latest;
  written.writtenAt = latest;
  written.unit = DistanceUnit::kilometers;
  written.hasImage = false;
  const auto encoded = encodeSnapshot(written);
  if (!encoded) return encoded.error();
  if (encoded->size() > SharedStore::kSnapshotSizeLimit) {
    return Error{"it would take " + std::to_string(encoded->size()) +
                 " bytes once written, more than the 1 MiB of snapshot.json"};
  }
  return snapshot;
}

}  // namespace kelvo::feed
