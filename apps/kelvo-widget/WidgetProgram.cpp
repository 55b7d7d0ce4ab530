#include "WidgetProgram.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "Access.h"
#include "KelvoShared/Date.h"
#include "KelvoUI/WidgetFamily.h"
#include "KelvoUI/WidgetRenderer.h"
#include "StatusLine.h"

// Rows name only the fields they need; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace kelvo::host {

namespace {

using apps::Option;
using apps::Value;

// Smaller scales draw widgets of a few pixels; larger ones allocate
// hundreds of megabytes for a picture nobody asked for.
constexpr double kMinimumScale = 0.25;
constexpr double kMaximumScale = 8.0;

std::vector<std::string> familyNames(ui::Which which) {
  std::vector<std::string> names;
  for (const ui::WidgetFamilyInfo& row : ui::kWidgetFamilies) {
    if (which == ui::Which::all || row.offered == ui::Offered::yes) names.emplace_back(row.name);
  }
  return names;
}

std::string checkFamily(const std::string& value) {
  if (ui::parseFamily(value)) return {};
  return "\"" + value + "\" is not a size (" + apps::joined(familyNames(ui::Which::all)) + ", or " +
         std::string(ui::kWidgetFamilies.front().systemName) + ", ...)";
}

std::string familyHelp() {
  std::string help;
  for (const ui::WidgetFamilyInfo& row : ui::kWidgetFamilies) {
    std::ostringstream size;
    size << row.size.width << "x" << row.size.height;
    help += (help.empty() ? "" : ", ") + std::string(row.name) + " " + size.str() +
            (row.offered == ui::Offered::no ? " (not offered)" : "");
  }
  return "Widget size in points: " + help + "; or the system names (" +
         std::string(ui::kWidgetFamilies.front().systemName) + ", ...)";
}

template <class Table>
std::vector<std::string> namesOf(const Table& table) {
  std::vector<std::string> names;
  for (const auto& row : table) names.emplace_back(row.name);
  return names;
}

std::string formatScale(double scale) {
  std::ostringstream text;
  text << scale;
  return text.str();
}

}  // namespace

std::optional<double> parseScale(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // "nan" and "inf" parse; every comparison with NaN is false, so the range
  // check alone would let it through.
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  if (value < kMinimumScale || value > kMaximumScale) return std::nullopt;
  return value;
}

