// The JSON form of WidgetSnapshot (snapshot.json): strict field-by-field
// decoding that never throws, and compact encoding in field order.
//
// Integer fields take JSON integers only: 412.0, 4.12e2 and 412.5 are
// rejected. A decimal form cannot be told from an integer that overflowed
// into floating point, and taking it would silently change values past 2^53.

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "KelvoShared/JsonNesting.h"
#include "KelvoShared/Utf8Text.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// Values quoted in error messages are cut so a message stays readable.
constexpr std::size_t kQuotedValueLimit = 40;

std::string quoted(const Json& value) {
  std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (text.size() > kQuotedValueLimit) text = prefixGraphemes(text, kQuotedValueLimit) + "…";
  return text;
}

std::string typeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::binary:
      return "binary data";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "a number";
    case Json::value_t::discarded:
      break;
  }
  return "nothing";
}

Error keyError(std::string_view key, const std::string& what) {
  return Error{"key \"" + std::string(key) + "\": " + what};
}

// Collects the parse error without throwing (used only once parsing has
// already failed, to describe why).
struct ParseErrorCatcher : nlohmann::json_sax<Json> {
  std::string message = "not JSON";

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
    std::string what = ex.what();
    // Drop the library's "[json.exception.parse_error.101] " tag.
    if (const auto close = what.find("] ");
        what.starts_with("[json.exception") && close != std::string::npos) {
      what.erase(0, close + 2);
    }
    message = "not JSON: " + withoutQuotedBytes(what);
    return false;
  }

  // The library quotes the bytes it last read ("; last read: '...'"), which
  // may be the start of any file a symbolic link points at; the position and
  // the kind of token before it say enough.
  static std::string withoutQuotedBytes(std::string what) {
    constexpr std::string_view kQuote = "; last read: '";
    const std::size_t start = what.find(kQuote);
    if (start == std::string::npos) return validUtf8(what);
    // The quote runs to the end, or to "; expected ..." when that follows it.
    const std::size_t expected = what.rfind("'; expected ");
    const bool expectedFollows =
        !what.ends_with('\'') && expected != std::string::npos && expected >= start + kQuote.size();
    what.erase(start, expectedFollows ? expected + 1 - start : std::string::npos);
    return validUtf8(what);
  }
};

enum class Presence { required, optional };

// Reads one member of the top-level object. Optional members that are
// missing or null come back as nothing; required ones fail.
class MemberReader {
 public:
  explicit MemberReader(const Json& object) : object_(object) {}

  template <class T, class Convert>
  Result<std::optional<T>> read(std::string_view key, Presence presence, Convert convert) const {
    const auto it = object_.find(key);
    if (it == object_.end() || it->is_null()) {
      if (presence == Presence::optional) return std::optional<T>();
      return keyError(key, it == object_.end() ? "missing" : "null where a value is required");
    }
    Result<T> value = convert(key, *it);
    if (!value) return value.error();
    return std::optional<T>(std::move(value).value());
  }

 private:
  const Json& object_;
};

Result<double> toNumber(std::string_view key, const Json& value) {
  if (!value.is_number()) return keyError(key, "expected a number, found " + typeName(value));
  return value.get<double>();
}

Result<std::int64_t> toInteger(std::string_view key, const Json& value) {
  switch (value.type()) {
    case Json::value_t::number_integer:
      return value.get<std::int64_t>();
    case Json::value_t::number_unsigned: {
      const auto unsignedValue = value.get<std::uint64_t>();
      if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return keyError(key, quoted(value) + " does not fit a 64-bit signed integer");
      }
      return static_cast<std::int64_t>(unsignedValue);
    }
    case Json::value_t::number_float: {
      // Integer texts beyond 64 bits arrive here as floating point.
      const double number = value.get<double>();
      if (std::trunc(number) == number && std::fabs(number) >= 0x1p63) {
        return keyError(key, quoted(value) + " does not fit a 64-bit signed integer");
      }
      return keyError(key, quoted(value) + " is not an integer");
    }
    default:
      return keyError(key, "expected an integer, found " + typeName(value));
  }
}

Result<bool> toBoolean(std::string_view key, const Json& value) {
  if (!value.is_boolean()) return keyError(key, "expected true or false, found " + typeName(value));
  return value.get<bool>();
}

Result<std::string> toText(std::string_view key, const Json& value) {
  if (!value.is_string()) return keyError(key, "expected a string, found " + typeName(value));
  return value.get<std::string>();
}

Result<Date> toDate(std::string_view key, const Json& value) {
  if (!value.is_string()) return keyError(key, "expected a date-time string, found " + typeName(value));
  const auto date = parseInternetDateTime(value.get_ref<const std::string&>());
  if (!date) return keyError(key, quoted(value) + " is not an RFC 3339 date-time");
  return *date;
}

Result<DistanceUnit> toUnit(std::string_view key, const Json& value) {
  if (!value.is_string()) return keyError(key, "expected a string, found " + typeName(value));
  const auto unit = DistanceUnit::fromRawValue(value.get_ref<const std::string&>());
  if (!unit) {
    const auto [first, second] = DistanceUnit::allCases();
    return keyError(key, quoted(value) + " is not a distance unit (use \"" + std::string(first.rawValue()) +
                             "\" or \"" + std::string(second.rawValue()) + "\")");
  }
  return *unit;
}

