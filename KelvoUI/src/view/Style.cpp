#include "KelvoUI/Style.h"

#include <cmath>
#include <cstdio>

#include "KelvoBase/Unreachable.h"

namespace kelvo::ui {
namespace {

Rgba rgb255(int r, int g, int b, double a = 1) { return {r / 255.0, g / 255.0, b / 255.0, a}; }

const char* levelName(HierarchyLevel l) {
  switch (l) {
    case HierarchyLevel::primary:
      return "primary";
    case HierarchyLevel::secondary:
      return "secondary";
    case HierarchyLevel::tertiary:
      return "tertiary";
    case HierarchyLevel::quaternary:
      return "quaternary";
  }
  unreachable(__func__);
}

// Black in the light appearance, white in the dark one, at an opacity.
Rgba ink(Appearance a, double opacity) {
  return a == Appearance::dark ? Rgba{1, 1, 1, opacity} : Rgba{0, 0, 0, opacity};
}

}  // namespace

Color Color::rgb(int r, int g, int b, double alpha) {
  char name[16];
  const auto clampByte = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
  r = clampByte(r);
  g = clampByte(g);
  b = clampByte(b);
  alpha = std::isnan(alpha) ? 1.0 : (alpha < 0 ? 0.0 : (alpha > 1 ? 1.0 : alpha));
  std::snprintf(name, sizeof name, "#%02x%02x%02x%02x", r, g, b, int(std::lround(alpha * 255)));
  const Rgba value = rgb255(r, g, b, alpha);
  return {name, value, value, value, value};
}

double foregroundOpacity(HierarchyLevel level, Contrast contrast) {
  const bool increased = contrast == Contrast::increased;
  switch (level) {
    case HierarchyLevel::primary:
      return increased ? 1 : 0.85;
    case HierarchyLevel::secondary:
      return increased ? 0.85 : 0.5;
    case HierarchyLevel::tertiary:
      return increased ? 0.6 : 0.26;
    case HierarchyLevel::quaternary:
      return increased ? 0.3 : 0.1;
  }
  unreachable(__func__);
}

double fillOpacity(HierarchyLevel level, Contrast contrast) {
  // Fills stay light (they are tracks and wells behind the content), only
  // a little more visible.
  const double scale = contrast == Contrast::increased ? 2 : 1;
  switch (level) {
    case HierarchyLevel::primary:
      return 0.1 * scale;
    case HierarchyLevel::secondary:
      return 0.08 * scale;
    case HierarchyLevel::tertiary:
      return 0.05 * scale;
    case HierarchyLevel::quaternary:
      return 0.03 * scale;
  }
  unreachable(__func__);
}

std::string ShapeStyle::name() const {
  switch (kind) {
    case Kind::color:
      return color.name;
    case Kind::foreground:
      return levelName(level);
    case Kind::fill:
      return std::string("fill.") + levelName(level);
  }
  unreachable(__func__);
}

Rgba ShapeStyle::resolved(Appearance a) const { return resolved(ColorScheme{a, Contrast::standard}); }

Rgba ShapeStyle::resolved(ColorScheme s) const {
  switch (kind) {
    case Kind::color:
      return color.resolved(s);
    case Kind::foreground:
      return ink(s.appearance, foregroundOpacity(level, s.contrast));
    case Kind::fill:
      return ink(s.appearance, fillOpacity(level, s.contrast));
  }
  unreachable(__func__);
}

Rgba windowMaterial(Appearance a) {
  return a == Appearance::dark ? rgb255(30, 30, 32) : rgb255(246, 246, 246);
}

}  // namespace kelvo::ui
