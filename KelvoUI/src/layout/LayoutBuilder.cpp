// Turns a view tree into layout nodes. For each node of the view tree, build:
//   1. a modifier: applyModifier either restyles what is passed down (font,
//      colours, line limit, ...) or marks the outermost node inside (layout
//      priority, widget URL, ...) and carries on with its child; a frame or
//      padding becomes a box of its own around its child (boxed);
//   2. a named view or environment reader: its body, evaluated against the
//      environment (the name joins the decorations);
//   3. an element: its layout node (elementNode), with its children built
//      in the style for children (buildChildren);
//   4. the node that results gets the decorations gathered on the way down
//      (adopt) and the environment's layout direction.

#include <algorithm>
#include <cmath>

#include "KelvoUI/RelativeTime.h"
#include "layout/LayoutNode.h"
#include "text/Utf8.h"
#include "view/Node.h"

namespace kelvo::ui {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;  // clang 14 does not deduce aggregates' arguments

// Stands in for an empty view that a frame or padding still sizes.
class EmptyNode final : public LayoutNode {
 public:
  EmptyNode() : LayoutNode("Empty") {}

 protected:
  Size sizeThatFits(const ProposedSize&) override { return {}; }
};

LayoutNodePtr adopt(LayoutNodePtr node, Decorations decorations) {
  if (node) node->decorations = std::move(decorations);
  return node;
}

// What a styling modifier changes in the style passed down.
InheritedStyle restyled(InheritedStyle s, const FontModifier& m) {
  s.font = m.font;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const FontWeightModifier& m) {
  s.weight = m.weight;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const ForegroundStyleModifier& m) {
  s.foreground = m.style;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const LineLimitModifier& m) {
  s.lineLimit = m.lines && *m.lines >= 1 ? m.lines : std::nullopt;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const MinimumScaleFactorModifier& m) {
  s.minimumScaleFactor = std::isnan(m.factor) ? 1.0 : std::clamp(m.factor, 0.01, 1.0);
  return s;
}
InheritedStyle restyled(InheritedStyle s, const MultilineTextAlignmentModifier& m) {
  s.textAlignment = m.alignment;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const LabelStyleModifier& m) {
  s.labelStyle = m.style;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const FillModifier& m) {
  s.fill = m.style;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const ResizableModifier&) {
  s.resizable = true;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const ScaledToFitModifier&) {
  s.contentMode = ContentMode::fit;
  return s;
}
InheritedStyle restyled(InheritedStyle s, const ScaledToFillModifier&) {
  s.contentMode = ContentMode::fill;
  return s;
}

// What a marking modifier adds to the decorations; the outermost one wins.
Decorations marked(Decorations d, const LayoutPriorityModifier& m) {
  if (!d.layoutPriority && std::isfinite(m.priority)) d.layoutPriority = m.priority;
  return d;
}
Decorations marked(Decorations d, const AccessibilityHiddenModifier& m) {
  d.accessibilityHidden = d.accessibilityHidden || m.hidden;
  return d;
}
Decorations marked(Decorations d, const WidgetURLModifier& m) {
  if (!d.widgetURL) d.widgetURL = m.url;
  return d;
}
Decorations marked(Decorations d, const ContainerBackgroundModifier& m) {
  if (!d.containerBackground) d.containerBackground = m.style;
  return d;
}

std::string relativeText(const RelativeTextElement& e, const Environment& env) {
  return env.timeZone
             ? relativeTimeText(e.instant, env.now, e.unitsStyle, env.relativeTimeLocale, *env.timeZone)
             : relativeTimeText(e.instant, env.now, e.unitsStyle, env.relativeTimeLocale);
}

}  // namespace

class LayoutBuilder {
 public:
  explicit LayoutBuilder(const LayoutContext& context) : context_(context) {}

  LayoutNodePtr build(const View& view, const InheritedStyle& style, Decorations decorations) const {
    const Node& node = view.node();
    LayoutNodePtr built = std::visit(
        Overloaded{
            [&](const Modifier& m) {
              return applyModifier(m, node.children.at(0), style, std::move(decorations));
            },
            [&](const Element& e) { return buildElement(e, node.children, style, std::move(decorations)); }},
        node.payload);
    if (built) built->direction = context_.environment->layoutDirection;
    return built;
  }

 private:
  // Step 1.
  LayoutNodePtr applyModifier(const Modifier& modifier, const View& child, const InheritedStyle& style,
                              Decorations decorations) const {
    return std::visit(
        Overloaded{[&](const FrameModifier& m) {
                     return adopt(makeFrameNode(m.options, boxed(child, style)), std::move(decorations));
                   },
                   [&](const PaddingModifier& m) {
                     return adopt(makePaddingNode(m.insets, boxed(child, style)), std::move(decorations));
                   },
                   [&](const auto& m) {
                     if constexpr (requires { restyled(style, m); }) {
                       return build(child, restyled(style, m), std::move(decorations));
                     } else {
                       return build(child, style, marked(std::move(decorations), m));
                     }
                   }},
        modifier);
  }

  // A frame's or padding's content; an empty view is still a box to size.
  LayoutNodePtr boxed(const View& child, const InheritedStyle& style) const {
    LayoutNodePtr node = build(child, style.forChildren(), {});
    return node ? std::move(node) : std::make_unique<EmptyNode>();
  }

