#pragma once

// What the display tests share: a snapshot saved through `kelvo`, reference
// renders from `kelvo-widget render`, and kelvo-desktop started and stopped
// like a session would.

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "DisplayServers.h"
#include "ProgramRunner.h"
#include "SampleSnapshot.h"

namespace kelvo::testing {

// The sample car with its battery at `percent`, reported and written five
// hours ago (so the age text stays put while a test runs).
inline void saveSnapshot(const Scratch& scratch, int percent) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.batteryPercentage = percent;
  snapshot.carReportedAt = snapshot.writtenAt = Date{static_cast<double>(std::time(nullptr) - 5 * 3600)};
  std::ofstream(scratch.root() / "snapshot-in.json") << encodeSnapshot(snapshot).value();
  const ProgramRun saved = runProgram(
      "kelvo",
      {"--shared-dir", scratch.shared().string(), "save", (scratch.root() / "snapshot-in.json").string()},
      scratch);
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
// `seconds`; the last comparison, and the last screenshot in `last`.
template <class Server>
Comparison waitForRender(const Server& server, const Scratch& scratch, int x, int y, const Image& render,
                         double seconds, Image* last = nullptr) {
  Comparison result;
  Image screen;
  waitFor(
      [&] {
        screen = server.screenshot(scratch.root() / "screen.png");
        result = compare(screen, x, y, render, 40);
        return result.compared > 0 && result.beyond == 0;
      },
      seconds);
  if (last) *last = std::move(screen);
  return result;
}

// Where the render shows and that nothing else was drawn.
template <class Server>
void expectShownAlone(const Server& server, const Scratch& scratch, int x, int y, const Image& render) {
  Image screen;
  const Comparison shown = waitForRender(server, scratch, x, y, render, 10, &screen);
  EXPECT_GT(shown.compared, render.width * render.height * 9 / 10);
  EXPECT_EQ(shown.beyond, 0) << "worst channel difference " << shown.worst;
  EXPECT_EQ(litPixelsOutside(screen, x, y, render.width, render.height), 0);
}

// SIGTERM, then the program's end.
inline ProgramRun terminate(const Started& started) {
  kill(started.pid, SIGTERM);
  return finish(started);
}

}  // namespace kelvo::testing
