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

// Sizes, line heights and weights of the platform's text styles.
inline const Font Font::title{"title", 22, 26, FontWeight::regular, FontDesign::standard};
inline const Font Font::headline{"headline", 13, 16, FontWeight::bold, FontDesign::standard};
inline const Font Font::body{"body", 13, 16, FontWeight::regular, FontDesign::standard};
inline const Font Font::callout{"callout", 12, 15, FontWeight::regular, FontDesign::standard};
inline const Font Font::subheadline{"subheadline", 11, 14, FontWeight::regular, FontDesign::standard};
inline const Font Font::caption{"caption", 10, 13, FontWeight::regular, FontDesign::standard};
inline const Font Font::caption2{"caption2", 10, 13, FontWeight::medium, FontDesign::standard};

const char* toString(FontWeight w);
const char* toString(FontDesign d);

}  // namespace kelvo::ui
