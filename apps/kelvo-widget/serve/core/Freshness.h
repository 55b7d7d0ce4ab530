#pragma once

// How long an answer stays right, and the validators clients keep it by:
// the shared files' versions, the moment what is drawn next changes by the
// clock alone, ETags and If-None-Match.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "KelvoShared/Date.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::serve {

// snapshot.json and car.png as they are on disk: equal versions, equal files.
struct FileVersion {
  struct File {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since 1970
    bool operator==(const File&) const = default;
  };
  File snapshot, picture;

  bool operator==(const FileVersion&) const = default;
  bool missing() const { return !snapshot.exists && !picture.exists; }
  // A short, stable text of the version, for cache keys and ETags.
  std::string text() const;
};

// The version of the files in `directory` (nothing: no shared directory).
FileVersion fileVersion(const std::optional<std::filesystem::path>& directory);

// The moment what is drawn for `entry` can next change by the clock alone:
// the age text's next minute, or the reload time.
Date nextDrawnChange(const widget::CarEntry& entry, Date now);

// The longest a client keeps an answer, in seconds: a new snapshot can
// arrive at any moment, so a dashboard shows it within this time.
inline constexpr int kMaxAgeLimit = 60;

struct Freshness {
  std::string period;  // which stretch of time the drawing belongs to; the same all through it
  int maxAge = 0;      // seconds until it can change, at most kMaxAgeLimit
};

// Drawings of an entry without a snapshot do not depend on the clock.
Freshness freshness(const widget::CarEntry& entry, Date now);

// A strong ETag ("…" around 16 hex digits) for everything that decides an
// answer, given as one text.
std::string etagFor(std::string_view key);

// Whether an If-None-Match header lists `etag` (weakly compared) or is "*".
bool etagMatches(std::string_view ifNoneMatch, std::string_view etag);

}  // namespace kelvo::serve
