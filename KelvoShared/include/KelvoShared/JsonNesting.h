#pragma once

#include <cstddef>
#include <string_view>

namespace kelvo {

// How deep Kelvo lets JSON nest arrays and objects before parsing it. A
// snapshot is one level deep and a source's status document a few; past
// that, what a parser builds grows with the depth (1 MiB of "[" is half a
// million nested arrays, about 90 MiB once parsed) and printing it recurses.
inline constexpr std::size_t kJsonDepthLimit = 64;

// Whether `json` opens more than `limit` arrays or objects inside each other.
// Counts the brackets outside strings in one pass, without parsing or
// recursion; malformed text is left to the parser to refuse.
bool jsonNestsDeeperThan(std::string_view json, std::size_t limit = kJsonDepthLimit);

}  // namespace kelvo
