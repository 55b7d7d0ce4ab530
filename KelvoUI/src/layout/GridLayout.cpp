// LazyVGrid: columns across the offered width, filled row by row.

#include <algorithm>
#include <cmath>

#include "layout/LayoutNode.h"

namespace kelvo::ui {
namespace {

// What the cells were offered (their column's width) and answered, and the
// rows' heights that gives.
struct MeasuredCells {
  std::vector<ProposedSize> proposals;
  std::vector<Size> sizes;
  std::vector<double> rowHeights;  // the tallest cell of each row, points
};

// How the grid arranged its cells for one proposal.
struct CellArrangement {
  std::vector<double> columnWidths;  // points
  MeasuredCells cells;
  Size size;
};

// A LazyVGrid. Laying out for a proposal runs these steps:
//   1. columnWidths: with a finite width, shareWidthAmongColumns (fixed
//      columns first, flexible ones by narrowest maximum); without one,
//      widthsOfWidestCells;
//   2. measureCells at their column's width, row by row;
//   3. gridSize: columns and their spacing across, rows and row spacing down.
// Placing aligns each cell in its column and row by the column's alignment.
class GridNode final : public LayoutNode {
 public:
  GridNode(std::vector<GridItem> columns, std::optional<double> spacing, std::vector<LayoutNodePtr> kids)
      : LayoutNode("LazyVGrid"), columns_(std::move(columns)), explicitSpacing_(spacing) {
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
    const CellArrangement& a = arrange(p);
    const size_t n = columns_.size();
    double y = frame.y;
    for (size_t row = 0; row * n < items_.size(); ++row) {
      double x = frame.x;
      for (size_t col = 0; col < n && row * n + col < items_.size(); ++col) {
        const size_t i = row * n + col;
        const Alignment align = columns_[col].alignment.value_or(Alignment::center);
        const Size s = a.cells.sizes[i];
        placeChild(
            *items_[i],
            {x + alignmentOffset(align.horizontal, a.columnWidths[col], s.width),
             y + alignmentOffset(align.vertical, a.cells.rowHeights[row], s.height), s.width, s.height},
            a.cells.proposals[i]);
        x += a.columnWidths[col] + columnSpacing(col);
      }
      y += a.cells.rowHeights[row] + rowSpacing_;
    }
    for (auto& child : children) {
      if (child->flattensIntoContainer()) child->fitToChildren();
    }
  }

  std::optional<double> firstBaseline(const ProposedSize& p) override {
    const CellArrangement& a = arrange(p);
    if (items_.empty()) return std::nullopt;
    const auto b = items_[0]->firstBaseline(a.cells.proposals[0]);
    if (!b) return std::nullopt;
    const Alignment align = columns_[0].alignment.value_or(Alignment::center);
    return alignmentOffset(align.vertical, a.cells.rowHeights[0], a.cells.sizes[0].height) + *b;
  }

  void exportTo(LaidOutNode& out) const override { out.details = GridDetails{columns_, explicitSpacing_}; }

 protected:
  Size sizeThatFits(const ProposedSize& p) override { return arrange(p).size; }

 private:
  double columnSpacing(size_t col) const { return columns_[col].spacing.value_or(defaultSpacing); }

  const CellArrangement& arrange(const ProposedSize& p) {
    for (const auto& [proposal, arrangement] : arrangements_) {
      if (proposal == p) return arrangement;
    }
    CellArrangement a;
    a.columnWidths = columnWidths(p);
    a.cells = measureCells(a.columnWidths);
    a.size = gridSize(a.columnWidths, a.cells.rowHeights);
    arrangements_.emplace_back(p, std::move(a));
    return arrangements_.back().second;
  }

  double totalColumnSpacing() const {
    double spacing = 0;
    for (size_t c = 0; c + 1 < columns_.size(); ++c) spacing += std::max(0.0, columnSpacing(c));
    return spacing;
  }

  // Step 1.
  std::vector<double> columnWidths(const ProposedSize& p) {
    if (p.width && std::isfinite(*p.width)) return shareWidthAmongColumns(*p.width - totalColumnSpacing());
    return widthsOfWidestCells();
  }

  // Fixed columns take their width; flexible ones share the rest equally,
  // within their bounds, narrowest maximum first.
  std::vector<double> shareWidthAmongColumns(double remaining) const {
    std::vector<double> widths(columns_.size(), 0);
    std::vector<size_t> flexible;
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (columns_[c].size.kind == GridItemSize::Kind::fixed) {
        widths[c] = columns_[c].size.minimum;
        remaining -= widths[c];
      } else {
        flexible.push_back(c);
      }
    }
    std::stable_sort(flexible.begin(), flexible.end(),
                     [&](size_t x, size_t y) { return columns_[x].size.maximum < columns_[y].size.maximum; });
    size_t left = flexible.size();
    for (size_t c : flexible) {
      const double share = std::max(0.0, remaining / double(left));
      widths[c] = std::clamp(share, columns_[c].size.minimum, columns_[c].size.maximum);
      remaining -= widths[c];
      --left;
    }
    return widths;
  }

  // No width to share: each column is as wide as its widest cell wants.
  std::vector<double> widthsOfWidestCells() {
    const size_t n = columns_.size();
    std::vector<double> widths(n, 0);
    for (size_t i = 0; i < items_.size(); ++i) {
      widths[i % n] = std::max(widths[i % n], items_[i]->measure({std::nullopt, std::nullopt}).width);
    }
    for (size_t c = 0; c < n; ++c) {
      widths[c] = std::clamp(widths[c], columns_[c].size.minimum, columns_[c].size.maximum);
    }
    return widths;
  }

  // Step 2.
  MeasuredCells measureCells(const std::vector<double>& widths) {
    const size_t n = columns_.size();
    MeasuredCells m;
    m.rowHeights.assign((items_.size() + n - 1) / n, 0);
    for (size_t i = 0; i < items_.size(); ++i) {
      m.proposals.push_back({widths[i % n], std::nullopt});
      m.sizes.push_back(items_[i]->measure(m.proposals.back()));
      m.rowHeights[i / n] = std::max(m.rowHeights[i / n], m.sizes.back().height);
    }
    return m;
  }

  // Step 3. The grid is as wide as its columns, so the grid's own
  // horizontal alignment has nothing to move and is not kept.
  Size gridSize(const std::vector<double>& widths, const std::vector<double>& rowHeights) const {
    double width = totalColumnSpacing();
    for (double w : widths) width += w;
    double height = rowHeights.size() > 1 ? rowSpacing_ * double(rowHeights.size() - 1) : 0;
    for (double h : rowHeights) height += h;
    return {width, height};
  }

  std::vector<GridItem> columns_;
  std::optional<double> explicitSpacing_;
  double rowSpacing_;
  std::vector<LayoutNode*> items_;
  std::vector<std::pair<ProposedSize, CellArrangement>> arrangements_;
};

}  // namespace

LayoutNodePtr makeGridNode(std::vector<GridItem> columns, std::optional<double> spacing,
                           std::vector<LayoutNodePtr> children) {
  return std::make_unique<GridNode>(std::move(columns), spacing, std::move(children));
}

}  // namespace kelvo::ui
