// The laid-out tree as JSON, for tests and other hosts.

#include <cmath>

#include "KelvoUI/WidgetRenderer.h"
#include "LayoutNode.h"
#include "Utf8.h"

namespace kelvo::ui {
namespace {

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

}  // namespace

nlohmann::json dumpTree(const LaidOutNode& node, Appearance appearance) {
  nlohmann::json j;
  j["type"] = node.type;
  j["frame"] = rectJson(node.frame);
  if (!node.viewNames.empty()) {
    j["view"] = validUtf8(node.viewNames.front());
    if (node.viewNames.size() > 1) {
      j["views"] = nlohmann::json::array();
      for (const auto& name : node.viewNames) j["views"].push_back(validUtf8(name));
    }
  }
  if (node.id) j["id"] = validUtf8(*node.id);
  if (node.text) {
    const TextDrawing& t = *node.text;
    j["text"] = validUtf8(t.request.text);
    j["font"] = fontJson(t.request.font);
    j["foreground"] = t.foreground.name();
    j["truncated"] = t.truncated;
    j["scale"] = std::round(t.request.scale * 1000) / 1000;
    j["lines"] = t.lineCount;
    j["firstBaseline"] = lengthJson(node.frame.y + t.firstBaseline);
    if (t.request.alignment != TextAlignment::leading) {
      j["alignment"] = t.request.alignment == TextAlignment::center ? "center" : "trailing";
    }
  }
  if (node.symbol) {
    const SymbolDrawing& s = *node.symbol;
    j["systemName"] = validUtf8(s.systemName);
    if (s.glyph) {
      j["glyph"] = {{"font", s.glyph->fontFamily}, {"name", s.glyph->glyphName}};
    } else {
      j["unknownSymbol"] = true;
    }
    j["foreground"] = s.foreground.name();
  }
  if (node.picture) {
    j["picture"] = {{"width", node.picture->picture.width}, {"height", node.picture->picture.height}};
    j["drawnRect"] = rectJson(node.picture->drawnRect);
  }
  if (node.shape) {
    j["fill"] = node.shape->fill.name();
    if (node.shape->kind == ShapeDrawing::Kind::capsule) {
      j["cornerStyle"] =
          node.shape->cornerStyle == RoundedCornerStyle::continuous ? "continuous" : "circular";
    }
  }
  for (auto it = node.attributes.begin(); it != node.attributes.end(); ++it) j[it.key()] = it.value();
  if (node.accessibilityHidden) j["accessibilityHidden"] = true;
  if (node.widgetURL) j["widgetURL"] = validUtf8(*node.widgetURL);
  if (node.containerBackground) j["containerBackground"] = node.containerBackground->name();
  if (!node.children.empty()) {
    nlohmann::json children = nlohmann::json::array();
    for (const auto& child : node.children) children.push_back(dumpTree(child, appearance));
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
  j["root"] = dumpTree(layout.root, env.appearance);
  return j;
}

}  // namespace kelvo::ui
