#pragma once

// A real Mosquitto broker for one test: config, password file and log in a
// directory of its own, a free loopback port, stopped at the end.

#include <arpa/inet.h>
#include <mosquitto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Processes.h"
#include "TempDirectory.h"

namespace kelvo::testing {

using Messages = std::vector<std::pair<std::string, std::string>>;  // topic, payload

struct BrokerAuth {
  std::string username, password;
};
struct BrokerTls {
  std::filesystem::path cafile, certfile, keyfile;  // the CA, the server certificate and its key
};

// Binds (port 0: any free one) or connects to 127.0.0.1; the port, or 0.
inline int loopback(int port, bool bindIt) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  const bool ok = bindIt ? ::bind(fd, raw, length) == 0 && ::getsockname(fd, raw, &length) == 0
                         : ::connect(fd, raw, length) == 0;
  ::close(fd);
  return ok ? ntohs(address.sin_port) : 0;
}

class Broker {
 public:
  Broker(const std::filesystem::path& dir, std::optional<BrokerAuth> auth = std::nullopt,
         std::optional<BrokerTls> tls = std::nullopt)
      : dir_(dir), auth_(std::move(auth)), tls_(std::move(tls)), port_(loopback(0, true)) {
    std::filesystem::create_directories(dir_);
    std::ofstream config(dir_ / "mosquitto.conf");
    // As root (CI), mosquitto would otherwise switch to a "mosquitto" user that
    // cannot read these files; as anyone else the line does nothing.
    config << "user root\npersistence false\nlistener " << port_ << " 127.0.0.1\n";
    config << "allow_anonymous " << (auth_ ? "false" : "true") << "\n";
    if (auth_) {
      const auto passwords = dir_ / "passwords";
      runProcess({"mosquitto_passwd", "-b", "-c", passwords, auth_->username, auth_->password}, log_());
      ::chmod(passwords.c_str(), 0600);
      config << "password_file " << passwords.string() << "\n";
    }
    if (tls_)
      config << "cafile " << tls_->cafile.string() << "\ncertfile " << tls_->certfile.string() << "\nkeyfile "
             << tls_->keyfile.string() << "\n";
  }
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;
  ~Broker() { stop(); }

  // Starts (again, on the same port); false unless it listens within 5 s.
  bool start() {
    if (pid_ > 0 || port_ == 0) return false;
    pid_ = spawnProcess({"mosquitto", "-c", dir_ / "mosquitto.conf"}, log_());
    return pid_ > 0 && waitFor([this] { return loopback(port_, false) != 0; }, 5);
  }
  void stop() {
    stopProcess(pid_);
    pid_ = -1;
  }
  std::string url() const {
    return (tls_ ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(port_);
  }
  std::string log() const { return readFile(log_()); }

  // Publishes retained with QoS 1 and waits for every acknowledgement.
  bool publish(const Messages& messages) const {
    struct State {
      std::set<int> unacknowledged;
      int connack = -1;
    } state;
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new(nullptr, true, &state);
    mosquitto_connect_callback_set(mosq,
                                   [](mosquitto*, void* s, int rc) { static_cast<State*>(s)->connack = rc; });
    mosquitto_publish_callback_set(
        mosq, [](mosquitto*, void* s, int mid) { static_cast<State*>(s)->unacknowledged.erase(mid); });
    if (auth_) mosquitto_username_pw_set(mosq, auth_->username.c_str(), auth_->password.c_str());
    if (tls_) mosquitto_tls_set(mosq, tls_->cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const auto loopWhile = [&](const auto& waiting) {
      while (waiting() && std::chrono::steady_clock::now() < deadline)
        if (mosquitto_loop(mosq, 50, 1) != MOSQ_ERR_SUCCESS) return false;
      return !waiting();
    };
    bool ok = mosquitto_connect(mosq, "127.0.0.1", port_, 30) == MOSQ_ERR_SUCCESS &&
              loopWhile([&] { return state.connack < 0; }) && state.connack == 0;
    for (auto it = messages.begin(); ok && it != messages.end(); ++it) {
      int mid = 0;
      ok = mosquitto_publish(mosq, &mid, it->first.c_str(), static_cast<int>(it->second.size()),
                             it->second.data(), 1, true) == MOSQ_ERR_SUCCESS;
      state.unacknowledged.insert(mid);
    }
    ok = ok && loopWhile([&] { return !state.unacknowledged.empty(); });
    mosquitto_disconnect(mosq);
    mosquitto_destroy(mosq);
    return ok;
  }

 private:
  std::filesystem::path log_() const { return dir_ / "mosquitto.log"; }

  std::filesystem::path dir_;
  std::optional<BrokerAuth> auth_;
  std::optional<BrokerTls> tls_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A self-signed certificate for 127.0.0.1, made with openssl in `dir`: the
// broker's certificate and the CA a client trusts in one.
inline std::optional<BrokerTls> makeTestCertificates(const std::filesystem::path& dir,
                                                     const std::string& name) {
  const std::string cert = (dir / (name + ".pem")).string(), key = (dir / (name + ".key")).string();
  if (runProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert},
                 dir / (name + ".log")) != 0)
    return std::nullopt;
  return BrokerTls{cert, cert, key};
}

}  // namespace kelvo::testing
