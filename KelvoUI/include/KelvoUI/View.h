#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "KelvoUI/Environment.h"
#include "KelvoUI/Font.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/Style.h"

namespace kelvo::ui {

struct Node;  // the toolkit's private representation of one element or modifier
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

// The frame modifier's options, in the toolkit's argument order. A fixed
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

template <class Self>
struct ViewModifiers;

// An immutable view value. Copies share the tree, so views are cheap to pass
// around. Every modifier returns a new view that wraps this one.
class View {
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
  const Node& node() const { return *node_; }
  const std::shared_ptr<const Node>& nodePointer() const { return node_; }

  // Text styling, passed down to every text and symbol inside.
  View font(const Font& font) const;
  View fontWeight(FontWeight weight) const;
  View foregroundStyle(const ShapeStyle& style) const;
  View lineLimit(std::optional<int> lines) const;
  View minimumScaleFactor(double factor) const;
  View multilineTextAlignment(TextAlignment alignment) const;
  View labelStyle(LabelStyle style) const;

  // Layout.
  View frame(const FrameOptions& options) const;
  View padding() const;  // 16 points on every edge
  View padding(double length) const;
  View padding(Edges edges, std::optional<double> length = std::nullopt) const;
  View padding(const EdgeInsets& insets) const;
  View layoutPriority(double priority) const;

  // Shapes and images.
  View fill(const ShapeStyle& style) const;  // shapes only; elsewhere it does nothing
  View resizable() const;                    // pictures only
  View scaledToFit() const;                  // pictures only: aspect ratio kept, all visible
  View scaledToFill() const;                 // pictures only: aspect ratio kept, frame covered

  // Accessibility and the host's widget modifiers.
  View accessibilityHidden(bool hidden) const;
  View widgetURL(const std::string& url) const;
  View containerBackground(const ShapeStyle& style, ContainerBackgroundPlacement placement =
                                                        ContainerBackgroundPlacement::widget) const;

 private:
  static View makeNamed(const char* name, std::function<View(const Environment&)> body);
  std::shared_ptr<const Node> node_;
};

// Modifiers for named view structs, so that `BatteryBar(f, tint).padding(...)`
// reads like an element: derive from ViewModifiers<BatteryBar> and give the
// struct a constructor. `View(named)` does the same without the base.
template <class Self>
struct ViewModifiers {
  View view() const { return View(static_cast<const Self&>(*this)); }
  View font(const Font& f) const { return view().font(f); }
  View fontWeight(FontWeight w) const { return view().fontWeight(w); }
  View foregroundStyle(const ShapeStyle& s) const { return view().foregroundStyle(s); }
  View lineLimit(std::optional<int> lines) const { return view().lineLimit(lines); }
  View minimumScaleFactor(double f) const { return view().minimumScaleFactor(f); }
  View multilineTextAlignment(TextAlignment a) const { return view().multilineTextAlignment(a); }
  View labelStyle(LabelStyle s) const { return view().labelStyle(s); }
  View frame(const FrameOptions& o) const { return view().frame(o); }
  View padding() const { return view().padding(); }
  View padding(double length) const { return view().padding(length); }
  View padding(Edges e, std::optional<double> length = std::nullopt) const {
    return view().padding(e, length);
  }
  View padding(const EdgeInsets& insets) const { return view().padding(insets); }
  View layoutPriority(double p) const { return view().layoutPriority(p); }
  View accessibilityHidden(bool hidden) const { return view().accessibilityHidden(hidden); }
  View widgetURL(const std::string& url) const { return view().widgetURL(url); }
  View containerBackground(const ShapeStyle& s,
                           ContainerBackgroundPlacement p = ContainerBackgroundPlacement::widget) const {
    return view().containerBackground(s, p);
  }
};

// The empty view, for an element that is left out.
View EmptyView();

// A view computed from the environment when the tree is laid out (the
// toolkit's `@Environment(\.widgetFamily)`).
View EnvironmentReader(std::function<View(const Environment&)> content);

}  // namespace kelvo::ui
