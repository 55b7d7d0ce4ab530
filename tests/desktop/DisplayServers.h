#pragma once

// Real display servers for the desktop host's tests: Xvfb and headless sway,
// each started here on a free display or a private socket and stopped with
// the object; screenshots through ImageMagick's import or grim. And what the
// display tests share: a snapshot saved through `kelvo`, reference renders
// from `kelvo-widget render`, and screenshots compared with them.

#include <cairo.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Processes.h"
#include "ProgramRunner.h"
#include "SampleSnapshot.h"

namespace kelvo::testing {

// A decoded PNG: 0xAARRGGBB, premultiplied as Cairo keeps it.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

inline Image loadPng(const std::filesystem::path& file) {
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

// How the screen compares with a render placed at (x0, y0): the render's
// opaque pixels only (its antialiased rim and corners are left out), and the
// screen pixels outside it that differ from the background (the top-left
// pixel, which the widget's rounded corner never covers).
// `compared`: opaque render pixels on the screen; `beyond`: of those, differing
// by more than the tolerance in a channel, or off the screen; `worst`: the
// largest channel difference seen; `litOutside`: what else was drawn.
struct Comparison {
  int compared = 0, beyond = 0, worst = 0, litOutside = 0;
};
inline Comparison compare(const Image& screen, int x0, int y0, const Image& render, int tolerance) {
  Comparison result;
  for (int y = 0; y < render.height; ++y) {
    for (int x = 0; x < render.width; ++x) {
      const std::uint32_t want = render.at(x, y);
      const int sx = x0 + x, sy = y0 + y;
      if (want >> 24 != 0xff) continue;
      if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height) {
        ++result.beyond;
        continue;
      }
      int difference = 0;
      for (int shift : {0, 8, 16})
        difference = std::max(difference,
                              std::abs(int(screen.at(sx, sy) >> shift & 0xff) - int(want >> shift & 0xff)));
      ++result.compared;
      result.worst = std::max(result.worst, difference);
      if (difference > tolerance) ++result.beyond;
    }
  }
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      const bool inside = x >= x0 && x < x0 + render.width && y >= y0 && y < y0 + render.height;
      if (!inside && screen.at(x, y) != screen.at(0, 0)) ++result.litOutside;
    }
  }
  return result;
}

class Xvfb {
 public:
  Xvfb(int width, int height) {  // 24-bit, black root window, no TCP
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    // -displayfd: Xvfb picks a free display number and writes it to fd 3.
    auto environment = this->environment();
    pid_ = spawnProcess(
        {"Xvfb", "-displayfd", "3", "-screen", "0",
         std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-br", "-noreset"},
        "/dev/null", &environment, fds[1], 3);
    close(fds[1]);
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    for (char c = 0; pid_ > 0 && poll(&readable, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n';)
      number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~Xvfb() { stop(); }

  void stop() {
    stopProcess(pid_);
    pid_ = -1;
  }

  bool running() const { return !display_.empty(); }
  std::string display() const { return display_; }  // ":N"
  Image screenshot(const std::filesystem::path& file) const {
    runProcess({"import", "-window", "root", "png:" + file.string()}, "/dev/null", environment());
    return loadPng(file);
  }
  // xdotool with DISPLAY set; true when it succeeded.
  bool xdotool(std::vector<std::string> args) const {
    args.insert(args.begin(), "xdotool");
    return runProcess(args, "/dev/null", environment()) == 0;
  }

 private:
  std::vector<std::string> environment() const {
    return {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8", "DISPLAY=" + display_};
  }

  pid_t pid_ = -1;
  std::string display_;
};

class HeadlessSway {
 public:
  // One output of width × height pixels at `scale`; sway runs as "nobody"
  // when we are root (it refuses root), with a runtime directory it owns.
  HeadlessSway(int width, int height, int scale) {
    namespace fs = std::filesystem;
    const bool root = geteuid() == 0;
    if (runtime_.path().empty() || (root && chown(runtime_.path().c_str(), 65534, 65534) != 0)) return;
    chmod(runtime_.path().c_str(), 0700);
    const fs::path config = runtime_.path() / "config";
    std::ofstream(config) << "output * resolution " << width << "x" << height << " scale " << scale
                          << "\nxwayland disable\ndefault_border none\n";
    chmod(config.c_str(), 0644);
    std::vector<std::string> argv = {"sway", "-c", config.string()};
    if (root) argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    const std::string dir = runtime_.path().string();
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin",        "HOME=" + dir,
                                            "XDG_RUNTIME_DIR=" + dir,    "WLR_BACKENDS=headless",
                                            "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"};
    pid_ = spawnProcess(argv, logFile(), &environment);
    waitFor(
        [&] {
          std::error_code error;
          for (const auto& entry : fs::directory_iterator(runtime_.path(), error)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("wayland-") && !name.ends_with(".lock") && entry.is_socket())
              socket_ = entry.path();
          }
          return pid_ > 0 && !socket_.empty();
        },
        10);
  }
  ~HeadlessSway() { stop(); }

  void stop() {
    stopProcess(pid_);
    pid_ = -1;
  }

  bool running() const { return !socket_.empty(); }
  std::filesystem::path socket() const { return socket_; }  // WAYLAND_DISPLAY, a full path
  std::string log() const { return readFile(logFile()); }
  Image screenshot(const std::filesystem::path& file) const {
    runProcess({"grim", file.string()}, "/dev/null",
               {"PATH=/usr/bin:/bin", "WAYLAND_DISPLAY=" + socket_.string()});
    return loadPng(file);
  }

 private:
  // Beside the runtime directory, which sway (as nobody) owns.
  std::filesystem::path logFile() const { return log_.path() / "sway.log"; }

  TempDirectory log_, runtime_;
  pid_t pid_ = -1;
  std::filesystem::path socket_;
};

// The sample car with its battery at `percent`, reported and written five
// hours ago (so the age text stays put while a test runs).
inline void saveSnapshot(const Scratch& scratch, int percent, const std::string& statusKey = "CHARGING") {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.batteryPercentage = percent;
  snapshot.statusKey = statusKey;
  snapshot.carReportedAt = snapshot.writtenAt = Date{static_cast<double>(std::time(nullptr) - 5 * 3600)};
  const auto file = scratch.root() / "snapshot-in.json";
  writeFile(file, encodeSnapshot(snapshot).value());
  const ProgramRun saved =
      runProgram("kelvo", {"--shared-dir", scratch.shared().string(), "save", file}, scratch);
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
}

// `kelvo-widget render` of what the shared directory holds now.
inline Image renderReference(const Scratch& scratch, const std::filesystem::path& sharedDir,
                             const std::string& family, const std::string& appearance, int scale) {
  const auto file = scratch.root() / "reference.png";
  const ProgramRun rendered =
      runProgram("kelvo-widget",
                 {"render", "--shared-dir", sharedDir.string(), "--family", family, "--appearance",
                  appearance, "--scale", std::to_string(scale), "-o", file.string()},
                 scratch);
  EXPECT_EQ(rendered.exitCode, 0) << rendered.err;
  return loadPng(file);
}

// Screenshots until the render shows at (x, y) within the tolerance (antialiased
// text may land a little differently on a window than in a PNG), for up to
// `seconds`; the last comparison.
template <class Server>
Comparison waitForRender(const Server& server, const Scratch& scratch, int x, int y, const Image& render,
                         double seconds) {
  Comparison result;
  waitFor(
      [&] {
        result = compare(server.screenshot(scratch.root() / "screen.png"), x, y, render, 40);
        return result.compared > 0 && result.beyond == 0;
      },
      seconds);
  return result;
}

}  // namespace kelvo::testing
