#pragma once

#include <unicode/locid.h>

#include <string>
#include <string_view>

namespace kelvo {

// The localised text for an English key, from the "kelvo" gettext catalogs in
// the program's resource tree (<exe dir>/../share/locale). A key without a
// translation comes back as itself, and so does the empty key. A
// "// TRANSLATORS:" comment right above the call is the text's note for
// translators in po/kelvo.pot; the catalog check requires one for every text.
// On a thread inside a ScopedTextLanguage (TextLanguage.h), that scope's
// catalog answers instead of gettext.
//
// The language follows gettext's rules (LANGUAGE, LC_ALL, LC_MESSAGES, LANG);
// gettext only translates once the program has called initLocale() (or
// setlocale(LC_ALL, "")) with a locale that exists on the machine. Safe to
// call from several threads at once.
std::string L(std::string_view key);

// The language of the texts L() gives: the one of the catalog gettext chose
// by its rules (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), read from the catalog's
// "Language" header; English when gettext found no catalog. The layout
// direction follows it, so mirroring always matches the texts shown.
icu::Locale textLanguage();

// The locale relative times ("8 min. ago") are written in: the words in the
// texts' language, so the age reads like the label beside it, and the digits
// in the numbering system of the time locale (LC_ALL, LC_TIME, LANG), as
// every other number. The region is the texts' own, else the time locale's.
icu::Locale relativeTimeLocale();

// Puts the process into the locale its environment asks for (setlocale(LC_ALL,
// "")); when the machine lacks that locale, into C.UTF-8, where LANGUAGE still
// chooses the language. Every program's main calls this first, before any
// thread is started.
void initLocale();

}  // namespace kelvo
