#include "KelvoShared/Localization.h"

#include <libintl.h>
#include <unicode/numsys.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

#include "KelvoShared/CurrentLocale.h"
#include "KelvoShared/TextLanguage.h"

namespace kelvo {

namespace {

constexpr const char* kDomain = "kelvo";

// <exe dir>/../share/locale, the same shape in the build tree and in an
// installed tree. Looked up here rather than through the store's platform so
// the catalogs are found from the executable alone.
std::filesystem::path catalogDirectory() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || exe.empty()) return {};
  return exe.parent_path().parent_path() / "share" / "locale";
}

void bindCatalogs() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::filesystem::path dir = catalogDirectory();
    if (!dir.empty()) bindtextdomain(kDomain, dir.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
  });
}

}  // namespace

std::string L(std::string_view key) {
  // gettext maps the empty msgid to the catalog's header, and a key with an
  // embedded NUL would be looked up by its prefix: neither is a real key.
  if (key.empty() || key.find('\0') != std::string_view::npos) return std::string(key);
  if (const TextCatalog* scoped = detail::scopedCatalog()) return detail::translate(*scoped, key);
  bindCatalogs();
  const std::string msgid(key);
  return dgettext(kDomain, msgid.c_str());
}

icu::Locale textLanguage() {
  if (const TextCatalog* scoped = detail::scopedCatalog()) return detail::catalogLanguage(*scoped);
  bindCatalogs();
  // The empty msgid is the catalog's header, one "Field: value" a line.
  const std::string_view header = dgettext(kDomain, "");
  constexpr std::string_view field = "Language: ";
  for (std::size_t line = 0; line < header.size();) {
    const std::size_t end = std::min(header.find('\n', line), header.size());
    const std::string_view entry = header.substr(line, end - line);
    if (entry.starts_with(field) && entry.size() > field.size()) {
      const icu::Locale language(std::string(entry.substr(field.size())).c_str());
      if (!language.isBogus()) return language;
    }
    line = end + 1;
  }
  return icu::Locale("en");
}

void initLocale() {
  // An environment naming a locale the machine lacks leaves the process in
  // "C", where gettext ignores LANGUAGE; C.UTF-8 keeps LANGUAGE working.
  if (std::setlocale(LC_ALL, "") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
}

icu::Locale relativeTimeLocale() {
  const icu::Locale words = textLanguage();
  const icu::Locale numbers = currentLocale(LocaleCategory::time);
  const char* region = words.getCountry()[0] != '\0' ? words.getCountry() : numbers.getCountry();
  icu::Locale locale(words.getLanguage(), region);
  if (words.getScript()[0] != '\0') {
    locale = icu::Locale((std::string(words.getLanguage()) + "_" + words.getScript() + "_" + region).c_str());
  }
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<icu::NumberingSystem> system(icu::NumberingSystem::createInstance(numbers, status));
  if (U_SUCCESS(status) && system && !system->isAlgorithmic()) {
    locale.setKeywordValue("numbers", system->getName(), status);
  }
  return U_SUCCESS(status) ? locale : words;
}

}  // namespace kelvo
