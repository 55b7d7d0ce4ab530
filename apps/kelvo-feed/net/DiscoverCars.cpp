#include "DiscoverCars.h"

#include <cerrno>
#include <chrono>
#include <optional>

namespace kelvo::feed {

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Discovery discoverCars(const ClientOptions& given, std::string_view extraPrefix, double timeout,
                       double settle) {
  ClientOptions options = given;
  options.protocol = MQTT_PROTOCOL_V311;
  CarDirectory directory(extraPrefix);
  std::optional<int> answer;  // the broker's answer to the login
  double lastNews = 0;
  auto made = MqttClient::create(options, {[&](int rc) { answer = rc; }, nullptr,
                                           [&](const mosquitto_message& message) {
                                             const std::string_view payload(
                                                 static_cast<const char*>(message.payload),
                                                 message.payload ? std::size_t(message.payloadlen) : 0);
                                             directory.note(message.topic ? message.topic : "", payload);
                                             lastNews = seconds();
                                           }});
  if (!made) return DiscoveryFailure{DiscoveryFault::setup, made.error().message};
  MqttClient& client = **made;
  mosquitto* mosq = client.handle();
  const auto failure = [&](int rc, int error) {
    const DiscoveryFault fault = rc == MOSQ_ERR_TLS ? DiscoveryFault::certificate : DiscoveryFault::broker;
    return DiscoveryFailure{fault, client.errorText(rc, error)};
  };
  // Asynchronous: the connection is made in the loop below, within the time.
  int rc = mosquitto_connect_async(mosq, options.broker.host.c_str(), options.broker.port, 30);
  if (rc != MOSQ_ERR_SUCCESS) return failure(rc, errno);
  const double start = seconds();
  bool subscribed = false;
  while (seconds() - start < timeout) {
    rc = mosquitto_loop(mosq, 100, 1);
    if (answer && *answer != 0) {
      mosquitto_disconnect(mosq);
      return DiscoveryFailure{isCredentialRefusal(*answer) ? DiscoveryFault::login : DiscoveryFault::broker,
                              mosquitto_connack_string(*answer)};
    }
    if (rc != MOSQ_ERR_SUCCESS) return failure(rc, errno);
    if (answer && !subscribed) {
      const std::vector<std::string> topics = directory.topics();
      std::vector<char*> names;
      for (const auto& topic : topics) names.push_back(const_cast<char*>(topic.c_str()));
      rc = mosquitto_subscribe_multiple(mosq, nullptr, int(names.size()), names.data(), 0, 0, nullptr);
      if (rc != MOSQ_ERR_SUCCESS) return failure(rc, errno);
      subscribed = true;
      lastNews = seconds();
    }
    if (subscribed && seconds() - lastNews >= settle) {
      mosquitto_disconnect(mosq);
      return directory.cars();
    }
  }
  return DiscoveryFailure{DiscoveryFault::broker,
                          answer ? "the cars' topics kept coming" : "no answer in time"};
}

}  // namespace kelvo::feed
