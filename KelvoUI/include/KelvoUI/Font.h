#pragma once

#include <string>

namespace kelvo::ui {

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

// `standard` is the platform's default design (Inter here); `rounded` uses the
// rounded face (Quicksand).
enum class FontDesign { standard, rounded, monospaced, serif };

// A font as views ask for it: a named text style or an explicit system size.
// Sizes and line heights are in points.
struct Font {
  std::string styleName;  // "headline", ... or "system" for Font::system
  double size = 13;       // point size
  double lineHeight = 0;  // line height in points; 0 = the face's natural line height
  FontWeight weight = FontWeight::regular;
  FontDesign design = FontDesign::standard;

  static const Font title, headline, body, callout, subheadline, caption, caption2;
  static Font system(double size, FontWeight weight = FontWeight::regular,
                     FontDesign design = FontDesign::standard);

  // The same font at another weight (`Font.headline.weight(.regular)`).
  Font withWeight(FontWeight w) const;
  friend bool operator==(const Font&, const Font&) = default;
};

const char* toString(FontWeight w);
const char* toString(FontDesign d);

}  // namespace kelvo::ui
