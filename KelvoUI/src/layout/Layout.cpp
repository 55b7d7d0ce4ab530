#include "KelvoUI/Layout.h"

#include <algorithm>
#include <cmath>

#include "layout/LayoutNode.h"

namespace kelvo::ui {
namespace {

// The widget is drawn clipped to its size; content laid out in larger
// (finite) bounds can be seen in all of them.
Size visibleSize(const Environment& environment, std::optional<double> width, std::optional<double> height) {
  const auto larger = [](double widget, std::optional<double> bound) {
    return bound && std::isfinite(*bound) ? std::max(widget, *bound) : widget;
  };
  const Size widget = widgetSize(environment.widgetFamily);
  return {larger(widget.width, width), larger(widget.height, height)};
}

}  // namespace

LaidOutNode layoutView(const View& view, const Rect& bounds, const Environment& environment,
                       TextMeasurer& measurer) {
  const LayoutContext context{&environment, &measurer, visibleSize(environment, bounds.width, bounds.height)};
  LayoutNodePtr root = buildLayout(view, InheritedStyle{}, {}, context);
  if (!root) {
    LaidOutNode empty;
    empty.type = "Empty";
    empty.frame = {bounds.x + bounds.width / 2, bounds.y + bounds.height / 2, 0, 0};
    return empty;
  }
  const ProposedSize proposal = ProposedSize::of({bounds.width, bounds.height});
  Size size = root->measure(proposal);
  // Content that wants more than it is offered (or infinitely much) is given
  // the bounds; smaller content is centred in them, as the host does.
  if (!std::isfinite(size.width)) size.width = bounds.width;
  if (!std::isfinite(size.height)) size.height = bounds.height;
  root->place({bounds.x + (bounds.width - size.width) / 2, bounds.y + (bounds.height - size.height) / 2,
               size.width, size.height},
              proposal);
  return root->exportTree();
}

Size sizeThatFits(const View& view, const ProposedSize& proposal, const Environment& environment,
                  TextMeasurer& measurer) {
  const LayoutContext context{&environment, &measurer,
                              visibleSize(environment, proposal.width, proposal.height)};
  LayoutNodePtr root = buildLayout(view, InheritedStyle{}, {}, context);
  return root ? root->measure(proposal) : Size{};
}

}  // namespace kelvo::ui
