#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Elements.h"
#include "KelvoUI/View.h"

namespace kelvo::ui {

// What one node of a view tree is. Elements first, then modifiers (which
// wrap exactly one child).
enum class NodeKind {
  empty,
  text,
  relativeText,
  symbol,
  picture,
  label,
  capsule,
  rectangle,
  spacer,
  vstack,
  hstack,
  zstack,
  group,
  forEach,
  geometryReader,
  grid,
  named,
  environmentReader,
  // modifiers
  font,
  fontWeight,
  foreground,
  lineLimit,
  minimumScale,
  textAlignment,
  labelStyle,
  frame,
  padding,
  layoutPriority,
  fill,
  resizable,
  scaledToFit,
  scaledToFill,
  accessibilityHidden,
  widgetURL,
  containerBackground,
};

// One element or modifier. Immutable once made; shared between views.
struct Node {
  NodeKind kind = NodeKind::empty;
  std::vector<View> children;  // a modifier's one child is children[0]

  std::string string;            // text, symbol name, label title, URL, view name
  double number = 0;             // instant, scale factor, priority
  std::optional<double> length;  // spacing, minimum length, padding length
  std::optional<int> lines;      // line limit
  bool flag = false;             // accessibilityHidden

  HorizontalAlignment horizontal = HorizontalAlignment::center;
  VerticalAlignment vertical = VerticalAlignment::center;
  Alignment alignment = Alignment::center;
  TextAlignment textAlignment = TextAlignment::leading;
  RelativeUnitsStyle unitsStyle = RelativeUnitsStyle::narrow;
  LabelStyle labelStyle = LabelStyle::automatic;
  RoundedCornerStyle cornerStyle = RoundedCornerStyle::continuous;

  Font font;
  FontWeight weight = FontWeight::regular;
  ShapeStyle style;
  FrameOptions frame;
  EdgeInsets insets;
  Bitmap picture;
  std::vector<GridItem> columns;
  std::vector<std::string> ids;  // ForEach identities, one per child

  std::function<View(const GeometryProxy&)> geometryContent;
  std::function<View(const Environment&)> environmentContent;  // named bodies and environment readers

  static bool isModifier(NodeKind k) { return k >= NodeKind::font; }
};

}  // namespace kelvo::ui
