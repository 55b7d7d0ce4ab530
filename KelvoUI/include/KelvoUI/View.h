#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "KelvoUI/Environment.h"
#include "KelvoUI/Font.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/Style.h"

namespace kelvo::ui {

struct Node;  // KelvoUI's own representation of one element or modifier, private to its sources
class View;

// A struct with a type name and a body becomes a view by conversion:
//
//   struct StatusLabel {
//     static constexpr const char* name = "StatusLabel";
//     WidgetSnapshot snapshot;
//     View body() const;                        // or: View body(const Environment&) const;
//   };
//
// The body is evaluated when the tree is laid out, and the node that begins
// it carries `view: "StatusLabel"` in the tree dump.
template <class T>
concept ViewBodyWithoutEnvironment = requires(const T& v) {
  { T::name } -> std::convertible_to<const char*>;
  { v.body() } -> std::convertible_to<View>;
};
template <class T>
concept ViewBodyWithEnvironment = requires(const T& v, const Environment& env) {
  { T::name } -> std::convertible_to<const char*>;
  { v.body(env) } -> std::convertible_to<View>;
};
template <class T>
concept NamedView = ViewBodyWithoutEnvironment<T> || ViewBodyWithEnvironment<T>;

// The frame modifier's options, in the macOS toolkit's argument order. A fixed
// `width`/`height` sets that axis outright; min/ideal/max make it flexible
// (`maxWidth = infinity` takes all that is offered). `alignment` places the
// content inside the frame.
struct FrameOptions {
  std::optional<double> width = std::nullopt;        // fixed width, points
  std::optional<double> height = std::nullopt;       // fixed height, points
  std::optional<double> minWidth = std::nullopt;     // points
  std::optional<double> idealWidth = std::nullopt;   // points
  std::optional<double> maxWidth = std::nullopt;     // points, may be infinity
  std::optional<double> minHeight = std::nullopt;    // points
  std::optional<double> idealHeight = std::nullopt;  // points
  std::optional<double> maxHeight = std::nullopt;    // points, may be infinity
  Alignment alignment = Alignment::center;
};

enum class LabelStyle { automatic, titleAndIcon, titleOnly, iconOnly };
enum class ContainerBackgroundPlacement { widget };

// Padding on each edge for `padding()` without a length.
inline constexpr double defaultPadding = 16;

// What each view modifier sets; a modified view is one of these wrapping the
// view it was called on. The layout builder says what each one does.
struct FontModifier {
  Font font;
};
struct FontWeightModifier {
  FontWeight weight;
};
struct ForegroundStyleModifier {
  ShapeStyle style;
};
struct LineLimitModifier {
  std::optional<int> lines;  // below one line: no limit
};
struct MinimumScaleFactorModifier {
  double factor;  // clamped to 0.01...1; NaN: no shrinking
};
struct MultilineTextAlignmentModifier {
  TextAlignment alignment;
};
struct LabelStyleModifier {
  LabelStyle style;
};
struct FrameModifier {
  FrameOptions options;
};
struct PaddingModifier {
  EdgeInsets insets;
};
struct LayoutPriorityModifier {
  double priority;
};
struct FillModifier {
  ShapeStyle style;
};
struct ResizableModifier {};
struct ScaledToFitModifier {};
struct ScaledToFillModifier {};
struct AccessibilityHiddenModifier {
  bool hidden;
};
struct WidgetURLModifier {
  std::string url;
};
struct ContainerBackgroundModifier {
  ShapeStyle style;
  ContainerBackgroundPlacement placement;
};
using Modifier = std::variant<FontModifier, FontWeightModifier, ForegroundStyleModifier, LineLimitModifier,
                              MinimumScaleFactorModifier, MultilineTextAlignmentModifier, LabelStyleModifier,
                              FrameModifier, PaddingModifier, LayoutPriorityModifier, FillModifier,
                              ResizableModifier, ScaledToFitModifier, ScaledToFillModifier,
                              AccessibilityHiddenModifier, WidgetURLModifier, ContainerBackgroundModifier>;

// The view modifiers, declared once: View has them, and so does a named view
// struct that derives from ViewModifiers<itself>, so that
// `BatteryBar(f, tint).padding(...)` reads like an element. Each returns a
// new View (`auto` only because View is not complete here).
template <class Self>
struct ViewModifiers {
  // Text styling, passed down to every text and symbol inside.
  auto font(const Font& font) const { return modified(FontModifier{font}); }
  auto fontWeight(FontWeight weight) const { return modified(FontWeightModifier{weight}); }
  auto foregroundStyle(const ShapeStyle& style) const { return modified(ForegroundStyleModifier{style}); }
  auto lineLimit(std::optional<int> lines) const { return modified(LineLimitModifier{lines}); }
  auto minimumScaleFactor(double factor) const { return modified(MinimumScaleFactorModifier{factor}); }
  auto multilineTextAlignment(TextAlignment a) const { return modified(MultilineTextAlignmentModifier{a}); }
  auto labelStyle(LabelStyle style) const { return modified(LabelStyleModifier{style}); }

