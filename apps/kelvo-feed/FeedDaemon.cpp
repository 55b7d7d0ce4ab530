#include "FeedDaemon.h"

#include <signal.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <vector>

#include "ExitCodes.h"
#include "FeedConfigWriter.h"
#include "FeedStatus.h"
#include "KelvoShared/LogText.h"
#include "MqttClient.h"
#include "WriteSchedule.h"

namespace kelvo::feed {

namespace {

volatile sig_atomic_t stopSignal = 0;
volatile sig_atomic_t reloadSignal = 0;
volatile sig_atomic_t alarmRang = 0;

void onStopSignal(int signal) { stopSignal = signal; }
void onReloadSignal(int) { reloadSignal = 1; }
void onAlarm(int) { alarmRang = 1; }

void handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a signal ends the wait at once
  sigaction(signal, &action, nullptr);
}

void installSignalHandlers(bool once) {
  handle(SIGTERM, onStopSignal);
  handle(SIGINT, onStopSignal);
  // SIGHUP reloads the settings of a daemon; a single run has none to reload.
  if (once) {
    signal(SIGHUP, SIG_IGN);
  } else {
    handle(SIGHUP, onReloadSignal);
  }
  handle(SIGALRM, onAlarm);
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
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + logValue(item);
  return out;
}

// libmosquitto connects with a blocking connect(), which waits minutes for a
// host that drops the connection request (a full accept queue, a firewall).
// A timer signal ends the wait: connect() fails with EINTR. It rings again
// every 0.2 s, as the library goes on to the host's next address.
class ConnectDeadline {
 public:
  explicit ConnectDeadline(double seconds) {
    alarmRang = 0;
    const auto micros = std::max<long long>(1000, std::llround(seconds * 1e6));
    itimerval timer{};
    timer.it_interval.tv_usec = 200'000;
    timer.it_value.tv_sec = static_cast<time_t>(micros / 1'000'000);
    timer.it_value.tv_usec = static_cast<suseconds_t>(micros % 1'000'000);
    setitimer(ITIMER_REAL, &timer, nullptr);
  }
  ConnectDeadline(const ConnectDeadline&) = delete;
  ConnectDeadline& operator=(const ConnectDeadline&) = delete;
  ~ConnectDeadline() {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
  }
  bool passed() const { return alarmRang != 0; }
};

// Malformed messages are logged per topic: the first at once, those that
// follow within a minute as one count, so that a flood of them cannot fill
// the journal. Topics are the subscribed ones, so the table stays small.
class IgnoredLog {
 public:
  static constexpr double kInterval = 60;  // seconds between two lines on one topic

  void note(std::string_view topic, std::string_view payload, const std::string& reason, double now) {
    Topic& entry = topics_.try_emplace(std::string(topic)).first->second;
    if (entry.more == 0 && now - entry.since >= kInterval) {
      logLine("ignored " + logValue(topic) + " " + described(payload, reason) +
              "; keeping the last good value");
      entry.since = now;
      return;
    }
    ++entry.more;
    entry.lastPayload.assign(payload.substr(0, 64));
    entry.lastReason = reason;
  }

  // Logs the counts whose minute is over, or all of them.
  void flush(double now, bool all) {
    for (auto& [topic, entry] : topics_) {
      if (entry.more == 0 || (!all && now - entry.since < kInterval)) continue;
      logLine("ignored " + std::to_string(entry.more) + " more messages on " + logValue(topic) +
              " within a minute; the last: " + described(entry.lastPayload, entry.lastReason));
      entry.since = now;
      entry.more = 0;
    }
  }

 private:
  struct Topic {
    double since = -kInterval * 2;  // when its last line was logged
    std::size_t more = 0;           // ignored since then, not yet logged
    std::string lastPayload;        // the start of the last one
    std::string lastReason;
  };

  static std::string described(std::string_view payload, const std::string& reason) {
    return "\"" + logValue(payload, 40) + "\": " + logValue(reason, 200);
  }

  std::map<std::string, Topic, std::less<>> topics_;
};

class Feed {
 public:
  // A connection that ends sooner than this after the login counts as a
  // failed attempt: the reconnection backs off as after a refusal.
  static constexpr double kShortSession = 5.0;
  // How long one connection attempt may wait for the host to answer.
  static constexpr double kConnectTimeout = 10.0;

  Feed(const FeedOptions& options, CarState& state, const SharedStore& store)
      : options_(options), state_(state), store_(store), random_(std::random_device{}()) {}

  std::optional<int> run();

