#pragma once

#include <concepts>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoUI/View.h"

// KelvoUI's elements. Trees read like the macOS toolkit's own:
//
//   VStack({.alignment = HorizontalAlignment::leading, .spacing = 0}, {
//       Text(model).font(Font::caption).foregroundStyle(ShapeStyle::secondary).lineLimit(1),
//       Spacer(4),
//       ...
//   }).frame({.maxWidth = infinity, .alignment = Alignment::leading})

namespace kelvo::ui {

// Stack spacing when none is given, and a spacer's default minimum length.
inline constexpr double defaultSpacing = 8;

struct VStackOptions {
  HorizontalAlignment alignment = HorizontalAlignment::center;
  std::optional<double> spacing = std::nullopt;  // points between children; nullopt = 8
};
struct HStackOptions {
  VerticalAlignment alignment = VerticalAlignment::center;
  std::optional<double> spacing = std::nullopt;  // points between children; nullopt = 8
};
struct ZStackOptions {
  Alignment alignment = Alignment::center;
};

// Children are laid out in order; empty views are skipped and the children of
// a Group or ForEach take part one by one.
View VStack(std::vector<View> children);
View VStack(VStackOptions options, std::vector<View> children);
View HStack(std::vector<View> children);
View HStack(HStackOptions options, std::vector<View> children);
View ZStack(std::vector<View> children);
View ZStack(ZStackOptions options, std::vector<View> children);

// A flexible gap along the stack's axis, never shorter than minLength
// (8 points when not given).
View Spacer(std::optional<double> minLength = std::nullopt);

// Holds the one alternative chosen when the body was evaluated (or several,
// which a stack takes one by one).
View Group(View content);
View Group(std::vector<View> children);

// What the geometry reader hands its content: the size it was given.
struct GeometryProxy {
  Size size;  // points
};
// Takes all it is offered and builds its content from that size; the content
// sits at the reader's top-leading corner.
View GeometryReader(std::function<View(const GeometryProxy&)> content);

struct GridItemSize {
  enum class Kind { fixed, flexible };
  Kind kind = Kind::flexible;
  double minimum = 10;        // points
  double maximum = infinity;  // points

  static GridItemSize flexible(double minimum = 10, double maximum = infinity) {
    return {Kind::flexible, minimum, maximum};
  }
  static GridItemSize fixed(double width) { return {Kind::fixed, width, width}; }
};

// One grid column: `GridItem{.size = GridItemSize::flexible(), .alignment = Alignment::leading}`.
struct GridItem {
  GridItemSize size = GridItemSize::flexible();
  std::optional<double> spacing = std::nullopt;       // points after this column; nullopt = 8
  std::optional<Alignment> alignment = std::nullopt;  // of a cell in its column; nullopt = center

  static GridItem flexible(double minimum = 10, double maximum = infinity) {
    return {GridItemSize::flexible(minimum, maximum), std::nullopt, std::nullopt};
  }
};

struct LazyVGridOptions {
  std::vector<GridItem> columns = {};
  HorizontalAlignment alignment = HorizontalAlignment::center;
  std::optional<double> spacing = std::nullopt;  // points between rows; nullopt = 8
};
// Fills the columns row by row from its children.
View LazyVGrid(LazyVGridOptions options, std::vector<View> children);

// A text shown verbatim.
View Text(std::string verbatim);
// An instant (seconds since 1970) as a numeric relative time ("8m ago"),
// worded against the environment's "now" and locale when laid out.
View Text(double instantSecondsSince1970, RelativeUnitsStyle unitsStyle);

// A named system symbol, sized by the font and coloured by the foreground
// style. An unknown name draws nothing and shows as unknown in the tree.
struct SystemImage {
  std::string systemName;
};
View Image(SystemImage symbol);
// A decoded picture; drawn at its pixel size in points unless made resizable.
View Image(const Bitmap& picture);

// Icon and title side by side; with LabelStyle::titleAndIcon both are always shown.
View Label(std::string title, SystemImage icon);

enum class RoundedCornerStyle { circular, continuous };
// A rounded bar filling its frame, ends fully rounded. Filled with the
// foreground style unless `fill` says otherwise.
View Capsule(RoundedCornerStyle style = RoundedCornerStyle::continuous);
View Rectangle();

// Identity of an item for ForEach: its `id()` or `id` member.
template <class T>
std::string identityOf(const T& item) {
  if constexpr (requires { item.id(); }) {
    return std::string(item.id());
  } else {
    return std::string(item.id);
  }
}

View makeForEach(std::vector<std::string> ids, std::vector<View> views);

// One view per item of a list of identifiable items, in list order.
template <class Items, class Content>
requires std::invocable<const Content&, const typename Items::value_type&> View
ForEach(const Items& items, const Content& content) {
  std::vector<std::string> ids;
  std::vector<View> views;
  for (const auto& item : items) {
    ids.push_back(identityOf(item));
    views.push_back(View(content(item)));
  }
  return makeForEach(std::move(ids), std::move(views));
}

}  // namespace kelvo::ui
