// Symbols, pictures and shapes in layout.

#include <algorithm>
#include <cmath>

#include "KelvoUI/Symbols.h"
#include "layout/LayoutNode.h"

namespace kelvo::ui {
namespace {

// A symbol's em square is this much larger than its font's size, so that the
// icon fonts' inset glyphs look as big as the text beside them.
constexpr double symbolScale = 1.2;
// Half the cap height of the text face, as a fraction of the font size: the
// symbol's centre sits there, above the baseline.
constexpr double capCenter = 0.36;

class SymbolNode final : public LayoutNode {
 public:
  SymbolNode(std::string systemName, const InheritedStyle& style)
      : LayoutNode("Image"),
        name_(std::move(systemName)),
        font_(style.resolvedFont()),
        style_(style.foreground) {
    glyph_ = lookupSymbol(name_);
  }

  std::optional<double> firstBaseline(const ProposedSize&) override {
    if (!glyph_) return std::nullopt;
    return em() / 2 + capCenter * font_.size;
  }

  void exportTo(LaidOutNode& out) const override {
    out.drawing = SymbolDrawing{name_, glyph_, glyph_ ? em() : 0, style_};
  }

 protected:
  // An unknown symbol is an empty image.
  Size sizeThatFits(const ProposedSize&) override { return glyph_ ? Size{em(), em()} : Size{}; }

 private:
  double em() const { return font_.size * symbolScale; }

  std::string name_;
  Font font_;
  ShapeStyle style_;
  std::optional<SymbolGlyph> glyph_;
};

class PictureNode final : public LayoutNode {
 public:
  PictureNode(const Bitmap& picture, const InheritedStyle& style)
      : LayoutNode("Image"), picture_(picture), resizable_(style.resizable), mode_(style.contentMode) {}

  void exportTo(LaidOutNode& out) const override {
    Rect drawn = frame_;
    if (!picture_.empty() && resizable_ && mode_ == ContentMode::fill) {
      // Covers the frame, centred; the drawing clips to the frame.
      const double s = std::max(frame_.width / picture_.width, frame_.height / picture_.height);
      const double w = picture_.width * s, h = picture_.height * s;
      drawn = {frame_.x + (frame_.width - w) / 2, frame_.y + (frame_.height - h) / 2, w, h};
    }
    out.drawing = PictureDrawing{picture_, drawn, resizable_, mode_};
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override {
    if (picture_.empty()) return {};
    const Size ideal{double(picture_.width), double(picture_.height)};
    if (!resizable_) return ideal;
    if (mode_ == ContentMode::none) return {p.width.value_or(ideal.width), p.height.value_or(ideal.height)};
    // Aspect ratio kept: the largest size that fits (or the smallest that
    // covers) the offer; an unspecified axis follows the other one.
    if (!p.width && !p.height) return ideal;
    const double sx = p.width ? *p.width / ideal.width : infinity;
    const double sy = p.height ? *p.height / ideal.height : infinity;
    double s = std::min(sx, sy);
    if (mode_ == ContentMode::fill && std::isfinite(sx) && std::isfinite(sy)) s = std::max(sx, sy);
    return {ideal.width * s, ideal.height * s};
  }

 private:
  Bitmap picture_;
  bool resizable_;
  ContentMode mode_;
};

class ShapeNode final : public LayoutNode {
 public:
  ShapeNode(ShapeDrawing::Kind kind, RoundedCornerStyle corners, const InheritedStyle& style)
      : LayoutNode(kind == ShapeDrawing::Kind::capsule ? "Capsule" : "Rectangle"),
        drawing_{kind, style.fill.value_or(style.foreground), corners} {}

  void exportTo(LaidOutNode& out) const override { out.drawing = drawing_; }

 protected:
  // Shapes take what they are offered; 10 points on an unspecified axis.
  Size sizeThatFits(const ProposedSize& p) override { return {p.width.value_or(10), p.height.value_or(10)}; }

 private:
  ShapeDrawing drawing_;
};

}  // namespace

LayoutNodePtr makeSymbolNode(std::string systemName, const InheritedStyle& style) {
  return std::make_unique<SymbolNode>(std::move(systemName), style);
}

LayoutNodePtr makePictureNode(const Bitmap& picture, const InheritedStyle& style) {
  return std::make_unique<PictureNode>(picture, style);
}

LayoutNodePtr makeShapeNode(ShapeDrawing::Kind kind, RoundedCornerStyle corners,
                            const InheritedStyle& style) {
  return std::make_unique<ShapeNode>(kind, corners, style);
}

}  // namespace kelvo::ui