 private:
  std::string brokerName() const { return feed::brokerName(options_.broker); }
  bool setUp();
  void connect(double now);
  void linkDown(const std::string& problem, double now);
  void lost(int rc, double now);
  void noteSteadySession(double now);
  std::string errorText(int rc, int error) const { return client_->errorText(rc, error); }
  bool writeDue(double now);
  void flushPending();
  std::optional<int> onceOutcome(double now);
  void restoreStored();
  void checkSource();
  void sleepUntil(double wake);

  void connected(int rc);
  void received(const mosquitto_message& message);

  const FeedOptions& options_;
  CarState& state_;
  const SharedStore& store_;
  WriteSchedule schedule_;
  IgnoredLog ignored_;
  std::mt19937 random_;
  std::unique_ptr<MqttClient> client_;
  mosquitto* mosq_ = nullptr;  // the client's
  double start_ = 0;

  enum class Link { down, connecting, up };
  Link link_ = Link::down;
  bool everConnected_ = false;
  int failures_ = 0;
  double nextAttempt_ = 0;
  double sessionStart_ = 0;    // when the broker accepted the login
  bool unsteady_ = false;      // sessions keep ending soon after the login
  bool takenOver_ = false;     // another client with our id has taken the session over
  int disconnectReason_ = 0;   // what the broker said when it ended the session
  std::string problem_;        // the last problem logged, so each is logged once
  bool refusedLogin_ = false;  // the broker refused our credentials
  bool tlsFailed_ = false;     // the TLS handshake failed
  bool failedWrite_ = false;
  bool wrote_ = false;                   // a snapshot has been written
  std::optional<bool> writtenHasImage_;  // hasImage of the last snapshot written
  double nextImageCheck_ = 0;

  // feed-status.json: written at once on a change of state, news at most
  // every FeedStatus::kNewsInterval.
  void noteStatus(bool changedState);
  void writeStatus(double now);
  FeedStatus status_;
  bool statusDue_ = false;
  double statusWritten_ = -FeedStatus::kNewsInterval;
};

void Feed::noteStatus(bool changedState) {
  status_.connected = link_ == Link::up;
  if (changedState) status_.lastError = problem_;
  statusDue_ = true;
  if (changedState) writeStatus(monotonicSeconds());
}

void Feed::writeStatus(double now) {
  const auto directory = store_.containerURL();
  if (!statusDue_ || !directory) return;
  statusDue_ = false;
  statusWritten_ = now;
  // Only for the window to read; a failure is not the feed's business.
  (void)writePrivateFile(*directory / FeedStatus::kFileName, encodeFeedStatus(status_));
}

bool Feed::setUp() {
  ClientOptions client{options_.broker,   options_.username, options_.password, options_.cafile,
                       options_.insecure, options_.clientId, MQTT_PROTOCOL_V5};
  auto made = MqttClient::create(
      client, {[this](int rc) { connected(rc); }, [this](int reason) { disconnectReason_ = reason; },
               [this](const mosquitto_message& message) { received(message); }});
  if (!made) {
    logLine(made.error().message);
    return false;
  }
  client_ = std::move(made).value();
  mosq_ = client_->handle();
  if (options_.broker.tls && options_.insecure) {
    logLine(
        "warning: --insecure: the broker's certificate is not checked; anyone on the way can read and "
        "change the data");
  }
  return true;
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
  noteStatus(true);
}

// An established connection ended (rc from the library's loop).
void Feed::lost(int rc, double now) {
  const bool brief = now - sessionStart_ < kShortSession;
  if (brief) unsteady_ = true;
  std::string why;
  if (disconnectReason_ == MQTT_RC_SESSION_TAKEN_OVER) {
    takenOver_ = true;
    why = "another client with this id took over (every feed needs a --client-id of its own)";
  } else if (disconnectReason_ != 0) {
    why = "the broker ended the session: " + std::string(mosquitto_reason_string(disconnectReason_));
  } else if (!options_.clientId.empty() && (brief || takenOver_)) {
    // Brokers before Mosquitto 2.0.12 close a taken-over session without a
    // word; with an id of our own, that is the likely cause.
    takenOver_ = true;
    why = "the broker closed the session (another client with this id, " + logValue(options_.clientId) +
          ", may have taken over)";
  } else if (brief) {
    why = "the broker closed it within " + formatSeconds(kShortSession) + " of the login";
  } else {
    why = errorText(rc, errno);
  }
  linkDown("lost the connection to " + brokerName() + ": " + why, now);
}

// A connection that has held for a while ends the back-off. A takeover is
// logged once for good: the other client will take over again.
void Feed::noteSteadySession(double now) {
  if (link_ != Link::up || now - sessionStart_ < kShortSession || (failures_ == 0 && !unsteady_)) return;
  if (unsteady_ && !takenOver_) logLine("the connection to " + brokerName() + " holds again");
  failures_ = 0;
  unsteady_ = false;
  if (!takenOver_) problem_.clear();
}

void Feed::connect(double now) {
  client_->clearLibraryError();
  disconnectReason_ = 0;
  mosquitto_property* properties = nullptr;
  if (client_->protocol() == MQTT_PROTOCOL_V5) {
    mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                 static_cast<std::uint32_t>(kMaximumPacketSize));
  }
  double limit = kConnectTimeout;
  if (options_.once) limit = std::min(limit, start_ + options_.timeout - now);
  int rc = MOSQ_ERR_SUCCESS;
  int error = 0;
  bool timedOut = false;
  {
    const ConnectDeadline deadline(limit);
    rc = mosquitto_connect_bind_v5(mosq_, options_.broker.host.c_str(), options_.broker.port, 60, nullptr,
                                   properties);
    error = errno;
    timedOut = deadline.passed();
  }
  mosquitto_property_free_all(&properties);
  if (rc == MOSQ_ERR_SUCCESS) {
    link_ = Link::connecting;
    return;
  }
  if (rc == MOSQ_ERR_TLS) tlsFailed_ = true;
  const bool interrupted = rc == MOSQ_ERR_ERRNO && error == EINTR;
  if (interrupted && !timedOut) {
    link_ = Link::down;  // a stop or reload signal; the loop handles it
    return;
  }
  linkDown("cannot connect to " + brokerName() + ": " +
               (interrupted ? "no answer within " + formatSeconds(limit) : errorText(rc, error)),
           now);
}

