#include <cstdio>
#include <iostream>
#include <string>

#include "Commands.h"
#include "Drawing.h"
#include "OutputFile.h"

namespace kelvo::host {

namespace {

struct RenderOptions {
  RequestOptions request;
  DrawingOptions drawing;
  bool preview;
  std::string format;
  std::string output;
};

// The entry the host would show: the timeline's one entry, or the gallery's
// snapshot with --preview.
widget::CarEntry currentEntry(const RenderOptions& options) {
  const widget::CarProvider provider = options.request.provider();
  const widget::TimelineProviderContext context{options.request.widgetFamily(), options.preview};
  if (options.preview) return provider.snapshot(context);
  return std::move(provider.timeline(context).entries.front());
}

int render(const RenderOptions& options) {
  const widget::CarEntry entry = currentEntry(options);
  const ui::Environment environment =
      drawingEnvironment(options.request.widgetFamily(), options.request.clock()(), options.drawing);
  const Result<std::string> drawn =
      drawEntry(entry, environment, *ui::parseOutputFormat(options.format), options.drawing.scale);
  if (!drawn) {
    std::cerr << "kelvo-widget: cannot draw: " << drawn.error().message << "\n";
    return apps::kExitFailure;
  }

  if (options.output == "-") {
    if (const Status written = writeStandardOutput(*drawn); !written) {
      std::cerr << "kelvo-widget: " << written.error().message << "\n";
      return apps::kExitFailure;
    }
    return apps::kExitOk;
  }
  if (const Status written = writeOutputFile(options.output, *drawn); !written) {
    std::cerr << "kelvo-widget: " << written.error().message << "\n";
    return apps::kExitFailure;
  }
  return apps::kExitOk;
}

}  // namespace

int renderCommand(const WidgetCommandLine& options) {
  return render(
      {RequestOptions(options), DrawingOptions(options), options.preview, options.format, options.output});
}

}  // namespace kelvo::host
