#pragma once

#include <cairo.h>

#include <array>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "KelvoBase/Result.h"
#include "KelvoUI/Environment.h"
#include "KelvoUI/LaidOutNode.h"
#include "KelvoUI/TextMeasurer.h"
#include "KelvoUI/View.h"

namespace kelvo::ui {

class PangoTextMeasurer;

// What a widget can be drawn to. Each format has its row below (its name)
// and its renderer in render/WidgetRenderer.cpp (surface, painting and
// finishing step).
enum class OutputFormat { png, svg, pdf, json };

struct OutputFormatInfo {
  OutputFormat format;
  std::string_view name;  // on the command line, "png"
};

// In declaration order of OutputFormat.
inline constexpr std::array<OutputFormatInfo, 4> kOutputFormats{{
    {OutputFormat::png, "png"},
    {OutputFormat::svg, "svg"},
    {OutputFormat::pdf, "pdf"},
    {OutputFormat::json, "json"},
}};

namespace detail {
constexpr bool formatRowsInOrder() {
  for (std::size_t i = 0; i < kOutputFormats.size(); ++i) {
    if (kOutputFormats[i].format != static_cast<OutputFormat>(i)) return false;
  }
  switch (kOutputFormats.back().format) {
    case OutputFormat::png:
    case OutputFormat::svg:
    case OutputFormat::pdf:
      return false;
    case OutputFormat::json:
      return true;
  }
  return false;
}
static_assert(formatRowsInOrder(), "kOutputFormats needs one row per OutputFormat, in declaration order");
}  // namespace detail

std::optional<OutputFormat> parseOutputFormat(std::string_view name);

// Pixels per point of PNG renders unless asked otherwise.
inline constexpr double defaultRenderScale = 2;
// Corner radius of the widget's rounded rectangle, points.
inline constexpr double widgetCornerRadius = 22;

// A widget's content laid out the way the host places it.
struct WidgetLayout {
  Environment environment;                        // what the content was evaluated against
  Size widgetSize;                                // the family's size, points
  Rect contentRect;                               // inside the host's content margins, points
  LaidOutNode root;                               // the content
  std::optional<std::string> widgetURL;           // outermost widgetURL in the content
  std::optional<ShapeStyle> containerBackground;  // outermost containerBackground in the content
  bool containerBackgroundDrawn = false;          // the host supports and draws it
  // What the host calls the drawing for assistive technology (SVG's title);
  // nothing: its texts in reading order.
  std::optional<std::string> accessibilityLabel;
};

// Lays out the content for the environment's widget family: inside the
// host's content margins on a host that draws container backgrounds, over the
// whole widget on one that does not. Fails only when Pango cannot find its
// fonts.
Result<WidgetLayout> layoutWidget(const View& content, const Environment& environment);
WidgetLayout layoutWidget(const View& content, const Environment& environment, TextMeasurer& measurer);

// Draws a laid-out widget: the rounded shape with the window material, the
// container background when drawn, then the content. PNG at `scale` pixels
// per point; SVG and PDF in points, with the widget URL as a link around the
// drawing (and SVG named by its accessibility label and texts); JSON is the
// tree dump.
Result<std::string> renderLayout(const WidgetLayout& layout, OutputFormat format,
                                 double scale = defaultRenderScale);

// Draws a laid-out widget like renderLayout, but onto the caller's context
// (a window's, say), whose user space must be widget points: the caller sets
// the scale to its pixels per point and the origin to the widget's corner.
// Paints over what is there inside the rounded shape only and leaves the
// context's state as it was. Fails only when Pango cannot find its fonts.
std::optional<Error> paintLayout(cairo_t* cr, const WidgetLayout& layout);
// The same with the measurer the layout was made with, for a host that keeps
// its own (and so decides how long its font caches live).
void paintLayout(cairo_t* cr, const WidgetLayout& layout, PangoTextMeasurer& measurer);

// layoutWidget + renderLayout.
Result<std::string> renderWidget(const View& content, const Environment& environment, OutputFormat format,
                                 double scale = defaultRenderScale);

// The laid-out tree as JSON: one object per node with type, frame, children
// and what was drawn (see LaidOutNode).
nlohmann::json dumpTree(const LaidOutNode& node);
// The whole widget: size, family, appearance, widgetURL, background and the content tree.
nlohmann::json dumpWidget(const WidgetLayout& layout);

}  // namespace kelvo::ui