apps::Program widgetProgram(WidgetCommandLine& t) {
  const auto text = [](std::string& field) { return [&field](const std::string& v) { field = v; }; };
  const auto maybe = [](std::optional<std::string>& field) {
    return [&field](const std::string& v) { field = v; };
  };
  const auto flag = [](bool& field) { return [&field](const std::string& v) { field = v == "true"; }; };
  const auto count = [](unsigned& field) {
    return [&field](const std::string& v) { field = static_cast<unsigned>(std::stoul(v)); };
  };
  const std::string scales = formatScale(kMinimumScale) + " to " + formatScale(kMaximumScale);
  apps::Program program{"kelvo-widget",
                        "The Kelvo widget host: answers the widget's requests and draws its entries."};
  // clang-format off
  program.options = {
      {.name = "family", .valueName = "FAMILY", .kind = Value::choice, .help = familyHelp(), .defaultText = "small",
       .choices = familyNames(ui::Which::all), .check = checkFamily, .set = text(t.family)},
      {.name = "family", .valueName = "FAMILY", .kind = Value::choice,
       .help = "A widget size to draw (repeatable): " + apps::joined(familyNames(ui::Which::all)),
       .defaultText = "the offered ones (" + apps::joined(familyNames(ui::Which::offered)) + ")",
       .choices = familyNames(ui::Which::all), .check = checkFamily,
       .set = [&t](const std::string& v) { t.families.push_back(v); }, .key = "families", .repeatable = true},
      {.name = "shared-dir", .valueName = "DIR", .kind = Value::directory,
       .help = "Use DIR as the shared directory (a missing DIR means no container)", .check = apps::nonEmpty,
       .set = maybe(t.sharedDir)},
      {.name = "now", .valueName = "ISO8601", .help = "Fix the host's clock, e.g. 2026-12-06T12:00:00Z",
       .check = [](const std::string& v) -> std::string {
         return parseInternetDateTime(v) ? "" : "\"" + v + "\" is not an ISO 8601 date-time with a zone";
       },
       .set = maybe(t.now)},
      {.name = "preview", .kind = Value::none, .help = "Ask as the widget gallery does (no data shows the sample car)",
       .set = flag(t.preview)},
      {.name = "appearance", .valueName = "APPEARANCE", .kind = Value::choice, .help = "Colours",
       .defaultText = "light", .choices = {"light", "dark"}, .check = apps::oneOf("an appearance", {"light", "dark"}),
       .set = text(t.appearance)},
      {.name = "scale", .valueName = "N", .kind = Value::number,
       .help = "Pixels per point of PNG output, a number from " + scales, .defaultText = "2",
       .check = [scales](const std::string& v) -> std::string {
         return parseScale(v) ? "" : "\"" + v + "\" is not a number from " + scales;
       },
       .set = [&t](const std::string& v) { t.scale = parseScale(v).value_or(t.scale); }},
      {.name = "legacy-host", .kind = Value::none,
       .help = "Draw as an older host does: no container background, no content margins", .set = flag(t.legacyHost)},
      {.name = "format", .valueName = "FORMAT", .kind = Value::choice,
       .help = "What to write (png: pixels at --scale; svg and pdf: vector, in points; json: the laid-out view "
               "tree)",
       .defaultText = "png", .choices = namesOf(ui::kOutputFormats),
       .check = apps::oneOf("an output format", namesOf(ui::kOutputFormats)), .set = text(t.format)},
      {.name = "output", .shortName = 'o', .valueName = "FILE", .kind = Value::file,
       .help = "Write to FILE (a regular file is replaced whole, a link is followed, a FIFO or device is written "
               "to); - for standard output", .defaultText = "-", .set = text(t.output)},
      {.name = "out-dir", .valueName = "DIR", .kind = Value::directory,
       .help = "Directory for the PNG files (created when missing)", .set = text(t.outDir), .required = true},
      {.name = "once", .kind = Value::none, .help = "Draw once and exit", .set = flag(t.once)},
      {.name = "format", .valueName = "FORMAT", .kind = Value::choice,
       .help = "text (the line alone), waybar (a custom module's JSON) or i3blocks (full text, short text, colour)",
       .defaultText = "text", .choices = namesOf(kStatusFormats),
       .check = apps::oneOf("a status format", namesOf(kStatusFormats)), .set = text(t.statusFormat),
       .key = "status-format"},
      {.name = "watch", .kind = Value::none,
       .help = "Keep running: print a new line whenever it changes (i3blocks: the full text only)",
       .set = flag(t.watch)},
      {.name = "listen", .valueName = "ADDR:PORT",
       .help = "Address and port, e.g. [::1]:8765; any address other than loopback needs --token-file; a socket "
               "handed over by systemd takes its place", .defaultText = "127.0.0.1:8765",
       .check = [](const std::string& v) {
         const auto address = serve::parseListenAddress(v);
         return address ? std::string() : address.error().message;
       },
       .set = text(t.listen)},
      {.name = "token-file", .valueName = "FILE", .kind = Value::file,
       .help = "Require the token in FILE (its first line, 16 characters or more; chmod 600) as \"Authorization: "
               "Bearer TOKEN\" or ?token=TOKEN", .set = maybe(t.tokenFile)},
      {.name = "tls-cert", .valueName = "FILE", .kind = Value::file,
       .help = "Serve HTTPS with this PEM certificate (chain); needs --tls-key", .set = maybe(t.tlsCertificate)},
      {.name = "tls-key", .valueName = "FILE", .kind = Value::file, .help = "The certificate's PEM private key",
       .set = maybe(t.tlsKey)},
      {.name = "max-connections", .valueName = "N", .kind = Value::number, .help = "Connections at once",
       .defaultText = "512", .check = apps::wholeNumber(1, 10000), .set = count(t.maxConnections)},
      {.name = "max-per-address", .valueName = "N", .kind = Value::number,
       .help = "Connections at once from one address", .defaultText = "64", .check = apps::wholeNumber(1, 10000),
       .set = count(t.maxPerAddress)},
      {.name = "idle-timeout", .valueName = "SECONDS", .kind = Value::number,
       .help = "Seconds a connection may send or take nothing before it is closed", .defaultText = "15",
       .check = apps::wholeNumber(1, 3600), .set = count(t.idleSeconds)},
      {.name = "request-timeout", .valueName = "SECONDS", .kind = Value::number,
       .help = "Seconds a request may take from its first byte to the answer's last", .defaultText = "30",
       .check = apps::wholeNumber(1, 3600), .set = count(t.requestSeconds)},
      {.name = "threads", .valueName = "N", .kind = Value::number, .help = "Threads answering requests",
       .defaultText = "2", .check = apps::wholeNumber(1, 64), .set = count(t.threads)},
      {.name = "verbose", .shortName = 'v', .kind = Value::none, .help = "Log every request, not only errors",
       .set = flag(t.verbose)},
  };
  const std::vector<std::string> request{"family", "shared-dir", "now"};
  const std::vector<std::string> drawing{"appearance", "scale", "legacy-host"};
  const auto plus = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  program.commands = {
      {"info", "Print the widget's registration as JSON"},
      {"placeholder", "Print the placeholder entry (the sample car) as JSON", request},
      {"snapshot", "Print the entry for a one-off snapshot as JSON", plus(request, {"preview"})},
      {"timeline", "Print the timeline (one entry and when to reload) as JSON", request},
      {"render", "Draw the current entry (or with --preview the gallery's) at the family's size",
       plus(plus(request, drawing), {"preview", "format", "output"})},
      {"run", "Keep DIR/<family>.png current: draw each family, sleep until the reload time, repeat",
       plus({"out-dir", "families", "shared-dir", "now"}, plus(drawing, {"once"}))},
      {"status", "Print the car's state as one line for status bars (Waybar, i3blocks, ...)",
       {"status-format", "watch", "shared-dir", "now"}},
      {"serve", "Serve the widget over HTTP: PNG, SVG, PDF and JSON, e-ink panel images, the status line and a "
                "live page",
       {"listen", "token-file", "tls-cert", "tls-key", "shared-dir", "now", "max-connections", "max-per-address",
        "idle-timeout", "request-timeout", "threads", "verbose"}},
  };
  // clang-format on
  return program;
}

}  // namespace kelvo::host
