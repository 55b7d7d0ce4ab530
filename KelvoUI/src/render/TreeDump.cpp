// The laid-out tree as JSON, for tests and other hosts: reads what layout
// left in each LaidOutNode, as the painter does.

#include <cmath>

#include "KelvoUI/Elements.h"
#include "KelvoUI/WidgetRenderer.h"
#include "text/Utf8.h"

namespace kelvo::ui {
namespace {

// Lengths rounded to hundredths of a point (a sliver below zero is 0, not
// -0); infinity by name.
nlohmann::json lengthJson(double v) {
  if (std::isinf(v)) return v > 0 ? "infinity" : "-infinity";
  if (std::isnan(v)) return "nan";
  return std::round(v * 100) / 100 + 0.0;
}

nlohmann::json spacingJson(const std::optional<double>& spacing) {
  return spacing ? lengthJson(*spacing) : nlohmann::json("default");
}

const char* toString(RelativeUnitsStyle s) {
  switch (s) {
    case RelativeUnitsStyle::narrow:
      return "narrow";
    case RelativeUnitsStyle::abbreviated:
      return "abbreviated";
  }
  unreachable(__func__);
}

const char* toString(ContentMode m) {
  switch (m) {
    case ContentMode::none:
      return "none";
    case ContentMode::fit:
      return "fit";
    case ContentMode::fill:
      return "fill";
  }
  unreachable(__func__);
}

// A container's, frame's or padding's arrangement, into the node's object.
struct DetailsWriter {
  nlohmann::json& j;
  void operator()(std::monostate) const {}
  void operator()(const StackDetails& d) const {
    j["alignment"] = std::visit([](auto a) { return toString(a); }, d.alignment);
    j["spacing"] = spacingJson(d.spacing);
  }
  void operator()(const ZStackDetails& d) const { j["alignment"] = toString(d.alignment); }
  void operator()(const SpacerDetails& d) const { j["minLength"] = lengthJson(d.minLength); }
  void operator()(const GridDetails& d) const {
    nlohmann::json columns = nlohmann::json::array();
    for (const auto& c : d.columns) {
      columns.push_back({{"size", c.size.kind == GridItemSize::Kind::fixed ? "fixed" : "flexible"},
                         {"minimum", lengthJson(c.size.minimum)},
                         {"maximum", lengthJson(c.size.maximum)}});
    }
    j["columns"] = std::move(columns);
    j["spacing"] = spacingJson(d.spacing);
  }
  void operator()(const FrameDetails& d) const {
    const FrameOptions& o = d.options;
    for (const auto& [key, value] : {std::pair{"width", o.width},
                                     {"height", o.height},
                                     {"minWidth", o.minWidth},
                                     {"idealWidth", o.idealWidth},
                                     {"maxWidth", o.maxWidth},
                                     {"minHeight", o.minHeight},
                                     {"idealHeight", o.idealHeight},
                                     {"maxHeight", o.maxHeight}}) {
      if (value) j[key] = lengthJson(*value);
    }
    j["alignment"] = toString(o.alignment);
  }
  void operator()(const PaddingDetails& d) const {
    j["insets"] = {{"top", lengthJson(d.insets.top)},
                   {"leading", lengthJson(d.insets.leading)},
                   {"bottom", lengthJson(d.insets.bottom)},
                   {"trailing", lengthJson(d.insets.trailing)}};
  }
};

nlohmann::json rectJson(const Rect& r) {
  return {{"x", lengthJson(r.x)},
          {"y", lengthJson(r.y)},
          {"width", lengthJson(r.width)},
          {"height", lengthJson(r.height)}};
}

nlohmann::json fontJson(const Font& f) {
  return {{"style", f.styleName},
          {"size", lengthJson(f.size)},
          {"weight", toString(f.weight)},
          {"design", toString(f.design)}};
}

// What modifiers marked on the node, into its object.
void writeDecorations(nlohmann::json& j, const Decorations& d) {
  if (!d.viewNames.empty()) {
    j["view"] = validUtf8(d.viewNames.front());
    if (d.viewNames.size() > 1) {
      j["views"] = nlohmann::json::array();
      for (const auto& name : d.viewNames) j["views"].push_back(validUtf8(name));
    }
  }
  if (d.id) j["id"] = validUtf8(*d.id);
  if (d.layoutPriority) j["layoutPriority"] = *d.layoutPriority;
  if (d.accessibilityHidden) j["accessibilityHidden"] = true;
  if (d.widgetURL) j["widgetURL"] = validUtf8(*d.widgetURL);
  if (d.containerBackground) j["containerBackground"] = d.containerBackground->name();
}

// What the node draws, into its object; `frame` is the node's.
struct DrawingWriter {
  nlohmann::json& j;
  const Rect& frame;
  void operator()(std::monostate) const {}
  void operator()(const TextDrawing& t) const {
    j["text"] = validUtf8(t.request.text);
    j["font"] = fontJson(t.request.font);
    j["foreground"] = t.foreground.name();
    j["truncated"] = t.truncated;
    j["scale"] = std::round(t.request.scale * 1000) / 1000;
    j["lines"] = t.lineCount;
    j["firstBaseline"] = lengthJson(frame.y + t.firstBaseline);
    if (t.request.alignment != TextAlignment::leading) {
      j["alignment"] = t.request.alignment == TextAlignment::center ? "center" : "trailing";
    }
    if (t.lineLimit) j["lineLimit"] = *t.lineLimit;
    if (t.minimumScaleFactor < 1) j["minimumScaleFactor"] = std::round(t.minimumScaleFactor * 1000) / 1000;
    if (t.relativeTime) {
      const double instant = t.relativeTime->instant;
      j["relativeTime"] = {
          {"instant", std::isfinite(instant) ? nlohmann::json(instant) : nlohmann::json(nullptr)},
          {"unitsStyle", toString(t.relativeTime->unitsStyle)}};
    }
  }
  void operator()(const SymbolDrawing& s) const {
    j["systemName"] = validUtf8(s.systemName);
    if (s.glyph) {
      j["glyph"] = {{"font", s.glyph->fontFamily}, {"name", s.glyph->glyphName}};
    } else {
      j["unknownSymbol"] = true;
    }
    j["foreground"] = s.foreground.name();
  }
  void operator()(const PictureDrawing& p) const {
    j["picture"] = {{"width", p.picture.width}, {"height", p.picture.height}};
    j["drawnRect"] = rectJson(p.drawnRect);
    j["resizable"] = p.resizable;
    if (p.contentMode != ContentMode::none) j["contentMode"] = toString(p.contentMode);
  }
  void operator()(const ShapeDrawing& s) const {
    j["fill"] = s.fill.name();
    if (s.kind == ShapeDrawing::Kind::capsule) {
      j["cornerStyle"] = s.cornerStyle == RoundedCornerStyle::continuous ? "continuous" : "circular";
    }
  }
};

}  // namespace

nlohmann::json dumpTree(const LaidOutNode& node) {
  nlohmann::json j;
  j["type"] = node.type;
  j["frame"] = rectJson(node.frame);
  writeDecorations(j, node.decorations);
  std::visit(DrawingWriter{j, node.frame}, node.drawing);
  std::visit(DetailsWriter{j}, node.details);
  if (!node.children.empty()) {
    nlohmann::json children = nlohmann::json::array();
    for (const auto& child : node.children) children.push_back(dumpTree(child));
    j["children"] = std::move(children);
  }
  return j;
}

nlohmann::json dumpWidget(const WidgetLayout& layout) {
  const Environment& env = layout.environment;
  nlohmann::json j;
  j["family"] = toString(env.widgetFamily);
  j["size"] = {{"width", lengthJson(layout.widgetSize.width)},
               {"height", lengthJson(layout.widgetSize.height)}};
  j["appearance"] = env.appearance == Appearance::dark ? "dark" : "light";
  j["host"] = {{"containerBackground", env.hostDrawsContainerBackground() ? "supported" : "unsupported"},
               {"contentMargins", lengthJson(layout.contentRect.x)}};
  j["contentFrame"] = rectJson(layout.contentRect);
  j["widgetURL"] = layout.widgetURL ? nlohmann::json(validUtf8(*layout.widgetURL)) : nlohmann::json(nullptr);
  j["background"] = {
      {"material", "window"},
      {"containerBackground", layout.containerBackground ? nlohmann::json(layout.containerBackground->name())
                                                         : nlohmann::json(nullptr)},
      {"drawn", layout.containerBackgroundDrawn}};
  // Only right to left is named, so left-to-right dumps stay as they were.
  if (env.layoutDirection == LayoutDirection::rightToLeft)
    j["layoutDirection"] = toString(env.layoutDirection);
  j["root"] = dumpTree(layout.root);
  return j;
}

}  // namespace kelvo::ui
