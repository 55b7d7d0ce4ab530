// Stacks, groups and spacers: children side by side along one axis, or on top
// of each other.

#include <algorithm>
#include <cmath>
#include <limits>

#include "KelvoUI/Elements.h"
#include "layout/LayoutNode.h"

namespace kelvo::ui {
namespace {

class SpacerNode final : public LayoutNode {
 public:
  explicit SpacerNode(std::optional<double> minLength)
      : LayoutNode("Spacer"), minLength_(minLength.value_or(defaultSpacing)) {
    if (!(minLength_ >= 0) || std::isinf(minLength_)) minLength_ = 0;
  }
  std::optional<double> spacerMinLength() const override { return minLength_; }
  void setSpacerAxis(std::optional<Axis> axis) override { axis_ = axis; }
  void exportTo(LaidOutNode& out) const override { out.details = SpacerDetails{minLength_}; }

 protected:
  Size sizeThatFits(const ProposedSize& p) override {
    const auto along = [&](std::optional<double> v) { return v ? std::max(minLength_, *v) : minLength_; };
    if (axis_ == Axis::horizontal) return {along(p.width), 0};
    if (axis_ == Axis::vertical) return {0, along(p.height)};
    return {along(p.width), along(p.height)};
  }

 private:
  double minLength_;
  std::optional<Axis> axis_;
};

// What a stack's items were offered and answered along its main axis.
struct MeasuredItems {
  std::vector<ProposedSize> proposals;
  std::vector<Size> sizes;
};

// Where the items sit across the stack's axis, and how thick that makes it.
struct CrossAxisPlacement {
  std::vector<double> offsets;  // from the stack's cross-axis start, points
  double length = 0;            // points
};

// How a stack arranged its items for one proposal.
struct StackArrangement {
  MeasuredItems items;
  CrossAxisPlacement cross;
  Size size;
};

// An item's claim on the main axis while the space is shared out.
struct ItemClaim {
  size_t index;
  double priority;     // layout priority; spacers lowest of all
  double minimum;      // main-axis length offered nothing, points
  double flexibility;  // how much more it takes when offered everything, points
};

// A VStack, HStack or Label. Laying out for a proposal runs these steps:
//   1. measureItems: without a main-axis length, each item at its ideal length;
//      with one, shareMainAxis: claimsOf the items, then offerByPriority
//      (highest layout priority first, least flexible first, spacers last);
//   2. alignOnBaselines (an HStack aligned on text baselines) or alignAcrossAxis;
//   3. stackSize: the items' lengths and the spacing along, the cross length across.
// Placing walks the items along the main axis at the offsets found.
class StackNode final : public LayoutNode {
 public:
  StackNode(std::string type, Axis axis, HorizontalAlignment h, VerticalAlignment v,
            std::optional<double> spacing, std::vector<LayoutNodePtr> kids)
      : LayoutNode(std::move(type)), axis_(axis), horizontal_(h), vertical_(v), explicitSpacing_(spacing) {
    spacing_ = spacing.value_or(defaultSpacing);
    if (!std::isfinite(spacing_)) spacing_ = 0;
    children = std::move(kids);
    for (auto& child : children) child->collectItems(items_);
    for (auto* item : items_) item->setSpacerAxis(axis_);
  }

  void place(const Rect& frame, const ProposedSize& p) override {
    frame_ = frame;
    const StackArrangement& a = arrange(p);
    double pos = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
      const Size s = a.items.sizes[i];
      const double crossOffset = a.cross.offsets[i];
      const Rect r = axis_ == Axis::horizontal
                         ? Rect{frame.x + pos, frame.y + crossOffset, s.width, s.height}
                         : Rect{frame.x + crossOffset, frame.y + pos, s.width, s.height};
      placeChild(*items_[i], r, a.items.proposals[i]);
      pos += main(s) + spacing_;
    }
    for (auto& child : children) {
      if (child->flattensIntoContainer()) child->fitToChildren();
    }
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override { return baseline(p, Baseline::first); }
  std::optional<double> lastBaseline(const ProposedSize& p) override { return baseline(p, Baseline::last); }