  // Steps 2 and 3.
  LayoutNodePtr buildElement(const Element& element, const std::vector<View>& children,
                             const InheritedStyle& style, Decorations decorations) const {
    return std::visit(
        Overloaded{
            [&](const NamedElement& e) -> LayoutNodePtr {
              decorations.viewNames.push_back(e.name);
              return e.body ? build(e.body(*context_.environment), style, std::move(decorations)) : nullptr;
            },
            [&](const EnvironmentReaderElement& e) -> LayoutNodePtr {
              return e.content ? build(e.content(*context_.environment), style, std::move(decorations))
                               : nullptr;
            },
            [&](const auto& e) { return adopt(elementNode(e, children, style), std::move(decorations)); }},
        element);
  }

  // Step 3: one layout node per element kind.
  LayoutNodePtr elementNode(const EmptyElement&, const std::vector<View>&, const InheritedStyle&) const {
    return nullptr;
  }
  LayoutNodePtr elementNode(const TextElement& e, const std::vector<View>&,
                            const InheritedStyle& style) const {
    return makeTextNode(validUtf8(e.text), style, context_, std::nullopt);
  }
  LayoutNodePtr elementNode(const RelativeTextElement& e, const std::vector<View>&,
                            const InheritedStyle& style) const {
    return makeTextNode(validUtf8(relativeText(e, *context_.environment)), style, context_,
                        RelativeTimeSource{e.instant, e.unitsStyle});
  }
  LayoutNodePtr elementNode(const SymbolElement& e, const std::vector<View>&,
                            const InheritedStyle& style) const {
    return makeSymbolNode(e.systemName, style);
  }
  LayoutNodePtr elementNode(const PictureElement& e, const std::vector<View>&,
                            const InheritedStyle& style) const {
    return makePictureNode(e.picture, style);
  }
  LayoutNodePtr elementNode(const ShapeElement& e, const std::vector<View>&,
                            const InheritedStyle& style) const {
    return makeShapeNode(e.kind, e.cornerStyle, style);
  }
  LayoutNodePtr elementNode(const SpacerElement& e, const std::vector<View>&, const InheritedStyle&) const {
    return makeSpacerNode(e.minLength);
  }
  // Icon and title side by side, the icon centred on the title's capitals.
  LayoutNodePtr elementNode(const LabelElement&, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    std::vector<LayoutNodePtr> parts;
    const auto add = [&](size_t i) {
      if (i >= children.size()) return;
      if (auto part = build(children[i], style.forChildren(), {})) parts.push_back(std::move(part));
    };
    if (style.labelStyle != LabelStyle::titleOnly) add(0);
    if (style.labelStyle != LabelStyle::iconOnly) add(1);
    const double spacing = std::max(2.0, std::round(style.resolvedFont().size * 0.4));
    return makeStackNode("Label", Axis::horizontal, HorizontalAlignment::center,
                         VerticalAlignment::firstTextBaseline, spacing, std::move(parts));
  }
  LayoutNodePtr elementNode(const VStackElement& e, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    return makeStackNode("VStack", Axis::vertical, e.options.alignment, VerticalAlignment::center,
                         e.options.spacing, buildChildren(children, {}, style));
  }
  LayoutNodePtr elementNode(const HStackElement& e, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    return makeStackNode("HStack", Axis::horizontal, HorizontalAlignment::center, e.options.alignment,
                         e.options.spacing, buildChildren(children, {}, style));
  }
  LayoutNodePtr elementNode(const ZStackElement& e, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    return makeZStackNode("ZStack", e.options.alignment, buildChildren(children, {}, style));
  }
  LayoutNodePtr elementNode(const GroupElement&, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    return makeGroupNode("Group", buildChildren(children, {}, style));
  }
  LayoutNodePtr elementNode(const ForEachElement& e, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    return makeGroupNode("ForEach", buildChildren(children, e.ids, style));
  }
  LayoutNodePtr elementNode(const GridElement& e, const std::vector<View>& children,
                            const InheritedStyle& style) const {
    return makeGridNode(e.columns, e.spacing, buildChildren(children, {}, style));
  }
  LayoutNodePtr elementNode(const GeometryReaderElement& e, const std::vector<View>&,
                            const InheritedStyle& style) const {
    return makeGeometryReaderNode(e.content, style.forChildren(), context_);
  }
  // Reached only through buildElement's own cases for these two.
  LayoutNodePtr elementNode(const NamedElement&, const std::vector<View>&, const InheritedStyle&) const {
    unreachable(__func__);
  }
  LayoutNodePtr elementNode(const EnvironmentReaderElement&, const std::vector<View>&,
                            const InheritedStyle&) const {
    unreachable(__func__);
  }

  // A container's children, each with its ForEach identity when it has one;
  // empty views leave no node.
  std::vector<LayoutNodePtr> buildChildren(const std::vector<View>& children,
                                           const std::vector<std::string>& ids,
                                           const InheritedStyle& style) const {
    std::vector<LayoutNodePtr> built;
    for (size_t i = 0; i < children.size(); ++i) {
      Decorations d;
      if (i < ids.size()) d.id = ids[i];
      if (auto child = build(children[i], style.forChildren(), std::move(d)))
        built.push_back(std::move(child));
    }
    return built;
  }

  const LayoutContext& context_;
};

LayoutNodePtr buildLayout(const View& view, const InheritedStyle& style, Decorations decorations,
                          const LayoutContext& context) {
  return LayoutBuilder(context).build(view, style, std::move(decorations));
}

}  // namespace kelvo::ui
