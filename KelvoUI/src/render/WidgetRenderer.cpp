#include "KelvoUI/WidgetRenderer.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <sys/mman.h>

#include <cmath>
#include <functional>
#include <memory>

#include "KelvoBase/Markup.h"
#include "KelvoBase/Unreachable.h"
#include "KelvoUI/Layout.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/PngImage.h"
#include "KelvoUI/ReadingOrder.h"
#include "render/Painter.h"
#include "text/Utf8.h"

namespace kelvo::ui {
namespace {

// Largest PNG side we agree to make, in pixels.
constexpr double maxPixels = 16384;

// The outermost value in pre-order, so what wraps the whole content wins.
template <class T>
std::optional<T> outermost(const LaidOutNode& node, std::optional<T> Decorations::*field) {
  if (node.decorations.*field) return node.decorations.*field;
  for (const auto& child : node.children) {
    if (auto v = outermost(child, field)) return v;
  }
  return std::nullopt;
}

// This thread's Pango measurer, fetched at the first text to measure, so
// that building the layout tree overlaps the font setup. When none can be
// made, texts measure as empty and fetched() says why.
class MeasurerOnFirstUse final : public TextMeasurer {
 public:
  TextMetrics measure(const TextRequest& request) override {
    return fetched().ok() ? measurer_->measure(request) : TextMetrics{};
  }
  // Fetches the measurer unless done: a layout without text still needs the
  // fonts that drawing it would.
  Status fetched() {
    if (!measurer_ && !error_) {
      auto made = PangoTextMeasurer::threadLocal();
      if (made) {
        measurer_ = *made;
      } else {
        error_ = made.error();
      }
    }
    return error_ ? Status(*error_) : Status();
  }

 private:
  std::shared_ptr<PangoTextMeasurer> measurer_;
  std::optional<Error> error_;
};

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
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
  const std::string href = markupEscaped(url);
  svg.insert(close, "</a>\n");
  svg.insert(openEnd + 1, "\n<a xlink:href=\"" + href + "\" href=\"" + href + "\">");
  return svg;
}

// Names the drawing for assistive technology and browsers: role="img", the
// label (else the texts on one line) as its <title>, its accessible name,
// and the texts in reading order as its <desc>, a line each.
std::string titleSvg(std::string svg, const WidgetLayout& layout) {
  const size_t open = svg.find("<svg");
  const size_t openEnd = open == std::string::npos ? open : svg.find('>', open);
  if (openEnd == std::string::npos) return svg;
  const std::vector<ReadText> texts = readingOrder(layout.root);
  std::string lines;
  for (const ReadText& t : texts) lines += (lines.empty() ? "" : "\n") + markupEscaped(t.text);
  svg.insert(openEnd + 1,
             "\n<title>" + markupEscaped(validUtf8(layout.accessibilityLabel.value_or(joinedText(texts)))) +
                 "</title>\n<desc>" + lines + "</desc>");
  svg.insert(openEnd, " role=\"img\"");
  return svg;
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

Error cairoError(const char* what, cairo_status_t status) {
  return Error{std::string(what) + cairo_status_to_string(status)};
}

// A vector surface's document, once every page is written to `out`.
Result<std::string> finishDocument(cairo_surface_t* surface, std::string& out) {
  cairo_surface_finish(surface);
  if (const cairo_status_t status = cairo_surface_status(surface); status != CAIRO_STATUS_SUCCESS)
    return cairoError("writing the drawing failed: ", status);
  return std::move(out);
}

// A transparent ARGB32 image surface whose pages are all mapped by one call
// up front: painting into fresh memory otherwise takes a page fault for
// every 4 KiB it first touches, about a millisecond for a large widget.
Surface populatedImageSurface(int width, int height) {
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  const std::size_t bytes = std::size_t(stride) * std::size_t(height);
  void* pixels = stride > 0 ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0)
                            : MAP_FAILED;
  if (pixels == MAP_FAILED) return Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  struct Mapping {
    void* pixels;
    std::size_t bytes;
  };
  static cairo_user_data_key_t mappingKey;
  auto* mapping = new Mapping{pixels, bytes};
  const auto unmap = [](void* data) {
    const auto* m = static_cast<Mapping*>(data);
    ::munmap(m->pixels, m->bytes);
    delete m;
  };
  Surface surface(cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels),
                                                      CAIRO_FORMAT_ARGB32, width, height, stride));
  if (cairo_surface_set_user_data(surface.get(), &mappingKey, mapping, unmap) != CAIRO_STATUS_SUCCESS) {
    unmap(mapping);
    return Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  }
  return surface;
}

// How one format is drawn: the surface the widget is painted on (null for a
// format that is not painted), what goes around the painting, and what turns
// the painted surface into the format's bytes. A vector surface writes its
// bytes into `out` as it goes.
struct Renderer {
  Result<Surface> (*createSurface)(const WidgetLayout& layout, double scale, std::string& out);
  void (*paint)(cairo_t* cr, const WidgetLayout& layout, double scale, PangoTextMeasurer& text);
  Result<std::string> (*finish)(cairo_surface_t* surface, const WidgetLayout& layout, std::string& out);
};

void paintPlain(cairo_t* cr, const WidgetLayout& layout, double /*scale*/, PangoTextMeasurer& text) {
  paintWidget(cr, layout, text);
}

