// kelvo-desktop on real display servers: Xvfb without a window manager (a
// desktop-type window) and headless sway at 2x, 512 x 384 logical pixels (a
// layer surface drawn at the output's scale): where the widget lands, what it
// shows, and what clicks, saves and signals do.

#include <sys/stat.h>

#include <sstream>
#include <thread>
#include <type_traits>

#include "DisplayServers.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;

struct Placement {
  std::string options;              // beyond --shared-dir and --family
  const char *family, *appearance;  // the reference render's
  int x, y;                         // where the widget's corner lands, in logical pixels
  const char* says;                 // in the log once it ends
  bool gtkPrefersDark = false, sharedDirMissing = false;
};

// kelvo-desktop started once per placement on `server`, with the test's own
// XDG directories; it shows the render there and nothing else, and ends on SIGTERM.
template <class Server>
void expectPlacements(const Server& server, int scale, const std::vector<std::string>& display,
                      const std::vector<Placement>& placements) {
  for (const Placement& p : placements) {
    SCOPED_TRACE(p.options);
    const Scratch scratch;
    saveSnapshot(scratch, 64);
    const fs::path shared = p.sharedDirMissing ? scratch.root() / "missing" : scratch.shared();
    if (p.gtkPrefersDark && fs::create_directories(scratch.root() / "config/gtk-3.0"))
      writeFile(scratch.root() / "config/gtk-3.0/settings.ini",
                "[Settings]\ngtk-application-prefer-dark-theme=1\n");
    const Image render = renderReference(scratch, shared, p.family, p.appearance, scale);
    ASSERT_GT(render.width, 0);
    std::istringstream words("--shared-dir " + shared.string() + " --family " + p.family + " " + p.options);
    std::vector<std::string> environment = display;
    environment.insert(environment.end(), {"XDG_CONFIG_HOME=" + (scratch.root() / "config").string(),
                                           "XDG_RUNTIME_DIR=" + scratch.root().string()});
    const Started desktop =
        start("kelvo-desktop", {std::istream_iterator<std::string>(words), {}}, scratch, environment);
    const Comparison shown = waitForRender(server, scratch, p.x * scale, p.y * scale, render, 10);
    EXPECT_GT(shown.compared, render.width * render.height * 9 / 10);
    EXPECT_EQ(std::tie(shown.beyond, shown.litOutside), std::make_tuple(0, 0))
        << "worst difference " << shown.worst;
    if constexpr (std::is_same_v<Server, Xvfb>) {
      // No handler for kelvo: is registered here: a click says so, and nothing else happens.
      server.xdotool({"mousemove", std::to_string(p.x + render.width / 2),
                      std::to_string(p.y + render.height / 2), "click", "1"});
      EXPECT_TRUE(waitFor(
          [&] { return readFile(desktop.err).find("cannot open kelvo://open") != std::string::npos; }, 5));
    }
    kill(desktop.pid, SIGTERM);
    const ProgramRun ended = finish(desktop);
    EXPECT_EQ(ended.exitCode, 0) << ended.err;
    EXPECT_NE(ended.err.find(p.says), std::string::npos) << ended.err;
  }
}

TEST(DesktopX11, WindowSitsAtTheAnchorAndShowsTheRender) {
  const Xvfb server(1024, 768);
  ASSERT_TRUE(server.running());
  // clang-format off
  expectPlacements(server, 1, {"DISPLAY=" + server.display(), "NO_AT_BRIDGE=1"}, {
      {"--appearance light", "medium", "light", 636, 24, "X11 window kept below"},
      {"--anchor bottom-left --margin 10,40 --appearance dark", "small", "dark", 10, 558, "X11 window kept below"},
      {"--anchor center", "large", "light", 330, 193, "X11 window kept below", false, true},
      {"--anchor top-left --margin 0", "small", "dark", 0, 0, "X11 window kept below", true}});
  // clang-format on
}

TEST(DesktopWayland, LayerSurfaceSitsAtTheAnchorAndShowsTheRenderAtTheOutputScale) {
  const HeadlessSway sway(1024, 768, 2);
  ASSERT_TRUE(sway.running()) << sway.log();
  // clang-format off
  expectPlacements(sway, 2, {"WAYLAND_DISPLAY=" + sway.socket().string(), "GDK_BACKEND=wayland", "NO_AT_BRIDGE=1"}, {
      {"--appearance light --anchor bottom-left --margin 10,40", "small", "light", 10, 384 - 170 - 40, "layer surface on the bottom layer"},
      {"--appearance dark --layer top --output HEADLESS-1", "medium", "dark", 512 - 364 - 24, 24, "layer surface on the top layer of HEADLESS-1"}});
  // clang-format on
}

TEST(DesktopX11Session, SavesRedrawAtOnceClicksOpenTheLinkAndTheMenuResizes) {
  const Xvfb server(1024, 768);
  ASSERT_TRUE(server.running());
  const Scratch scratch;
  saveSnapshot(scratch, 64);
  // A handler for x-scheme-handler/kelvo: a script that writes the URL it was given to a file.
  const fs::path applications = scratch.root() / "data/applications", script = scratch.root() / "handler.sh";
  for (const fs::path& dir : {applications, scratch.root() / "config"}) fs::create_directories(dir);
  writeFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + (scratch.root() / "opened").string() + "'\n");
  chmod(script.c_str(), 0755);
  writeFile(applications / "kelvo-test-handler.desktop",
            "[Desktop Entry]\nType=Application\nName=Kelvo test handler\nExec=" + script.string() +
                " %u\nMimeType=x-scheme-handler/kelvo;\nNoDisplay=true\n");
  writeFile(scratch.root() / "config/mimeapps.list",
            "[Default Applications]\nx-scheme-handler/kelvo=kelvo-test-handler.desktop\n");
  ASSERT_EQ(runProcess({"update-desktop-database", applications}, "/dev/null", {"PATH=/usr/bin:/bin"}), 0);
  // The file's anchor holds; the command line's margin wins over the file's.
  const fs::path config = scratch.root() / "desktop.ini";
  writeFile(config, "# mine\n[widget]\nanchor=top-left\nmargin=5\n[widget other]\nfamily=large\n");
  const std::string configHome = "XDG_CONFIG_HOME=" + (scratch.root() / "config").string();
  const Started desktop =
      start("kelvo-desktop",
            {"--shared-dir", scratch.shared(), "--config", config, "--appearance", "light", "--margin", "30"},
            scratch, {"DISPLAY=" + server.display(), "NO_AT_BRIDGE=1", configHome});
  const auto shows = [&](const char* family, double seconds) {
    return waitForRender(server, scratch, 30, 30,
                         renderReference(scratch, scratch.shared(), family, "light", 1), seconds)
               .beyond == 0;
  };
  ASSERT_TRUE(shows("small", 10));
  // A new snapshot shows within two seconds of `kelvo save`.
  saveSnapshot(scratch, 23);
  EXPECT_TRUE(shows("small", 2)) << "not redrawn within 2 s";
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
  EXPECT_TRUE(shows("large", 5));
  EXPECT_EQ(readFile(config),
            "# mine\n\n[widget]\nanchor=top-left\nmargin=5\nfamily=large\n\n[widget other]\nfamily=large\n");
  kill(desktop.pid, SIGTERM);
  const ProgramRun ended = finish(desktop);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
}

}  // namespace
}  // namespace kelvo::testing