  void exportTo(LaidOutNode& out) const override {
    StackDetails details{horizontal_, explicitSpacing_};
    if (axis_ == Axis::horizontal) details.alignment = vertical_;
    out.details = details;
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override { return arrange(p).size; }

 private:
  enum class Baseline { first, last };

  double main(Size s) const { return axis_ == Axis::horizontal ? s.width : s.height; }
  double cross(Size s) const { return axis_ == Axis::horizontal ? s.height : s.width; }
  std::optional<double> mainOf(const ProposedSize& p) const {
    return axis_ == Axis::horizontal ? p.width : p.height;
  }
  std::optional<double> crossOf(const ProposedSize& p) const {
    return axis_ == Axis::horizontal ? p.height : p.width;
  }
  ProposedSize proposal(std::optional<double> m, std::optional<double> c) const {
    return axis_ == Axis::horizontal ? ProposedSize{m, c} : ProposedSize{c, m};
  }
  double totalSpacing() const { return items_.size() > 1 ? spacing_ * double(items_.size() - 1) : 0; }
  std::optional<Baseline> baselineAlignment() const {
    if (axis_ != Axis::horizontal) return std::nullopt;
    if (vertical_ == VerticalAlignment::firstTextBaseline) return Baseline::first;
    if (vertical_ == VerticalAlignment::lastTextBaseline) return Baseline::last;
    return std::nullopt;
  }
  std::optional<double> itemBaseline(size_t i, const ProposedSize& p, Baseline which) const {
    return which == Baseline::last ? items_[i]->lastBaseline(p) : items_[i]->firstBaseline(p);
  }

  const StackArrangement& arrange(const ProposedSize& p) {
    for (const auto& [proposal, arrangement] : arrangements_) {
      if (proposal == p) return arrangement;
    }
    StackArrangement a;
    a.items = measureItems(p);
    const auto baseline = baselineAlignment();
    a.cross = baseline ? alignOnBaselines(a.items, *baseline) : alignAcrossAxis(a.items);
    a.size = stackSize(a.items, a.cross.length);
    arrangements_.emplace_back(p, std::move(a));
    return arrangements_.back().second;
  }

  // Step 1.
  MeasuredItems measureItems(const ProposedSize& p) {
    const std::optional<double> mainP = mainOf(p);
    if (mainP) return shareMainAxis(*mainP, crossOf(p));
    MeasuredItems m;
    for (LayoutNode* item : items_) {
      m.proposals.push_back(proposal(std::nullopt, crossOf(p)));
      m.sizes.push_back(item->measure(m.proposals.back()));
    }
    return m;
  }

  MeasuredItems shareMainAxis(double mainP, std::optional<double> crossP) {
    const std::vector<ItemClaim> claims = claimsOf(crossP);
    double remaining = mainP - totalSpacing();
    for (const auto& c : claims) remaining -= c.minimum;
    return offerByPriority(claims, remaining, crossP);
  }

  // Each item's minimum and flexibility along the main axis; a spacer claims
  // its minimum length at the lowest priority.
  std::vector<ItemClaim> claimsOf(std::optional<double> crossP) {
    std::vector<ItemClaim> claims;
    claims.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
      LayoutNode* item = items_[i];
      if (const auto minLength = item->spacerMinLength()) {
        claims.push_back({i, -std::numeric_limits<double>::infinity(), *minLength, infinity});
        continue;
      }
      const double lo = main(item->measure(proposal(0.0, crossP)));
      const double hi = main(item->measure(proposal(infinity, crossP)));
      double flex = hi - lo;
      if (std::isnan(flex)) flex = infinity;
      claims.push_back({i, item->decorations.layoutPriority.value_or(0), std::isfinite(lo) ? lo : 0, flex});
    }
    return claims;
  }

  // `remaining` is the main-axis length left once every item has its
  // minimum. Each priority group, highest first, gets back its minimums and
  // shares what is left: least flexible first, each an equal share.
  MeasuredItems offerByPriority(const std::vector<ItemClaim>& claims, double remaining,
                                std::optional<double> crossP) {
    MeasuredItems m;
    m.proposals.resize(items_.size());
    m.sizes.resize(items_.size());
    for (const double priority : prioritiesHighestFirst(claims)) {
      std::vector<ItemClaim> group;
      for (const auto& c : claims) {
        if (c.priority == priority) group.push_back(c);
      }
      for (const auto& c : group) remaining += c.minimum;
      std::stable_sort(group.begin(), group.end(),
                       [](const ItemClaim& x, const ItemClaim& y) { return x.flexibility < y.flexibility; });
      size_t left = group.size();
      for (const auto& c : group) {
        double share = remaining / double(left);
        if (!(share >= 0)) share = 0;
        m.proposals[c.index] = proposal(share, crossP);
        m.sizes[c.index] = items_[c.index]->measure(m.proposals[c.index]);
        remaining -= main(m.sizes[c.index]);
        --left;
      }
    }
    return m;
  }

  static std::vector<double> prioritiesHighestFirst(const std::vector<ItemClaim>& claims) {
    std::vector<double> priorities;
    for (const auto& c : claims) priorities.push_back(c.priority);
    std::sort(priorities.begin(), priorities.end(), std::greater<>());
    priorities.erase(std::unique(priorities.begin(), priorities.end()), priorities.end());
    return priorities;
  }

