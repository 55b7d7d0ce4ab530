// Frames and padding: one child inside a box of its own.

#include <algorithm>
#include <cmath>

#include "layout/LayoutNode.h"

namespace kelvo::ui {
namespace {

std::optional<double> valid(std::optional<double> v) {
  if (!v || std::isnan(*v)) return std::nullopt;
  return std::max(0.0, *v);
}

// One axis of a frame: fixed, or flexible between a minimum and a maximum.
struct FrameAxis {
  std::optional<double> fixed, minimum, ideal, maximum;

  bool flexible() const { return minimum || maximum; }

  std::optional<double> childProposal(std::optional<double> p) const {
    if (fixed) return fixed;
    if (!p) return ideal;
    double v = *p;
    if (minimum) v = std::max(v, *minimum);
    if (maximum) v = std::min(v, *maximum);
    return v;
  }

  double size(std::optional<double> p, double child) const {
    if (fixed) return *fixed;
    if (!flexible()) return child;
    const double offered = p ? *p : ideal.value_or(child);
    double r = child;
    if (minimum) r = std::max(*minimum, std::min(r, offered));
    if (maximum) r = std::min(*maximum, std::max(r, offered));
    return r;
  }
};

class FrameNode final : public LayoutNode {
 public:
  FrameNode(const FrameOptions& o, LayoutNodePtr child) : LayoutNode("Frame"), options_(o) {
    horizontal_ = {valid(o.width), valid(o.minWidth), valid(o.idealWidth), valid(o.maxWidth)};
    vertical_ = {valid(o.height), valid(o.minHeight), valid(o.idealHeight), valid(o.maxHeight)};
    // A maximum below the minimum is raised to it.
    if (horizontal_.minimum && horizontal_.maximum && *horizontal_.maximum < *horizontal_.minimum) {
      horizontal_.maximum = horizontal_.minimum;
    }
    if (vertical_.minimum && vertical_.maximum && *vertical_.maximum < *vertical_.minimum) {
      vertical_.maximum = vertical_.minimum;
    }
    children.push_back(std::move(child));
  }

  void place(const Rect& frame, const ProposedSize& p) override {
    frame_ = frame;
    const ProposedSize cp = childProposal(p);
    const Size s = children[0]->measure(cp);
    placeChild(
        *children[0],
        {frame.x + alignmentOffset(options_.alignment.horizontal, frame.width, s.width),
         frame.y + alignmentOffset(options_.alignment.vertical, frame.height, s.height), s.width, s.height},
        cp);
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override {
    const ProposedSize cp = childProposal(p);
    const auto b = children[0]->firstBaseline(cp);
    if (!b) return std::nullopt;
    return alignmentOffset(options_.alignment.vertical, measure(p).height, children[0]->measure(cp).height) +
           *b;
  }
  std::optional<double> lastBaseline(const ProposedSize& p) override {
    const ProposedSize cp = childProposal(p);
    const auto b = children[0]->lastBaseline(cp);
    if (!b) return std::nullopt;
    return alignmentOffset(options_.alignment.vertical, measure(p).height, children[0]->measure(cp).height) +
           *b;
  }

  void exportTo(LaidOutNode& out) const override { out.details = FrameDetails{options_}; }

 protected:
  Size sizeThatFits(const ProposedSize& p) override {
    const Size c = children[0]->measure(childProposal(p));
    return {horizontal_.size(p.width, c.width), vertical_.size(p.height, c.height)};
  }

 private:
  ProposedSize childProposal(const ProposedSize& p) const {
    return {horizontal_.childProposal(p.width), vertical_.childProposal(p.height)};
  }

  FrameOptions options_;
  FrameAxis horizontal_, vertical_;
};

class PaddingNode final : public LayoutNode {
 public:
  PaddingNode(const EdgeInsets& insets, LayoutNodePtr child) : LayoutNode("Padding"), insets_(insets) {
    for (double* v : {&insets_.top, &insets_.leading, &insets_.bottom, &insets_.trailing}) {
      if (!std::isfinite(*v)) *v = 0;
    }
    children.push_back(std::move(child));
  }

  void place(const Rect& frame, const ProposedSize& p) override {
    frame_ = frame;
    const ProposedSize cp = childProposal(p);
    const Size s = children[0]->measure(cp);
    placeChild(*children[0], {frame.x + insets_.leading, frame.y + insets_.top, s.width, s.height}, cp);
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override {
    const auto b = children[0]->firstBaseline(childProposal(p));
    return b ? std::optional<double>(*b + insets_.top) : std::nullopt;
  }
  std::optional<double> lastBaseline(const ProposedSize& p) override {
    const auto b = children[0]->lastBaseline(childProposal(p));
    return b ? std::optional<double>(*b + insets_.top) : std::nullopt;
  }

  void exportTo(LaidOutNode& out) const override { out.details = PaddingDetails{insets_}; }

 protected:
  Size sizeThatFits(const ProposedSize& p) override {
    const Size c = children[0]->measure(childProposal(p));
    return {c.width + insets_.leading + insets_.trailing, c.height + insets_.top + insets_.bottom};
  }

 private:
  ProposedSize childProposal(const ProposedSize& p) const {
    const auto shrink = [](std::optional<double> v, double by) -> std::optional<double> {
      if (!v) return std::nullopt;
      return std::max(0.0, *v - by);
    };
    return {shrink(p.width, insets_.leading + insets_.trailing),
            shrink(p.height, insets_.top + insets_.bottom)};
  }

  EdgeInsets insets_;
};

}  // namespace

LayoutNodePtr makeFrameNode(const FrameOptions& options, LayoutNodePtr child) {
  return std::make_unique<FrameNode>(options, std::move(child));
}

LayoutNodePtr makePaddingNode(const EdgeInsets& insets, LayoutNodePtr child) {
  return std::make_unique<PaddingNode>(insets, std::move(child));
}

}  // namespace kelvo::ui
