#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Elements.h"
#include "KelvoUI/LaidOutNode.h"
#include "KelvoUI/View.h"

namespace kelvo::ui {

// What each kind of element holds. A node's kind is which of these it holds,
// so one kind cannot carry another's data.
struct EmptyElement {};
struct TextElement {
  std::string text;  // shown verbatim
};
struct RelativeTextElement {
  double instant;  // seconds since 1970
  RelativeUnitsStyle unitsStyle;
};
struct SymbolElement {
  std::string systemName;
};
struct PictureElement {
  Bitmap picture;
};
struct LabelElement {};  // icon and title are its two children
struct ShapeElement {
  ShapeDrawing::Kind kind;
  RoundedCornerStyle cornerStyle;
};
struct SpacerElement {
  std::optional<double> minLength;
};
struct VStackElement {
  VStackOptions options;
};
struct HStackElement {
  HStackOptions options;
};
struct ZStackElement {
  ZStackOptions options;
};
struct GroupElement {};
struct ForEachElement {
  std::vector<std::string> ids;  // one per child
};
struct GeometryReaderElement {
  std::function<View(const GeometryProxy&)> content;
};
struct GridElement {
  std::vector<GridItem> columns;
  std::optional<double> spacing;  // between rows; the grid's alignment moves nothing, so it is not kept
};
struct NamedElement {
  std::string name;  // the named view's type name
  std::function<View(const Environment&)> body;
};
struct EnvironmentReaderElement {
  std::function<View(const Environment&)> content;
};

using Element =
    std::variant<EmptyElement, TextElement, RelativeTextElement, SymbolElement, PictureElement, LabelElement,
                 ShapeElement, SpacerElement, VStackElement, HStackElement, ZStackElement, GroupElement,
                 ForEachElement, GeometryReaderElement, GridElement, NamedElement, EnvironmentReaderElement>;

// One element, or one modifier wrapping exactly one child (children[0]).
// Immutable once made; shared between views.
struct Node {
  std::variant<Element, Modifier> payload;
  std::vector<View> children;
};

}  // namespace kelvo::ui
