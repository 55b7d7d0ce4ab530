// Stacks, groups and spacers: children side by side along one axis, or on top
// of each other.

#include <algorithm>
#include <cmath>
#include <limits>

#include "KelvoUI/Elements.h"
#include "LayoutNode.h"

namespace kelvo::ui {
namespace {

const char* toString(HorizontalAlignment a) {
  switch (a) {
    case HorizontalAlignment::leading:
      return "leading";
    case HorizontalAlignment::center:
      return "center";
    case HorizontalAlignment::trailing:
      return "trailing";
  }
  return "center";
}

const char* toString(VerticalAlignment a) {
  switch (a) {
    case VerticalAlignment::top:
      return "top";
    case VerticalAlignment::center:
      return "center";
    case VerticalAlignment::bottom:
      return "bottom";
    case VerticalAlignment::firstTextBaseline:
      return "firstTextBaseline";
    case VerticalAlignment::lastTextBaseline:
      return "lastTextBaseline";
  }
  return "center";
}

double offsetFor(HorizontalAlignment a, double container, double child) {
  switch (a) {
    case HorizontalAlignment::leading:
      return 0;
    case HorizontalAlignment::center:
      return (container - child) / 2;
    case HorizontalAlignment::trailing:
      return container - child;
  }
  return 0;
}

double offsetFor(VerticalAlignment a, double container, double child) {
  switch (a) {
    case VerticalAlignment::top:
    case VerticalAlignment::firstTextBaseline:
    case VerticalAlignment::lastTextBaseline:
      return 0;
    case VerticalAlignment::center:
      return (container - child) / 2;
    case VerticalAlignment::bottom:
      return container - child;
  }
  return 0;
}

class SpacerNode final : public LayoutNode {
 public:
  explicit SpacerNode(std::optional<double> minLength)
      : LayoutNode("Spacer"), minLength_(minLength.value_or(defaultSpacing)) {
    if (!(minLength_ >= 0) || std::isinf(minLength_)) minLength_ = 0;
  }
  std::optional<double> spacerMinLength() const override { return minLength_; }
  void setSpacerAxis(std::optional<Axis> axis) override { axis_ = axis; }
  void exportTo(LaidOutNode& out) const override { out.attributes["minLength"] = lengthJson(minLength_); }

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

// How a stack arranged its items for one proposal.
struct Arrangement {
  std::vector<ProposedSize> proposals;
  std::vector<Size> sizes;
  std::vector<double> crossOffsets;
  Size size;
};

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
    const Arrangement& a = arrange(p);
    double pos = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
      const Size s = a.sizes[i];
      Rect r = axis_ == Axis::horizontal
                   ? Rect{frame.x + pos, frame.y + a.crossOffsets[i], s.width, s.height}
                   : Rect{frame.x + a.crossOffsets[i], frame.y + pos, s.width, s.height};
      placeChild(*items_[i], r, a.proposals[i]);
      pos += main(s) + spacing_;
    }
    for (auto& child : children) {
      if (child->flattensIntoContainer()) child->fitToChildren();
    }
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override { return baseline(p, false); }
  std::optional<double> lastBaseline(const ProposedSize& p) override { return baseline(p, true); }

