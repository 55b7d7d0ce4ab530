#include "DisplayServers.h"

#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace kelvo::testing {

namespace fs = std::filesystem;

namespace {

std::vector<char*> cStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

pid_t spawn(std::vector<std::string> argv, std::vector<std::string> environment, const fs::path& log,
            int passFd = -1, int asFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (passFd >= 0) posix_spawn_file_actions_adddup2(&actions, passFd, asFd);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so a stop reaches what it starts.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  auto rawArgv = cStrings(argv);
  auto rawEnv = cStrings(environment);
  if (posix_spawnp(&pid, rawArgv[0], &actions, &attributes, rawArgv.data(), rawEnv.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);
}

std::vector<std::string> baseEnvironment() { return {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"}; }

}  // namespace

Image loadPng(const fs::path& file) {
  Image image;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(file.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(surface);
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    const bool alpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
    for (int y = 0; y < image.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface) +
                                                               y * cairo_image_surface_get_stride(surface));
      for (int x = 0; x < image.width; ++x) image.pixels.push_back(alpha ? row[x] : row[x] | 0xff000000u);
    }
  }
  cairo_surface_destroy(surface);
  return image;
}

Comparison compare(const Image& screen, int x0, int y0, const Image& render, int tolerance) {
  Comparison result;
  for (int y = 0; y < render.height; ++y) {
    for (int x = 0; x < render.width; ++x) {
      const std::uint32_t want = render.at(x, y);
      if (want >> 24 != 0xff) continue;
      const int sx = x0 + x, sy = y0 + y;
      if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height) {
        ++result.beyond;
        continue;
      }
      const std::uint32_t got = screen.at(sx, sy);
      int difference = 0;
      for (int shift : {0, 8, 16}) {
        difference = std::max(difference, std::abs(int(got >> shift & 0xff) - int(want >> shift & 0xff)));
      }
      ++result.compared;
      result.worst = std::max(result.worst, difference);
      if (difference > tolerance) ++result.beyond;
    }
  }
  return result;
}

int litPixelsOutside(const Image& screen, int x0, int y0, int width, int height) {
  if (screen.pixels.empty()) return 0;
  const std::uint32_t background = screen.at(0, 0);
  int lit = 0;
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      if (x >= x0 && x < x0 + width && y >= y0 && y < y0 + height) continue;
      if (screen.at(x, y) != background) ++lit;
    }
  }
  return lit;
}

int runTool(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const fs::path& log) {
  const pid_t pid = spawn(argv, environment, log);
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool waitFor(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

Xvfb::Xvfb(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  // -displayfd: Xvfb picks a free display number and writes it to fd 3.
  pid_ = spawn(
      {"Xvfb", "-displayfd", "3", "-screen", "0",
       std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-br", "-noreset"},
      baseEnvironment(), "/dev/null", fds[1], 3);
  close(fds[1]);
  std::string number;
  pollfd readable{fds[0], POLLIN, 0};
  while (pid_ > 0 && poll(&readable, 1, 10000) == 1) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

Xvfb::~Xvfb() { stop(pid_); }

Image Xvfb::screenshot(const fs::path& file) const {
  runTool({"import", "-display", display_, "-window", "root", "png:" + file.string()}, baseEnvironment());
  return loadPng(file);
}

bool Xvfb::xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto environment = baseEnvironment();
  environment.push_back("DISPLAY=" + display_);
  return runTool(argv, environment) == 0;
}

HeadlessSway::HeadlessSway(int width, int height, int scale) {
  std::string pattern = (fs::temp_directory_path() / "kelvo-sway.XXXXXX").string();
  if (!mkdtemp(pattern.data())) return;
  runtime_ = pattern;
  const bool root = geteuid() == 0;
  if (root && chown(runtime_.c_str(), 65534, 65534) != 0) return;  // nobody:nogroup
  chmod(runtime_.c_str(), 0700);
  const fs::path config = runtime_ / "config";
  std::ofstream(config) << "output * resolution " << width << "x" << height << " scale " << scale << "\n"
                        << "xwayland disable\n"
                        << "default_border none\n";
  chmod(config.c_str(), 0644);
  std::vector<std::string> argv = {"sway", "-c", config.string()};
  if (root) argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  std::vector<std::string> environment = {
      "PATH=/usr/bin:/bin",    "HOME=" + runtime_.string(), "XDG_RUNTIME_DIR=" + runtime_.string(),
      "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"};
  const fs::path logFile = fs::temp_directory_path() / (runtime_.filename().string() + ".log");
  pid_ = spawn(argv, environment, logFile);
  if (pid_ < 0) return;
  fs::path found;
  waitFor(
      [&] {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(runtime_, error)) {
          const std::string name = entry.path().filename().string();
          if (name.starts_with("wayland-") && !name.ends_with(".lock") && entry.is_socket())
            found = entry.path();
        }
        return !found.empty();
      },
      10);
  socket_ = found;
}

HeadlessSway::~HeadlessSway() {
  stop(pid_);
  std::error_code error;
  fs::remove(fs::temp_directory_path() / (runtime_.filename().string() + ".log"), error);
  if (!runtime_.empty()) fs::remove_all(runtime_, error);
}

std::string HeadlessSway::log() const {
  std::ifstream in(fs::temp_directory_path() / (runtime_.filename().string() + ".log"));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Image HeadlessSway::screenshot(const fs::path& file) const {
  runTool({"grim", file.string()}, {"PATH=/usr/bin:/bin", "WAYLAND_DISPLAY=" + socket_.string()});
  return loadPng(file);
}

}  // namespace kelvo::testing
