#include "KelvoUI/Layout.h"

namespace kelvo::ui {

LaidOutNode layoutView(const View&, const Rect& bounds, const Environment&, TextMeasurer&) {
  LaidOutNode n;
  n.type = "Empty";
  n.frame = bounds;
  return n;
}

Size sizeThatFits(const View&, const ProposedSize&, const Environment&, TextMeasurer&) { return {}; }

}  // namespace kelvo::ui
