#pragma once

// A real Mosquitto broker for one test: config, password file and log in a
// directory of its own, a free loopback port, stopped at the end.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvo::testing {

using Messages = std::vector<std::pair<std::string, std::string>>;  // topic, payload

struct BrokerAuth {
  std::string username, password;
};
struct BrokerTls {
  std::filesystem::path cafile, certfile, keyfile;  // the CA, the server certificate and its key
};

class Broker {
 public:
  Broker(const std::filesystem::path& dir, std::optional<BrokerAuth> auth = std::nullopt,
         std::optional<BrokerTls> tls = std::nullopt);
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;
  ~Broker() { stop(); }

  // Starts (again, on the same port); false unless it listens within 5 s.
  bool start();
  void stop();
  std::string url() const;
  std::string log() const;
  // Publishes retained with QoS 1 and waits for every acknowledgement.
  bool publish(const Messages& messages) const;

 private:
  std::filesystem::path dir_;
  std::optional<BrokerAuth> auth_;
  std::optional<BrokerTls> tls_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A CA and a server certificate for 127.0.0.1, made with openssl in `dir`.
std::optional<BrokerTls> makeTestCertificates(const std::filesystem::path& dir, const std::string& name);

}  // namespace kelvo::testing
