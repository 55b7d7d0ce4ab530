// kelvo-desktop on a Wayland compositor with the layer-shell protocol
// (headless sway at 2x, 512 x 384 logical pixels): a layer surface at the
// anchor, drawn at the output's scale.

#include "DesktopTestSupport.h"

namespace kelvo::testing {
namespace {

struct LayerPlacement {
  const char* name;
  std::vector<std::string> options;
  const char *family, *appearance;
  const char* layer;  // and output, as the log names them
  int x, y;           // the widget's corner in logical pixels
};

class DesktopWayland : public ::testing::TestWithParam<LayerPlacement> {};

TEST_P(DesktopWayland, LayerSurfaceSitsAtTheAnchorAndShowsTheRenderAtTheOutputScale) {
  const LayerPlacement& p = GetParam();
  const HeadlessSway sway(1024, 768, 2);
  ASSERT_TRUE(sway.running()) << sway.log();
  const Scratch scratch;
  saveSnapshot(scratch, 64);
  const Image render = renderReference(scratch, scratch.shared(), p.family, p.appearance, 2);
  ASSERT_GT(render.width, 0);
  std::vector<std::string> args = {
      "--shared-dir", scratch.shared().string(), "--family", p.family, "--appearance", p.appearance};
  args.insert(args.end(), p.options.begin(), p.options.end());
  const Started desktop = start("kelvo-desktop", args, scratch,
                                {"WAYLAND_DISPLAY=" + sway.socket().string(), "GDK_BACKEND=wayland",
                                 "NO_AT_BRIDGE=1", "XDG_RUNTIME_DIR=" + scratch.root().string()});
  expectShownAlone(sway, scratch, p.x * 2, p.y * 2, render);
  const ProgramRun ended = terminate(desktop);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  EXPECT_NE(ended.err.find(std::string("layer surface on the ") + p.layer), std::string::npos) << ended.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Placements, DesktopWayland, ::testing::Values(
    LayerPlacement{"SmallBottomLeftLight", {"--anchor", "bottom-left", "--margin", "10,40"}, "small", "light", "bottom layer", 10, 384 - 170 - 40},
    LayerPlacement{"MediumTopRightDarkOnTop", {"--layer", "top", "--output", "HEADLESS-1"}, "medium", "dark", "top layer of HEADLESS-1", 512 - 364 - 24, 24}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace kelvo::testing
