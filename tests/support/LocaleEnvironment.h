#pragma once

#include <clocale>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "KelvoShared/Localization.h"

namespace kelvo::testing {

// Sets the POSIX locale variables for one test and puts everything back
// afterwards, so tests that run in one process do not leak their language.
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LC_TIME", "LANG"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name);
    }
    const char* locale = std::setlocale(LC_ALL, nullptr);
    savedLocale_ = locale ? locale : "C";
    std::setlocale(LC_ALL, "C");
  }
  // The messages in `language` (a LANGUAGE list), everything else in `posixLocale`.
  LocaleEnvironment(const char* language, const char* posixLocale) : LocaleEnvironment() {
    set("LANGUAGE", language);
    set("LC_ALL", posixLocale);
    initLocale();
  }
  ~LocaleEnvironment() {
    for (const auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    std::setlocale(LC_ALL, savedLocale_.c_str());
  }
  LocaleEnvironment(const LocaleEnvironment&) = delete;
  LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

  void set(const char* name, const char* value) { setenv(name, value, 1); }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
  std::string savedLocale_;
};

}  // namespace kelvo::testing
