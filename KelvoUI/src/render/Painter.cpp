#include "render/Painter.h"

#include <algorithm>
#include <cmath>
#include <variant>

namespace kelvo::ui {
namespace {

void setColor(cairo_t* cr, const Rgba& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

bool drawable(const Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height) &&
         r.width > 0 && r.height > 0;
}

void roundedRectPath(cairo_t* cr, const Rect& r, double radius) {
  radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
  const double x = r.x, y = r.y, w = r.width, h = r.height;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void paintSymbol(cairo_t* cr, const LaidOutNode& node, const SymbolDrawing& s, ColorScheme scheme,
                 PangoTextMeasurer& text) {
  if (!s.glyph || !(s.pointSize > 0)) return;  // unknown names draw nothing
  const Rgba color = s.foreground.resolved(scheme);
  const double size = s.pointSize;
  const double x = node.frame.x, y = node.frame.y;
  if (s.glyph->decoration == SymbolDecoration::roundedSquare) {
    const double inset = size * 0.1;
    const double lineWidth = size * 0.075;
    cairo_save(cr);
    setColor(cr, color);
    cairo_set_line_width(cr, lineWidth);
    roundedRectPath(cr, {x + inset, y + inset, size - 2 * inset, size - 2 * inset}, size * 0.2);
    cairo_stroke(cr);
    cairo_restore(cr);
    const double inner = size * 0.72;
    text.drawGlyph(cr, s.glyph->fontFamily, s.glyph->codepoint, x + (size - inner) / 2,
                   y + (size - inner) / 2, inner, color);
    return;
  }
  text.drawGlyph(cr, s.glyph->fontFamily, s.glyph->codepoint, x, y, size, color);
}

void paintPicture(cairo_t* cr, const LaidOutNode& node, const PictureDrawing& p) {
  const Bitmap& bitmap = p.picture;
  if (bitmap.empty() || !drawable(node.frame) || !drawable(p.drawnRect)) return;
  if (bitmap.pixels->size() < size_t(bitmap.width) * size_t(bitmap.height))
    return;  // malformed: draw nothing
  // A transform this far off scale, or this far away, is one Cairo cannot
  // invert, and it would then refuse the rest of the drawing; such a picture
  // shows nothing anyway.
  const double scaleX = p.drawnRect.width / bitmap.width, scaleY = p.drawnRect.height / bitmap.height;
  constexpr double maxScale = 1e6, maxOffset = 1e7;
  if (!(scaleX >= 1 / maxScale && scaleX <= maxScale && scaleY >= 1 / maxScale && scaleY <= maxScale) ||
      std::abs(p.drawnRect.x) > maxOffset || std::abs(p.drawnRect.y) > maxOffset)
    return;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, bitmap.width);
  if (stride != bitmap.width * 4) return;
  // Cairo only reads from a source surface; the pixels stay untouched.
  auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(bitmap.pixels->data()));
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height, stride);
  cairo_save(cr);
  cairo_rectangle(cr, node.frame.x, node.frame.y, node.frame.width, node.frame.height);
  cairo_clip(cr);
  cairo_translate(cr, p.drawnRect.x, p.drawnRect.y);
  cairo_scale(cr, scaleX, scaleY);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, bitmap.width, bitmap.height);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

void paintShape(cairo_t* cr, const LaidOutNode& node, const ShapeDrawing& s, ColorScheme scheme) {
  if (!drawable(node.frame)) return;
  cairo_save(cr);
  setColor(cr, s.fill.resolved(scheme));
  if (s.kind == ShapeDrawing::Kind::capsule) {
    roundedRectPath(cr, node.frame, std::min(node.frame.width, node.frame.height) / 2);
  } else {
    cairo_rectangle(cr, node.frame.x, node.frame.y, node.frame.width, node.frame.height);
  }
  cairo_fill(cr);
  cairo_restore(cr);
}

void paintText(cairo_t* cr, const LaidOutNode& node, const TextDrawing& t, ColorScheme scheme,
               LayoutDirection direction, PangoTextMeasurer& text) {
  if (!std::isfinite(node.frame.x) || !std::isfinite(node.frame.y)) return;
  TextRequest request = t.request;
  request.direction = direction;
  text.draw(cr, request, node.frame.x, node.frame.y, node.frame.width, t.foreground.resolved(scheme));
}

// The part of user space that can show, from the clip's extents: to
// infinity where nothing bounds it.
struct Visible {
  double x1, y1, x2, y2;
};

// Whether ink drawn for `frame` can show: text and symbols may reach past
// their frame (accents, tall scripts, overhangs), never by a line's height.
bool mayShow(const Rect& frame, const Visible& visible) {
  const double reach = std::max(frame.height, 1.0);
  return frame.x - reach < visible.x2 && frame.x + frame.width + reach > visible.x1 &&
         frame.y - reach < visible.y2 && frame.y + frame.height + reach > visible.y1;
}

// One node's own drawing, whichever kind it is. Text and symbols that
// cannot reach the visible part are not laid out and shaped at all: a host
// that draws a large image in bands paints the widget once per band.
struct DrawingPainter {
  cairo_t* cr;
  const LaidOutNode& node;
  ColorScheme scheme;
  LayoutDirection direction;
  PangoTextMeasurer& text;
  const Visible& visible;

  void operator()(std::monostate) const {}
  void operator()(const TextDrawing& t) const {
    if (mayShow(node.frame, visible)) paintText(cr, node, t, scheme, direction, text);
  }
  void operator()(const SymbolDrawing& s) const {
    if (mayShow(node.frame, visible)) paintSymbol(cr, node, s, scheme, text);
  }
  void operator()(const PictureDrawing& p) const { paintPicture(cr, node, p); }
  void operator()(const ShapeDrawing& s) const { paintShape(cr, node, s, scheme); }
};

void paintVisible(cairo_t* cr, const LaidOutNode& node, ColorScheme scheme, LayoutDirection direction,
                  PangoTextMeasurer& text, const Visible& visible) {
  std::visit(DrawingPainter{cr, node, scheme, direction, text, visible}, node.drawing);
  for (const auto& child : node.children) paintVisible(cr, child, scheme, direction, text, visible);
}

}  // namespace

void paintNode(cairo_t* cr, const LaidOutNode& node, ColorScheme scheme, LayoutDirection direction,
               PangoTextMeasurer& text) {
  Visible visible{};
  cairo_clip_extents(cr, &visible.x1, &visible.y1, &visible.x2, &visible.y2);
  paintVisible(cr, node, scheme, direction, text, visible);
}

void paintWidget(cairo_t* cr, const WidgetLayout& layout, PangoTextMeasurer& text) {
  const Appearance appearance = layout.environment.appearance;
  const ColorScheme scheme{appearance, layout.environment.contrast};
  const Rect bounds{0, 0, layout.widgetSize.width, layout.widgetSize.height};
  cairo_save(cr);
  roundedRectPath(cr, bounds, widgetCornerRadius);
  setColor(cr, windowMaterial(appearance));
  cairo_fill_preserve(cr);
  if (layout.containerBackgroundDrawn && layout.containerBackground) {
    setColor(cr, layout.containerBackground->resolved(scheme));
    cairo_fill_preserve(cr);
  }
  cairo_clip(cr);
  paintNode(cr, layout.root, scheme, layout.environment.layoutDirection, text);
  cairo_restore(cr);
}

}  // namespace kelvo::ui
