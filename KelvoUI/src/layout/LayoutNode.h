#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "KelvoUI/Elements.h"
#include "KelvoUI/Environment.h"
#include "KelvoUI/LaidOutNode.h"
#include "KelvoUI/TextMeasurer.h"

namespace kelvo::ui {

// Styling passed down from modifiers to the elements inside them.
struct InheritedStyle {
  Font font = Font::body;
  std::optional<FontWeight> weight;
  ShapeStyle foreground = ShapeStyle::primary;
  std::optional<int> lineLimit;
  double minimumScaleFactor = 1;
  TextAlignment textAlignment = TextAlignment::leading;
  LabelStyle labelStyle = LabelStyle::automatic;
  // Only for the element right under the modifier (shape fill, picture sizing).
  std::optional<ShapeStyle> fill;
  bool resizable = false;
  ContentMode contentMode = ContentMode::none;

  Font resolvedFont() const { return weight ? font.withWeight(*weight) : font; }
  InheritedStyle forChildren() const {
    InheritedStyle s = *this;
    s.fill.reset();
    s.resizable = false;
    s.contentMode = ContentMode::none;
    return s;
  }
};

// What every node of one layout run shares.
struct LayoutContext {
  const Environment* environment;
  TextMeasurer* measurer;
  Size visible;  // the most of the content that can be seen, points: no text is laid out beyond it
};

enum class Axis { horizontal, vertical };

// One element in layout: measured for proposals (cached), then placed once.
class LayoutNode {
 public:
  explicit LayoutNode(std::string type) : type_(std::move(type)) {}
  virtual ~LayoutNode() = default;
  LayoutNode(const LayoutNode&) = delete;
  LayoutNode& operator=(const LayoutNode&) = delete;

  // The size for a proposal; the same proposal always gives the same size.
  Size measure(const ProposedSize& proposal);
  // Places the node at `frame` (widget coordinates), whose size is what
  // measure(proposal) answered, and its children inside it.
  virtual void place(const Rect& frame, const ProposedSize& proposal);
  // From the top to the first/last text baseline for a size, if it has text.
  virtual std::optional<double> firstBaseline(const ProposedSize&) { return std::nullopt; }
  virtual std::optional<double> lastBaseline(const ProposedSize& p) { return firstBaseline(p); }

  // Spacers in a stack are sized last; nullopt for every other node.
  virtual std::optional<double> spacerMinLength() const { return std::nullopt; }
  virtual void setSpacerAxis(std::optional<Axis>) {}
  // Group and ForEach hand their children to the enclosing stack or grid.
  virtual bool flattensIntoContainer() const { return false; }
  // Children as a container lays them out (Group and ForEach expanded).
  void collectItems(std::vector<LayoutNode*>& items);

  // Group and ForEach nodes take the union of their placed children.
  void fitToChildren();

  virtual void exportTo(LaidOutNode& out) const;
  LaidOutNode exportTree() const;

  Decorations decorations;
  LayoutDirection direction = LayoutDirection::leftToRight;  // set by the builder from the environment
  std::vector<std::unique_ptr<LayoutNode>> children;
  const Rect& frame() const { return frame_; }
  const std::string& type() const { return type_; }

 protected:
  virtual Size sizeThatFits(const ProposedSize& proposal) = 0;
  // Places a child at `r`, worked out left to right inside this node's
  // frame; right to left it lands mirrored within the frame. Containers
  // place every child through here, so each one mirrors what is inside it.
  void placeChild(LayoutNode& child, Rect r, const ProposedSize& proposal) const;
  Rect frame_;

 private:
  std::string type_;
  std::vector<std::pair<ProposedSize, Size>> cache_;
};

using LayoutNodePtr = std::unique_ptr<LayoutNode>;

// Builds the layout tree of a view: bodies evaluated, styles passed down.
LayoutNodePtr buildLayout(const View& view, const InheritedStyle& style, Decorations decorations,
                          const LayoutContext& context);

// Node types, made by the builder.
LayoutNodePtr makeStackNode(std::string type, Axis axis, HorizontalAlignment h, VerticalAlignment v,
                            std::optional<double> spacing, std::vector<LayoutNodePtr> children);
LayoutNodePtr makeZStackNode(std::string type, Alignment alignment, std::vector<LayoutNodePtr> children);
LayoutNodePtr makeGroupNode(std::string type, std::vector<LayoutNodePtr> children);
LayoutNodePtr makeSpacerNode(std::optional<double> minLength);
LayoutNodePtr makeFrameNode(const FrameOptions& options, LayoutNodePtr child);
LayoutNodePtr makePaddingNode(const EdgeInsets& insets, LayoutNodePtr child);
LayoutNodePtr makeGeometryReaderNode(std::function<View(const GeometryProxy&)> content, InheritedStyle style,
                                     LayoutContext context);
LayoutNodePtr makeGridNode(std::vector<GridItem> columns, std::optional<double> spacing,
                           std::vector<LayoutNodePtr> children);
LayoutNodePtr makeTextNode(std::string text, const InheritedStyle& style, const LayoutContext& context,
                           std::optional<RelativeTimeSource> relativeTime);
LayoutNodePtr makeSymbolNode(std::string systemName, const InheritedStyle& style);
LayoutNodePtr makePictureNode(const Bitmap& picture, const InheritedStyle& style);
LayoutNodePtr makeShapeNode(ShapeDrawing::Kind kind, RoundedCornerStyle corners, const InheritedStyle& style);

}  // namespace kelvo::ui
