#pragma once

#include <string>

namespace kelvo::ui {

enum class Appearance { light, dark };

// Whether colours keep their usual contrast or are made stronger: for a
// reader who asks for more contrast, or a panel of two or four greys, where
// a half-transparent caption would dither into noise or vanish.
enum class Contrast { standard, increased };

// What a colour is resolved for.
struct ColorScheme {
  Appearance appearance = Appearance::light;
  Contrast contrast = Contrast::standard;
};

// A concrete colour in sRGB, components 0...1, not premultiplied.
struct Rgba {
  double red = 0, green = 0, blue = 0, alpha = 1;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// A colour that may depend on the appearance; `name` is what the tree dump shows.
struct Color {
  std::string name;     // "green", "accentColor", ... or "#rrggbbaa" for custom colours
  Rgba light;           // value in the light appearance
  Rgba dark;            // value in the dark appearance
  Rgba increasedLight;  // in increased contrast: a system colour's darker variant,
  Rgba increasedDark;   // or its brighter one in dark; a custom colour keeps its value

  static const Color green, orange, accentColor, primary, secondary, black, white, clear;
  // A fixed colour, the same in both appearances; components 0...255, alpha 0...1.
  static Color rgb(int r, int g, int b, double alpha = 1.0);

  Rgba resolved(Appearance a) const { return a == Appearance::dark ? dark : light; }
  Rgba resolved(ColorScheme s) const {
    if (s.contrast == Contrast::standard) return resolved(s.appearance);
    return s.appearance == Appearance::dark ? increasedDark : increasedLight;
  }
  friend bool operator==(const Color&, const Color&) = default;
};

// The level of a hierarchical style: primary is the default text colour.
enum class HierarchyLevel { primary, secondary, tertiary, quaternary };

// What fills text, symbols and shapes: a colour, a level of the foreground
// style (`.secondary`), or a level of the system fill (`.fill.tertiary`).
struct ShapeStyle {
  enum class Kind { color, foreground, fill };
  Kind kind = Kind::foreground;
  HierarchyLevel level = HierarchyLevel::primary;  // for foreground and fill
  Color color;                                     // for Kind::color

  ShapeStyle() = default;
  ShapeStyle(Color c) : kind(Kind::color), color(std::move(c)) {}  // NOLINT: implicit like the toolkit's
  ShapeStyle(Kind k, HierarchyLevel l) : kind(k), level(l) {}

  static const ShapeStyle primary, secondary, tertiary, quaternary;

  // `.fill.tertiary`: ShapeStyle::fill.tertiary.
  struct FillLevels;
  static const FillLevels fill;

  // The name shown in the tree dump: "secondary", "fill.tertiary", "green", ...
  std::string name() const;
  Rgba resolved(Appearance a) const;
  Rgba resolved(ColorScheme s) const;
  friend bool operator==(const ShapeStyle&, const ShapeStyle&) = default;
};

// Defined here, not in a source file, so views made during static
// initialisation elsewhere see them initialised.
// The increased-contrast variants keep each hue but stand further from the
// paper: dark enough in the light appearance to stay below the middle grey
// once a panel's paper is stretched to white, bright enough in the dark one.
inline const Color Color::green{"green",
                                {40 / 255.0, 205 / 255.0, 65 / 255.0, 1},
                                {50 / 255.0, 215 / 255.0, 75 / 255.0, 1},
                                {20 / 255.0, 110 / 255.0, 45 / 255.0, 1},
                                {48 / 255.0, 219 / 255.0, 91 / 255.0, 1}};
inline const Color Color::orange{"orange",
                                 {1, 149 / 255.0, 0, 1},
                                 {1, 159 / 255.0, 10 / 255.0, 1},
                                 {201 / 255.0, 52 / 255.0, 0, 1},
                                 {1, 179 / 255.0, 64 / 255.0, 1}};
inline const Color Color::accentColor{"accentColor",
                                      {0, 122 / 255.0, 1, 1},
                                      {10 / 255.0, 132 / 255.0, 1, 1},
                                      {0, 64 / 255.0, 221 / 255.0, 1},
                                      {64 / 255.0, 156 / 255.0, 1, 1}};
inline const Color Color::primary{"primary", {0, 0, 0, 0.85}, {1, 1, 1, 0.85}, {0, 0, 0, 1}, {1, 1, 1, 1}};
inline const Color Color::secondary{
    "secondary", {0, 0, 0, 0.5}, {1, 1, 1, 0.5}, {0, 0, 0, 0.85}, {1, 1, 1, 0.85}};
inline const Color Color::black{"black", {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}};
inline const Color Color::white{"white", {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};
inline const Color Color::clear{"clear", {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};

struct ShapeStyle::FillLevels {
  ShapeStyle primary, secondary, tertiary, quaternary;
};

inline const ShapeStyle ShapeStyle::primary{Kind::foreground, HierarchyLevel::primary};
inline const ShapeStyle ShapeStyle::secondary{Kind::foreground, HierarchyLevel::secondary};
inline const ShapeStyle ShapeStyle::tertiary{Kind::foreground, HierarchyLevel::tertiary};
inline const ShapeStyle ShapeStyle::quaternary{Kind::foreground, HierarchyLevel::quaternary};
inline const ShapeStyle::FillLevels ShapeStyle::fill{
    {Kind::fill, HierarchyLevel::primary},
    {Kind::fill, HierarchyLevel::secondary},
    {Kind::fill, HierarchyLevel::tertiary},
    {Kind::fill, HierarchyLevel::quaternary},
};

// Opacity of each hierarchy level over black (light) or white (dark).
double foregroundOpacity(HierarchyLevel level, Contrast contrast = Contrast::standard);
double fillOpacity(HierarchyLevel level, Contrast contrast = Contrast::standard);

// The colour of the host's window material, which fills the widget's rounded
// shape behind the container background and the content.
Rgba windowMaterial(Appearance a);

}  // namespace kelvo::ui
