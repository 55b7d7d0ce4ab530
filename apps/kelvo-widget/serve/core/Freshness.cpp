#include "Freshness.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "KelvoWidget/CarProvider.h"
#include "KelvoWidget/RefreshSchedule.h"
#include "StatusLine.h"

namespace kelvo::serve {

namespace {

FileVersion::File fileAt(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {true, info.st_dev, info.st_ino, info.st_size,
          std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::string fileText(const FileVersion::File& file) {
  if (!file.exists) return "-";
  char text[96];
  std::snprintf(text, sizeof text, "%llx.%llx.%llx.%llx", static_cast<unsigned long long>(file.device),
                static_cast<unsigned long long>(file.inode), static_cast<unsigned long long>(file.size),
                static_cast<unsigned long long>(file.modified));
  return text;
}

// 64-bit FNV-1a: stable across runs and machines, enough to tell keys apart.
std::uint64_t fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FileVersion::text() const { return fileText(snapshot) + "/" + fileText(picture); }

FileVersion fileVersion(const std::optional<std::filesystem::path>& directory) {
  if (!directory) return {};
  return {fileAt(*directory / "snapshot.json"), fileAt(*directory / "car.png")};
}

Date nextDrawnChange(const widget::CarEntry& entry, Date now) {
  // Ages read alike in every language at whole minutes, so the default
  // scope answers for every language a request may ask for.
  return widget::nextRefresh(entry, now, now.addingTimeInterval(widget::CarProvider::kReloadInterval)).at;
}

Freshness freshness(const widget::CarEntry& entry, Date now) {
  const Date next = nextDrawnChange(entry, now);
  const double seconds = std::ceil(next.timeIntervalSince(now));
  Freshness fresh;
  fresh.maxAge =
      static_cast<int>(std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0, double(kMaxAgeLimit)));
  fresh.period = entry.snapshot() ? std::to_string(std::llround(next.secondsSince1970 * 1000)) : "-";
  return fresh;
}

std::string etagFor(std::string_view key) {
  char text[24];
  std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(fnv1a(key)));
  return text;
}

bool etagMatches(std::string_view ifNoneMatch, std::string_view etag) {
  while (!ifNoneMatch.empty()) {
    const std::size_t comma = ifNoneMatch.find(',');
    std::string_view candidate = trimmed(ifNoneMatch.substr(0, comma));
    ifNoneMatch = comma == std::string_view::npos ? std::string_view() : ifNoneMatch.substr(comma + 1);
    if (candidate == "*") return true;
    if (candidate.starts_with("W/")) candidate.remove_prefix(2);
    if (candidate == etag) return true;
  }
  return false;
}

}  // namespace kelvo::serve
