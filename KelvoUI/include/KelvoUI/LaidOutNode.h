#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Elements.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/Symbols.h"
#include "KelvoUI/TextMeasurer.h"

namespace kelvo::ui {

// The instant a relative time text words, and how.
struct RelativeTimeSource {
  double instant = 0;  // seconds since 1970; NaN or infinite when unusable
  RelativeUnitsStyle unitsStyle = RelativeUnitsStyle::narrow;
};

// What a Text node draws: the request that gave its lines, and its colour.
struct TextDrawing {
  TextRequest request;                             // text, font, scale, wrap width and line limit as laid out
  ShapeStyle foreground;                           // colour of the glyphs
  bool truncated = false;                          // cut at the line limit (or the height) with "…"
  int lineCount = 0;                               // lines shown
  double firstBaseline = 0;                        // from the frame's top, points
  std::optional<int> lineLimit;                    // as the lineLimit modifier set it
  double minimumScaleFactor = 1;                   // as the minimumScaleFactor modifier set it
  std::optional<RelativeTimeSource> relativeTime;  // what a relative time text was worded from
};

// What an Image(systemName:) node draws.
struct SymbolDrawing {
  std::string systemName;            // as the view gave it
  std::optional<SymbolGlyph> glyph;  // nullopt: unknown name, nothing drawn
  double pointSize = 0;              // em size of the glyph, points
  ShapeStyle foreground;             // colour of the glyph
};

// How a resizable picture keeps its aspect ratio, if it does.
enum class ContentMode { none, fit, fill };

// What an Image of a picture draws: the bitmap scaled into `drawnRect`.
struct PictureDrawing {
  Bitmap picture;
  Rect drawnRect;  // widget points; inside the node's frame when scaled to fit
  bool resizable = false;
  ContentMode contentMode = ContentMode::none;
};

// What a Capsule or Rectangle node draws.
struct ShapeDrawing {
  enum class Kind { capsule, rectangle };
  Kind kind = Kind::capsule;
  ShapeStyle fill;  // the fill, or the foreground style when none was set
  RoundedCornerStyle cornerStyle = RoundedCornerStyle::continuous;
};

// How a container or a frame was asked to arrange what is inside it.
struct StackDetails {                                              // VStack, HStack, Label
  std::variant<HorizontalAlignment, VerticalAlignment> alignment;  // across the stack's axis
  std::optional<double> spacing;                                   // points; nullopt: the default
};
struct ZStackDetails {
  Alignment alignment;
};
struct SpacerDetails {
  double minLength = 0;  // points
};
struct GridDetails {
  std::vector<GridItem> columns;  // bounds made valid
  std::optional<double> spacing;  // between rows, points; nullopt: the default
};
struct FrameDetails {
  FrameOptions options;  // as the frame modifier gave them
};
struct PaddingDetails {
  EdgeInsets insets;  // non-finite lengths made 0
};
using LayoutDetails = std::variant<std::monostate, StackDetails, ZStackDetails, SpacerDetails, GridDetails,
                                   FrameDetails, PaddingDetails>;

// What modifiers mark on the outermost node of what they wrap.
struct Decorations {
  std::vector<std::string> viewNames;             // named views whose body begins here, outermost first
  std::optional<std::string> id;                  // identity given by ForEach
  bool accessibilityHidden = false;               // this subtree is left out of accessibility
  std::optional<std::string> widgetURL;           // click target set here
  std::optional<ShapeStyle> containerBackground;  // widget background set here
  std::optional<double> layoutPriority;           // set by the outermost layoutPriority here
};

// What a node draws: nothing (containers, spacers, frames, padding and empty
// images), or one text, symbol, picture or shape.
using Drawing = std::variant<std::monostate, TextDrawing, SymbolDrawing, PictureDrawing, ShapeDrawing>;

// One node of the laid-out tree: where an element landed, what marks it and
// what it draws. Modifiers that only style (font, colours, line limits)
// leave no node of their own; frames and padding do ("Frame", "Padding").
struct LaidOutNode {
  std::string type;  // "VStack", "HStack", "ZStack", "Spacer", "Group", "GeometryReader", "LazyVGrid",
                     // "ForEach", "Text", "Label", "Image", "Capsule", "Rectangle", "Frame", "Padding"
  Rect frame;        // widget points
  std::vector<LaidOutNode> children;
  Decorations decorations;
  Drawing drawing;
  LayoutDetails details;  // for containers, spacers, frames and padding
};

}  // namespace kelvo::ui
