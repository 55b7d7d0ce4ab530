// LazyVGrid: columns across the offered width, filled row by row.

#include <algorithm>
#include <cmath>

#include "LayoutNode.h"

namespace kelvo::ui {
namespace {

double offsetIn(HorizontalAlignment a, double container, double child) {
  return a == HorizontalAlignment::leading    ? 0
         : a == HorizontalAlignment::trailing ? container - child
                                              : (container - child) / 2;
}

double offsetIn(VerticalAlignment a, double container, double child) {
  return a == VerticalAlignment::top      ? 0
         : a == VerticalAlignment::bottom ? container - child
                                          : (container - child) / 2;
}

struct GridArrangement {
  std::vector<double> columnWidths;
  std::vector<double> rowHeights;
  std::vector<ProposedSize> proposals;
  std::vector<Size> sizes;
  Size size;
};

class GridNode final : public LayoutNode {
 public:
  GridNode(std::vector<GridItem> columns, HorizontalAlignment alignment, std::optional<double> spacing,
           std::vector<LayoutNodePtr> kids)
      : LayoutNode("LazyVGrid"),
        columns_(std::move(columns)),
        alignment_(alignment),
        explicitSpacing_(spacing) {
    // A grid without columns has one flexible column.
    if (columns_.empty()) columns_.push_back(GridItem::flexible());
    for (auto& c : columns_) {
      if (!(c.size.minimum >= 0) || std::isinf(c.size.minimum)) c.size.minimum = 0;
      if (!(c.size.maximum >= c.size.minimum)) c.size.maximum = c.size.minimum;
    }
    rowSpacing_ = spacing.value_or(defaultSpacing);
    if (!std::isfinite(rowSpacing_)) rowSpacing_ = 0;
    children = std::move(kids);
    for (auto& child : children) child->collectItems(items_);
  }