  // Step 2, an HStack on text baselines: every baseline on one line; an item
  // without text counts its bottom edge as its baseline.
  CrossAxisPlacement alignOnBaselines(const MeasuredItems& m, Baseline which) const {
    const size_t n = items_.size();
    double above = 0, below = 0;
    std::vector<double> baselines(n);
    for (size_t i = 0; i < n; ++i) {
      baselines[i] = itemBaseline(i, m.proposals[i], which).value_or(m.sizes[i].height);
      above = std::max(above, baselines[i]);
      below = std::max(below, m.sizes[i].height - baselines[i]);
    }
    CrossAxisPlacement c;
    for (size_t i = 0; i < n; ++i) c.offsets.push_back(above - baselines[i]);
    c.length = above + below;
    return c;
  }

  // Step 2, otherwise: as thick as the thickest item, each aligned in that.
  CrossAxisPlacement alignAcrossAxis(const MeasuredItems& m) const {
    CrossAxisPlacement c;
    for (const Size& s : m.sizes) c.length = std::max(c.length, cross(s));
    for (const Size& s : m.sizes) {
      c.offsets.push_back(axis_ == Axis::horizontal ? alignmentOffset(vertical_, c.length, s.height)
                                                    : alignmentOffset(horizontal_, c.length, s.width));
    }
    return c;
  }

  // Step 3.
  Size stackSize(const MeasuredItems& m, double crossLength) const {
    double mainLength = totalSpacing();
    for (const Size& s : m.sizes) mainLength += main(s);
    return axis_ == Axis::horizontal ? Size{mainLength, crossLength} : Size{crossLength, mainLength};
  }

  // The first (or last) baseline among the items, from the stack's top.
  std::optional<double> baseline(const ProposedSize& p, Baseline which) {
    const StackArrangement& a = arrange(p);
    double pos = 0;
    std::optional<double> found;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (const auto b = itemBaseline(i, a.items.proposals[i], which)) {
        const double offset = axis_ == Axis::vertical ? pos : a.cross.offsets[i];
        found = offset + *b;
        if (which == Baseline::first) return found;
      }
      pos += main(a.items.sizes[i]) + spacing_;
    }
    return found;
  }

  Axis axis_;
  HorizontalAlignment horizontal_;
  VerticalAlignment vertical_;
  std::optional<double> explicitSpacing_;
  double spacing_;
  std::vector<LayoutNode*> items_;
  std::vector<std::pair<ProposedSize, StackArrangement>> arrangements_;
};

// Children on top of each other, aligned; the size of the largest.
class ZStackNode : public LayoutNode {
 public:
  ZStackNode(std::string type, Alignment alignment, std::vector<LayoutNodePtr> kids, bool flattens)
      : LayoutNode(std::move(type)), alignment_(alignment), flattens_(flattens) {
    children = std::move(kids);
    for (auto& child : children) child->collectItems(items_);
  }

  bool flattensIntoContainer() const override { return flattens_; }

  void place(const Rect& frame, const ProposedSize& p) override {
    frame_ = frame;
    for (auto* item : items_) {
      const Size s = item->measure(p);
      placeChild(*item,
                 {frame.x + alignmentOffset(alignment_.horizontal, frame.width, s.width),
                  frame.y + alignmentOffset(alignment_.vertical, frame.height, s.height), s.width, s.height},
                 p);
    }
    for (auto& child : children) {
      if (child->flattensIntoContainer()) child->fitToChildren();
    }
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override {
    const Size size = measure(p);
    for (auto* item : items_) {
      if (const auto b = item->firstBaseline(p)) {
        return alignmentOffset(alignment_.vertical, size.height, item->measure(p).height) + *b;
      }
    }
    return std::nullopt;
  }

  void exportTo(LaidOutNode& out) const override {
    if (!flattens_) out.details = ZStackDetails{alignment_};
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override {
    Size size;
    for (auto* item : items_) {
      const Size s = item->measure(p);
      size.width = std::max(size.width, s.width);
      size.height = std::max(size.height, s.height);
    }
    return size;
  }

 private:
  Alignment alignment_;
  bool flattens_;
  std::vector<LayoutNode*> items_;
};

}  // namespace

LayoutNodePtr makeStackNode(std::string type, Axis axis, HorizontalAlignment h, VerticalAlignment v,
                            std::optional<double> spacing, std::vector<LayoutNodePtr> children) {
  return std::make_unique<StackNode>(std::move(type), axis, h, v, spacing, std::move(children));
}

LayoutNodePtr makeZStackNode(std::string type, Alignment alignment, std::vector<LayoutNodePtr> children) {
  return std::make_unique<ZStackNode>(std::move(type), alignment, std::move(children), false);
}

// Outside a stack a group lays its children over each other, centred.
LayoutNodePtr makeGroupNode(std::string type, std::vector<LayoutNodePtr> children) {
  return std::make_unique<ZStackNode>(std::move(type), Alignment::center, std::move(children), true);
}

LayoutNodePtr makeSpacerNode(std::optional<double> minLength) {
  return std::make_unique<SpacerNode>(minLength);
}

}  // namespace kelvo::ui