  void exportTo(LaidOutNode& out) const override {
    if (axis_ == Axis::vertical) {
      out.attributes["alignment"] = toString(horizontal_);
    } else {
      out.attributes["alignment"] = toString(vertical_);
    }
    out.attributes["spacing"] = explicitSpacing_ ? lengthJson(*explicitSpacing_) : nlohmann::json("default");
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override { return arrange(p).size; }

 private:
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
  bool alignsOnBaseline() const {
    return axis_ == Axis::horizontal && (vertical_ == VerticalAlignment::firstTextBaseline ||
                                         vertical_ == VerticalAlignment::lastTextBaseline);
  }

  const Arrangement& arrange(const ProposedSize& p) {
    for (const auto& [proposal, arrangement] : arrangements_) {
      if (proposal == p) return arrangement;
    }
    Arrangement a;
    const size_t n = items_.size();
    a.proposals.resize(n);
    a.sizes.resize(n);
    a.crossOffsets.resize(n);
    const std::optional<double> mainP = mainOf(p);
    const std::optional<double> crossP = crossOf(p);
    if (!mainP) {
      for (size_t i = 0; i < n; ++i) {
        a.proposals[i] = proposal(std::nullopt, crossP);
        a.sizes[i] = items_[i]->measure(a.proposals[i]);
      }
    } else {
      distribute(*mainP, crossP, a);
    }

    // Cross axis: alignment of each item.
    double crossSize = 0;
    if (alignsOnBaseline()) {
      const bool last = vertical_ == VerticalAlignment::lastTextBaseline;
      double above = 0, below = 0;
      std::vector<double> baselines(n);
      for (size_t i = 0; i < n; ++i) {
        const auto b =
            last ? items_[i]->lastBaseline(a.proposals[i]) : items_[i]->firstBaseline(a.proposals[i]);
        baselines[i] = b.value_or(a.sizes[i].height);
        above = std::max(above, baselines[i]);
        below = std::max(below, a.sizes[i].height - baselines[i]);
      }
      for (size_t i = 0; i < n; ++i) a.crossOffsets[i] = above - baselines[i];
      crossSize = above + below;
    } else {
      for (size_t i = 0; i < n; ++i) crossSize = std::max(crossSize, cross(a.sizes[i]));
      for (size_t i = 0; i < n; ++i) {
        a.crossOffsets[i] = axis_ == Axis::horizontal ? offsetFor(vertical_, crossSize, a.sizes[i].height)
                                                      : offsetFor(horizontal_, crossSize, a.sizes[i].width);
      }
    }
    double mainSize = n > 1 ? spacing_ * double(n - 1) : 0;
    for (size_t i = 0; i < n; ++i) mainSize += main(a.sizes[i]);
    a.size = axis_ == Axis::horizontal ? Size{mainSize, crossSize} : Size{crossSize, mainSize};
    arrangements_.emplace_back(p, std::move(a));
    return arrangements_.back().second;
  }

  // Offers the space to the items by layout priority, least flexible first,
  // each its equal share of what is left; spacers come last.
  void distribute(double mainP, std::optional<double> crossP, Arrangement& a) {
    const size_t n = items_.size();
    struct Entry {
      size_t index;
      double priority;
      double minimum;
      double flexibility;
    };
    std::vector<Entry> entries;
    entries.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      LayoutNode* item = items_[i];
      if (const auto minLength = item->spacerMinLength()) {
        entries.push_back({i, -std::numeric_limits<double>::infinity(), *minLength, infinity});
        continue;
      }
      const double lo = main(item->measure(proposal(0.0, crossP)));
      const double hi = main(item->measure(proposal(infinity, crossP)));
      double flex = hi - lo;
      if (std::isnan(flex)) flex = infinity;
      entries.push_back({i, item->decorations.layoutPriority.value_or(0), std::isfinite(lo) ? lo : 0, flex});
    }
    double remaining = mainP - (n > 1 ? spacing_ * double(n - 1) : 0);
    for (const auto& e : entries) remaining -= e.minimum;

    std::vector<double> priorities;
    for (const auto& e : entries) priorities.push_back(e.priority);
    std::sort(priorities.begin(), priorities.end(), std::greater<>());
    priorities.erase(std::unique(priorities.begin(), priorities.end()), priorities.end());

    for (const double priority : priorities) {
      std::vector<Entry> group;
      for (const auto& e : entries) {
        if (e.priority == priority) group.push_back(e);
      }
      for (const auto& e : group) remaining += e.minimum;
      std::stable_sort(group.begin(), group.end(),
                       [](const Entry& x, const Entry& y) { return x.flexibility < y.flexibility; });
      size_t left = group.size();
      for (const auto& e : group) {
        double share = remaining / double(left);
        if (!(share >= 0)) share = 0;
        a.proposals[e.index] = proposal(share, crossP);
        a.sizes[e.index] = items_[e.index]->measure(a.proposals[e.index]);
        remaining -= main(a.sizes[e.index]);
        --left;
      }
    }
  }

  std::optional<double> baseline(const ProposedSize& p, bool last) {
    const Arrangement& a = arrange(p);
    const size_t n = items_.size();
    double pos = 0;
    std::optional<double> found;
    for (size_t i = 0; i < n; ++i) {
      const auto b =
          last ? items_[i]->lastBaseline(a.proposals[i]) : items_[i]->firstBaseline(a.proposals[i]);
      if (b) {
        const double offset = axis_ == Axis::vertical ? pos : a.crossOffsets[i];
        found = offset + *b;
        if (!last) return found;
      }
      pos += main(a.sizes[i]) + spacing_;
    }
    return found;
  }

  Axis axis_;
  HorizontalAlignment horizontal_;
  VerticalAlignment vertical_;
  std::optional<double> explicitSpacing_;
  double spacing_;
  std::vector<LayoutNode*> items_;
  std::vector<std::pair<ProposedSize, Arrangement>> arrangements_;
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
                 {frame.x + offsetFor(alignment_.horizontal, frame.width, s.width),
                  frame.y + offsetFor(alignment_.vertical, frame.height, s.height), s.width, s.height},
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
        return offsetFor(alignment_.vertical, size.height, item->measure(p).height) + *b;
      }
    }
    return std::nullopt;
  }

  void exportTo(LaidOutNode& out) const override {
    if (type() == "ZStack") {
      out.attributes["alignment"] =
          std::string(toString(alignment_.horizontal)) + "/" + toString(alignment_.vertical);
    }
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