  void place(const Rect& frame, const ProposedSize& p) override {
    frame_ = frame;
    const GridArrangement& a = arrange(p);
    const size_t n = columns_.size();
    double y = frame.y;
    for (size_t row = 0; row * n < items_.size(); ++row) {
      double x = frame.x;
      for (size_t col = 0; col < n && row * n + col < items_.size(); ++col) {
        const size_t i = row * n + col;
        const Alignment align = columns_[col].alignment.value_or(Alignment::center);
        const Size s = a.sizes[i];
        placeChild(*items_[i],
                   {x + offsetIn(align.horizontal, a.columnWidths[col], s.width),
                    y + offsetIn(align.vertical, a.rowHeights[row], s.height), s.width, s.height},
                   a.proposals[i]);
        x += a.columnWidths[col] + columnSpacing(col);
      }
      y += a.rowHeights[row] + rowSpacing_;
    }
    for (auto& child : children) {
      if (child->flattensIntoContainer()) child->fitToChildren();
    }
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override {
    const GridArrangement& a = arrange(p);
    if (items_.empty()) return std::nullopt;
    const auto b = items_[0]->firstBaseline(a.proposals[0]);
    if (!b) return std::nullopt;
    const Alignment align = columns_[0].alignment.value_or(Alignment::center);
    return offsetIn(align.vertical, a.rowHeights[0], a.sizes[0].height) + *b;
  }

  void exportTo(LaidOutNode& out) const override {
    nlohmann::json cols = nlohmann::json::array();
    for (const auto& c : columns_) {
      cols.push_back({{"size", c.size.kind == GridItemSize::Kind::fixed ? "fixed" : "flexible"},
                      {"minimum", lengthJson(c.size.minimum)},
                      {"maximum", lengthJson(c.size.maximum)}});
    }
    out.attributes["columns"] = cols;
    out.attributes["spacing"] = explicitSpacing_ ? lengthJson(*explicitSpacing_) : nlohmann::json("default");
  }

 protected:
  Size sizeThatFits(const ProposedSize& p) override { return arrange(p).size; }

 private:
  double columnSpacing(size_t col) const { return columns_[col].spacing.value_or(defaultSpacing); }

  const GridArrangement& arrange(const ProposedSize& p) {
    for (const auto& [proposal, arrangement] : arrangements_) {
      if (proposal == p) return arrangement;
    }
    GridArrangement a;
    const size_t n = columns_.size();
    a.columnWidths.assign(n, 0);
    double spacing = 0;
    for (size_t c = 0; c + 1 < n; ++c) spacing += std::max(0.0, columnSpacing(c));

    if (p.width && std::isfinite(*p.width)) {
      // Fixed columns take their width; flexible ones share the rest equally,
      // within their bounds, narrowest maximum first.
      double remaining = *p.width - spacing;
      std::vector<size_t> flexible;
      for (size_t c = 0; c < n; ++c) {
        if (columns_[c].size.kind == GridItemSize::Kind::fixed) {
          a.columnWidths[c] = columns_[c].size.minimum;
          remaining -= a.columnWidths[c];
        } else {
          flexible.push_back(c);
        }
      }
      std::stable_sort(flexible.begin(), flexible.end(), [&](size_t x, size_t y) {
        return columns_[x].size.maximum < columns_[y].size.maximum;
      });
      size_t left = flexible.size();
      for (size_t c : flexible) {
        const double share = std::max(0.0, remaining / double(left));
        a.columnWidths[c] = std::clamp(share, columns_[c].size.minimum, columns_[c].size.maximum);
        remaining -= a.columnWidths[c];
        --left;
      }
    } else {
      // No width to share: each column is as wide as its widest cell wants.
      for (size_t i = 0; i < items_.size(); ++i) {
        const size_t c = i % n;
        const double w = items_[i]->measure({std::nullopt, std::nullopt}).width;
        a.columnWidths[c] = std::max(a.columnWidths[c], w);
      }
      for (size_t c = 0; c < n; ++c) {
        a.columnWidths[c] = std::clamp(a.columnWidths[c], columns_[c].size.minimum, columns_[c].size.maximum);
      }
    }

    const size_t rows = (items_.size() + n - 1) / n;
    a.rowHeights.assign(rows, 0);
    a.proposals.resize(items_.size());
    a.sizes.resize(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
      a.proposals[i] = {a.columnWidths[i % n], std::nullopt};
      a.sizes[i] = items_[i]->measure(a.proposals[i]);
      a.rowHeights[i / n] = std::max(a.rowHeights[i / n], a.sizes[i].height);
    }
    double width = spacing;
    for (double w : a.columnWidths) width += w;
    double height = rows > 1 ? rowSpacing_ * double(rows - 1) : 0;
    for (double h : a.rowHeights) height += h;
    a.size = {width, height};
    (void)alignment_;  // the grid is as wide as its columns, so its own alignment has nothing to move
    arrangements_.emplace_back(p, std::move(a));
    return arrangements_.back().second;
  }

  std::vector<GridItem> columns_;
  HorizontalAlignment alignment_;
  std::optional<double> explicitSpacing_;
  double rowSpacing_;
  std::vector<LayoutNode*> items_;
  std::vector<std::pair<ProposedSize, GridArrangement>> arrangements_;
};

// Takes all it is offered; builds its content from that size when placed.
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

LayoutNodePtr makeGridNode(std::vector<GridItem> columns, HorizontalAlignment alignment,
                           std::optional<double> spacing, std::vector<LayoutNodePtr> children) {
  return std::make_unique<GridNode>(std::move(columns), alignment, spacing, std::move(children));
}

LayoutNodePtr makeGeometryReaderNode(std::function<View(const GeometryProxy&)> content, InheritedStyle style,
                                     LayoutContext context) {
  return std::make_unique<GeometryReaderNode>(std::move(content), std::move(style), context);
}

}  // namespace kelvo::ui
