#include "KelvoUI/View.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "KelvoUI/Elements.h"
#include "Node.h"

namespace kelvo::ui {
namespace {

const std::shared_ptr<const Node>& emptyNode() {
  static const std::shared_ptr<const Node> node = std::make_shared<const Node>();
  return node;
}

View wrap(const View& child, Node node) {
  node.children = {child};
  return View(std::make_shared<const Node>(std::move(node)));
}

Node modifier(NodeKind kind) {
  Node n;
  n.kind = kind;
  return n;
}

}  // namespace

View::View() : node_(emptyNode()) {}
View::View(std::shared_ptr<const Node> node) : node_(node ? std::move(node) : emptyNode()) {}

bool View::isEmpty() const { return node_->kind == NodeKind::empty; }

View View::makeNamed(const char* name, std::function<View(const Environment&)> body) {
  Node n = modifier(NodeKind::named);
  n.string = name ? name : "";
  n.environmentContent = std::move(body);
  return View(std::make_shared<const Node>(std::move(n)));
}

View View::font(const Font& font) const {
  Node n = modifier(NodeKind::font);
  n.font = font;
  return wrap(*this, std::move(n));
}

View View::fontWeight(FontWeight weight) const {
  Node n = modifier(NodeKind::fontWeight);
  n.weight = weight;
  return wrap(*this, std::move(n));
}

View View::foregroundStyle(const ShapeStyle& style) const {
  Node n = modifier(NodeKind::foreground);
  n.style = style;
  return wrap(*this, std::move(n));
}

View View::lineLimit(std::optional<int> lines) const {
  Node n = modifier(NodeKind::lineLimit);
  // A limit below one line means no limit, as in the toolkit.
  n.lines = lines && *lines >= 1 ? lines : std::nullopt;
  return wrap(*this, std::move(n));
}

View View::minimumScaleFactor(double factor) const {
  Node n = modifier(NodeKind::minimumScale);
  // Out-of-range factors are clamped; NaN means no shrinking.
  n.number = std::isnan(factor) ? 1.0 : std::clamp(factor, 0.01, 1.0);
  return wrap(*this, std::move(n));
}

View View::multilineTextAlignment(TextAlignment alignment) const {
  Node n = modifier(NodeKind::textAlignment);
  n.textAlignment = alignment;
  return wrap(*this, std::move(n));
}

View View::labelStyle(LabelStyle style) const {
  Node n = modifier(NodeKind::labelStyle);
  n.labelStyle = style;
  return wrap(*this, std::move(n));
}

View View::frame(const FrameOptions& options) const {
  Node n = modifier(NodeKind::frame);
  n.frame = options;
  return wrap(*this, std::move(n));
}

View View::padding() const {
  return padding(EdgeInsets{defaultPadding, defaultPadding, defaultPadding, defaultPadding});
}

View View::padding(double length) const { return padding(EdgeInsets{length, length, length, length}); }

View View::padding(Edges edges, std::optional<double> length) const {
  const double l = length.value_or(defaultPadding);
  EdgeInsets insets;
  if (contains(edges, Edges::top)) insets.top = l;
  if (contains(edges, Edges::leading)) insets.leading = l;
  if (contains(edges, Edges::bottom)) insets.bottom = l;
  if (contains(edges, Edges::trailing)) insets.trailing = l;
  return padding(insets);
}

View View::padding(const EdgeInsets& insets) const {
  Node n = modifier(NodeKind::padding);
  n.insets = insets;
  return wrap(*this, std::move(n));
}

View View::layoutPriority(double priority) const {
  Node n = modifier(NodeKind::layoutPriority);
  n.number = priority;
  return wrap(*this, std::move(n));
}

View View::fill(const ShapeStyle& style) const {
  Node n = modifier(NodeKind::fill);
  n.style = style;
  return wrap(*this, std::move(n));
}

View View::resizable() const { return wrap(*this, modifier(NodeKind::resizable)); }
View View::scaledToFit() const { return wrap(*this, modifier(NodeKind::scaledToFit)); }
View View::scaledToFill() const { return wrap(*this, modifier(NodeKind::scaledToFill)); }

View View::accessibilityHidden(bool hidden) const {
  Node n = modifier(NodeKind::accessibilityHidden);
  n.flag = hidden;
  return wrap(*this, std::move(n));
}

View View::widgetURL(const std::string& url) const {
  Node n = modifier(NodeKind::widgetURL);
  n.string = url;
  return wrap(*this, std::move(n));
}

View View::containerBackground(const ShapeStyle& style, ContainerBackgroundPlacement) const {
  Node n = modifier(NodeKind::containerBackground);
  n.style = style;
  return wrap(*this, std::move(n));
}

View EmptyView() { return View(); }

View EnvironmentReader(std::function<View(const Environment&)> content) {
  Node n;
  n.kind = NodeKind::environmentReader;
  n.environmentContent = std::move(content);
  return View(std::make_shared<const Node>(std::move(n)));
}

}  // namespace kelvo::ui
