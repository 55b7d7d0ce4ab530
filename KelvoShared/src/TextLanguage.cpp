#include "KelvoShared/TextLanguage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "KelvoShared/Platform.h"
#include "KelvoShared/RegularFile.h"

namespace kelvo {

namespace fs = std::filesystem;

// A compiled gettext catalog (.mo) held as a table from key to text.
class TextCatalog {
 public:
  icu::Locale language;
  std::unordered_map<std::string, std::string> texts;
};

namespace {

// Our catalogs are a few kilobytes; a larger file is not one of them.
constexpr std::size_t kCatalogSizeLimit = 4u << 20;

fs::path catalogFile(const std::string& language) {
  return resourceDirectory() / "locale" / language / "LC_MESSAGES" / "kelvo.mo";
}

// The .mo layout: a header of 32-bit words (magic, revision, count, offset
// of the keys' table, offset of the texts' table), each table a (length,
// offset) pair per string, in the byte order the magic number shows. A
// key with a plural ("key\0plural") is looked up by its first part, and a
// text with plural forms gives its first. Anything out of bounds ends the
// reading with what was read so far.
void readCatalog(const std::vector<std::uint8_t>& bytes, TextCatalog& catalog) {
  const auto word = [&](std::size_t offset, bool swapped) -> std::optional<std::uint32_t> {
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return swapped ? __builtin_bswap32(value) : value;
  };
  const std::optional<std::uint32_t> magic = word(0, false);
  if (!magic || (*magic != 0x950412de && *magic != 0xde120495)) return;
  const bool swapped = *magic != 0x950412de;
  const auto count = word(8, swapped), keys = word(12, swapped), texts = word(16, swapped);
  if (!count || !keys || !texts) return;
  const auto string = [&](std::uint32_t table, std::uint32_t index) -> std::optional<std::string_view> {
    const auto length = word(std::size_t(table) + 8 * std::size_t(index), swapped);
    const auto offset = word(std::size_t(table) + 8 * std::size_t(index) + 4, swapped);
    if (!length || !offset || *offset > bytes.size() || bytes.size() - *offset < *length) return std::nullopt;
    const std::string_view all(reinterpret_cast<const char*>(bytes.data()) + *offset, *length);
    return all.substr(0, all.find('\0'));
  };
  for (std::uint32_t i = 0; i < *count; ++i) {
    const auto key = string(*keys, i), text = string(*texts, i);
    if (!key || !text) return;
    if (!key->empty() && !text->empty()) catalog.texts.emplace(*key, *text);
  }
}

// Each language's catalog, read once and kept for the process's life.
const TextCatalog& catalogFor(std::string_view language) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<TextCatalog>, std::less<>> catalogs;
  const std::lock_guard lock(mutex);
  if (const auto found = catalogs.find(language); found != catalogs.end()) return *found->second;
  auto catalog = std::make_unique<TextCatalog>();
  const std::string name(language);
  catalog->language = icu::Locale(name.c_str());
  if (name != "en" && name.find('/') == std::string::npos && name.find('.') == std::string::npos) {
    if (const auto bytes = readRegularFile(catalogFile(name), kCatalogSizeLimit))
      readCatalog(*bytes, *catalog);
  }
  return *catalogs.emplace(name, std::move(catalog)).first->second;
}

thread_local const TextCatalog* t_catalog = nullptr;

}  // namespace

std::vector<std::string> textLanguages() {
  std::vector<std::string> languages{"en"};
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(resourceDirectory() / "locale", error)) {
    const std::string name = entry.path().filename().string();
    if (name != "en" && fs::is_regular_file(catalogFile(name), error)) languages.push_back(name);
  }
  std::sort(languages.begin(), languages.end());
  return languages;
}

ScopedTextLanguage::ScopedTextLanguage(std::string_view language) : previous_(t_catalog) {
  t_catalog = &catalogFor(language);
}

ScopedTextLanguage::~ScopedTextLanguage() { t_catalog = previous_; }

namespace detail {

const TextCatalog* scopedCatalog() { return t_catalog; }

std::string translate(const TextCatalog& catalog, std::string_view key) {
  const auto found = catalog.texts.find(std::string(key));
  return found != catalog.texts.end() ? found->second : std::string(key);
}

icu::Locale catalogLanguage(const TextCatalog& catalog) { return catalog.language; }

}  // namespace detail

}  // namespace kelvo
