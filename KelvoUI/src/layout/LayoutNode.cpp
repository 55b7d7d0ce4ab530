#include "layout/LayoutNode.h"

#include <algorithm>
#include <cmath>

namespace kelvo::ui {
namespace {

std::optional<double> sanitize(std::optional<double> v) {
  if (!v || std::isnan(*v)) return std::nullopt;
  return std::max(0.0, *v);
}

double finiteOrZero(double v) { return std::isfinite(v) && v > 0 ? v : 0; }

}  // namespace

Size LayoutNode::measure(const ProposedSize& raw) {
  const ProposedSize p{sanitize(raw.width), sanitize(raw.height)};
  for (const auto& [proposal, size] : cache_) {
    if (proposal == p) return size;
  }
  Size s = sizeThatFits(p);
  // A size is never negative or NaN; infinity stays (a flexible view offered infinity).
  if (!(s.width >= 0)) s.width = 0;
  if (!(s.height >= 0)) s.height = 0;
  cache_.emplace_back(p, s);
  return s;
}

void LayoutNode::place(const Rect& frame, const ProposedSize&) { frame_ = frame; }

void LayoutNode::placeChild(LayoutNode& child, Rect r, const ProposedSize& proposal) const {
  if (direction == LayoutDirection::rightToLeft && std::isfinite(frame_.width)) {
    r.x = frame_.x + (frame_.x + frame_.width) - (r.x + r.width);
  }
  child.place(r, proposal);
}

void LayoutNode::collectItems(std::vector<LayoutNode*>& items) {
  if (!flattensIntoContainer()) {
    items.push_back(this);
    return;
  }
  for (auto& child : children) child->collectItems(items);
}

void LayoutNode::fitToChildren() {
  bool any = false;
  double left = 0, top = 0, right = 0, bottom = 0;
  for (auto& child : children) {
    if (child->flattensIntoContainer()) child->fitToChildren();
    const Rect& f = child->frame_;
    if (!any) {
      left = f.x;
      top = f.y;
      right = f.x + f.width;
      bottom = f.y + f.height;
      any = true;
    } else {
      left = std::min(left, f.x);
      top = std::min(top, f.y);
      right = std::max(right, f.x + f.width);
      bottom = std::max(bottom, f.y + f.height);
    }
  }
  frame_ = any ? Rect{left, top, right - left, bottom - top} : Rect{};
}

void LayoutNode::exportTo(LaidOutNode&) const {}

LaidOutNode LayoutNode::exportTree() const {
  LaidOutNode out;
  out.type = type_;
  out.frame = {std::isfinite(frame_.x) ? frame_.x : 0, std::isfinite(frame_.y) ? frame_.y : 0,
               finiteOrZero(frame_.width), finiteOrZero(frame_.height)};
  out.decorations = decorations;
  exportTo(out);
  out.children.reserve(children.size());
  for (const auto& child : children) out.children.push_back(child->exportTree());
  return out;
}

}  // namespace kelvo::ui
