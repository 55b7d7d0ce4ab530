#pragma once

// What `render` and `run` share: how an entry becomes a drawn widget.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "Commands.h"
#include "KelvoBase/Result.h"
#include "KelvoUI/Environment.h"
#include "KelvoUI/WidgetRenderer.h"

namespace kelvo::host {

inline constexpr const char* kRenderCommand = "render";
inline constexpr const char* kRunCommand = "run";

// `render`: one entry drawn to PNG, SVG, PDF or the JSON view tree.
void addRenderCommand(CLI::App& app, Action& action);
// `run`: the refresh loop that keeps DIR/<family>.png current.
void addRunCommand(CLI::App& app, Action& action);

// Whether the command named `name` draws (lays out text).
inline bool drawsWidgets(std::string_view name) { return name == kRenderCommand || name == kRunCommand; }

// --appearance, --scale and --legacy-host, as given on the command line.
struct DrawingOptions {
  std::string appearance = "light";
  double scale = ui::defaultRenderScale;
  bool legacyHost = false;
};

void addDrawingOptions(CLI::App& command, DrawingOptions& options);

// A --scale value: a finite decimal number within the supported range.
std::optional<double> parseScale(std::string_view text);

// The environment the host draws an entry in: the placed family, the
// current locale, the host's clock, the appearance and the host's kind.
ui::Environment drawingEnvironment(ui::WidgetFamily family, Date now, const DrawingOptions& options);

// The entry drawn through the widget's content at the family's size.
Result<std::string> drawEntry(const widget::CarEntry& entry, const ui::Environment& environment,
                              ui::OutputFormat format, double scale);

}  // namespace kelvo::host
