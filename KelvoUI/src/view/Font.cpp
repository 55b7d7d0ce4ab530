#include "KelvoUI/Font.h"

#include "KelvoBase/Unreachable.h"

namespace kelvo::ui {

Font Font::system(double size, FontWeight weight, FontDesign design) {
  // Sizes that are not a positive number fall back to the body size.
  if (!(size > 0) || size > 1000) size = 13;
  return Font{"system", size, 0, weight, design};
}

Font Font::withWeight(FontWeight w) const {
  Font f = *this;
  f.weight = w;
  return f;
}

const char* toString(FontWeight w) {
  switch (w) {
    case FontWeight::ultraLight:
      return "ultraLight";
    case FontWeight::thin:
      return "thin";
    case FontWeight::light:
      return "light";
    case FontWeight::regular:
      return "regular";
    case FontWeight::medium:
      return "medium";
    case FontWeight::semibold:
      return "semibold";
    case FontWeight::bold:
      return "bold";
    case FontWeight::heavy:
      return "heavy";
    case FontWeight::black:
      return "black";
  }
  unreachable(__func__);
}

const char* toString(FontDesign d) {
  switch (d) {
    case FontDesign::standard:
      return "default";
    case FontDesign::rounded:
      return "rounded";
    case FontDesign::monospaced:
      return "monospaced";
    case FontDesign::serif:
      return "serif";
  }
  unreachable(__func__);
}

}  // namespace kelvo::ui
