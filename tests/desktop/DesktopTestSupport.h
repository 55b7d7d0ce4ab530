#pragma once
#include <fstream>

// What the display tests share: a snapshot saved through `kelvo`, reference
// renders from `kelvo-widget render`, and kelvo-desktop started and stopped
// like a session would.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "DisplayServers.h"
#include "ProgramRunner.h"

namespace kelvo::testing {

// The sample car, reported and written `hoursAgo` hours ago (so the age text
// stays put while a test runs), with its battery at `percent`.
inline void saveSnapshot(const Scratch& scratch, int percent, int hoursAgo = 5) {
  const std::string sample =
      readFile(std::filesystem::path(KELVO_SOURCE_DIR) / "resources/sample-snapshot.json");
  char when[32];
  const std::time_t at = std::time(nullptr) - hoursAgo * 3600;
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&at));
  std::string json = sample;
  // Replaces the value after `key` up to the character that ends it.
  const auto replace = [&json](const std::string& key, char end, const std::string& value) {
    const size_t at = json.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    json.replace(at + key.size(), json.find(end, at + key.size()) - at - key.size(), value);
  };
  replace("\"carReportedAt\":\"", '"', when);
  replace("\"writtenAt\":\"", '"', when);
  replace("\"batteryPercentage\":", ',', std::to_string(percent));
  const auto file = scratch.root() / "snapshot-in.json";
  std::ofstream(file) << json;
  const ProgramRun saved =
      runProgram("kelvo", {"--shared-dir", scratch.shared().string(), "save", file.string()}, scratch);
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
}

// `kelvo-widget render` of what the shared directory holds now.
inline Image renderReference(const Scratch& scratch, const std::filesystem::path& sharedDir,
                             const std::string& family, const std::string& appearance, int scale) {
  static int counter = 0;
  const auto file = scratch.root() / ("reference-" + std::to_string(++counter) + ".png");
  const ProgramRun rendered =
      runProgram("kelvo-widget",
                 {"render", "--shared-dir", sharedDir.string(), "--family", family, "--appearance",
                  appearance, "--scale", std::to_string(scale), "-o", file.string()},
                 scratch);
  EXPECT_EQ(rendered.exitCode, 0) << rendered.err;
  return loadPng(file);
}

// Antialiased text may land a little differently on a window than in a PNG.
constexpr int kTolerance = 40;

// Screenshots until the render shows at (x, y) within the tolerance, for up
// to `seconds`; the last comparison.
template <class Server>
Comparison waitForRender(const Server& server, const Scratch& scratch, int x, int y, const Image& render,
                         double seconds, Image* last = nullptr) {
  Comparison result;
  Image screen;
  waitFor(
      [&] {
        screen = server.screenshot(scratch.root() / "screen.png");
        result = compare(screen, x, y, render, kTolerance);
        return result.compared > 0 && result.beyond == 0;
      },
      seconds);
  if (last) *last = std::move(screen);
  return result;
}

// SIGTERM, then the program's end.
inline ProgramRun terminate(const Started& started) {
  kill(started.pid, SIGTERM);
  return finish(started);
}

}  // namespace kelvo::testing
