#pragma once

// What a GET asks the server for: the path and query parameters read into
// a typed request, or the one line that says what was wrong with them.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "KelvoUI/Style.h"
#include "KelvoUI/WidgetFamily.h"
#include "KelvoUI/WidgetRenderer.h"

namespace kelvo::serve {

enum class Resource {
  page,      // "/": the live page
  script,    // "/kelvo.js", the page's script
  style,     // "/kelvo.css", the page's style sheet
  icon,      // "/kelvo.svg", the page's icon
  events,    // "/events": the page's Server-Sent Events
  status,    // "/status.json": what `status --format waybar` prints
  snapshot,  // "/snapshot.json": what `kelvo show` prints
  widget,    // "/widget.png", ".svg", ".pdf", ".json": the widget as `render` draws it
};

// How grey levels are spread over the pixels between them.
enum class Dither { floydSteinberg, atkinson, none };

// For an e-ink panel: the drawing fitted to the panel's pixels, turned as
// the panel is mounted, and reduced to the grey levels it can show.
struct Panel {
  std::optional<int> width, height;  // the image's pixels, both or neither; none: the widget's own size
  int rotate = 0;                    // degrees clockwise the drawing is turned: 0, 90, 180 or 270
  std::optional<int> colors;         // grey levels, 2, 4 or 16; none: full colour (BMP: 256 greys)
  Dither dither = Dither::floydSteinberg;
  bool bmp = false;  // an uncompressed BMP instead of PNG

  // Whether anything but a plain render was asked for.
  bool active() const { return width || rotate != 0 || colors || bmp; }
};

struct WidgetQuery {
  ui::WidgetFamily family = ui::WidgetFamily::systemSmall;
  ui::Appearance appearance = ui::Appearance::light;
  double scale = ui::defaultRenderScale;  // pixels per point of a PNG without a panel size
  ui::OutputFormat format = ui::OutputFormat::png;
  Panel panel;
};

struct Request {
  Resource resource = Resource::page;
  std::optional<std::string> language;  // lang=, a catalog's name; none: the server's own language
  WidgetQuery widget;                   // for Resource::widget

  // What decides the answer, in one fixed order and spelling, so equal
  // requests written differently share their cache entry and ETag.
  std::string canonical() const;
};

// One query parameter as the client sent it (after percent-decoding); a
// name without "=" has no value.
struct QueryParameter {
  std::string name;
  std::optional<std::string> value;
};

struct BadRequest {
  std::string message;  // one line naming the parameter and what it accepts
};
struct NotFound {};

// The request for `path` with `parameters`; `languages` are the accepted
// lang= values. "token" is accepted everywhere and read elsewhere.
std::variant<Request, BadRequest, NotFound> parseRequest(std::string_view path,
                                                         const std::vector<QueryParameter>& parameters,
                                                         const std::vector<std::string>& languages);

// Limits of the values, also for the error lines.
inline constexpr int kMaxPanelSide = 2560;
inline constexpr double kMinScale = 0.25;
inline constexpr double kMaxScale = 8;

}  // namespace kelvo::serve
