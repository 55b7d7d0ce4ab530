#include "KelvoUI/WidgetRenderer.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <functional>

#include "KelvoUI/Layout.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "Painter.h"
#include "PngEncoder.h"
#include "Utf8.h"

namespace kelvo::ui {
namespace {

// Largest PNG side we agree to make, in pixels.
constexpr double maxPixels = 16384;

// The outermost value in pre-order, so what wraps the whole content wins.
template <class T>
std::optional<T> outermost(const LaidOutNode& node, std::optional<T> LaidOutNode::*field) {
  if (node.*field) return node.*field;
  for (const auto& child : node.children) {
    if (auto v = outermost(child, field)) return v;
  }
  return std::nullopt;
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string xmlEscape(const std::string& s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Cairo's tag attributes quote strings with single quotes; backslash escapes.
std::string cairoAttributeEscape(const std::string& s) {
  std::string out;
  for (const char c : s) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// Puts the drawing inside <a href="url"> ... </a> so clicking it follows the link.
std::string linkSvg(std::string svg, const std::string& url) {
  const size_t open = svg.find("<svg");
  if (open == std::string::npos) return svg;
  const size_t openEnd = svg.find('>', open);
  const size_t close = svg.rfind("</svg>");
  if (openEnd == std::string::npos || close == std::string::npos || close < openEnd) return svg;
  const std::string href = xmlEscape(url);
  svg.insert(close, "</a>\n");
  svg.insert(openEnd + 1, "\n<a xlink:href=\"" + href + "\" href=\"" + href + "\">");
  return svg;
}

Result<std::string> finish(cairo_surface_t* surface, cairo_t* cr, std::string& out) {
  const cairo_status_t drawStatus = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const cairo_status_t surfaceStatus = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (drawStatus != CAIRO_STATUS_SUCCESS)
    return Error{std::string("drawing failed: ") + cairo_status_to_string(drawStatus)};
  if (surfaceStatus != CAIRO_STATUS_SUCCESS) {
    return Error{std::string("writing the drawing failed: ") + cairo_status_to_string(surfaceStatus)};
  }
  return std::move(out);
}

}  // namespace

WidgetLayout layoutWidget(const View& content, const Environment& environment, TextMeasurer& measurer) {
  WidgetLayout l;
  l.environment = environment;
  l.widgetSize = widgetSize(environment.widgetFamily);
  double margin = 0;
  if (environment.hostDrawsContainerBackground()) {
    margin = environment.host.contentMargin;
    if (!std::isfinite(margin) || margin < 0) margin = 0;
    margin = std::min(margin, std::min(l.widgetSize.width, l.widgetSize.height) / 2);
  }
  l.contentRect = {margin, margin, l.widgetSize.width - 2 * margin, l.widgetSize.height - 2 * margin};
  l.root = layoutView(content, l.contentRect, environment, measurer);
  l.widgetURL = outermost(l.root, &LaidOutNode::widgetURL);
  l.containerBackground = outermost(l.root, &LaidOutNode::containerBackground);
  // The older host has no container backgrounds; the modifier does nothing there.
  l.containerBackgroundDrawn =
      l.containerBackground.has_value() && environment.hostDrawsContainerBackground();
  return l;
}

Result<WidgetLayout> layoutWidget(const View& content, const Environment& environment) {
  auto measurer = PangoTextMeasurer::threadLocal();
  if (!measurer) return measurer.error();
  return layoutWidget(content, environment, **measurer);
}

Result<std::string> renderLayout(const WidgetLayout& layout, OutputFormat format, double scale) {
  if (format == OutputFormat::json) {
    return dumpWidget(layout).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  auto measurer = PangoTextMeasurer::threadLocal();
  if (!measurer) return measurer.error();
  PangoTextMeasurer& text = **measurer;
  const double width = layout.widgetSize.width, height = layout.widgetSize.height;
  std::string out;

  switch (format) {
    case OutputFormat::png: {
      if (!std::isfinite(scale) || scale <= 0) return Error{"the scale must be a positive number"};
      const double pw = std::ceil(width * scale), ph = std::ceil(height * scale);
      if (pw > maxPixels || ph > maxPixels || pw < 1 || ph < 1) return Error{"the image would be too large"};
      cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(pw), int(ph));
      cairo_t* cr = cairo_create(surface);
      cairo_scale(cr, scale, scale);
      paintWidget(cr, layout, text);
      cairo_surface_flush(surface);
      const cairo_status_t writeStatus = writePngStream(surface, appendToString, &out);
      if (writeStatus != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return Error{std::string("writing the PNG failed: ") + cairo_status_to_string(writeStatus)};
      }
      return finish(surface, cr, out);
    }
    case OutputFormat::svg: {
      std::string svg;
      cairo_surface_t* surface = cairo_svg_surface_create_for_stream(appendToString, &svg, width, height);
      cairo_t* cr = cairo_create(surface);
      paintWidget(cr, layout, text);
      auto result = finish(surface, cr, svg);
      if (!result) return result;
      return layout.widgetURL ? linkSvg(std::move(result).value(), validUtf8(*layout.widgetURL))
                              : std::move(result).value();
    }
    case OutputFormat::pdf: {
      cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(appendToString, &out, width, height);
      cairo_t* cr = cairo_create(surface);
      if (layout.widgetURL) {
        const std::string attributes = "uri='" + cairoAttributeEscape(validUtf8(*layout.widgetURL)) +
                                       "' rect=[0 0 " + std::to_string(width) + " " + std::to_string(height) +
                                       "]";
        cairo_tag_begin(cr, CAIRO_TAG_LINK, attributes.c_str());
      }
      paintWidget(cr, layout, text);
      if (layout.widgetURL) cairo_tag_end(cr, CAIRO_TAG_LINK);
      return finish(surface, cr, out);
    }
    case OutputFormat::json:
      break;
  }
  return Error{"unknown output format"};
}

std::optional<Error> paintLayout(cairo_t* cr, const WidgetLayout& layout) {
  auto measurer = PangoTextMeasurer::threadLocal();
  if (!measurer) return measurer.error();
  paintWidget(cr, layout, **measurer);
  return std::nullopt;
}

Result<std::string> renderWidget(const View& content, const Environment& environment, OutputFormat format,
                                 double scale) {
  auto layout = layoutWidget(content, environment);
  if (!layout) return layout.error();
  return renderLayout(*layout, format, scale);
}

}  // namespace kelvo::ui
