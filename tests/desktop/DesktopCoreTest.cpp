// kelvo-desktop's display-free core: settings from the command line and
// desktop.ini, the hit test, the window's place, the refresh timer's rules;
// and the program's answers before it needs a display. (When what is drawn
// changes is the widget's schedule, tested with it.)

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "DesktopSettings.h"
#include "HitTest.h"
#include "HostRefresh.h"
#include "KelvoUI/WidgetRenderer.h"
#include "ProgramRunner.h"
#include "WindowPlacement.h"

namespace kelvo::desktop {
namespace {

namespace fs = std::filesystem;
using kelvo::testing::Scratch;

TEST(DesktopSettings, MarginsAreOneOrTwoWholePixelCounts) {
  // clang-format off
  for (const auto& [text, expected] : std::vector<std::pair<std::string, std::optional<Margin>>>{{"24", Margin{24, 24}},
           {"12,40", Margin{12, 40}}, {"0", Margin{0, 0}}, {"10000", Margin{10000, 10000}}, {"10001", {}}, {"-1", {}}, {"1,", {}},
           {",1", {}}, {"5,5,5", {}}, {" 5", {}}, {"5px", {}}, {"", {}}}) {
    EXPECT_EQ(parseMargin(text), expected) << '"' << text << '"';
  }
  // clang-format on
}

TEST(DesktopSettings, ConfigFileGivesTheGroupsValuesOrOneLineNamingTheProblem) {
  using F = ui::WidgetFamily;
  const Margin m;  // the defaults
  // clang-format off
  // desktop.ini's text, --name, what the settings then hold, and the problem after "FILE:" (empty: none)
  struct Case { const char* file; std::optional<std::string> group; F family; Anchor anchor; Margin margin; std::string problem; };
  const Case cases[] = {
      {"", {}, F::systemSmall, Anchor::topRight, m, ""},
      {"# mine\n[widget]\nfamily=large\nanchor=bottom-left\nmargin=5,6\n", {}, F::systemLarge, Anchor::bottomLeft, {5, 6}, ""},
      {"[widget]\nfamily=large\n[widget desk]\nfamily=medium\n", "desk", F::systemMedium, Anchor::topRight, m, ""},
      {"[widget desk]\nfamily=medium\n", {}, F::systemSmall, Anchor::topRight, m, ""},  // another instance's group only
      {"[widget]\nfamily=large\n[widget desk]\nanchor=center\n", "desk", F::systemLarge, Anchor::center, m, ""},  // NAME over the default group
      {"[widget]\nanchor=center\n\nfamily=huge\n", {}, F::systemSmall, Anchor::topRight, m, "4: family: \"huge\" is not a size (small, medium, large)"},
      {"[widget]\nmargin=-3\n", {}, F::systemSmall, Anchor::topRight, m, "2: margin: \"-3\" is not a margin (PX or X,Y, whole pixels from 0 to 10000)"},
      {"[widget]\nanchor=a\x1b\\b\n", {}, F::systemSmall, Anchor::topRight, m, "2: anchor: \"a\\x1b\\\\b\" is not an anchor"},  // escaped once
      {"[widget]\ncolour=red\n", {}, F::systemSmall, Anchor::topRight, m, "2: unknown key \"colour\" in [widget] (known: layer, anchor, margin, output, family, shared-dir, appearance)"},
      {"[widget desk]\nsize=large\n", "desk", F::systemSmall, Anchor::topRight, m, "2: unknown key \"size\" in [widget desk] (known: layer,"},
      {"[widget]\nlayer=top\nsizes\n", {}, F::systemSmall, Anchor::topRight, m, "3: expected \"key = value\""},
      {"# x\n[widget\nfamily=large\n", {}, F::systemSmall, Anchor::topRight, m, "2: a group header must read [name]"},
      {"[widget]\noutput=\xff\n", {}, F::systemSmall, Anchor::topRight, m, "2: not valid UTF-8"},
  };
  // clang-format on
  const Scratch scratch;
  const fs::path file = scratch.root() / "desktop.ini";
  for (const Case& c : cases) {
    kelvo::testing::writeFile(file, c.file);
    Settings settings;
    const std::string problem = applyConfigFile(file, configGroup(c.group), settings).value_or("");
    const std::string expected = c.problem.empty() ? "" : file.string() + ":" + c.problem;
    EXPECT_EQ(std::tie(problem, settings.family, settings.anchor, settings.margin),
              std::make_tuple(!expected.empty() && problem.starts_with(expected) ? problem : expected,
                              c.family, c.anchor, c.margin))
        << c.file;
  }
  Settings untouched;
  EXPECT_EQ(applyConfigFile(scratch.root() / "missing.ini", "widget", untouched), std::nullopt);
  EXPECT_EQ(applyConfigFile(scratch.root(), "widget", untouched).value_or(""),
            scratch.root().string() + ": not a regular file");
}

TEST(IniEditor, SetsOneKeyKeepingEveryOtherLine) {
  // clang-format off
  struct Case { const char* text; const char* group; const char* value; const char* result; };  // key "family"; result "!N: ..." is a refusal
  for (const Case& c : {
           Case{"", "widget", "large", "[widget]\nfamily=large\n"},
           {"# x\n", "widget", "large", "# x\n\n[widget]\nfamily=large\n"},
           {"[widget]\n; keep\nfamily = small # not a comment\r\nlayer=top", "widget", "large", "[widget]\n; keep\nfamily = large\r\nlayer=top"},
           {"[widget]\nlayer=top\n\n# about desk\n[widget desk]\n", "widget", "large", "[widget]\nlayer=top\nfamily=large\n\n# about desk\n[widget desk]\n"},
           {"[widget]\nlayer=top", "widget desk", "large", "[widget]\nlayer=top\n\n[widget desk]\nfamily=large\n"},
           {"[widget desk]\n[widget]\n", "widget desk", "large", "[widget desk]\nfamily=large\n[widget]\n"},
           {"[widget]\nhalf a thought\n", "widget", "large", "!2: expected \"key = value\""},
           {"", "widget", "large\n[evil]", "!0: cannot write \"family\" in [widget] as one line"},
           {"", "widget]x", "large", "!0: cannot write \"family\" in [widget]x] as one line"}}) {
    // clang-format on
    const Result<std::string> edited = apps::setIniValue(c.text, c.group, "family", c.value);
    EXPECT_EQ(edited ? *edited : "!" + edited.error().message, c.result) << c.text;
    EXPECT_TRUE(!edited || apps::parseIni(*edited)) << *edited;  // what it writes reads back
  }
}

TEST(DesktopSettings, RememberingTheSizeKeepsTheRestOfTheFile) {
  const Scratch scratch;
  const fs::path file = scratch.root() / "new/dir/desktop.ini";
  ASSERT_EQ(rememberFamily(file, "widget desk", ui::WidgetFamily::systemMedium), std::nullopt);
  EXPECT_EQ(kelvo::testing::readFile(file), "[widget desk]\nfamily=medium\n");

  kelvo::testing::writeFile(file,
                            "# mine\n[widget]\nanchor=center\nfamily=small\n\n[widget desk]\nlayer=top\n");
  for (int save = 0; save < 2; ++save) {  // stable from one save to the next
    ASSERT_EQ(rememberFamily(file, "widget", ui::WidgetFamily::systemLarge), std::nullopt);
    EXPECT_EQ(kelvo::testing::readFile(file),
              "# mine\n[widget]\nanchor=center\nfamily=large\n\n[widget desk]\nlayer=top\n");
  }

  // A file it cannot read as a key file is left as the user wrote it.
  kelvo::testing::writeFile(file, "[widget]\nhalf a thought\n");
  EXPECT_EQ(rememberFamily(file, "widget", ui::WidgetFamily::systemLarge).value_or(""),
            file.string() + ":2: expected \"key = value\"; not changed");
  EXPECT_EQ(kelvo::testing::readFile(file), "[widget]\nhalf a thought\n");

  // A linked file is written through the link and keeps its permissions.
  const fs::path link = scratch.root() / "linked.ini", target = scratch.root() / "new/private.ini";
  kelvo::testing::writeFile(target, "[widget]\n");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("new/private.ini", link);
  ASSERT_EQ(rememberFamily(link, "widget", ui::WidgetFamily::systemMedium), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(kelvo::testing::readFile(target), "[widget]\nfamily=medium\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(DesktopSettings, DefaultConfigFileFollowsXdgConfigHomeWhenAbsolute) {
  // clang-format off
  for (const auto& [xdg, expected] : std::vector<std::pair<const char*, std::string>>{{"/x/conf", "/x/conf/kelvo/desktop.ini"},
           {"conf", "/h/.config/kelvo/desktop.ini"}, {nullptr, "/h/.config/kelvo/desktop.ini"}}) {
    // clang-format on
    const auto environment = [xdg](const char* name) -> const char* {
      return name == std::string("HOME") ? "/h" : name == std::string("XDG_CONFIG_HOME") ? xdg : nullptr;
    };
    EXPECT_EQ(defaultConfigFile(environment), expected);
  }
}

TEST(DesktopHitTest, TheRoundedCornersAreNotTheWidgets) {
  // clang-format off
  for (const auto& [size, point, hit] : std::vector<std::tuple<ui::Size, ui::Point, bool>>{{{170, 170}, {85, 85}, true},
           {{170, 170}, {0, 85}, true}, {{170, 170}, {169.9, 85}, true}, {{170, 170}, {170, 85}, false},
           {{170, 170}, {-0.1, 85}, false}, {{170, 170}, {0, 0}, false}, {{170, 170}, {3, 3}, false}, {{170, 170}, {22, 0}, true},
           {{170, 170}, {6.5, 6.5}, true}, {{170, 170}, {6.4, 6.4}, false}, {{170, 170}, {166, 166}, false},
           {{170, 170}, {163.5, 163.5}, true}, {{170, 170}, {85, 170}, false},
           {{40, 10}, {20, 5}, true}, {{40, 10}, {0.5, 0.5}, false}}) {  // the radius shrinks to fit a thin widget
    // clang-format on
    EXPECT_EQ(hitsWidget(size, ui::widgetCornerRadius, point), hit) << point.x << ',' << point.y;
  }
}

TEST(HostRefresh, WakesJustPastTheChangeAtMostADayAheadAndReloadsOnceItsTimeHasCome) {
  const Date now{1'800'000'000};
  // clang-format off
  // the change's instant (seconds from now), the delay, and what a wake at that instant does for a reload due at now + 60
  for (const auto& [at, delay, wake] : std::vector<std::tuple<double, guint, apps::Wake>>{
           {0.0004, 2, apps::Wake::redraw}, {59, 59'001, apps::Wake::redraw}, {60, 60'001, apps::Wake::reload},
           {-5, 0, apps::Wake::redraw}, {86'400, 86'400'000, apps::Wake::reload}, {1e12, 86'400'000, apps::Wake::reload}}) {
    // clang-format on
    const Date change = now.addingTimeInterval(at);
    EXPECT_EQ(std::make_pair(apps::wakeDelayMilliseconds(change, now),
                             apps::wakeAction(now.addingTimeInterval(60), change)),
              std::make_pair(delay, wake))
        << at;
  }
}

TEST(DesktopPlacement, AnchorsAtTheMarginAndShrinksItToKeepTheWidgetOnTheOutput) {
  using A = Anchor;
  struct Case {
    Area area;
    int w, h;
    A anchor;
    Margin wanted;
    WindowPlacement expected;
  };
  // clang-format off
  for (const Case& c : std::vector<Case>{
           {{0, 0, 1920, 1080}, 170, 170, A::topLeft, {24, 24}, {24, 24, {24, 24}, false}},
           {{0, 0, 1920, 1080}, 170, 170, A::topRight, {24, 24}, {1726, 24, {24, 24}, false}},
           {{0, 0, 1920, 1080}, 170, 170, A::bottomLeft, {24, 24}, {24, 886, {24, 24}, false}},
           {{0, 0, 1920, 1080}, 170, 170, A::bottomRight, {24, 24}, {1726, 886, {24, 24}, false}},
           {{0, 0, 1920, 1080}, 170, 170, A::center, {24, 24}, {875, 455, {24, 24}, false}},
           // a second monitor right of and below the first
           {{1920, 200, 1280, 1024}, 170, 170, A::topRight, {10, 20}, {3020, 220, {10, 20}, false}},
           {{1920, 200, 1280, 1024}, 170, 170, A::bottomLeft, {10, 20}, {1930, 1034, {10, 20}, false}},
           {{1920, 200, 1280, 1024}, 170, 170, A::center, {10, 20}, {2475, 627, {10, 20}, false}},
           // margins past the output: cut to what keeps the widget on it, each axis alone
           {{0, 0, 800, 600}, 170, 170, A::topLeft, {10000, 10000}, {630, 430, {630, 430}, true}},
           {{0, 0, 800, 600}, 170, 170, A::bottomRight, {10000, 10000}, {0, 0, {630, 430}, true}},
           {{0, 0, 800, 600}, 170, 170, A::topRight, {700, 24}, {0, 24, {630, 24}, true}},
           {{0, 0, 800, 600}, 170, 170, A::topLeft, {630, 430}, {630, 430, {630, 430}, false}},
           {{100, 50, 800, 600}, 170, 170, A::bottomLeft, {24, 431}, {124, 50, {24, 430}, true}},
           {{0, 0, 800, 600}, 170, 170, A::center, {10000, 10000}, {315, 215, {10000, 10000}, false}},
           // a widget larger than the output: no margin, its anchored corner on the output's
           {{0, 0, 300, 200}, 400, 300, A::topLeft, {24, 24}, {0, 0, {0, 0}, true}},
           {{0, 0, 300, 200}, 400, 300, A::bottomRight, {24, 24}, {-100, -100, {0, 0}, true}},
           {{0, 0, 300, 200}, 400, 300, A::center, {24, 24}, {-50, -50, {24, 24}, false}},
           // no output known: the margins as asked
           {{0, 0, 0, 0}, 170, 170, A::topLeft, {24, 24}, {24, 24, {24, 24}, false}}}) {
    // clang-format on
    const WindowPlacement placed = placeWidget(c.area, c.w, c.h, c.anchor, c.wanted);
    const auto fields = [](const WindowPlacement& p) {
      return std::tuple(p.x, p.y, p.margin.x, p.margin.y, p.marginFitted);
    };
    EXPECT_EQ(fields(placed), fields(c.expected))
        << "anchor " << int(c.anchor) << " on " << c.area.x << ',' << c.area.y << ' ' << c.area.width << 'x'
        << c.area.height << " margin " << c.wanted.x << ',' << c.wanted.y;
  }
}

TEST(DesktopProgram, AnswersUsageErrorsHelpAndAMissingDisplayWithoutOne) {
  const Scratch scratch;
  std::ofstream(scratch.root() / "bad.ini") << "[widget]\nfamily=tiny\n";
  std::ofstream(scratch.root() / "escape.ini") << "[widget]\nco\x1b\x07lour=red\n";
  // A FIFO, and a sparse file of 3 GiB that costs nothing on disk: neither is read.
  const fs::path fifo = scratch.root() / "fifo.ini", sparse = scratch.root() / "sparse.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream{sparse};
  fs::resize_file(sparse, std::uintmax_t(3) << 30);
  // clang-format off
  for (const auto& [args, exitCode, says] : std::vector<std::tuple<std::vector<std::string>, int, std::string>>{
           {{"--help"}, 0, "--anchor ANCHOR             Where on the output: top-left, top-right, bottom-left, bottom-right, center"},
           {{"--config", (scratch.root() / "none.ini").string()}, 1, "none.ini: cannot open: No such file or directory\n"},
           {{"--family", "large"}, 1, "kelvo-desktop: cannot open a display"},
           // A malformed config file is named with its line; the defaults are used.
           {{"--config", (scratch.root() / "bad.ini").string()}, 1, (scratch.root() / "bad.ini").string() + ":2: family: \"tiny\" is not a size (small, medium, large); using the defaults\n"},
           {{"--config", (scratch.root() / "escape.ini").string()}, 1, ":2: unknown key \"co\\x1b\\x07lour\" in [widget] (known:"},
           {{"--config", fifo.string()}, 1, fifo.string() + ": not a regular file; using the defaults\n"},
           {{"--config", sparse.string()}, 1, sparse.string() + ": larger than 256 KiB; using the defaults\n"},
           // An instance name must make a group name that GKeyFile can write.
           {{"--name", "a\nb"}, 2, "--name: \"a\\nb\" cannot"}, {{"--name", std::string(65, 'n')}, 2, "cannot name an instance"}, {{"--name", "car 2"}, 1, "cannot open a display"}}) {
    // clang-format on
    const auto run = kelvo::testing::runProgram("kelvo-desktop", args, scratch);
    EXPECT_EQ(run.exitCode, exitCode) << args.back();
    EXPECT_NE((run.out + run.err).find(says), std::string::npos) << run.out << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    EXPECT_LT(run.peakKiB, 64 * 1024) << args.back();
  }
}

}  // namespace
}  // namespace kelvo::desktop
