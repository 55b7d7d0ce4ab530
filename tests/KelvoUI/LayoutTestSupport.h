#pragma once

#include <initializer_list>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/Layout.h"
#include "KelvoUI/TextMeasurer.h"

namespace kelvo::ui::testing {

// Lays a view out in a w x h box at the origin with the fixed-advance
// measurer: every character is half its font size wide.
inline LaidOutNode lay(const View& view, double w, double h, const Environment& env = {}) {
  FixedAdvanceTextMeasurer measurer;
  return layoutView(view, {0, 0, w, h}, env, measurer);
}

// The node reached by following child indices from `root`.
inline const LaidOutNode& at(const LaidOutNode& root, std::initializer_list<size_t> path) {
  const LaidOutNode* node = &root;
  for (size_t i : path) node = &node->children.at(i);
  return *node;
}

}  // namespace kelvo::ui::testing
