#include "ServeRequest.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>

#include "KelvoShared/LogText.h"

namespace kelvo::serve {

namespace {

// Which requests a parameter belongs to.
enum class Applies {
  everywhere,
  texts,      // everything that shows texts: the page, its events, the status, the widget
  widget,     // every widget format
  widgetPng,  // /widget.png only: pixels
};

struct Parameter {
  std::string_view name;
  Applies applies;
  // What it accepts, for the error line.
  std::function<std::string(const std::vector<std::string>& languages)> accepted;
  // Stores the value; false when the value is not one it accepts.
  std::function<bool(std::string_view value, Request& request, const std::vector<std::string>& languages)>
      read;
};

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

// A whole number within [low, high], digits only.
std::optional<int> wholeNumber(std::string_view text, int low, int high) {
  int value = 0;
  if (text.empty() || text.size() > 6 || text.front() == '+' || text.front() == '-') return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

template <class Value, std::size_t N>
std::optional<Value> oneOf(std::string_view text,
                           const std::array<std::pair<std::string_view, Value>, N>& values) {
  for (const auto& [name, value] : values) {
    if (name == text) return value;
  }
  return std::nullopt;
}

template <class Value, std::size_t N>
std::string namesOf(const std::array<std::pair<std::string_view, Value>, N>& values) {
  std::vector<std::string> names;
  for (const auto& [name, value] : values) names.emplace_back(name);
  return joined(names);
}

constexpr std::array<std::pair<std::string_view, ui::Appearance>, 2> kAppearances{
    {{"light", ui::Appearance::light}, {"dark", ui::Appearance::dark}}};
constexpr std::array<std::pair<std::string_view, int>, 4> kRotations{
    {{"0", 0}, {"90", 90}, {"180", 180}, {"270", 270}}};
constexpr std::array<std::pair<std::string_view, int>, 3> kColors{{{"2", 2}, {"4", 4}, {"16", 16}}};
constexpr std::array<std::pair<std::string_view, Dither>, 3> kDithers{
    {{"floyd-steinberg", Dither::floydSteinberg}, {"atkinson", Dither::atkinson}, {"none", Dither::none}}};
constexpr std::array<std::pair<std::string_view, bool>, 2> kImageFormats{{{"png", false}, {"bmp", true}}};

std::string numberText(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

std::optional<double> scaleValue(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // "nan" and "inf" parse; every comparison with NaN is false.
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  if (value < kMinScale || value > kMaxScale) return std::nullopt;
  return value;
}

// A panel dimension: width or height.
Parameter side(std::string_view name, std::optional<int> Panel::*field) {
  return {name, Applies::widgetPng,
          [](const auto&) { return "a whole number of pixels from 1 to " + std::to_string(kMaxPanelSide); },
          [field](std::string_view value, Request& request, const auto&) {
            request.widget.panel.*field = wholeNumber(value, 1, kMaxPanelSide);
            return (request.widget.panel.*field).has_value();
          }};
}

// Sets `field` from `values` by name.
template <class Value, std::size_t N>
Parameter choice(std::string_view name, Applies applies,
                 const std::array<std::pair<std::string_view, Value>, N>& values,
                 std::function<void(Request&, Value)> store) {
  return {name, applies, [&values](const auto&) { return namesOf(values); },
          [&values, store](std::string_view value, Request& request, const auto&) {
            const std::optional<Value> chosen = oneOf(value, values);
            if (chosen) store(request, *chosen);
            return chosen.has_value();
          }};
}

// Every parameter, in the order error lines list them.
const std::vector<Parameter>& parameters() {
  static const std::vector<Parameter> table{
      {"family", Applies::widget,
       [](const auto&) {
         return ui::familyNames(ui::Which::all, ", ") + " (or " +
                std::string(ui::kWidgetFamilies[0].systemName) + ", ...)";
       },
       [](std::string_view value, Request& request, const auto&) {
         const auto family = ui::parseFamily(value);
         if (family) request.widget.family = *family;
         return family.has_value();
       }},
      choice<ui::Appearance>("appearance", Applies::widget, kAppearances,
                             [](Request& r, ui::Appearance v) { r.widget.appearance = v; }),
      {"scale", Applies::widgetPng,
       [](const auto&) { return "a number from " + numberText(kMinScale) + " to " + numberText(kMaxScale); },
       [](std::string_view value, Request& request, const auto&) {
         const auto scale = scaleValue(value);
         if (scale) request.widget.scale = *scale;
         return scale.has_value();
       }},
      {"lang", Applies::texts, [](const std::vector<std::string>& languages) { return joined(languages); },
       [](std::string_view value, Request& request, const std::vector<std::string>& languages) {
         std::string name(value);
         for (char& c : name) c = c == '-' ? '_' : c;  // "pt-BR" as browsers write it
         for (const std::string& language : languages) {
           if (language == name) request.language = name;
         }
         return request.language.has_value();
       }},
      side("width", &Panel::width),
      side("height", &Panel::height),
      choice<int>("rotate", Applies::widgetPng, kRotations,
                  [](Request& r, int v) { r.widget.panel.rotate = v; }),
      choice<int>("colors", Applies::widgetPng, kColors,
                  [](Request& r, int v) { r.widget.panel.colors = v; }),
      choice<Dither>("dither", Applies::widgetPng, kDithers,
                     [](Request& r, Dither v) { r.widget.panel.dither = v; }),
      choice<bool>("format", Applies::widgetPng, kImageFormats,
                   [](Request& r, bool v) { r.widget.panel.bmp = v; }),
      {"token", Applies::everywhere, [](const auto&) { return std::string("the access token"); },
       [](std::string_view, Request&, const auto&) { return true; }},
  };
  return table;
}

bool applies(Applies applies, const Request& request) {
  switch (applies) {
    case Applies::everywhere:
      return true;
    case Applies::texts:
      return request.resource == Resource::page || request.resource == Resource::events ||
             request.resource == Resource::status || request.resource == Resource::widget;
    case Applies::widget:
      return request.resource == Resource::widget;
    case Applies::widgetPng:
      return request.resource == Resource::widget && request.widget.format == ui::OutputFormat::png;
  }
  return false;
}

// A value from the request, safe to show in one line: control characters
// escaped and cut to a few dozen bytes.
std::string shownValue(std::string_view value) { return "\"" + logValue(value, 40) + "\""; }

std::optional<Request> requestFor(std::string_view path) {
  Request request;
  constexpr std::array<std::pair<std::string_view, Resource>, 7> kPaths{{
      {"/", Resource::page},
      {"/kelvo.js", Resource::script},
      {"/kelvo.css", Resource::style},
      {"/kelvo.svg", Resource::icon},
      {"/events", Resource::events},
      {"/status.json", Resource::status},
      {"/snapshot.json", Resource::snapshot},
  }};
  if (const auto resource = oneOf(path, kPaths)) {
    request.resource = *resource;
    return request;
  }
  constexpr std::string_view kWidget = "/widget.";
  if (!path.starts_with(kWidget)) return std::nullopt;
  const auto format = ui::parseOutputFormat(path.substr(kWidget.size()));
  if (!format) return std::nullopt;
  request.resource = Resource::widget;
  request.widget.format = *format;
  return request;
}

std::string pathOf(const Request& request) {
  switch (request.resource) {
    case Resource::page:
      return "/";
    case Resource::script:
      return "/kelvo.js";
    case Resource::style:
      return "/kelvo.css";
    case Resource::icon:
      return "/kelvo.svg";
    case Resource::events:
      return "/events";
    case Resource::status:
      return "/status.json";
    case Resource::snapshot:
      return "/snapshot.json";
    case Resource::widget:
      return "/widget." +
             std::string(ui::kOutputFormats[static_cast<std::size_t>(request.widget.format)].name);
  }
  return "/";
}

// The rules between parameters, once each has been read.
std::optional<BadRequest> checkCombination(const Panel& panel, bool scaleGiven) {
  if (panel.width && !panel.height) return BadRequest{"width: needs height too"};
  if (panel.height && !panel.width) return BadRequest{"height: needs width too"};
  if (scaleGiven && panel.width)
    return BadRequest{"scale: not with width and height (the panel's size decides)"};
  return std::nullopt;
}

}  // namespace

std::variant<Request, BadRequest, NotFound> parseRequest(std::string_view path,
                                                         const std::vector<QueryParameter>& given,
                                                         const std::vector<std::string>& languages) {
  std::optional<Request> found = requestFor(path);
  if (!found) return NotFound{};
  Request& request = *found;
  std::vector<std::string_view> seen;
  bool ditherGiven = false;
  for (const QueryParameter& parameter : given) {
    const Parameter* row = nullptr;
    for (const Parameter& candidate : parameters()) {
      if (candidate.name == parameter.name && applies(candidate.applies, request)) row = &candidate;
    }
    if (!row) {
      std::vector<std::string> here;
      for (const Parameter& candidate : parameters()) {
        if (applies(candidate.applies, request)) here.emplace_back(candidate.name);
      }
      return BadRequest{"unknown parameter " + shownValue(parameter.name) + " for " + pathOf(request) + " (" +
                        joined(here) + ")"};
    }
    if (std::find(seen.begin(), seen.end(), row->name) != seen.end())
      return BadRequest{std::string(row->name) + ": given more than once"};
    seen.push_back(row->name);
    const std::string_view value = parameter.value ? std::string_view(*parameter.value) : std::string_view();
    if (!row->read(value, request, languages))
      return BadRequest{std::string(row->name) + ": " + shownValue(value) + " is not accepted (" +
                        row->accepted(languages) + ")"};
    ditherGiven = ditherGiven || row->name == "dither";
  }
  const bool scaleGiven = std::find(seen.begin(), seen.end(), "scale") != seen.end();
  if (auto bad = checkCombination(request.widget.panel, scaleGiven)) return *bad;
  if (ditherGiven && !request.widget.panel.colors) return BadRequest{"dither: needs colors (2, 4 or 16)"};
  return request;
}

std::string Request::canonical() const {
  std::string key = pathOf(*this) + "?lang=" + language.value_or("");
  if (resource != Resource::widget) return key;
  const Panel& panel = widget.panel;
  key += "&family=" + std::string(ui::familyInfo(widget.family).name);
  key += widget.appearance == ui::Appearance::dark ? "&appearance=dark" : "&appearance=light";
  if (widget.format != ui::OutputFormat::png) return key;
  if (panel.width) {
    key += "&width=" + std::to_string(*panel.width) + "&height=" + std::to_string(*panel.height);
  } else {
    key += "&scale=" + numberText(widget.scale);
  }
  key += "&rotate=" + std::to_string(panel.rotate);
  if (panel.colors) {
    // kDithers lists the methods in the enum's order.
    key += "&colors=" + std::to_string(*panel.colors) +
           "&dither=" + std::string(kDithers[static_cast<std::size_t>(panel.dither)].first);
  }
  key += panel.bmp ? "&format=bmp" : "&format=png";
  return key;
}

}  // namespace kelvo::serve
