#include "Broker.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "Processes.h"
#include "ProgramRunner.h"

namespace kelvo::testing {

namespace fs = std::filesystem;

namespace {

// Binds (port 0: any free one) or connects to 127.0.0.1; the port, or 0.
int loopback(int port, bool bindIt) {
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

}  // namespace

Broker::Broker(const fs::path& dir, std::optional<BrokerAuth> auth, std::optional<BrokerTls> tls)
    : dir_(dir), auth_(std::move(auth)), tls_(std::move(tls)), port_(loopback(0, true)) {
  fs::create_directories(dir_);
  std::ofstream config(dir_ / "mosquitto.conf");
  // As root (CI), mosquitto would otherwise switch to a "mosquitto" user that
  // cannot read these files; as anyone else the line does nothing.
  config << "user root\npersistence false\nlistener " << port_ << " 127.0.0.1\n";
  if (auth_) {
    const fs::path passwords = dir_ / "passwords";
    runProcess({"mosquitto_passwd", "-b", "-c", passwords, auth_->username, auth_->password},
               dir_ / "mosquitto.log");
    ::chmod(passwords.c_str(), 0600);
    config << "allow_anonymous false\npassword_file " << passwords.string() << "\n";
  } else {
    config << "allow_anonymous true\n";
  }
  if (tls_)
    config << "cafile " << tls_->cafile.string() << "\ncertfile " << tls_->certfile.string() << "\nkeyfile "
           << tls_->keyfile.string() << "\n";
}

bool Broker::start() {
  if (pid_ > 0 || port_ == 0) return false;
  pid_ = spawnProcess({"mosquitto", "-c", dir_ / "mosquitto.conf"}, dir_ / "mosquitto.log");
  return pid_ > 0 && waitFor([this] { return loopback(port_, false) != 0; }, 5);
}

void Broker::stop() {
  stopProcess(pid_);
  pid_ = -1;
}

std::string Broker::url() const {
  return (tls_ ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(port_);
}

std::string Broker::log() const { return readFile(dir_ / "mosquitto.log"); }

bool Broker::publish(const Messages& messages) const {
  struct State {
    std::set<int> unacknowledged;
    int connack = -1;
  } state;
  mosquitto_lib_init();
  mosquitto* mosq = mosquitto_new(nullptr, true, &state);
  mosquitto_connect_callback_set(
      mosq, [](mosquitto*, void* self, int rc) { static_cast<State*>(self)->connack = rc; });
  mosquitto_publish_callback_set(
      mosq, [](mosquitto*, void* self, int mid) { static_cast<State*>(self)->unacknowledged.erase(mid); });
  if (auth_) mosquitto_username_pw_set(mosq, auth_->username.c_str(), auth_->password.c_str());
  if (tls_) mosquitto_tls_set(mosq, tls_->cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  const auto loopWhile = [&](const auto& waiting) {
    while (waiting() && std::chrono::steady_clock::now() < deadline) {
      if (mosquitto_loop(mosq, 50, 1) != MOSQ_ERR_SUCCESS) return false;
    }
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

std::optional<BrokerTls> makeTestCertificates(const fs::path& dir, const std::string& name) {
  const auto file = [&](const std::string& suffix) { return (dir / (name + suffix)).string(); };
  std::ofstream(file(".cnf")) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
  for (const auto& step : std::vector<std::vector<std::string>>{
           {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=Kelvo test CA " + name, "-keyout", file("-ca.key"), "-out", file("-ca.pem")},
           {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
            file(".key"), "-out", file(".csr")},
           {"openssl", "x509", "-req", "-in", file(".csr"), "-CA", file("-ca.pem"), "-CAkey", file("-ca.key"),
            "-CAcreateserial", "-days", "2", "-extfile", file(".cnf"), "-out", file(".pem")}}) {
    if (runProcess(step, dir / (name + ".log")) != 0) return std::nullopt;
  }
  return BrokerTls{file("-ca.pem"), file(".pem"), file(".key")};
}

}  // namespace kelvo::testing