  // Layout.
  auto frame(const FrameOptions& options) const { return modified(FrameModifier{options}); }
  auto padding(const EdgeInsets& insets) const { return modified(PaddingModifier{insets}); }
  auto padding(double length = defaultPadding) const { return padding(Edges::all, length); }
  auto padding(Edges edges, std::optional<double> length = std::nullopt) const {
    return padding(insetsOn(edges, length.value_or(defaultPadding)));
  }
  auto layoutPriority(double priority) const { return modified(LayoutPriorityModifier{priority}); }

  // Shapes and images: fill for shapes, the rest for pictures (aspect ratio
  // kept, all visible / frame covered); elsewhere they do nothing.
  auto fill(const ShapeStyle& style) const { return modified(FillModifier{style}); }
  auto resizable() const { return modified(ResizableModifier{}); }
  auto scaledToFit() const { return modified(ScaledToFitModifier{}); }
  auto scaledToFill() const { return modified(ScaledToFillModifier{}); }

  // Accessibility and the host's widget modifiers.
  auto accessibilityHidden(bool hidden) const { return modified(AccessibilityHiddenModifier{hidden}); }
  auto widgetURL(const std::string& url) const { return modified(WidgetURLModifier{url}); }
  auto containerBackground(const ShapeStyle& style, ContainerBackgroundPlacement placement =
                                                        ContainerBackgroundPlacement::widget) const {
    return modified(ContainerBackgroundModifier{style, placement});
  }

 private:
  View modified(Modifier modifier) const;
};

// An immutable view value. Copies share the tree, so views are cheap to pass
// around. Every modifier returns a new view that wraps this one.
class View : public ViewModifiers<View> {
 public:
  // The empty view: stacks skip it and it takes no space.
  View();
  // Nothing for nullopt, so optional elements can be listed in a stack. (A
  // template, so that converting a View never considers std::optional.)
  template <class Optional>
  requires std::same_as<Optional, std::optional<View>> View(
      const Optional& view)  // NOLINT: implicit on purpose
      : View(view ? view->node_ : nullptr) {}

  // A named view struct (see NamedView above).
  template <NamedView T>
  View(const T& named)  // NOLINT: implicit, so named views sit in stacks like elements
      : View(makeNamed(T::name, [named](const Environment& env) -> View {
          if constexpr (ViewBodyWithEnvironment<T>) {
            return View(named.body(env));
          } else {
            (void)env;
            return View(named.body());
          }
        })) {}

  explicit View(std::shared_ptr<const Node> node);

  bool isEmpty() const;

 private:
  template <class Self>
  friend struct ViewModifiers;
  friend class LayoutBuilder;  // reads the tree it lays out

  static View makeNamed(const char* name, std::function<View(const Environment&)> body);
  // This view wrapped in `modifier`.
  View wrappedIn(Modifier modifier) const;
  const Node& node() const { return *node_; }

  std::shared_ptr<const Node> node_;
};

template <class Self>
View ViewModifiers<Self>::modified(Modifier modifier) const {
  return View(static_cast<const Self&>(*this)).wrappedIn(std::move(modifier));
}

// The empty view, for an element that is left out.
View EmptyView();

// A view computed from the environment when the tree is laid out (what a
// macOS toolkit view reads with `@Environment(\.widgetFamily)`).
View EnvironmentReader(std::function<View(const Environment&)> content);

}  // namespace kelvo::ui
