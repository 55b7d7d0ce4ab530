// Text in layout: wraps to the offered width, shrinks by its minimum scale
// factor when it does not fit, and only then truncates with "…". Only the
// part of the text that can be seen is ever measured or drawn.

#include <algorithm>
#include <climits>
#include <cmath>

#include "layout/LayoutNode.h"
#include "text/TextBudget.h"

namespace kelvo::ui {
namespace {

struct TextOutcome {
  TextRequest request;
  TextMetrics metrics;
  Size size;
  bool fits = false;
  double height = infinity;  // the height offered, points
  int maxLines = 0;          // the line limit asked for (0: none)
};

class TextNode final : public LayoutNode {
 public:
  TextNode(std::string_view text, const InheritedStyle& style, const LayoutContext& context,
           std::optional<RelativeTimeSource> relativeTime)
      : LayoutNode("Text"),
        font_(style.resolvedFont()),
        foreground_(style.foreground),
        lineLimit_(style.lineLimit),
        minimumScale_(style.minimumScaleFactor),
        alignment_(style.textAlignment),
        measurer_(*context.measurer),
        visible_(context.visible),
        relativeTime_(relativeTime) {
    // What the smallest scale could show wrapped anywhere in the visible
    // area: every request below takes a part of this.
    const double smallest = minimumScale_ < 1 ? minimumScale_ : 1;
    BudgetedText kept =
        budgetedText(text, textBudget(font_, smallest, visible_.width, lineLimit_.value_or(0), visible_));
    text_ = std::move(kept.text);
    cut_ = kept.cut;
  }

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
    if (std::isfinite(frame_.width)) {
      const double width = std::max(frame_.width, chosen_.size.width);
      if (width != d.request.wrapWidth)
        d.request = request(d.request.scale, width, chosen_.height, chosen_.maxLines);
    }
    d.foreground = foreground_;
    d.truncated = chosen_.metrics.truncated;
    d.lineCount = chosen_.metrics.lineCount;
    d.firstBaseline = chosen_.metrics.firstBaseline;
    d.lineLimit = lineLimit_;
    d.minimumScaleFactor = minimumScale_;
    d.relativeTime = relativeTime_;
    out.drawing = std::move(d);
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override { return solve(p).size; }

 private:
  // The request at `scale` wrapped at `width` in at most `maxLines` lines
  // (0: any number): as much of the text as fits the visible area, or the
  // height offered, followed by "…" when some was left out; never more
  // lines than the area holds.
  TextRequest request(double scale, double width, double height, int maxLines) const {
    Size area = visible_;
    if (height < area.height) area.height = std::max(0.0, height);
    const TextBudget budget = textBudget(font_, scale, width, maxLines, area);
    BudgetedText shown = budgetedText(text_, budget);
    TextRequest r;
    r.text = std::move(shown.text);
    r.cut = shown.cut || cut_;
    if (r.cut) r.text += "\u2026";
    r.font = font_;
    r.scale = scale;
    r.wrapWidth = width;
    r.maxLines = int(std::min<std::size_t>(budget.lines, INT_MAX));
    r.alignment = alignment_;
    return r;
  }

  // The measurer's answer, once per set of lines; text cut by request()
  // counts as truncated even where the measurer had room for the "…".
  TextMetrics measured(const TextRequest& r) {
    auto it = std::find_if(measured_.begin(), measured_.end(), [&r](const auto& m) {
      return (m.first.scale == r.scale && m.first.wrapWidth == r.wrapWidth &&
              m.first.maxLines == r.maxLines && m.first.text == r.text) ||
             sameLines(m.first, m.second, r);
    });
    if (it == measured_.end()) {
      TextMetrics m = measurer_.measure(r);
      m.truncated = m.truncated || r.cut;
      measured_.emplace_back(r, m);
      it = std::prev(measured_.end());
    }
    return it->second;
  }

  TextOutcome attempt(double scale, double width, double height) {
    TextOutcome o;
    o.height = height;
    o.maxLines = lineLimit_.value_or(0);
    o.request = request(scale, width, height, o.maxLines);
    o.metrics = measured(o.request);
    // Fewer lines when the height offered holds fewer; always at least one.
    if (std::isfinite(height) && o.metrics.lineCount > 1 && o.metrics.size.height > height + 0.01) {
      const double lineHeight = o.metrics.size.height / o.metrics.lineCount;
      const int lines = std::max(1, int(std::floor((height + 0.01) / lineHeight)));
      if (lines < o.metrics.lineCount) {
        o.maxLines = lines;
        o.request = request(scale, width, height, lines);
        o.metrics = measured(o.request);
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

  std::string text_;  // what the visible area can show of the text
  bool cut_ = false;  // text_ leaves out some of the text
  Font font_;
  ShapeStyle foreground_;
  std::optional<int> lineLimit_;
  double minimumScale_;
  TextAlignment alignment_;
  TextMeasurer& measurer_;
  Size visible_;
  std::optional<RelativeTimeSource> relativeTime_;
  TextOutcome chosen_;
  std::vector<std::pair<ProposedSize, TextOutcome>> outcomes_;
  std::vector<std::pair<TextRequest, TextMetrics>> measured_;
};

}  // namespace

bool sameLines(const TextRequest& earlier, const TextMetrics& metrics, const TextRequest& later) {
  if (earlier.text != later.text || earlier.font != later.font || earlier.scale != later.scale ||
      earlier.alignment != later.alignment || earlier.cut != later.cut || metrics.truncated) {
    return false;
  }
  if (metrics.lineCount == 1) return later.wrapWidth >= metrics.size.width;
  const auto unreached = [&metrics](int maxLines) { return maxLines == 0 || maxLines > metrics.lineCount; };
  return earlier.wrapWidth == later.wrapWidth && unreached(earlier.maxLines) && unreached(later.maxLines);
}

LayoutNodePtr makeTextNode(std::string text, const InheritedStyle& style, const LayoutContext& context,
                           std::optional<RelativeTimeSource> relativeTime) {
  return std::make_unique<TextNode>(text, style, context, relativeTime);
}

}  // namespace kelvo::ui
