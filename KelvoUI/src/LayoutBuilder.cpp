// Turns a view tree into layout nodes: evaluates bodies against the
// environment and passes styling down to the elements.

#include <algorithm>
#include <cmath>

#include "KelvoUI/RelativeTime.h"
#include "LayoutNode.h"
#include "Node.h"
#include "Utf8.h"

namespace kelvo::ui {
namespace {

// Stands in for an empty view that a frame or padding still sizes.
class EmptyNode final : public LayoutNode {
 public:
  EmptyNode() : LayoutNode("Empty") {}

 protected:
  Size sizeThatFits(const ProposedSize&) override { return {}; }
};

std::vector<LayoutNodePtr> buildChildren(const Node& n, const InheritedStyle& style,
                                         const LayoutContext& context) {
  std::vector<LayoutNodePtr> out;
  const InheritedStyle childStyle = style.forChildren();
  for (size_t i = 0; i < n.children.size(); ++i) {
    Decorations d;
    if (n.kind == NodeKind::forEach && i < n.ids.size()) d.id = n.ids[i];
    if (auto child = buildLayout(n.children[i], childStyle, std::move(d), context))
      out.push_back(std::move(child));
  }
  return out;
}

LayoutNodePtr adopt(LayoutNodePtr node, Decorations decorations) {
  if (node) node->decorations = std::move(decorations);
  return node;
}

const char* unitsStyleName(RelativeUnitsStyle s) {
  return s == RelativeUnitsStyle::narrow ? "narrow" : "abbreviated";
}

LayoutNodePtr buildNode(const View& view, const InheritedStyle& style, Decorations deco,
                        const LayoutContext& context);

}  // namespace

LayoutNodePtr buildLayout(const View& view, const InheritedStyle& style, Decorations decorations,
                          const LayoutContext& context) {
  LayoutNodePtr node = buildNode(view, style, std::move(decorations), context);
  if (node) node->direction = context.environment->layoutDirection;
  return node;
}

namespace {

LayoutNodePtr buildNode(const View& view, const InheritedStyle& style, Decorations deco,
                        const LayoutContext& context) {
  const Node& n = view.node();
  const View* only = n.children.empty() ? nullptr : &n.children.front();
  InheritedStyle s = style;
  switch (n.kind) {
    case NodeKind::empty:
      return nullptr;
    case NodeKind::text:
      return adopt(makeTextNode(validUtf8(n.string), style, context, nlohmann::json::object()),
                   std::move(deco));
    case NodeKind::relativeText: {
      const Environment& env = *context.environment;
      const std::string text =
          env.timeZone
              ? relativeTimeText(n.number, env.now, n.unitsStyle, env.relativeTimeLocale, *env.timeZone)
              : relativeTimeText(n.number, env.now, n.unitsStyle, env.relativeTimeLocale);
      nlohmann::json attributes = {
          {"relativeTime",
           {{"instant", std::isfinite(n.number) ? nlohmann::json(n.number) : nlohmann::json(nullptr)},
            {"unitsStyle", unitsStyleName(n.unitsStyle)}}}};
      return adopt(makeTextNode(validUtf8(text), style, context, std::move(attributes)), std::move(deco));
    }
    case NodeKind::symbol:
      return adopt(makeSymbolNode(n.string, style), std::move(deco));
    case NodeKind::picture:
      return adopt(makePictureNode(n.picture, style), std::move(deco));
    case NodeKind::capsule:
      return adopt(makeShapeNode(ShapeDrawing::Kind::capsule, n.cornerStyle, style), std::move(deco));
    case NodeKind::rectangle:
      return adopt(makeShapeNode(ShapeDrawing::Kind::rectangle, n.cornerStyle, style), std::move(deco));
    case NodeKind::spacer:
      return adopt(makeSpacerNode(n.length), std::move(deco));
    case NodeKind::label: {
      // Icon and title side by side, the icon centred on the title's capitals.
      const InheritedStyle childStyle = style.forChildren();
      std::vector<LayoutNodePtr> parts;
      if (style.labelStyle != LabelStyle::titleOnly && n.children.size() > 0) {
        if (auto icon = buildLayout(n.children[0], childStyle, {}, context)) parts.push_back(std::move(icon));
      }
      if (style.labelStyle != LabelStyle::iconOnly && n.children.size() > 1) {
        if (auto title = buildLayout(n.children[1], childStyle, {}, context))
          parts.push_back(std::move(title));
      }
      const double spacing = std::max(2.0, std::round(style.resolvedFont().size * 0.4));
      return adopt(makeStackNode("Label", Axis::horizontal, HorizontalAlignment::center,
                                 VerticalAlignment::firstTextBaseline, spacing, std::move(parts)),
                   std::move(deco));
    }
    case NodeKind::vstack:
      return adopt(makeStackNode("VStack", Axis::vertical, n.horizontal, VerticalAlignment::center, n.length,
                                 buildChildren(n, style, context)),
                   std::move(deco));
    case NodeKind::hstack:
      return adopt(makeStackNode("HStack", Axis::horizontal, HorizontalAlignment::center, n.vertical,
                                 n.length, buildChildren(n, style, context)),
                   std::move(deco));
    case NodeKind::zstack:
      return adopt(makeZStackNode("ZStack", n.alignment, buildChildren(n, style, context)), std::move(deco));
    case NodeKind::group:
      return adopt(makeGroupNode("Group", buildChildren(n, style, context)), std::move(deco));
    case NodeKind::forEach:
      return adopt(makeGroupNode("ForEach", buildChildren(n, style, context)), std::move(deco));
    case NodeKind::grid:
      return adopt(makeGridNode(n.columns, n.horizontal, n.length, buildChildren(n, style, context)),
                   std::move(deco));
    case NodeKind::geometryReader:
      return adopt(makeGeometryReaderNode(n.geometryContent, style.forChildren(), context), std::move(deco));
    case NodeKind::named:
      deco.viewNames.push_back(n.string);
      if (!n.environmentContent) return nullptr;
      return buildLayout(n.environmentContent(*context.environment), style, std::move(deco), context);
    case NodeKind::environmentReader:
      if (!n.environmentContent) return nullptr;
      return buildLayout(n.environmentContent(*context.environment), style, std::move(deco), context);
    case NodeKind::frame:
    case NodeKind::padding: {
      LayoutNodePtr child = only ? buildLayout(*only, style.forChildren(), {}, context) : nullptr;
      if (!child) child = std::make_unique<EmptyNode>();
      LayoutNodePtr node = n.kind == NodeKind::frame ? makeFrameNode(n.frame, std::move(child))
                                                     : makePaddingNode(n.insets, std::move(child));
      return adopt(std::move(node), std::move(deco));
    }
    case NodeKind::font:
      s.font = n.font;
      break;
    case NodeKind::fontWeight:
      s.weight = n.weight;
      break;
    case NodeKind::foreground:
      s.foreground = n.style;
      break;
    case NodeKind::lineLimit:
      s.lineLimit = n.lines;
      break;
    case NodeKind::minimumScale:
      s.minimumScaleFactor = n.number;
      break;
    case NodeKind::textAlignment:
      s.textAlignment = n.textAlignment;
      break;
    case NodeKind::labelStyle:
      s.labelStyle = n.labelStyle;
      break;
    case NodeKind::fill:
      s.fill = n.style;
      break;
    case NodeKind::resizable:
      s.resizable = true;
      break;
    case NodeKind::scaledToFit:
      s.contentMode = InheritedStyle::ContentMode::fit;
      break;
    case NodeKind::scaledToFill:
      s.contentMode = InheritedStyle::ContentMode::fill;
      break;
    case NodeKind::layoutPriority:
      if (!deco.layoutPriority && std::isfinite(n.number)) deco.layoutPriority = n.number;
      break;
    case NodeKind::accessibilityHidden:
      deco.accessibilityHidden = deco.accessibilityHidden || n.flag;
      break;
    case NodeKind::widgetURL:
      if (!deco.widgetURL) deco.widgetURL = n.string;
      break;
    case NodeKind::containerBackground:
      if (!deco.containerBackground) deco.containerBackground = n.style;
      break;
  }
  // A modifier that only styles or marks: carry on with its child.
  if (!only) return nullptr;
  return buildLayout(*only, s, std::move(deco), context);
}

}  // namespace
}  // namespace kelvo::ui
