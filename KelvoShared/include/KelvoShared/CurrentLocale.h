#pragma once

#include <unicode/locid.h>

#include <string_view>

namespace kelvo {

// The locale category whose environment variable decides, after LC_ALL.
enum class LocaleCategory {
  numeric,  // LC_NUMERIC: numbers
  time,     // LC_TIME: dates and relative times
};

// The user's current locale for formatting, from the POSIX locale environment
// as every Linux program reads it: LC_ALL, then the category's variable, then
// LANG (the first one set and non-empty). Reads the environment on every call
// and keeps nothing, so it is safe from several threads.
icu::Locale currentLocale(LocaleCategory category = LocaleCategory::numeric);

// The ICU locale for a POSIX locale name: the codeset is dropped, a modifier
// that names a script or variant is kept ("sr_RS.UTF-8@latin" is sr_Latn_RS,
// "ca_ES@valencia" is ca_ES_VALENCIA) and others are dropped ("de_DE@euro" is
// de_DE); "C", "POSIX", the empty name and names ICU cannot read are English
// (United States).
icu::Locale localeFromPosixName(std::string_view name);

}  // namespace kelvo
