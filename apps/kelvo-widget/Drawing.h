#pragma once

// What `render` and `run` share: how an entry becomes a drawn widget.

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
int renderCommand(const WidgetCommandLine& options);
// `run`: the refresh loop that keeps DIR/<family>.png current.
int runCommand(const WidgetCommandLine& options);

// Whether the command named `name` draws (lays out text).
inline bool drawsWidgets(std::string_view name) { return name == kRenderCommand || name == kRunCommand; }

// --appearance, --scale and --legacy-host, as given on the command line.
struct DrawingOptions {
  std::string appearance = "light";
  double scale = ui::defaultRenderScale;
  bool legacyHost = false;

  explicit DrawingOptions(const WidgetCommandLine& line)
      : appearance(line.appearance), scale(line.scale), legacyHost(line.legacyHost) {}
};

// The environment the host draws an entry in: the placed family, the
// current locale, the host's clock, the appearance and the host's kind.
ui::Environment drawingEnvironment(ui::WidgetFamily family, Date now, const DrawingOptions& options);

// The entry drawn through the widget's content at the family's size.
Result<std::string> drawEntry(const widget::CarEntry& entry, const ui::Environment& environment,
                              ui::OutputFormat format, double scale);

}  // namespace kelvo::host
