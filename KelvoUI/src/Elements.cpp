#include "KelvoUI/Elements.h"

#include <utility>

#include "Node.h"

namespace kelvo::ui {
namespace {

View make(Node n) { return View(std::make_shared<const Node>(std::move(n))); }

Node node(NodeKind kind, std::vector<View> children = {}) {
  Node n;
  n.kind = kind;
  n.children = std::move(children);
  return n;
}

}  // namespace

View VStack(std::vector<View> children) { return VStack(VStackOptions{}, std::move(children)); }

View VStack(VStackOptions options, std::vector<View> children) {
  Node n = node(NodeKind::vstack, std::move(children));
  n.horizontal = options.alignment;
  n.length = options.spacing;
  return make(std::move(n));
}

View HStack(std::vector<View> children) { return HStack(HStackOptions{}, std::move(children)); }

View HStack(HStackOptions options, std::vector<View> children) {
  Node n = node(NodeKind::hstack, std::move(children));
  n.vertical = options.alignment;
  n.length = options.spacing;
  return make(std::move(n));
}

View ZStack(std::vector<View> children) { return ZStack(ZStackOptions{}, std::move(children)); }

View ZStack(ZStackOptions options, std::vector<View> children) {
  Node n = node(NodeKind::zstack, std::move(children));
  n.alignment = options.alignment;
  return make(std::move(n));
}

View Spacer(std::optional<double> minLength) {
  Node n = node(NodeKind::spacer);
  n.length = minLength;
  return make(std::move(n));
}

View Group(View content) { return make(node(NodeKind::group, {std::move(content)})); }
View Group(std::vector<View> children) { return make(node(NodeKind::group, std::move(children))); }

View GeometryReader(std::function<View(const GeometryProxy&)> content) {
  Node n = node(NodeKind::geometryReader);
  n.geometryContent = std::move(content);
  return make(std::move(n));
}

View LazyVGrid(LazyVGridOptions options, std::vector<View> children) {
  Node n = node(NodeKind::grid, std::move(children));
  n.columns = std::move(options.columns);
  n.horizontal = options.alignment;
  n.length = options.spacing;
  return make(std::move(n));
}

View Text(std::string verbatim) {
  Node n = node(NodeKind::text);
  n.string = std::move(verbatim);
  return make(std::move(n));
}

View Text(double instantSecondsSince1970, RelativeUnitsStyle unitsStyle) {
  Node n = node(NodeKind::relativeText);
  n.number = instantSecondsSince1970;
  n.unitsStyle = unitsStyle;
  return make(std::move(n));
}

View Image(SystemImage symbol) {
  Node n = node(NodeKind::symbol);
  n.string = std::move(symbol.systemName);
  return make(std::move(n));
}

View Image(const Bitmap& picture) {
  Node n = node(NodeKind::picture);
  n.picture = picture;
  return make(std::move(n));
}

View Label(std::string title, SystemImage icon) {
  Node n = node(NodeKind::label, {Image(std::move(icon)), Text(title)});
  n.string = std::move(title);
  return make(std::move(n));
}

View Capsule(RoundedCornerStyle style) {
  Node n = node(NodeKind::capsule);
  n.cornerStyle = style;
  return make(std::move(n));
}

View Rectangle() { return make(node(NodeKind::rectangle)); }

View makeForEach(std::vector<std::string> ids, std::vector<View> views) {
  Node n = node(NodeKind::forEach, std::move(views));
  n.ids = std::move(ids);
  return make(std::move(n));
}

}  // namespace kelvo::ui
