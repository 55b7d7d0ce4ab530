#include "DisplayServers.h"

#include <cairo.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "ProgramRunner.h"

namespace kelvo::testing {

namespace fs = std::filesystem;

namespace {

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

Xvfb::Xvfb(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  // -displayfd: Xvfb picks a free display number and writes it to fd 3.
  auto environment = baseEnvironment();
  pid_ = spawnProcess(
      {"Xvfb", "-displayfd", "3", "-screen", "0",
       std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-br", "-noreset"},
      "/dev/null", &environment, fds[1], 3);
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

Xvfb::~Xvfb() { stopProcess(pid_); }

Image Xvfb::screenshot(const fs::path& file) const {
  runProcess({"import", "-display", display_, "-window", "root", "png:" + file.string()}, "/dev/null",
             baseEnvironment());
  return loadPng(file);
}

bool Xvfb::xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto environment = baseEnvironment();
  environment.push_back("DISPLAY=" + display_);
  return runProcess(argv, "/dev/null", environment) == 0;
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
  pid_ = spawnProcess(argv, logFile, &environment);
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
  stopProcess(pid_);
  std::error_code error;
  fs::remove(fs::temp_directory_path() / (runtime_.filename().string() + ".log"), error);
  if (!runtime_.empty()) fs::remove_all(runtime_, error);
}

std::string HeadlessSway::log() const {
  return readFile(fs::temp_directory_path() / (runtime_.filename().string() + ".log"));
}

Image HeadlessSway::screenshot(const fs::path& file) const {
  runProcess({"grim", file.string()}, "/dev/null",
             {"PATH=/usr/bin:/bin", "WAYLAND_DISPLAY=" + socket_.string()});
  return loadPng(file);
}

}  // namespace kelvo::testing
