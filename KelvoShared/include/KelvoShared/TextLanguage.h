#pragma once

// Texts in a language chosen per thread, for a host that draws for several
// languages at once (a server answering each request in the language it
// asks for). gettext's language belongs to the process: its environment
// and locale. Here a thread borrows a catalog for a while instead; L() and
// textLanguage() on that thread answer from it.

#include <unicode/locid.h>

#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

class TextCatalog;

// The languages L() can speak: "en" (the keys themselves) and each with a
// catalog in the resource tree (<share>/locale/<lang>/LC_MESSAGES/kelvo.mo),
// by catalog name ("de", "pt_BR"), sorted.
std::vector<std::string> textLanguages();

// While it lives, L() and textLanguage() on this thread answer in
// `language`, one of textLanguages(); another name speaks English. Scopes
// nest; each ends the one it began.
class ScopedTextLanguage {
 public:
  explicit ScopedTextLanguage(std::string_view language);
  ~ScopedTextLanguage();
  ScopedTextLanguage(const ScopedTextLanguage&) = delete;
  ScopedTextLanguage& operator=(const ScopedTextLanguage&) = delete;

 private:
  const TextCatalog* previous_;
};

namespace detail {
// The catalog of this thread's innermost scope; null outside any.
const TextCatalog* scopedCatalog();
// The catalog's text for `key`, the key itself when it has none.
std::string translate(const TextCatalog& catalog, std::string_view key);
// The catalog's language ("en" for the keys' own).
icu::Locale catalogLanguage(const TextCatalog& catalog);
}  // namespace detail

}  // namespace kelvo
