#pragma once

// feed-status.json: what a running kelvo-feed tells the window about itself,
// kept in the shared directory beside the snapshot. Written whole (a
// temporary file and a rename) on every change of state and at most every
// few seconds for news, so that a reader without systemd sees the feed's
// health.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "KelvoBase/Result.h"
#include "KelvoShared/Date.h"

namespace kelvo::feed {

struct FeedStatus {
  static constexpr const char* kFileName = "feed-status.json";
  // Seconds between two writes that only bring news (a message came).
  static constexpr double kNewsInterval = 5;

  pid_t pid = 0;                    // the feed's process
  Date started;                     // when it started
  std::string broker;               // "mqtt://host:1883"
  bool connected = false;           // logged in to the broker now
  std::optional<Date> lastMessage;  // the last message received
  std::optional<Date> lastWrite;    // the last snapshot written
  std::string lastError;            // the last problem logged, "" when none

  friend bool operator==(const FeedStatus&, const FeedStatus&) = default;
};

std::string encodeFeedStatus(const FeedStatus& status);
// Strict; never throws.
Result<FeedStatus> decodeFeedStatus(std::string_view json);
// Reads the file in `directory`; an error when it is missing or malformed.
Result<FeedStatus> readFeedStatus(const std::filesystem::path& directory);
// Whether the process `pid` still runs (signal 0 reaches it, or it is another user's).
bool isRunning(pid_t pid);

}  // namespace kelvo::feed
