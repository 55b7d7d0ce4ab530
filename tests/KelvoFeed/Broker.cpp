#include "Broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

extern char** environ;

namespace kelvo::testing {

namespace fs = std::filesystem;

namespace {

int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

pid_t spawn(const std::vector<std::string>& argv, const fs::path& output) {
  std::vector<std::string> args = argv;
  std::vector<char*> raw;
  for (auto& arg : args) raw.push_back(arg.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

int runCommand(const std::vector<std::string>& argv) {
  const pid_t pid = spawn(argv, "/dev/null");
  if (pid < 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Broker::Broker(fs::path dir, std::optional<BrokerAuth> auth, std::optional<BrokerTls> tls)
    : dir_(std::move(dir)), auth_(std::move(auth)), tls_(std::move(tls)), port_(freeLoopbackPort()) {
  std::ofstream config(dir_ / "mosquitto.conf");
  // Tests run as root on CI: without "user root" mosquitto would drop to a
  // "mosquitto" user that cannot read the files here. As any other user the
  // line has no effect.
  config << "user root\npersistence false\nlog_dest stderr\nlistener " << port_ << " 127.0.0.1\n";
  if (auth_) {
    const fs::path passwords = dir_ / "passwords";
    runCommand({"mosquitto_passwd", "-b", "-c", passwords.string(), auth_->username, auth_->password});
    ::chmod(passwords.c_str(), 0600);
    config << "allow_anonymous false\npassword_file " << passwords.string() << "\n";
  } else {
    config << "allow_anonymous true\n";
  }
  if (tls_) {
    config << "cafile " << tls_->cafile.string() << "\ncertfile " << tls_->certfile.string() << "\nkeyfile "
           << tls_->keyfile.string() << "\n";
  }
}

Broker::~Broker() { stop(); }

bool Broker::start() {
  if (pid_ > 0 || port_ == 0) return false;
  pid_ = spawn({"mosquitto", "-c", (dir_ / "mosquitto.conf").string()}, dir_ / "mosquitto.log");
  if (pid_ < 0) return false;
  for (int i = 0; i < 500; ++i) {
    if (accepts(port_)) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void Broker::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0) {
  }
  pid_ = -1;
}

std::string Broker::url() const {
  return (tls_ ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(port_);
}

std::string Broker::log() const {
  std::ifstream in(dir_ / "mosquitto.log");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Broker::publish(const std::vector<std::pair<std::string, std::string>>& messages) const {
  struct Pending {
    std::set<int> ids;
    bool connected = false;
    bool refused = false;
  } pending;
  mosquitto_lib_init();
  mosquitto* mosq = mosquitto_new(nullptr, true, &pending);
  if (mosq == nullptr) return false;
  mosquitto_connect_callback_set(mosq, [](mosquitto*, void* self, int rc) {
    auto* state = static_cast<Pending*>(self);
    state->connected = rc == 0;
    state->refused = rc != 0;
  });
  mosquitto_publish_callback_set(
      mosq, [](mosquitto*, void* self, int mid) { static_cast<Pending*>(self)->ids.erase(mid); });
  if (auth_) mosquitto_username_pw_set(mosq, auth_->username.c_str(), auth_->password.c_str());
  if (tls_) mosquitto_tls_set(mosq, tls_->cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
  bool ok = mosquitto_connect(mosq, "127.0.0.1", port_, 30) == MOSQ_ERR_SUCCESS;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ok && !pending.connected && !pending.refused && std::chrono::steady_clock::now() < deadline) {
    ok = mosquitto_loop(mosq, 50, 1) == MOSQ_ERR_SUCCESS;
  }
  ok = ok && pending.connected;
  for (const auto& [topic, payload] : messages) {
    if (!ok) break;
    int mid = 0;
    ok = mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                           true) == MOSQ_ERR_SUCCESS;
    pending.ids.insert(mid);
    // Keep the socket moving so large bursts do not pile up unsent.
    if (ok && pending.ids.size() > 100) ok = mosquitto_loop(mosq, 0, 1) == MOSQ_ERR_SUCCESS;
  }
  while (ok && !pending.ids.empty() && std::chrono::steady_clock::now() < deadline) {
    ok = mosquitto_loop(mosq, 50, 1) == MOSQ_ERR_SUCCESS;
  }
  ok = ok && pending.ids.empty();
  mosquitto_disconnect(mosq);
  mosquitto_destroy(mosq);
  return ok;
}

std::optional<BrokerTls> makeTestCertificates(const fs::path& dir, const std::string& name) {
  const auto file = [&](const std::string& suffix) { return (dir / (name + suffix)).string(); };
  std::ofstream(dir / (name + "-san.cnf")) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
  const std::vector<std::vector<std::string>> steps = {
      {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
       "/CN=Kelvo test CA " + name, "-keyout", file("-ca.key"), "-out", file("-ca.pem")},
      {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
       file("-server.key"), "-out", file("-server.csr")},
      {"openssl", "x509", "-req", "-in", file("-server.csr"), "-CA", file("-ca.pem"), "-CAkey",
       file("-ca.key"), "-CAcreateserial", "-days", "2", "-extfile", file("-san.cnf"), "-out",
       file("-server.pem")},
  };
  for (const auto& step : steps) {
    if (runCommand(step) != 0) return std::nullopt;
  }
  return BrokerTls{file("-ca.pem"), file("-server.pem"), file("-server.key")};
}

}  // namespace kelvo::testing
