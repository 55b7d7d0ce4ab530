#pragma once

// Real display servers for the desktop host's tests: Xvfb and headless sway,
// each started here on a free display or a private socket and stopped with
// the object; screenshots through ImageMagick's import or grim.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Processes.h"

namespace kelvo::testing {

// A decoded PNG: 0xAARRGGBB, premultiplied as Cairo keeps it.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Image loadPng(const std::filesystem::path& file);

// How a screen area compares with a render placed at (x0, y0): the render's
// opaque pixels only (its antialiased rim and corners are left out).
struct Comparison {
  int compared = 0;  // opaque render pixels on the screen
  int beyond = 0;    // of those, differing by more than the tolerance in a channel
  int worst = 0;     // the largest channel difference seen
};
Comparison compare(const Image& screen, int x0, int y0, const Image& render, int tolerance);
// Screen pixels outside the rectangle that differ from the background (the
// top-left pixel, which the widget's rounded corner never covers): what else was drawn.
int litPixelsOutside(const Image& screen, int x, int y, int width, int height);

class Xvfb {
 public:
  Xvfb(int width, int height);  // 24-bit, black root window, no TCP
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  ~Xvfb();

  bool running() const { return !display_.empty(); }
  std::string display() const { return display_; }  // ":N"
  Image screenshot(const std::filesystem::path& file) const;
  // xdotool with DISPLAY set; true when it succeeded.
  bool xdotool(const std::vector<std::string>& args) const;

 private:
  pid_t pid_ = -1;
  std::string display_;
};

class HeadlessSway {
 public:
  // One output of width × height pixels at `scale`; sway runs as "nobody"
  // when we are root (it refuses root), with a runtime directory it owns.
  HeadlessSway(int width, int height, int scale);
  HeadlessSway(const HeadlessSway&) = delete;
  HeadlessSway& operator=(const HeadlessSway&) = delete;
  ~HeadlessSway();

  bool running() const { return !socket_.empty(); }
  std::filesystem::path socket() const { return socket_; }  // WAYLAND_DISPLAY, a full path
  std::string log() const;
  Image screenshot(const std::filesystem::path& file) const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path runtime_, socket_;
};

}  // namespace kelvo::testing