void Feed::connected(int rc) {
  const double now = monotonicSeconds();
  if (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION && client_->protocol() == MQTT_PROTOCOL_V5) {
    // An MQTT 3.1.1 broker: it cannot be told the largest packet we take.
    client_->setProtocol(MQTT_PROTOCOL_V311);
    logLine("the broker " + brokerName() +
            " speaks MQTT 3.1.1 only, so it cannot be asked to drop messages over 1 MiB: they are received "
            "whole before they are ignored; connecting with MQTT 3.1.1");
    mosquitto_disconnect(mosq_);
    link_ = Link::down;
    nextAttempt_ = now;
    return;
  }
  if (rc != 0) {
    refusedLogin_ = isCredentialRefusal(rc);
    const std::string why =
        client_->protocol() == MQTT_PROTOCOL_V5 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc);
    const std::string reason =
        refusedLogin_ ? "the broker refused the login: " + why + " (check the user name and password)"
                      : "the broker refused the connection: " + why;
    mosquitto_disconnect(mosq_);
    linkDown(reason, now);
    return;
  }
  link_ = Link::up;
  everConnected_ = true;
  sessionStart_ = now;
  noteStatus(true);
  const std::vector<std::string> topics = state_.topics();
  std::vector<char*> names;
  for (const auto& topic : topics) names.push_back(const_cast<char*>(topic.c_str()));
  const int subscribed = mosquitto_subscribe_multiple(mosq_, nullptr, static_cast<int>(names.size()),
                                                      names.data(), 1, 0, nullptr);
  // While sessions keep ending at once, reconnecting is not news.
  if ((unsteady_ || takenOver_) && subscribed == MOSQ_ERR_SUCCESS) return;
  logLine("connected to " + brokerName() +
          (subscribed == MOSQ_ERR_SUCCESS ? ", listening on " : ", cannot subscribe to ") +
          std::to_string(topics.size()) + " topics");
}

void Feed::received(const mosquitto_message& message) {
  const std::string_view topic = message.topic != nullptr ? message.topic : "";
  const std::string_view payload(
      static_cast<const char*>(message.payload),
      message.payload != nullptr ? static_cast<std::size_t>(message.payloadlen) : 0);
  if (options_.verbose) logLine("message " + logValue(topic) + " = " + logValue(payload, 200));
  status_.lastMessage = Date::now();
  noteStatus(false);
  const Accepted accepted =
      state_.accept(topic, payload, Date::now(), message.retain ? Delivery::retained : Delivery::live);
  switch (accepted.outcome) {
    case Outcome::changed:
      schedule_.changed(monotonicSeconds());
      break;
    case Outcome::ignored:
      ignored_.note(topic, payload, accepted.reason, monotonicSeconds());
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
    noteStatus(false);
    status_.lastError = "cannot write the snapshot: " + logValue(status.error().message, 200);
    writeStatus(now);
    logLine("cannot write the snapshot: " + logValue(status.error().message, 200) +
            (options_.once ? "" : "; retrying in " + formatSeconds(WriteSchedule::kRetryDelay)));
    return false;
  }
  failedWrite_ = false;
  wrote_ = true;
  status_.lastWrite = Date::now();
  noteStatus(true);
  writtenHasImage_ = snapshot->hasImage;
  schedule_.written(*snapshot, now);
  char battery[32];
  std::snprintf(battery, sizeof battery, "%g %%", snapshot->batteryPercentage);
  logLine("wrote the snapshot: " + std::string(battery) + ", " + std::to_string(snapshot->rangeKm) + " km, " +
          logValue(snapshot->statusKey) + (snapshot->isDriving ? ", driving" : ""));
  return true;
}

