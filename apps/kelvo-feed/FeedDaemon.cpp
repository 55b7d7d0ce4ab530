#include "FeedDaemon.h"

#include <mosquitto.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "ExitCodes.h"
#include "WriteSchedule.h"

namespace kelvo::feed {

namespace {

volatile sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) { stopSignal = signal; }

void installSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a signal ends the wait at once
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

double monotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string formatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + escapeForLog(item);
  return out;
}

// Why a CONNACK refused us, in words; 4 and 5 are the credential refusals.
bool isCredentialRefusal(int code) { return code == 4 || code == 5; }

class Feed {
 public:
  Feed(const FeedOptions& options, CarState state, const SharedStore& store)
      : options_(options), state_(std::move(state)), store_(store), random_(std::random_device{}()) {}
  ~Feed() {
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
  }

  int run();

 private:
  std::string brokerName() const {
    return (options_.broker.tls ? "mqtts://" : "mqtt://") + options_.broker.host + ":" +
           std::to_string(options_.broker.port);
  }
  bool setUp();
  void connect(double now);
  void linkDown(const std::string& problem, double now);
  std::string errorText(int rc) const;
  bool writeDue(double now);
  void restoreStored();
  void checkSource();
  void sleepUntil(double wake);

  static void onConnect(mosquitto*, void* self, int rc) { static_cast<Feed*>(self)->connected(rc); }
  static void onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    static_cast<Feed*>(self)->received(*message);
  }
  static void onLog(mosquitto*, void* self, int level, const char* text) {
    // OpenSSL's reasons reach us only through the library's log.
    if (level == MOSQ_LOG_ERR && text != nullptr) static_cast<Feed*>(self)->libraryError_ = text;
  }
  void connected(int rc);
  void received(const mosquitto_message& message);

  const FeedOptions& options_;
  CarState state_;
  const SharedStore& store_;
  WriteSchedule schedule_;
  std::mt19937 random_;
  mosquitto* mosq_ = nullptr;

  enum class Link { down, connecting, up };
  Link link_ = Link::down;
  bool everConnected_ = false;
  int failures_ = 0;
  double nextAttempt_ = 0;
  std::string problem_;        // the last problem logged, so each is logged once
  std::string libraryError_;   // the library's last error line (TLS reasons)
  bool refusedLogin_ = false;  // the broker refused our credentials
  bool tlsFailed_ = false;     // the TLS handshake failed
  bool failedWrite_ = false;
  std::optional<bool> writtenHasImage_;  // hasImage of the last snapshot written
  double nextImageCheck_ = 0;
};

