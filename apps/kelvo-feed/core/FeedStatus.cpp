#include "FeedStatus.h"

#include <signal.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "KelvoShared/RegularFile.h"

namespace kelvo::feed {

namespace {

nlohmann::json instant(const std::optional<Date>& date) {
  return date ? nlohmann::json(formatInternetDateTime(*date)) : nlohmann::json(nullptr);
}

std::optional<Date> readInstant(const nlohmann::json& value) {
  if (!value.is_string()) return std::nullopt;
  return parseInternetDateTime(value.get<std::string>());
}

}  // namespace

std::string encodeFeedStatus(const FeedStatus& status) {
  return nlohmann::json{{"pid", status.pid},
                        {"started", formatInternetDateTime(status.started)},
                        {"broker", status.broker},
                        {"connected", status.connected},
                        {"lastMessage", instant(status.lastMessage)},
                        {"lastWrite", instant(status.lastWrite)},
                        {"lastError", status.lastError}}
             .dump() +
         "\n";
}

Result<FeedStatus> decodeFeedStatus(std::string_view json) {
  const nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
  if (!root.is_object()) return Error{"feed-status.json is not a JSON object"};
  FeedStatus status;
  const auto started = root.contains("started") ? readInstant(root["started"]) : std::nullopt;
  if (!root.contains("pid") || !root["pid"].is_number_integer() || !started || !root.contains("broker") ||
      !root["broker"].is_string() || !root.contains("connected") || !root["connected"].is_boolean())
    return Error{"feed-status.json lacks pid, started, broker or connected"};
  status.pid = root["pid"].get<pid_t>();
  status.started = *started;
  status.broker = root["broker"].get<std::string>();
  status.connected = root["connected"].get<bool>();
  if (root.contains("lastMessage")) status.lastMessage = readInstant(root["lastMessage"]);
  if (root.contains("lastWrite")) status.lastWrite = readInstant(root["lastWrite"]);
  if (root.contains("lastError") && root["lastError"].is_string()) status.lastError = root["lastError"];
  return status;
}

Result<FeedStatus> readFeedStatus(const std::filesystem::path& directory) {
  auto bytes = readRegularFile(directory / FeedStatus::kFileName, 64 << 10);
  if (!bytes) return bytes.error();
  return decodeFeedStatus(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

bool isRunning(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace kelvo::feed
