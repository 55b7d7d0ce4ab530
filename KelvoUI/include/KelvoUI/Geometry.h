#pragma once

#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "KelvoBase/Unreachable.h"

namespace kelvo::ui {

// Unbounded length, for `frame(maxWidth: infinity)` and infinite proposals.
inline constexpr double infinity = std::numeric_limits<double>::infinity();

struct Size {
  double width = 0;   // in points
  double height = 0;  // in points
  friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
  double x = 0;  // in points
  double y = 0;  // in points
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  double x = 0;       // left edge, in points
  double y = 0;       // top edge, in points
  double width = 0;   // in points
  double height = 0;  // in points
  friend bool operator==(const Rect&, const Rect&) = default;
};

// What a parent offers a child, per axis: nullopt = unspecified (the child's
// ideal size), 0 = its minimum, a finite length, or `infinity` (its maximum).
struct ProposedSize {
  std::optional<double> width;   // in points
  std::optional<double> height;  // in points

  static ProposedSize unspecified() { return {}; }
  static ProposedSize zero() { return {0.0, 0.0}; }
  static ProposedSize infinite() { return {infinity, infinity}; }
  static ProposedSize of(Size s) { return {s.width, s.height}; }
  friend bool operator==(const ProposedSize&, const ProposedSize&) = default;
};

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom, firstTextBaseline, lastTextBaseline };

// Two-axis alignment of content inside a frame or a ZStack.
struct Alignment {
  HorizontalAlignment horizontal = HorizontalAlignment::center;
  VerticalAlignment vertical = VerticalAlignment::center;

  static const Alignment center, leading, trailing, top, bottom;
  static const Alignment topLeading, topTrailing, bottomLeading, bottomTrailing;
  friend bool operator==(const Alignment&, const Alignment&) = default;
};
inline constexpr Alignment Alignment::center{HorizontalAlignment::center, VerticalAlignment::center};
inline constexpr Alignment Alignment::leading{HorizontalAlignment::leading, VerticalAlignment::center};
inline constexpr Alignment Alignment::trailing{HorizontalAlignment::trailing, VerticalAlignment::center};
inline constexpr Alignment Alignment::top{HorizontalAlignment::center, VerticalAlignment::top};
inline constexpr Alignment Alignment::bottom{HorizontalAlignment::center, VerticalAlignment::bottom};
inline constexpr Alignment Alignment::topLeading{HorizontalAlignment::leading, VerticalAlignment::top};
inline constexpr Alignment Alignment::topTrailing{HorizontalAlignment::trailing, VerticalAlignment::top};
inline constexpr Alignment Alignment::bottomLeading{HorizontalAlignment::leading, VerticalAlignment::bottom};
inline constexpr Alignment Alignment::bottomTrailing{HorizontalAlignment::trailing,
                                                     VerticalAlignment::bottom};

// Where content `length` long starts inside a `span` when aligned as asked,
// from the span's leading or top edge. A text-baseline alignment outside a
// horizontal stack (which lines baselines up itself) aligns to the top.
constexpr double alignmentOffset(HorizontalAlignment a, double span, double length) {
  switch (a) {
    case HorizontalAlignment::leading:
      return 0;
    case HorizontalAlignment::center:
      return (span - length) / 2;
    case HorizontalAlignment::trailing:
      return span - length;
  }
  unreachable(__func__);
}
constexpr double alignmentOffset(VerticalAlignment a, double span, double length) {
  switch (a) {
    case VerticalAlignment::top:
    case VerticalAlignment::firstTextBaseline:
    case VerticalAlignment::lastTextBaseline:
      return 0;
    case VerticalAlignment::center:
      return (span - length) / 2;
    case VerticalAlignment::bottom:
      return span - length;
  }
  unreachable(__func__);
}

// Alignment names as the tree dump shows them: "leading", "firstTextBaseline",
// and "leading/top" for two axes.
constexpr const char* toString(HorizontalAlignment a) {
  switch (a) {
    case HorizontalAlignment::leading:
      return "leading";
    case HorizontalAlignment::center:
      return "center";
    case HorizontalAlignment::trailing:
      return "trailing";
  }
  unreachable(__func__);
}
constexpr const char* toString(VerticalAlignment a) {
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
  unreachable(__func__);
}
inline std::string toString(const Alignment& a) {
  return std::string(toString(a.horizontal)) + "/" + toString(a.vertical);
}

// Which way horizontal layouts run. Right to left, `leading` is the right
// edge: stacks and grids fill from the right, frames and padding mirror, the
// lines of text align to the right. Symbols and pictures are not flipped.
enum class LayoutDirection { leftToRight, rightToLeft };

// Alignment of wrapped lines within a text's frame.
enum class TextAlignment { leading, center, trailing };

// A set of edges, for `padding(Edges::vertical, 4)`.
enum class Edges : unsigned {
  top = 1,
  leading = 2,
  bottom = 4,
  trailing = 8,
  vertical = top | bottom,
  horizontal = leading | trailing,
  all = top | leading | bottom | trailing,
};
constexpr Edges operator|(Edges a, Edges b) { return Edges(unsigned(a) | unsigned(b)); }
constexpr bool contains(Edges set, Edges e) { return (unsigned(set) & unsigned(e)) == unsigned(e); }

struct EdgeInsets {
  double top = 0;       // in points
  double leading = 0;   // in points
  double bottom = 0;    // in points
  double trailing = 0;  // in points
  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

// `length` on each edge in `edges`, 0 on the others.
constexpr EdgeInsets insetsOn(Edges edges, double length) {
  return {contains(edges, Edges::top) ? length : 0, contains(edges, Edges::leading) ? length : 0,
          contains(edges, Edges::bottom) ? length : 0, contains(edges, Edges::trailing) ? length : 0};
}

}  // namespace kelvo::ui
