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
  std::vector<std::string> says;    // in the log once it ends
  bool gtkPrefersDark = false, sharedDirMissing = false;
  std::string statusKey = "CHARGING";
};

// A status key that would forge a log line and retitle the terminal, and runs on.
const std::string kHostileKey = "A\nforged\x1b]0;x\x07" + std::string(300, 'e');

// kelvo-desktop started once per placement on `server`, with the test's own
// XDG directories; it shows the render there and nothing else, and ends on SIGTERM.
template <class Server>
void expectPlacements(const Server& server, int scale, const std::vector<std::string>& display,
                      const std::vector<Placement>& placements) {
  for (const Placement& p : placements) {
    SCOPED_TRACE(p.options);
    const Scratch scratch;
    saveSnapshot(scratch, 64, p.statusKey);
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
    for (const std::string& says : p.says) EXPECT_NE(ended.err.find(says), std::string::npos) << ended.err;
    // Every line its own, short, and free of terminal controls.
    std::istringstream lines(ended.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_TRUE(line.starts_with("kelvo-desktop: ") && line.size() < 400 &&
                  std::none_of(line.begin(), line.end(), [](char c) { return c >= 0 && c < 0x20; }))
          << line;
    }
  }
}

TEST(DesktopX11, WindowSitsAtTheAnchorAndShowsTheRender) {
  const Xvfb server(1024, 768);
  ASSERT_TRUE(server.running());
  // clang-format off
  expectPlacements(server, 1, {"DISPLAY=" + server.display(), "NO_AT_BRIDGE=1"}, {
      {"--appearance light", "medium", "light", 636, 24, {"X11 window kept below"}},
      {"--anchor bottom-left --margin 10,40 --appearance dark", "small", "dark", 10, 558, {"X11 window kept below"}},
      {"--anchor center", "large", "light", 330, 193, {"X11 window kept below", "the shared directory "}, false, true},
      {"--anchor top-left --margin 0", "small", "dark", 0, 0, {"X11 window kept below"}, true},
      // A margin the output cannot give is fitted to it; names and texts are logged escaped and cut.
      {"--anchor bottom-right --margin 10000,20 --output DP-\x1b[2J", "small", "light", 0, 578,
       {"a margin of 10000,20 would put the widget off the output (1024x768); using 854,20",
        "no output named \"DP-\\x1b[2J\"", "showing snapshot A\\nforged\\x1b]0;x\\x07eee", "e…; reload at"},
       false, false, kHostileKey}});
  // clang-format on
}

TEST(DesktopWayland, LayerSurfaceSitsAtTheAnchorAndShowsTheRenderAtTheOutputScale) {
  HeadlessSway sway(1024, 768, 2);
  ASSERT_TRUE(sway.running()) << sway.log();
  // clang-format off
  expectPlacements(sway, 2, {"WAYLAND_DISPLAY=" + sway.socket().string(), "GDK_BACKEND=wayland", "NO_AT_BRIDGE=1"}, {
      {"--appearance light --anchor bottom-left --margin 10,40", "small", "light", 10, 384 - 170 - 40, {"layer surface on the bottom layer"}},
      {"--appearance dark --layer top --output HEADLESS-1", "medium", "dark", 512 - 364 - 24, 24, {"layer surface on the top layer of HEADLESS-1"}},
      {"--appearance light --anchor bottom-right --margin 900", "small", "light", 0, 0, {"a margin of 900,900 would put the widget off the output (512x384); using 342,214"}}});
  // clang-format on
  // The compositor going away ends it with status 1 and a line that says so.
  const Scratch scratch;
  const Started desktop = start("kelvo-desktop", {"--shared-dir", scratch.shared()}, scratch,
                                {"WAYLAND_DISPLAY=" + sway.socket().string(), "GDK_BACKEND=wayland",
                                 "NO_AT_BRIDGE=1", "XDG_RUNTIME_DIR=" + scratch.root().string()});
  ASSERT_TRUE(waitFor([&] { return readFile(desktop.err).find("layer surface") != std::string::npos; }, 10));
  sway.stop();
  const ProgramRun ended = finish(desktop);
  EXPECT_EQ(ended.exitCode, 1);
  EXPECT_NE(ended.err.find("kelvo-desktop: lost the display " + sway.socket().string()), std::string::npos)
      << ended.err;
}

TEST(DesktopX11Session, SavesRedrawAtOnceClicksOpenTheLinkAndTheMenuResizes) {
  Xvfb server(1024, 768);
  ASSERT_TRUE(server.running());
  const Scratch scratch;
  fs::remove(scratch.shared());  // made once the widget runs
  // A handler for x-scheme-handler/kelvo: a script that writes the URL it was
  // given to a file, renamed into place so the file never shows up empty.
  const fs::path applications = scratch.root() / "data/applications", script = scratch.root() / "handler.sh";
  for (const fs::path& dir : {applications, scratch.root() / "config"}) fs::create_directories(dir);
  const std::string opened = (scratch.root() / "opened").string();
  writeFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + ".new' && mv '" + opened + ".new' '" +
                        opened + "'\n");
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
  ASSERT_TRUE(shows("small", 10));  // no data yet
  // A new snapshot shows within two seconds of `kelvo save`: into the shared
  // directory once it is made, again when it was deleted and made anew, and
  // into the directory as it is.
  for (const auto& [percent, makeDirectory] : {std::pair{64, true}, {23, true}, {40, false}}) {
    if (makeDirectory) {
      fs::remove_all(scratch.shared());
      fs::create_directory(scratch.shared());
    }
    saveSnapshot(scratch, percent);
    EXPECT_TRUE(shows("small", 2)) << percent << "% not shown within 2 s";
  }
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
            "# mine\n[widget]\nanchor=top-left\nmargin=5\nfamily=large\n[widget other]\nfamily=large\n");
  // The X server going away ends it with status 1 and a line that says so.
  server.stop();
  const ProgramRun ended = finish(desktop);
  EXPECT_EQ(ended.exitCode, 1);
  EXPECT_NE(ended.err.find("kelvo-desktop: lost the display " + server.display()), std::string::npos)
      << ended.err;
}

}  // namespace
}  // namespace kelvo::testing
