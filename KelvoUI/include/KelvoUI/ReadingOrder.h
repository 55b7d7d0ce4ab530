#pragma once

#include <string>
#include <vector>

#include "KelvoUI/LaidOutNode.h"

namespace kelvo::ui {

// One text that assistive technology reads: what it says and where it is drawn.
struct ReadText {
  std::string text;  // whole, also where the drawing cuts it with "…"
  Rect frame;        // widget points

  friend bool operator==(const ReadText&, const ReadText&) = default;
};

// The texts of a laid-out tree in the order a reader takes them: the view
// tree's order, which stacks lay out from the leading edge (the right one
// where the layout runs right to left); subtrees hidden from accessibility
// left out. What every host exposes: accessible objects, SVG's title.
std::vector<ReadText> readingOrder(const LaidOutNode& root);

// The texts joined into one line with `separator`.
std::string joinedText(const std::vector<ReadText>& texts, const std::string& separator = ", ");

}  // namespace kelvo::ui
