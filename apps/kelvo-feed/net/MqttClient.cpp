#include "MqttClient.h"

#include <cerrno>
#include <cstring>

#include "FeedValue.h"
#include "KelvoShared/LogText.h"

namespace kelvo::feed {

Result<std::unique_ptr<MqttClient>> MqttClient::create(const ClientOptions& options,
                                                       ClientHandlers handlers) {
  mosquitto_lib_init();
  std::unique_ptr<MqttClient> client(new MqttClient(std::move(handlers)));
  client->mosq_ =
      mosquitto_new(options.clientId.empty() ? nullptr : options.clientId.c_str(), true, client.get());
  if (client->mosq_ == nullptr)
    return Error{"cannot create the MQTT client: " + std::string(std::strerror(errno))};
  mosquitto* mosq = client->mosq_;
  client->setProtocol(options.protocol);
  if (options.username &&
      mosquitto_username_pw_set(mosq, options.username->c_str(),
                                options.password ? options.password->c_str() : nullptr) != MOSQ_ERR_SUCCESS) {
    return Error{"cannot use the user name"};
  }
  if (options.broker.tls) {
    int rc = MOSQ_ERR_SUCCESS;
    if (options.cafile) {
      rc = mosquitto_tls_set(mosq, options.cafile->c_str(), nullptr, nullptr, nullptr, nullptr);
    } else {
      rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    }
    if (rc != MOSQ_ERR_SUCCESS) return Error{"cannot set up TLS: " + client->errorText(rc, errno)};
    if (options.insecure) {
      mosquitto_tls_opts_set(mosq, 0 /* SSL_VERIFY_NONE */, nullptr, nullptr);
      mosquitto_tls_insecure_set(mosq, true);
    }
  }
  mosquitto_connect_callback_set(mosq, [](mosquitto*, void* self, int rc) {
    if (auto& connected = static_cast<MqttClient*>(self)->handlers_.connected) connected(rc);
  });
  mosquitto_disconnect_v5_callback_set(mosq, [](mosquitto*, void* self, int rc, const mosquitto_property*) {
    // The library's own codes are below 0x80.
    if (auto& ended = static_cast<MqttClient*>(self)->handlers_.ended; ended && rc >= 0x80) ended(rc);
  });
  mosquitto_message_callback_set(mosq, [](mosquitto*, void* self, const mosquitto_message* message) {
    if (auto& received = static_cast<MqttClient*>(self)->handlers_.message) received(*message);
  });
  mosquitto_log_callback_set(mosq, [](mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR && text != nullptr) static_cast<MqttClient*>(self)->libraryError_ = text;
  });
  return client;
}

MqttClient::~MqttClient() {
  if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

void MqttClient::setProtocol(int protocol) {
  protocol_ = protocol;
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, protocol_);
}

std::string MqttClient::errorText(int rc, int error) const {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(error);
  if (rc == MOSQ_ERR_TLS && !libraryError_.empty()) return "TLS: " + logValue(libraryError_, 200);
  return mosquitto_strerror(rc);
}

std::string brokerName(const BrokerAddress& broker) {
  const std::string& host = broker.host;
  return (broker.tls ? "mqtts://" : "mqtt://") +
         (host.find(':') != std::string::npos ? "[" + logValue(host) + "]" : logValue(host)) + ":" +
         std::to_string(broker.port);
}

bool isCredentialRefusal(int code) {
  return code == 4 || code == 5 || code == MQTT_RC_BAD_USERNAME_OR_PASSWORD || code == MQTT_RC_NOT_AUTHORIZED;
}

}  // namespace kelvo::feed
