#pragma once

// A real Mosquitto broker for the feed's tests, on a free loopback port.

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Processes.h"
#include "ProgramRunner.h"

namespace kelvo::testing {

using Messages = std::vector<std::pair<std::string, std::string>>;  // topic, payload

// Whether a published message stays on the broker for later subscribers.
enum class Retain { yes, no };

// A real Mosquitto broker for one test: config, password file and log in a
// directory of its own, a free loopback port, stopped at the end. With a
// password, only the user "kelvo" with it gets in; with a certificate, only TLS.
class Broker {
 public:
  explicit Broker(const std::filesystem::path& dir, const std::string& password = "",
                  const std::filesystem::path& certificate = {})
      : dir_(dir), password_(password), certificate_(certificate), port_(loopback(0, 0)) {
    std::filesystem::create_directories(dir_);
    std::ofstream config(dir_ / "mosquitto.conf");
    // As root (CI), mosquitto would otherwise switch to a "mosquitto" user that
    // cannot read these files; as anyone else the line does nothing.
    config << "user root\npersistence false\nlistener " << port_ << " 127.0.0.1\nallow_anonymous "
           << (password_.empty() ? "true\n" : "false\npassword_file " + (dir_ / "passwords").string() + "\n");
    if (!password_.empty())
      runProcess({"mosquitto_passwd", "-b", "-c", dir_ / "passwords", "kelvo", password_}, log_());
    ::chmod((dir_ / "passwords").c_str(), 0600);
    if (!certificate_.empty())
      config << "cafile " << certificate_.string() << "\ncertfile " << certificate_.string() << "\nkeyfile "
             << std::filesystem::path(certificate_).replace_extension(".key").string() << "\n";
  }
  ~Broker() { stop(); }

  // Starts (again, on the same port); false unless it listens within 5 s.
  bool start() {
    if (pid_ > 0 || port_ == 0) return false;
    pid_ = spawnProcess({"mosquitto", "-c", dir_ / "mosquitto.conf"}, log_());
    return pid_ > 0 && waitFor([this] { return loopback(port_, -1) != 0; }, 5);
  }
  void stop() {
    stopProcess(pid_);
    pid_ = -1;
  }
  std::string url() const {
    return (certificate_.empty() ? "mqtt" : "mqtts") + std::string("://127.0.0.1:") + std::to_string(port_);
  }
  std::string log() const { return readFile(log_()); }

  // `count` copies of `payload` on `topic`, not retained, from one publisher.
  bool flood(const std::string& topic, const std::string& payload, int count) const {
    return runProcess(
               {"sh", "-c",
                "yes '" + payload + "' | head -n " + std::to_string(count) +
                    " | mosquitto_pub -h 127.0.0.1 -p " + std::to_string(port_) + " -q 1 -l -t " + topic},
               log_()) == 0;
  }

  // Publishes each message with QoS 1 through mosquitto_pub, which ends once
  // the broker has acknowledged it; the payload `copies` times over (built in
  // a file: memory the test holds counts in its children's peak).
  bool publish(const Messages& messages, Retain retain = Retain::yes, int copies = 1) const {
    for (const auto& [topic, payload] : messages) {
      std::ofstream file(dir_ / "payload", std::ios::binary | std::ios::trunc);
      for (int i = 0; i < copies; ++i) file << payload;
      file.close();
      std::vector<std::string> argv = {
          "mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(port_), "-q", "1", "-t", topic};
      // An empty payload (-n) deletes a retained message, as sources do to clear one.
      const std::vector<std::string> body =
          payload.empty() ? std::vector<std::string>{"-n"} : std::vector<std::string>{"-f", dir_ / "payload"};
      argv.insert(argv.end(), body.begin(), body.end());
      if (retain == Retain::yes) argv.push_back("-r");
      if (!password_.empty()) argv.insert(argv.end(), {"-u", "kelvo", "-P", password_});
      if (!certificate_.empty()) argv.insert(argv.end(), {"--cafile", certificate_});
      if (runProcess(argv, log_()) != 0) return false;
    }
    return true;
  }

 private:
  std::filesystem::path log_() const { return dir_ / "mosquitto.log"; }

  std::filesystem::path dir_;
  std::string password_;
  std::filesystem::path certificate_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace kelvo::testing
