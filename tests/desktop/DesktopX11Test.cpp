// kelvo-desktop on a real X server (Xvfb without a window manager): where the
// window lands, what it shows, and what clicks, saves and signals do.

#include <sys/stat.h>

#include <thread>

#include "DesktopTestSupport.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;

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

// kelvo-desktop on the server with the test's own XDG directories.
Started startDesktop(const Xvfb& server, const Scratch& scratch, const std::vector<std::string>& args) {
  return start("kelvo-desktop", args, scratch,
               {"DISPLAY=" + server.display(), "NO_AT_BRIDGE=1",
                "XDG_CONFIG_HOME=" + (scratch.root() / "config").string(),
                "XDG_DATA_HOME=" + (scratch.root() / "data").string()});
}

TEST_P(DesktopX11, WindowSitsAtTheAnchorAndShowsTheRender) {
  const Placement& p = GetParam();
  const Xvfb server(1024, 768);
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
  const Started desktop = startDesktop(server, scratch, args);
  expectShownAlone(server, scratch, p.x, p.y, render);
  // No handler for kelvo: is registered here: a click says so once, and nothing else happens.
  server.xdotool({"mousemove", std::to_string(p.x + render.width / 2),
                  std::to_string(p.y + render.height / 2), "click", "1"});
  EXPECT_TRUE(waitFor(
      [&] { return readFile(desktop.err).find("cannot open kelvo://open") != std::string::npos; }, 5));
  const ProgramRun ended = terminate(desktop);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  EXPECT_NE(ended.err.find("X11 window kept below"), std::string::npos) << ended.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Placements, DesktopX11, ::testing::Values(
    Placement{"MediumTopRightLight", {"--appearance", "light"}, "medium", "light", true, false, 636, 24},
    Placement{"SmallBottomLeftDark", {"--anchor", "bottom-left", "--margin", "10,40", "--appearance", "dark"}, "small", "dark", true, false, 10, 558},
    Placement{"LargeCenterNoSharedDirectory", {"--anchor", "center"}, "large", "light", false, false, 330, 193},
    Placement{"SmallTopLeftFollowsGtkDark", {"--anchor", "top-left", "--margin", "0"}, "small", "dark", true, true, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(DesktopX11Session, SavesRedrawAtOnceClicksOpenTheLinkAndTheMenuResizes) {
  const Xvfb server(1024, 768);
  ASSERT_TRUE(server.running());
  const Scratch scratch;
  saveSnapshot(scratch, 64);
  // A handler for x-scheme-handler/kelvo: a script that writes the URL it was given to a file.
  const fs::path applications = scratch.root() / "data/applications", script = scratch.root() / "handler.sh";
  fs::create_directories(applications);
  fs::create_directories(scratch.root() / "config");
  std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (scratch.root() / "opened").string()
                        << "'\n";
  chmod(script.c_str(), 0755);
  std::ofstream(applications / "kelvo-test-handler.desktop")
      << "[Desktop Entry]\nType=Application\nName=Kelvo test handler\nExec=" << script.string()
      << " %u\nMimeType=x-scheme-handler/kelvo;\nNoDisplay=true\n";
  std::ofstream(scratch.root() / "config/mimeapps.list")
      << "[Default Applications]\nx-scheme-handler/kelvo=kelvo-test-handler.desktop\n";
  ASSERT_EQ(
      runProcess({"update-desktop-database", applications.string()}, "/dev/null", {"PATH=/usr/bin:/bin"}), 0);
  const fs::path config = scratch.root() / "desktop.ini";
  std::ofstream(config) << "# mine\n[widget]\nanchor=top-left\nmargin=30\n[widget other]\nfamily=large\n";

  const Started desktop = startDesktop(
      server, scratch,
      {"--shared-dir", scratch.shared().string(), "--config", config.string(), "--appearance", "light"});
  ASSERT_EQ(waitForRender(server, scratch, 30, 30,
                          renderReference(scratch, scratch.shared(), "small", "light", 1), 10)
                .beyond,
            0);
  // A new snapshot shows within two seconds of `kelvo save`.
  saveSnapshot(scratch, 23);
  EXPECT_EQ(waitForRender(server, scratch, 30, 30,
                          renderReference(scratch, scratch.shared(), "small", "light", 1), 2)
                .beyond,
            0)
      << "not redrawn within 2 s";
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
  EXPECT_EQ(waitForRender(server, scratch, 30, 30,
                          renderReference(scratch, scratch.shared(), "large", "light", 1), 5)
                .beyond,
            0);
  EXPECT_EQ(readFile(config),
            "# mine\n\n[widget]\nanchor=top-left\nmargin=30\nfamily=large\n\n[widget other]\nfamily=large\n");
  const ProgramRun ended = terminate(desktop);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
}

}  // namespace
}  // namespace kelvo::testing
