#include "KelvoShared/CurrentLocale.h"

#include <cstdlib>
#include <string>

namespace kelvo {

namespace {

const char* nonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

bool isLocaleNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// The POSIX modifiers that name a script or a variant ICU has data for; the
// rest ("@euro") say nothing that formatting needs.
icu::Locale withModifier(const icu::Locale& locale, std::string_view posixName) {
  const auto at = posixName.find('@');
  if (at == std::string_view::npos) return locale;
  const std::string_view modifier = posixName.substr(at + 1);
  struct Modifier {
    std::string_view name;
    const char* script;
    const char* variant;
  };
  static constexpr Modifier kModifiers[] = {
      {"latin", "Latn", ""},
      {"cyrillic", "Cyrl", ""},
      {"devanagari", "Deva", ""},
      {"valencia", "", "VALENCIA"},
  };
  for (const Modifier& known : kModifiers) {
    if (modifier != known.name) continue;
    const icu::Locale adjusted(locale.getLanguage(), locale.getCountry(), known.variant);
    if (known.script[0] == '\0') return adjusted;
    return icu::Locale(
        (std::string(locale.getLanguage()) + "_" + known.script + "_" + locale.getCountry()).c_str());
  }
  return locale;
}

}  // namespace

icu::Locale localeFromPosixName(std::string_view name) {
  const icu::Locale english("en", "US");
  std::string_view base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return english;
  // Paths and other strange values (glibc accepts a locale file path) are not
  // locale names ICU should guess at.
  for (char c : base) {
    if (!isLocaleNameCharacter(c)) return english;
  }
  icu::Locale locale(std::string(base).c_str());
  if (locale.isBogus() || locale.getLanguage()[0] == '\0') return english;
  return withModifier(locale, name);
}

icu::Locale currentLocale(LocaleCategory category) {
  const char* value = nonEmptyVariable("LC_ALL");
  if (value == nullptr)
    value = nonEmptyVariable(category == LocaleCategory::numeric ? "LC_NUMERIC" : "LC_TIME");
  if (value == nullptr) value = nonEmptyVariable("LANG");
  return localeFromPosixName(value != nullptr ? value : "");
}

}  // namespace kelvo
