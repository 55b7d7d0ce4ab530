#pragma once

// Turning MQTT payloads into values: strict numbers, booleans, dates and
// durations, JSON pointers into JSON payloads, and log-safe text.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "KelvoBase/Result.h"
#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::feed {

// One input's current value: a number (already in the snapshot's unit), a
// truth value, a text, an instant, or a whole snapshot document.
using Value = std::variant<double, bool, std::string, Date, WidgetSnapshot>;

// A decimal number and nothing else (surrounding blanks allowed): "88",
// "-9", "372.5", "1e3". NaN, infinities, hex and trailing junk are refused.
Result<double> parseNumber(std::string_view text);

// "true"/"false" (any case), "1"/"0", "on"/"off", "yes"/"no".
Result<bool> parseBoolean(std::string_view text);

// A duration in seconds: a plain number of seconds (a value of 1e9 or more
// is taken as nanoseconds, as no charge lasts 31 years), or Go's duration
// text ("1h30m0s", "45m", "1.5h").
Result<double> parseDuration(std::string_view text);

// An instant: RFC 3339 ("2026-12-06T07:00:00Z") or Unix seconds ("1796540400").
Result<Date> parseInstant(std::string_view text);

// The value at an RFC 6901 JSON pointer of a JSON payload, as payload text: a
// string's contents unquoted, anything else as compact JSON. Payloads nested
// deeper than kJsonDepthLimit are refused unparsed.
Result<std::string> extractJsonPointer(std::string_view json, const std::string& pointer);

// A whole snapshot document as decodeSnapshot reads it, refused also when it
// could not be written once the feed has added its times (it would be
// larger than snapshot.json may be).
Result<WidgetSnapshot> decodeSnapshotPayload(std::string_view text);

}  // namespace kelvo::feed
