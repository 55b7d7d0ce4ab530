#include "KelvoUI/Layout.h"

#include <cmath>

#include "LayoutNode.h"

namespace kelvo::ui {

LaidOutNode layoutView(const View& view, const Rect& bounds, const Environment& environment,
                       TextMeasurer& measurer) {
  const LayoutContext context{&environment, &measurer};
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
  const LayoutContext context{&environment, &measurer};
  LayoutNodePtr root = buildLayout(view, InheritedStyle{}, {}, context);
  return root ? root->measure(proposal) : Size{};
}

}  // namespace kelvo::ui
