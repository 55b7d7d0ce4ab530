// kelvo-desktop on a real X server (Xvfb without a window manager): where the
// window lands, what it shows, and what clicks, saves and signals do.

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "DesktopTestSupport.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kScreenWidth = 1024, kScreenHeight = 768;

struct Placement {
  const char* name;
  std::vector<std::string> options;
  const char* family;
  const char* appearance;  // of the reference render
  bool sharedDirExists;
  bool gtkPrefersDark;  // the desktop's GTK settings ask for dark
  int x, y;             // where the widget's corner lands, pixels
};

class DesktopX11 : public ::testing::TestWithParam<Placement> {};

TEST_P(DesktopX11, WindowSitsAtTheAnchorAndShowsTheRender) {
  const Placement& p = GetParam();
  const Xvfb server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.running());
  const Scratch scratch;
  saveSnapshot(scratch, 64);
  const fs::path shared = p.sharedDirExists ? scratch.shared() : scratch.root() / "missing";
  if (p.gtkPrefersDark) {
    fs::create_directories(scratch.root() / "config/gtk-3.0");
    std::ofstream(scratch.root() / "config/gtk-3.0/settings.ini")
        << "[Settings]\ngtk-application-prefer-dark-theme=1\n";
  }
  const Image render = renderReference(scratch, shared, p.family, p.appearance, 1);
  ASSERT_GT(render.width, 0);

  std::vector<std::string> args = {"--shared-dir", shared.string(), "--family", p.family};
  args.insert(args.end(), p.options.begin(), p.options.end());
  const Started desktop = start("kelvo-desktop", args, scratch,
                                {"DISPLAY=" + server.display(), "NO_AT_BRIDGE=1",
                                 "XDG_CONFIG_HOME=" + (scratch.root() / "config").string(),
                                 "XDG_DATA_HOME=" + (scratch.root() / "data").string()});
  Image screen;
  const Comparison shown = waitForRender(server, scratch, p.x, p.y, render, 10, &screen);
  EXPECT_GT(shown.compared, render.width * render.height * 9 / 10);
  EXPECT_EQ(shown.beyond, 0) << "worst channel difference " << shown.worst;
  EXPECT_EQ(litPixelsOutside(screen, p.x, p.y, render.width, render.height), 0);

  // No handler for kelvo: is registered here: a click says so once, and nothing else happens.
  server.xdotool({"mousemove", std::to_string(p.x + render.width / 2),
                  std::to_string(p.y + render.height / 2), "click", "1"});
  EXPECT_TRUE(waitFor(
      [&] { return readFile(desktop.err).find("cannot open kelvo://open") != std::string::npos; }, 5));

  const ProgramRun ended = terminate(desktop);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  EXPECT_NE(ended.err.find("X11 window kept below"), std::string::npos) << ended.err;
}

INSTANTIATE_TEST_SUITE_P(
    Placements, DesktopX11,
    ::testing::Values(
        Placement{"MediumTopRightLight", {"--appearance", "light"}, "medium", "light", true, false, 636, 24},
        Placement{"SmallBottomLeftDark",
                  {"--anchor", "bottom-left", "--margin", "10,40", "--appearance", "dark"},
                  "small",
                  "dark",
                  true,
                  false,
                  10,
                  558},
        Placement{
            "LargeCenterNoSharedDirectory", {"--anchor", "center"}, "large", "light", false, false, 330, 193},
        Placement{"SmallTopLeftFollowsGtkDark",
                  {"--anchor", "top-left", "--margin", "0"},
                  "small",
                  "dark",
                  true,
                  true,
                  0,
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

// A handler for x-scheme-handler/kelvo in the test's own XDG directories: a
// script that writes the URL it was given to a file.
void registerHandler(const Scratch& scratch) {
  const fs::path applications = scratch.root() / "data/applications", config = scratch.root() / "config";
  fs::create_directories(applications);
  fs::create_directories(config);
  const fs::path script = scratch.root() / "handler.sh";
  std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (scratch.root() / "opened").string()
                        << "'\n";
  chmod(script.c_str(), 0755);
  std::ofstream(applications / "kelvo-test-handler.desktop")
      << "[Desktop Entry]\nType=Application\nName=Kelvo test handler\nExec=" << script.string()
      << " %u\nMimeType=x-scheme-handler/kelvo;\nNoDisplay=true\n";
  std::ofstream(config / "mimeapps.list")
      << "[Default Applications]\nx-scheme-handler/kelvo=kelvo-test-handler.desktop\n";
  ASSERT_EQ(runTool({"update-desktop-database", applications.string()}, {"PATH=/usr/bin:/bin"}), 0);
}

TEST(DesktopX11Session, SavesRedrawAtOnceClicksOpenTheLinkAndTheMenuResizes) {
  const Xvfb server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.running());
  const Scratch scratch;
  saveSnapshot(scratch, 64);
  registerHandler(scratch);
  const fs::path config = scratch.root() / "desktop.ini";
  std::ofstream(config) << "# mine\n[widget]\nanchor=top-left\nmargin=30\n[widget other]\nfamily=large\n";

  const Started desktop =
      start("kelvo-desktop",
            {"--shared-dir", scratch.shared().string(), "--config", config.string(), "--appearance", "light"},
            scratch,
            {"DISPLAY=" + server.display(), "NO_AT_BRIDGE=1",
             "XDG_CONFIG_HOME=" + (scratch.root() / "config").string(),
             "XDG_DATA_HOME=" + (scratch.root() / "data").string()});
  const Image first = renderReference(scratch, scratch.shared(), "small", "light", 1);
  ASSERT_EQ(waitForRender(server, scratch, 30, 30, first, 10).beyond, 0);

  // A new snapshot shows within two seconds of `kelvo save`.
  saveSnapshot(scratch, 23);
  const Image second = renderReference(scratch, scratch.shared(), "small", "light", 1);
  const auto saved = std::chrono::steady_clock::now();
  const Comparison redrawn = waitForRender(server, scratch, 30, 30, second, 2);
  EXPECT_EQ(redrawn.beyond, 0)
      << "not redrawn within "
      << std::chrono::duration<double>(std::chrono::steady_clock::now() - saved).count() << " s";

  // A left click opens the deep link with the registered handler.
  ASSERT_TRUE(server.xdotool({"mousemove", "115", "115", "click", "1"}));
  EXPECT_TRUE(waitFor([&] { return fs::exists(scratch.root() / "opened"); }, 10));
  EXPECT_EQ(readFile(scratch.root() / "opened"), "kelvo://open");

  // A click in the transparent corner is not the widget's.
  fs::remove(scratch.root() / "opened");
  ASSERT_TRUE(server.xdotool({"mousemove", "31", "31", "click", "1"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(fs::exists(scratch.root() / "opened"));

  // Right click, third entry (Large): the widget grows in place and the size is remembered.
  ASSERT_TRUE(server.xdotool({"mousemove", "115", "115", "click", "3"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(server.xdotool({"key", "Down", "Down", "Down", "Return"}));
  const Image large = renderReference(scratch, scratch.shared(), "large", "light", 1);
  EXPECT_EQ(waitForRender(server, scratch, 30, 30, large, 5).beyond, 0);
  const std::string remembered = readFile(config);
  EXPECT_NE(remembered.find("# mine"), std::string::npos) << remembered;
  EXPECT_NE(remembered.find("[widget]\nanchor=top-left\nmargin=30\nfamily=large\n"), std::string::npos)
      << remembered;

  const ProgramRun ended = terminate(desktop);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
}

}  // namespace
}  // namespace kelvo::testing