// A coalesced change still waiting is written before leaving.
void Feed::flushPending() {
  if (schedule_.deadline()) {
    schedule_.hurry(monotonicSeconds());
    writeDue(monotonicSeconds());
  }
  ignored_.flush(monotonicSeconds(), /*all=*/true);
}

// With --once: the exit status once the run is over, else nothing.
std::optional<int> Feed::onceOutcome(double now) {
  // Not worth waiting for: wrong credentials, a refused certificate, a
  // store that cannot be written.
  if (refusedLogin_ || tlsFailed_ || failedWrite_) return apps::kExitFailure;
  if (now - start_ < options_.timeout) return std::nullopt;
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

std::optional<int> Feed::run() {
  if (!setUp()) return apps::kExitFailure;
  installSignalHandlers(options_.once);
  status_.pid = ::getpid();
  status_.started = Date::now();
  status_.broker = brokerName();
  noteStatus(true);
  restoreStored();
  start_ = monotonicSeconds();
  // Values kept over a reload are written with the new settings at once.
  if (state_.missing().empty()) schedule_.changed(start_);
  logLine("connecting to " + brokerName() + " for " + std::to_string(state_.topics().size()) + " topics");
  while (stopSignal == 0 && reloadSignal == 0) {
    double now = monotonicSeconds();
    const bool timeLeft = !options_.once || now - start_ < options_.timeout;
    if (link_ == Link::down && now >= nextAttempt_ && timeLeft) connect(now);
    noteSteadySession(now);
    ignored_.flush(now, /*all=*/false);
    if (statusDue_ && now - statusWritten_ >= FeedStatus::kNewsInterval) writeStatus(now);
    // car.png added or removed (kelvo save-image, remove-image): rewrite.
    if (writtenHasImage_ && now >= nextImageCheck_) {
      nextImageCheck_ = now + 1.0;
      if (*writtenHasImage_ != store_.hasImage() && !schedule_.deadline()) schedule_.changed(now);
    }
    if (writeDue(now) && options_.once) return apps::kExitOk;
    if (!options_.once) checkSource();
    if (options_.once) {
      if (const auto outcome = onceOutcome(monotonicSeconds())) return outcome;
    }
    double wake = now + 1.0;
    if (link_ == Link::down) wake = std::min(wake, nextAttempt_);
    if (const auto deadline = schedule_.deadline()) wake = std::min(wake, *deadline);
    if (options_.once) wake = std::min(wake, start_ + options_.timeout);
    if (link_ == Link::down) {
      sleepUntil(wake);
      continue;
    }
    const int timeoutMs = std::max(0, static_cast<int>(std::ceil((wake - monotonicSeconds()) * 1000)));
    const int rc = mosquitto_loop(mosq_, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS && link_ != Link::down) {
      if (rc == MOSQ_ERR_TLS) tlsFailed_ = true;
      if (link_ == Link::up) {
        lost(rc, monotonicSeconds());
      } else {
        linkDown("cannot connect to " + brokerName() + ": " + errorText(rc, errno), monotonicSeconds());
      }
    }
  }
  const bool reload = stopSignal == 0;
  reloadSignal = 0;
  logLine(reload ? "reloading the settings (SIGHUP)"
                 : std::string("stopping on ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
  flushPending();
  if (link_ != Link::down) mosquitto_disconnect(mosq_);
  link_ = Link::down;
  noteStatus(true);
  if (reload) return std::nullopt;
  // --once stopped before its snapshot was written has failed.
  if (options_.once && !wrote_) {
    logLine("no snapshot written");
    return apps::kExitFailure;
  }
  return apps::kExitOk;
}

}  // namespace

void logLine(const std::string& message) {
  // Each value in it was escaped where the message was put together.
  writeLogLine("kelvo-feed", message, LogEscape::done);
}

std::optional<int> runFeed(const FeedOptions& options, CarState& state, const SharedStore& store) {
  std::optional<int> status;
  {
    Feed feed(options, state, store);
    status = feed.run();
  }
  mosquitto_lib_cleanup();
  return status;
}

}  // namespace kelvo::feed
