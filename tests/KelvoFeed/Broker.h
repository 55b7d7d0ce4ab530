#pragma once

// A real Mosquitto broker for one test: its own config and files in a
// temporary directory, a free loopback port, stopped and removed afterwards.
// Publishing goes through libmosquitto, retained and acknowledged.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvo::testing {

struct BrokerAuth {
  std::string username;
  std::string password;
};

struct BrokerTls {
  std::filesystem::path cafile;    // the CA that signed the server certificate
  std::filesystem::path certfile;  // the server certificate
  std::filesystem::path keyfile;   // its key
};

class Broker {
 public:
  // `dir` holds the config, password file and log.
  Broker(std::filesystem::path dir, std::optional<BrokerAuth> auth = std::nullopt,
         std::optional<BrokerTls> tls = std::nullopt);
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;
  ~Broker();

  // Starts (again, on the same port); false when it does not listen within 5 s.
  bool start();
  void stop();
  int port() const { return port_; }
  std::string url() const;
  std::string log() const;

  // Publishes every message retained with QoS 1 and waits for the broker's
  // acknowledgements; false on any failure.
  bool publish(const std::vector<std::pair<std::string, std::string>>& messages) const;

 private:
  std::filesystem::path dir_;
  std::optional<BrokerAuth> auth_;
  std::optional<BrokerTls> tls_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// Makes a CA and a server certificate for 127.0.0.1/localhost with openssl in
// `dir`; `name` keeps several CAs apart.
std::optional<BrokerTls> makeTestCertificates(const std::filesystem::path& dir, const std::string& name);

// Runs a command (no shell) and gives its exit status, -1 when it could not run.
int runCommand(const std::vector<std::string>& argv);

}  // namespace kelvo::testing
