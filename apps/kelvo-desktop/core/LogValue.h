#pragma once

// What kelvo-desktop logs comes partly from outside: a snapshot's texts (which
// anyone who can publish to the feed's broker chooses), file and output names,
// library messages. Each such value goes into a log line through logValue.

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo::desktop {

// The most bytes one value takes up in a log line, "…" not counted.
inline constexpr std::size_t kLogValueBytes = 200;

// `text` escaped by kelvo::escapeForLog and cut where a character begins, so
// that the escaped text fits `maxBytes`; "…" marks a cut. Reads no further
// than the cut, whatever the length of `text`.
std::string logValue(std::string_view text, std::size_t maxBytes = kLogValueBytes);

}  // namespace kelvo::desktop
