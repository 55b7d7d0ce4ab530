#pragma once

// A libmosquitto client set up from the feed's broker settings: protocol,
// login, TLS with the system's or a given CA, and the library's error texts.
// kelvo-feed runs its session on it; kelvo-app uses it to test a login and
// find the cars.

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "FeedConfig.h"
#include "KelvoBase/Result.h"

namespace kelvo::feed {

struct ClientOptions {
  BrokerAddress broker;
  std::optional<std::string> username;
  std::optional<std::string> password;
  std::optional<std::string> cafile;  // else the system's CA certificates
  bool insecure = false;              // mqtts without certificate checks
  std::string clientId;               // empty: the library picks one
  int protocol = MQTT_PROTOCOL_V5;
};

// What the client reports, on the thread that runs its loop.
struct ClientHandlers {
  std::function<void(int rc)> connected;  // the broker's answer to the login (0: accepted)
  std::function<void(int reason)> ended;  // an MQTT 5 broker's reason for ending the session (0x80 and up)
  std::function<void(const mosquitto_message&)> message;
};

class MqttClient {
 public:
  // The client, or why it cannot be made (a missing CA file, an unusable name).
  static Result<std::unique_ptr<MqttClient>> create(const ClientOptions& options, ClientHandlers handlers);
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;
  ~MqttClient();

  mosquitto* handle() const { return mosq_; }
  int protocol() const { return protocol_; }
  void setProtocol(int protocol);
  // The library's result as a reason: errno's text, OpenSSL's reason for a
  // TLS failure (it reaches us only through the library's log), or its own.
  std::string errorText(int rc, int error) const;
  // Forgets the last TLS reason before a new attempt.
  void clearLibraryError() { libraryError_.clear(); }

 private:
  explicit MqttClient(ClientHandlers handlers) : handlers_(std::move(handlers)) {}

  ClientHandlers handlers_;
  mosquitto* mosq_ = nullptr;
  int protocol_ = MQTT_PROTOCOL_V5;
  std::string libraryError_;
};

// "mqtt://host:1883", a host of IPv6 in brackets, escaped for the log.
std::string brokerName(const BrokerAddress& broker);

// The refusals that mean the user name or password is wrong, in MQTT 3.1.1
// (4, 5) and MQTT 5 (0x86, 0x87).
bool isCredentialRefusal(int code);

}  // namespace kelvo::feed
