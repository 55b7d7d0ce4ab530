#pragma once

// Which of Kelvo's languages a browser gets.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::serve {

// The best of `languages` (catalog names: "de", "pt_BR", "zh_CN") for an
// Accept-Language header ("de-CH,de;q=0.9,en;q=0.8"), by the header's
// weights: a catalog for the range itself, else for its language (the
// Simplified Chinese catalog only for Simplified Chinese). Nothing when no
// range has one, or "*" comes first: the server's own language then.
std::optional<std::string> negotiateLanguage(std::string_view acceptLanguage,
                                             const std::vector<std::string>& languages);

}  // namespace kelvo::serve