constexpr Presence kRequired = Presence::required;
constexpr Presence kOptional = Presence::optional;

}  // namespace

Result<WidgetSnapshot> decodeSnapshot(std::string_view json) {
  // A snapshot is one level deep: deeper text is refused before the parser
  // builds it (a document of brackets would cost ~90 bytes a level).
  if (jsonNestsDeeperThan(json)) {
    return Error{"JSON nested more than " + std::to_string(kJsonDepthLimit) + " levels deep"};
  }
  // The non-throwing parse: invalid JSON, invalid UTF-8 in strings, numbers
  // out of double range and trailing content all give a discarded value.
  const Json document = Json::parse(json.begin(), json.end(), nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    ParseErrorCatcher catcher;
    Json::sax_parse(json.begin(), json.end(), &catcher);
    return Error{catcher.message};
  }
  if (!document.is_object()) return Error{"not a JSON object at the top level, found " + typeName(document)};

  const MemberReader reader(document);
  WidgetSnapshot snapshot;
  std::optional<Error> failure;
  // Assigns the member's value to `field`, or records the first failure.
  const auto take = [&](auto& field, std::string_view key, Presence presence, auto convert) {
    if (failure) return;
    using Field = std::remove_reference_t<decltype(field)>;
    using Value = decltype(convert(key, document).value());
    auto result = reader.template read<std::remove_cvref_t<Value>>(key, presence, convert);
    if (!result) {
      failure = result.error();
      return;
    }
    if constexpr (std::is_same_v<Field, std::optional<std::remove_cvref_t<Value>>>) {
      field = std::move(result).value();
    } else {
      field = *std::move(result).value();
    }
  };

  take(snapshot.batteryPercentage, "batteryPercentage", kRequired, toNumber);
  take(snapshot.rangeKm, "rangeKm", kRequired, toInteger);
  take(snapshot.statusKey, "statusKey", kRequired, toText);
  take(snapshot.isDriving, "isDriving", kRequired, toBoolean);
  take(snapshot.isPluggedIn, "isPluggedIn", kOptional, toBoolean);
  take(snapshot.fullInMinutes, "fullInMinutes", kOptional, toInteger);
  take(snapshot.chargingPowerWatts, "chargingPowerWatts", kOptional, toInteger);
  take(snapshot.carTitle, "carTitle", kOptional, toText);
  take(snapshot.modelName, "modelName", kOptional, toText);
  take(snapshot.registrationNo, "registrationNo", kOptional, toText);
  take(snapshot.odometerKm, "odometerKm", kOptional, toInteger);
  take(snapshot.carReportedAt, "carReportedAt", kOptional, toDate);
  take(snapshot.writtenAt, "writtenAt", kRequired, toDate);
  take(snapshot.unit, "unit", kRequired, toUnit);
  take(snapshot.hasImage, "hasImage", kRequired, toBoolean);
  if (failure) return *failure;
  return snapshot;
}

Result<std::string> encodeSnapshot(const WidgetSnapshot& s) {
  if (!std::isfinite(s.batteryPercentage)) {
    return keyError("batteryPercentage", "a number that is not finite cannot be written");
  }
  // What the reader would refuse is not written either.
  const auto checkText = [](std::string_view key, const std::string& text) -> std::optional<Error> {
    if (!isValidUtf8(text)) return keyError(key, "text is not valid UTF-8");
    return std::nullopt;
  };
  const auto checkDate = [](std::string_view key, Date date) -> std::optional<Error> {
    if (!isInternetDateTimeRepresentable(date))
      return keyError(key, "date is outside the years 0000 to 9999");
    return std::nullopt;
  };
  std::optional<Error> problem = checkText("statusKey", s.statusKey);
  if (!problem && s.carTitle) problem = checkText("carTitle", *s.carTitle);
  if (!problem && s.modelName) problem = checkText("modelName", *s.modelName);
  if (!problem && s.registrationNo) problem = checkText("registrationNo", *s.registrationNo);
  if (!problem && s.carReportedAt) problem = checkDate("carReportedAt", *s.carReportedAt);
  if (!problem) problem = checkDate("writtenAt", s.writtenAt);
  if (problem) return *problem;

  OrderedJson out = OrderedJson::object();
  out["batteryPercentage"] = s.batteryPercentage;
  out["rangeKm"] = s.rangeKm;
  out["statusKey"] = s.statusKey;
  out["isDriving"] = s.isDriving;
  if (s.isPluggedIn) out["isPluggedIn"] = *s.isPluggedIn;
  if (s.fullInMinutes) out["fullInMinutes"] = *s.fullInMinutes;
  if (s.chargingPowerWatts) out["chargingPowerWatts"] = *s.chargingPowerWatts;
  if (s.carTitle) out["carTitle"] = *s.carTitle;
  if (s.modelName) out["modelName"] = *s.modelName;
  if (s.registrationNo) out["registrationNo"] = *s.registrationNo;
  if (s.odometerKm) out["odometerKm"] = *s.odometerKm;
  if (s.carReportedAt) out["carReportedAt"] = formatInternetDateTime(*s.carReportedAt);
  out["writtenAt"] = formatInternetDateTime(s.writtenAt);
  out["unit"] = std::string(s.unit.rawValue());
  out["hasImage"] = s.hasImage;
  // Everything was checked above, so the replacing handler never acts.
  return out.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

}  // namespace kelvo
