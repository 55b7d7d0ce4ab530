#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Elements.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/Symbols.h"
#include "KelvoUI/TextMeasurer.h"

namespace kelvo::ui {

// What a Text node draws: the request that gave its lines, and its colour.
struct TextDrawing {
  TextRequest request;       // text, font, scale, wrap width and line limit as laid out
  ShapeStyle foreground;     // colour of the glyphs
  bool truncated = false;    // cut at the line limit (or the height) with "…"
  int lineCount = 0;         // lines shown
  double firstBaseline = 0;  // from the frame's top, points
};

// What an Image(systemName:) node draws.
struct SymbolDrawing {
  std::string systemName;            // as the view gave it
  std::optional<SymbolGlyph> glyph;  // nullopt: unknown name, nothing drawn
  double pointSize = 0;              // em size of the glyph, points
  ShapeStyle foreground;             // colour of the glyph
};

// What an Image of a picture draws: the bitmap scaled into `drawnRect`.
struct PictureDrawing {
  Bitmap picture;
  Rect drawnRect;  // widget points; inside the node's frame when scaled to fit
};

// What a Capsule or Rectangle node draws.
struct ShapeDrawing {
  enum class Kind { capsule, rectangle };
  Kind kind = Kind::capsule;
  ShapeStyle fill;  // the fill, or the foreground style when none was set
  RoundedCornerStyle cornerStyle = RoundedCornerStyle::continuous;
};

// One node of the laid-out tree: where an element landed and what it draws.
// Modifiers that only style (font, colours, line limits) leave no node of
// their own; frames and padding do ("Frame", "Padding").
struct LaidOutNode {
  std::string type;  // "VStack", "HStack", "ZStack", "Spacer", "Group", "GeometryReader", "LazyVGrid",
                     // "ForEach", "Text", "Label", "Image", "Capsule", "Rectangle", "Frame", "Padding"
  Rect frame;        // widget points
  std::vector<LaidOutNode> children;

  std::vector<std::string> viewNames;             // named views whose body begins here, outermost first
  std::optional<std::string> id;                  // identity given by ForEach
  bool accessibilityHidden = false;               // this subtree is left out of accessibility
  std::optional<std::string> widgetURL;           // click target set here
  std::optional<ShapeStyle> containerBackground;  // widget background set here

  std::optional<TextDrawing> text;
  std::optional<SymbolDrawing> symbol;
  std::optional<PictureDrawing> picture;
  std::optional<ShapeDrawing> shape;

  nlohmann::json attributes = nlohmann::json::object();  // layout details for the dump (spacing, ...)
};

}  // namespace kelvo::ui
