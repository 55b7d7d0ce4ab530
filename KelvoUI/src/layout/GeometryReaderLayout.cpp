// GeometryReader: takes all it is offered and builds its content from that
// size once it is placed.

#include <cmath>

#include "layout/LayoutNode.h"

namespace kelvo::ui {
namespace {

class GeometryReaderNode final : public LayoutNode {
 public:
  GeometryReaderNode(std::function<View(const GeometryProxy&)> content, InheritedStyle style,
                     LayoutContext context)
      : LayoutNode("GeometryReader"),
        content_(std::move(content)),
        style_(std::move(style)),
        context_(context) {}

  void place(const Rect& frame, const ProposedSize&) override {
    frame_ = frame;
    children.clear();
    if (!content_) return;
    const Size size{std::isfinite(frame.width) ? frame.width : 0,
                    std::isfinite(frame.height) ? frame.height : 0};
    LayoutNodePtr child = buildLayout(content_(GeometryProxy{size}), style_, {}, context_);
    if (!child) return;
    const ProposedSize p = ProposedSize::of(size);
    const Size s = child->measure(p);
    placeChild(*child, {frame.x, frame.y, s.width, s.height}, p);
    children.push_back(std::move(child));
  }

 protected:
  // Unspecified axes get the toolkit's default of 10 points.
  Size sizeThatFits(const ProposedSize& p) override { return {p.width.value_or(10), p.height.value_or(10)}; }

 private:
  std::function<View(const GeometryProxy&)> content_;
  InheritedStyle style_;
  LayoutContext context_;
};

}  // namespace

LayoutNodePtr makeGeometryReaderNode(std::function<View(const GeometryProxy&)> content, InheritedStyle style,
                                     LayoutContext context) {
  return std::make_unique<GeometryReaderNode>(std::move(content), std::move(style), context);
}

}  // namespace kelvo::ui
