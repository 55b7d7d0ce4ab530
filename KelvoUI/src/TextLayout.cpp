// Text in layout: wraps to the offered width, shrinks by its minimum scale
// factor when it does not fit, and only then truncates with "…".

#include <algorithm>
#include <cmath>

#include "LayoutNode.h"

namespace kelvo::ui {
namespace {

struct TextOutcome {
  TextRequest request;
  TextMetrics metrics;
  Size size;
  bool fits = false;
};

class TextNode final : public LayoutNode {
 public:
  TextNode(std::string text, const InheritedStyle& style, TextMeasurer& measurer, nlohmann::json attributes)
      : LayoutNode("Text"),
        text_(std::move(text)),
        font_(style.resolvedFont()),
        foreground_(style.foreground),
        lineLimit_(style.lineLimit),
        minimumScale_(style.minimumScaleFactor),
        alignment_(style.textAlignment),
        measurer_(measurer),
        extra_(std::move(attributes)) {}

  void place(const Rect& frame, const ProposedSize& p) override {
    frame_ = frame;
    chosen_ = solve(p);
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override {
    return solve(p).metrics.firstBaseline;
  }
  std::optional<double> lastBaseline(const ProposedSize& p) override { return solve(p).metrics.lastBaseline; }

  void exportTo(LaidOutNode& out) const override {
    TextDrawing d;
    d.request = chosen_.request;
    // Drawn in the frame the text was given, so centred lines centre in it.
    if (std::isfinite(frame_.width)) d.request.wrapWidth = std::max(frame_.width, chosen_.size.width);
    d.foreground = foreground_;
    d.truncated = chosen_.metrics.truncated;
    d.lineCount = chosen_.metrics.lineCount;
    d.firstBaseline = chosen_.metrics.firstBaseline;
    out.text = std::move(d);
    for (auto it = extra_.begin(); it != extra_.end(); ++it) out.attributes[it.key()] = it.value();
    if (lineLimit_) out.attributes["lineLimit"] = *lineLimit_;
    if (minimumScale_ < 1) out.attributes["minimumScaleFactor"] = std::round(minimumScale_ * 1000) / 1000;
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override { return solve(p).size; }

 private:
  TextOutcome attempt(double scale, double width, double height) {
    TextOutcome o;
    o.request.text = text_;
    o.request.font = font_;
    o.request.scale = scale;
    o.request.wrapWidth = width;
    o.request.maxLines = lineLimit_.value_or(0);
    o.request.alignment = alignment_;
    o.metrics = measurer_.measure(o.request);
    // Fewer lines when the height offered holds fewer; always at least one.
    if (std::isfinite(height) && o.metrics.lineCount > 1 && o.metrics.size.height > height + 0.01) {
      const double lineHeight = o.metrics.size.height / o.metrics.lineCount;
      const int lines = std::max(1, int(std::floor((height + 0.01) / lineHeight)));
      if (lines < o.metrics.lineCount) {
        o.request.maxLines = lines;
        o.metrics = measurer_.measure(o.request);
        o.metrics.truncated = true;
      }
    }
    o.fits = !o.metrics.truncated && !o.metrics.brokeWord;
    o.size = o.metrics.size;
    if (std::isfinite(width)) o.size.width = std::min(o.size.width, width);
    return o;
  }

  const TextOutcome& solve(const ProposedSize& p) {
    for (const auto& [proposal, outcome] : outcomes_) {
      if (proposal == p) return outcome;
    }
    const double width = p.width.value_or(infinity);
    const double height = p.height.value_or(infinity);
    TextOutcome best = attempt(1, width, height);
    if (!best.fits && minimumScale_ < 1) {
      TextOutcome low = attempt(minimumScale_, width, height);
      if (low.fits) {
        // The largest scale that still fits, to within half a percent.
        double lo = minimumScale_, hi = 1;
        while (hi - lo > 0.005) {
          const double mid = (lo + hi) / 2;
          TextOutcome o = attempt(mid, width, height);
          if (o.fits) {
            lo = mid;
            low = std::move(o);
          } else {
            hi = mid;
          }
        }
      }
      best = std::move(low);
    }
    outcomes_.emplace_back(p, std::move(best));
    return outcomes_.back().second;
  }

  std::string text_;
  Font font_;
  ShapeStyle foreground_;
  std::optional<int> lineLimit_;
  double minimumScale_;
  TextAlignment alignment_;
  TextMeasurer& measurer_;
  nlohmann::json extra_;
  TextOutcome chosen_;
  std::vector<std::pair<ProposedSize, TextOutcome>> outcomes_;
};

}  // namespace

LayoutNodePtr makeTextNode(std::string text, const InheritedStyle& style, TextMeasurer& measurer,
                           nlohmann::json attributes) {
  return std::make_unique<TextNode>(std::move(text), style, measurer, std::move(attributes));
}

}  // namespace kelvo::ui