bool Feed::setUp() {
  mosquitto_lib_init();
  mosq_ = mosquitto_new(options_.clientId.empty() ? nullptr : options_.clientId.c_str(), true, this);
  if (mosq_ == nullptr) {
    logLine("cannot create the MQTT client: " + std::string(std::strerror(errno)));
    return false;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  if (options_.username && mosquitto_username_pw_set(mosq_, options_.username->c_str(),
                                                     options_.password ? options_.password->c_str()
                                                                       : nullptr) != MOSQ_ERR_SUCCESS) {
    logLine("cannot use the user name");
    return false;
  }
  if (options_.broker.tls) {
    int rc = MOSQ_ERR_SUCCESS;
    if (options_.cafile) {
      rc = mosquitto_tls_set(mosq_, options_.cafile->c_str(), nullptr, nullptr, nullptr, nullptr);
    } else {
      rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
      logLine("cannot set up TLS: " + errorText(rc));
      return false;
    }
    if (options_.insecure) {
      mosquitto_tls_opts_set(mosq_, 0 /* SSL_VERIFY_NONE */, nullptr, nullptr);
      mosquitto_tls_insecure_set(mosq_, true);
      logLine(
          "warning: --insecure: the broker's certificate is not checked; anyone on the way can read and "
          "change the data");
    }
  }
  mosquitto_connect_callback_set(mosq_, onConnect);
  mosquitto_message_callback_set(mosq_, onMessage);
  mosquitto_log_callback_set(mosq_, onLog);
  return true;
}

std::string Feed::errorText(int rc) const {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  if (rc == MOSQ_ERR_TLS && !libraryError_.empty()) return "TLS: " + libraryError_;
  return mosquitto_strerror(rc);
}

void Feed::linkDown(const std::string& problem, double now) {
  link_ = Link::down;
  ++failures_;
  const double wait = reconnectDelay(failures_, std::uniform_real_distribution<double>(0, 1)(random_));
  nextAttempt_ = now + wait;
  // Logged once per change of state, not per attempt.
  if (problem != problem_) {
    problem_ = problem;
    logLine(problem + "; retrying (first in " + formatSeconds(wait) + ", backing off to 60 s)");
  }
}

void Feed::connect(double now) {
  libraryError_.clear();
  const int rc = everConnected_ || failures_ > 0
                     ? mosquitto_reconnect(mosq_)
                     : mosquitto_connect(mosq_, options_.broker.host.c_str(), options_.broker.port, 60);
  if (rc == MOSQ_ERR_SUCCESS) {
    link_ = Link::connecting;
    return;
  }
  if (rc == MOSQ_ERR_TLS) tlsFailed_ = true;
  linkDown("cannot connect to " + brokerName() + ": " + errorText(rc), now);
}

void Feed::connected(int rc) {
  if (rc != 0) {
    refusedLogin_ = isCredentialRefusal(rc);
    const std::string reason =
        refusedLogin_ ? "the broker refused the login: " + std::string(mosquitto_connack_string(rc)) +
                            " (check the user name and password)"
                      : "the broker refused the connection: " + std::string(mosquitto_connack_string(rc));
    mosquitto_disconnect(mosq_);
    linkDown(reason, monotonicSeconds());
    return;
  }
  link_ = Link::up;
  everConnected_ = true;
  failures_ = 0;
  problem_.clear();
  const std::vector<std::string> topics = state_.topics();
  std::vector<char*> names;
  for (const auto& topic : topics) names.push_back(const_cast<char*>(topic.c_str()));
  const int subscribed = mosquitto_subscribe_multiple(mosq_, nullptr, static_cast<int>(names.size()),
                                                      names.data(), 1, 0, nullptr);
  logLine("connected to " + brokerName() +
          (subscribed == MOSQ_ERR_SUCCESS ? ", listening on " : ", cannot subscribe to ") +
          std::to_string(topics.size()) + " topics");
}

void Feed::received(const mosquitto_message& message) {
  const std::string_view topic = message.topic != nullptr ? message.topic : "";
  const std::string_view payload(
      static_cast<const char*>(message.payload),
      message.payload != nullptr ? static_cast<std::size_t>(message.payloadlen) : 0);
  if (options_.verbose) logLine("message " + escapeForLog(topic) + " = " + escapeForLog(payload, 200));
  const Accepted accepted =
      state_.accept(topic, payload, Date::now(), message.retain ? Delivery::retained : Delivery::live);
  switch (accepted.outcome) {
    case Outcome::changed:
      schedule_.changed(monotonicSeconds());
      break;
    case Outcome::ignored:
      logLine("ignored " + escapeForLog(topic) + " \"" + escapeForLog(payload, 40) +
              "\": " + escapeForLog(accepted.reason, 200) + "; keeping the last good value");
      break;
    case Outcome::unchanged:
    case Outcome::unknown:
      break;
  }
}

// Composes and writes when the schedule says so; true once a snapshot is written.
bool Feed::writeDue(double now) {
  if (!schedule_.isDue(now)) return false;
  ComposeContext context;
  context.unit = options_.unit;
  context.unitExplicit = options_.unitExplicit;
  context.hasImage = store_.hasImage();
  context.now = Date::now();
  const auto snapshot = state_.compose(context);
  if (!snapshot || !schedule_.shouldWrite(*snapshot, now)) {
    schedule_.skipped();
    return false;
  }
  const auto writer = store_.writer();
  const Status status = writer ? writer->save(*snapshot) : Status(writer.error());
  if (!status) {
    failedWrite_ = true;
    schedule_.failed(now);
    logLine("cannot write the snapshot: " + escapeForLog(status.error().message, 200) +
            (options_.once ? "" : "; retrying in " + formatSeconds(WriteSchedule::kRetryDelay)));
    return false;
  }
  failedWrite_ = false;
  writtenHasImage_ = snapshot->hasImage;
  schedule_.written(*snapshot, now);
  char battery[32];
  std::snprintf(battery, sizeof battery, "%g %%", snapshot->batteryPercentage);
  logLine("wrote the snapshot: " + std::string(battery) + ", " + std::to_string(snapshot->rangeKm) + " km, " +
          escapeForLog(snapshot->statusKey) + (snapshot->isDriving ? ", driving" : ""));
  return true;
}

// The snapshot already stored dates retained news that comes without a time.
void Feed::restoreStored() {
  const SharedStore::SnapshotState stored = store_.snapshotState();
  if (const auto* ok = std::get_if<SharedStore::Ok>(&stored)) state_.restore(ok->snapshot);
}

void Feed::checkSource() {
  if (const auto line = state_.checkSource(Date::now())) logLine(*line);
}

void Feed::sleepUntil(double wake) {
  const double seconds = std::max(0.0, wake - monotonicSeconds());
  timespec pause{static_cast<time_t>(seconds), static_cast<long>(std::fmod(seconds, 1.0) * 1e9)};
  nanosleep(&pause, nullptr);  // a stop signal cuts it short
}

int Feed::run() {
  if (!setUp()) return apps::kExitFailure;
  installSignalHandlers();
  restoreStored();
  const double start = monotonicSeconds();
  logLine("connecting to " + brokerName() + " for " + std::to_string(state_.topics().size()) + " topics");
  while (stopSignal == 0) {
    double now = monotonicSeconds();
    if (link_ == Link::down && now >= nextAttempt_) connect(now);
    // car.png added or removed (kelvo save-image, remove-image): rewrite.
    if (writtenHasImage_ && now >= nextImageCheck_) {
      nextImageCheck_ = now + 1.0;
      if (*writtenHasImage_ != store_.hasImage() && !schedule_.deadline()) schedule_.changed(now);
    }
    if (writeDue(now) && options_.once) return apps::kExitOk;
    if (!options_.once) checkSource();
    if (options_.once) {
      // Not worth waiting for: wrong credentials, a refused certificate, a
      // store that cannot be written.
      if (refusedLogin_ || tlsFailed_ || failedWrite_) return apps::kExitFailure;
      if (now - start >= options_.timeout) {
        const auto missing = state_.missing();
        if (!everConnected_) {
          logLine("no snapshot written: the broker " + brokerName() + " was not reachable within " +
                  formatSeconds(options_.timeout));
        } else if (!missing.empty()) {
          logLine("no snapshot written: these values never arrived: " + joined(missing));
        } else {
          // Everything is known but the burst did not settle: write now.
          schedule_.changed(now);
          schedule_.hurry(now);
          if (writeDue(now)) return apps::kExitOk;
          logLine("no snapshot written");
        }
        return apps::kExitFailure;
      }
    }
    double wake = now + 1.0;
    if (link_ == Link::down) wake = std::min(wake, nextAttempt_);
    if (const auto deadline = schedule_.deadline()) wake = std::min(wake, *deadline);
    if (options_.once) wake = std::min(wake, start + options_.timeout);
    if (link_ == Link::down) {
      sleepUntil(wake);
      continue;
    }
    const int timeoutMs = std::max(0, static_cast<int>(std::ceil((wake - monotonicSeconds()) * 1000)));
    const int rc = mosquitto_loop(mosq_, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS && link_ != Link::down) {
      if (rc == MOSQ_ERR_TLS) tlsFailed_ = true;
      const bool wasUp = link_ == Link::up;
      linkDown(
          (wasUp ? "lost the connection to " : "cannot connect to ") + brokerName() + ": " + errorText(rc),
          monotonicSeconds());
    }
  }
  logLine(std::string("stopping on ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
  // A coalesced change still waiting is written before leaving.
  if (schedule_.deadline()) {
    schedule_.hurry(monotonicSeconds());
    writeDue(monotonicSeconds());
  }
  if (link_ != Link::down) mosquitto_disconnect(mosq_);
  return apps::kExitOk;
}

}  // namespace

void logLine(const std::string& message) {
  const std::string line = "kelvo-feed: " + message + "\n";
  // One write per line, so lines from a crash handler or a second process do not interleave.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

int runFeed(const FeedOptions& options, CarState state, const SharedStore& store) {
  Feed feed(options, std::move(state), store);
  const int status = feed.run();
  mosquitto_lib_cleanup();
  return status;
}

}  // namespace kelvo::feed
