#include <cstdio>
#include <iostream>
#include <string>

#include "Commands.h"
#include "Drawing.h"
#include "KelvoShared/LogText.h"
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

int fail(const std::string& message) {
  std::cerr << "kelvo-widget: " << logValue(message, kLogLineBytes) << "\n";
  return apps::kExitFailure;
}

int render(const RenderOptions& options) {
  const widget::CarEntry entry = currentEntry(options);
  const ui::Environment environment =
      drawingEnvironment(options.request.widgetFamily(), options.request.clock()(), options.drawing);
  const Result<std::string> drawn =
      drawEntry(entry, environment, *ui::parseOutputFormat(options.format), options.drawing.scale);
  if (!drawn) {
    return fail("cannot draw: " + drawn.error().message);
  }

  if (options.output == "-") {
    if (const Status written = writeStandardOutput(*drawn); !written) return fail(written.error().message);
    return apps::kExitOk;
  }
  if (const Status written = writeOutputFile(options.output, *drawn); !written)
    return fail(written.error().message);
  return apps::kExitOk;
}

}  // namespace

int renderCommand(const WidgetCommandLine& options) {
  return render(
      {RequestOptions(options), DrawingOptions(options), options.preview, options.format, options.output});
}

}  // namespace kelvo::host