constexpr Renderer kPngRenderer{
    .createSurface = [](const WidgetLayout& layout, double scale, std::string&) -> Result<Surface> {
      if (!std::isfinite(scale) || scale <= 0) return Error{"the scale must be a positive number"};
      const double pw = std::ceil(layout.widgetSize.width * scale);
      const double ph = std::ceil(layout.widgetSize.height * scale);
      if (pw > maxPixels || ph > maxPixels || pw < 1 || ph < 1) return Error{"the image would be too large"};
      return populatedImageSurface(int(pw), int(ph));
    },
    .paint =
        [](cairo_t* cr, const WidgetLayout& layout, double scale, PangoTextMeasurer& text) {
          cairo_scale(cr, scale, scale);
          paintWidget(cr, layout, text);
        },
    .finish = [](cairo_surface_t* surface, const WidgetLayout&, std::string&) { return encodePng(surface); },
};

constexpr Renderer kSvgRenderer{
    .createSurface = [](const WidgetLayout& layout, double, std::string& out) -> Result<Surface> {
      return Surface(cairo_svg_surface_create_for_stream(appendToString, &out, layout.widgetSize.width,
                                                         layout.widgetSize.height));
    },
    .paint = paintPlain,
    .finish = [](cairo_surface_t* surface, const WidgetLayout& layout,
                 std::string& out) -> Result<std::string> {
      Result<std::string> svg = finishDocument(surface, out);
      if (!svg) return svg;
      std::string linked = layout.widgetURL ? linkSvg(std::move(svg).value(), validUtf8(*layout.widgetURL))
                                            : std::move(svg).value();
      return titleSvg(std::move(linked), layout);
    },
};

constexpr Renderer kPdfRenderer{
    .createSurface = [](const WidgetLayout& layout, double, std::string& out) -> Result<Surface> {
      return Surface(cairo_pdf_surface_create_for_stream(appendToString, &out, layout.widgetSize.width,
                                                         layout.widgetSize.height));
    },
    // The widget URL as a link around the whole drawing.
    .paint =
        [](cairo_t* cr, const WidgetLayout& layout, double, PangoTextMeasurer& text) {
          if (!layout.widgetURL) return paintWidget(cr, layout, text);
          const std::string attributes = "uri='" + cairoAttributeEscape(validUtf8(*layout.widgetURL)) +
                                         "' rect=[0 0 " + std::to_string(layout.widgetSize.width) + " " +
                                         std::to_string(layout.widgetSize.height) + "]";
          cairo_tag_begin(cr, CAIRO_TAG_LINK, attributes.c_str());
          paintWidget(cr, layout, text);
          cairo_tag_end(cr, CAIRO_TAG_LINK);
        },
    .finish = [](cairo_surface_t* surface, const WidgetLayout&,
                 std::string& out) { return finishDocument(surface, out); },
};

// The tree dump: nothing is painted.
constexpr Renderer kJsonRenderer{
    .createSurface = [](const WidgetLayout&, double, std::string&) -> Result<Surface> { return Surface(); },
    .paint = paintPlain,
    .finish = [](cairo_surface_t*, const WidgetLayout& layout, std::string&) -> Result<std::string> {
      return dumpWidget(layout).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    },
};

const Renderer& rendererFor(OutputFormat format) {
  switch (format) {
    case OutputFormat::png:
      return kPngRenderer;
    case OutputFormat::svg:
      return kSvgRenderer;
    case OutputFormat::pdf:
      return kPdfRenderer;
    case OutputFormat::json:
      return kJsonRenderer;
  }
  unreachable(__func__);
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
  l.widgetURL = outermost(l.root, &Decorations::widgetURL);
  l.containerBackground = outermost(l.root, &Decorations::containerBackground);
  // The older host has no container backgrounds; the modifier does nothing there.
  l.containerBackgroundDrawn =
      l.containerBackground.has_value() && environment.hostDrawsContainerBackground();
  return l;
}

Result<WidgetLayout> layoutWidget(const View& content, const Environment& environment) {
  PangoTextMeasurer::prepare();
  MeasurerOnFirstUse measurer;
  WidgetLayout layout = layoutWidget(content, environment, measurer);
  if (Status fonts = measurer.fetched(); !fonts) return fonts.error();
  return layout;
}

std::optional<OutputFormat> parseOutputFormat(std::string_view name) {
  for (const OutputFormatInfo& row : kOutputFormats) {
    if (row.name == name) return row.format;
  }
  return std::nullopt;
}

Result<std::string> renderLayout(const WidgetLayout& layout, OutputFormat format, double scale) {
  const Renderer& renderer = rendererFor(format);
  std::string out;  // outlives the surface, which may write into it until destroyed
  Result<Surface> surface = renderer.createSurface(layout, scale, out);
  if (!surface) return surface.error();
  if (*surface) {
    auto measurer = PangoTextMeasurer::threadLocal();
    if (!measurer) return measurer.error();
    const Context cr(cairo_create(surface->get()));
    renderer.paint(cr.get(), layout, scale, **measurer);
    if (const cairo_status_t status = cairo_status(cr.get()); status != CAIRO_STATUS_SUCCESS)
      return cairoError("drawing failed: ", status);
  }
  return renderer.finish(surface->get(), layout, out);
}

std::optional<Error> paintLayout(cairo_t* cr, const WidgetLayout& layout) {
  auto measurer = PangoTextMeasurer::threadLocal();
  if (!measurer) return measurer.error();
  paintWidget(cr, layout, **measurer);
  return std::nullopt;
}

void paintLayout(cairo_t* cr, const WidgetLayout& layout, PangoTextMeasurer& measurer) {
  paintWidget(cr, layout, measurer);
}

Result<std::string> renderWidget(const View& content, const Environment& environment, OutputFormat format,
                                 double scale) {
  auto layout = layoutWidget(content, environment);
  if (!layout) return layout.error();
  return renderLayout(*layout, format, scale);
}

}  // namespace kelvo::ui
