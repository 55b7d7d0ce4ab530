#include <cstdio>
#include <iostream>
#include <map>
#include <memory>

#include "Commands.h"
#include "Drawing.h"
#include "OutputFile.h"

namespace kelvo::host {

namespace {

struct RenderOptions {
  RequestOptions request;
  DrawingOptions drawing;
  bool preview = false;
  std::string format = "png";
  std::string output = "-";
};

const std::map<std::string, ui::OutputFormat> kFormats{
    {"png", ui::OutputFormat::png},
    {"svg", ui::OutputFormat::svg},
    {"pdf", ui::OutputFormat::pdf},
    {"json", ui::OutputFormat::json},
};

// The entry the host would show: the timeline's one entry, or the gallery's
// snapshot with --preview.
widget::CarEntry currentEntry(const RenderOptions& options) {
  const widget::CarProvider provider = options.request.provider();
  widget::CarEntry entry;
  if (options.preview) {
    provider.getSnapshot({options.request.widgetFamily(), true},
                         [&entry](widget::CarEntry e) { entry = std::move(e); });
  } else {
    provider.getTimeline({options.request.widgetFamily(), false}, [&entry](widget::Timeline timeline) {
      entry = std::move(timeline.entries.front());
    });
  }
  return entry;
}

int render(const RenderOptions& options) {
  const widget::CarEntry entry = currentEntry(options);
  const ui::Environment environment =
      drawingEnvironment(options.request.widgetFamily(), options.request.clock()(), options.drawing);
  const Result<std::string> drawn =
      drawEntry(entry, environment, kFormats.at(options.format), options.drawing.scale);
  if (!drawn) {
    std::cerr << "kelvo-widget: cannot draw: " << drawn.error().message << "\n";
    return kExitFailure;
  }

  if (options.output == "-") {
    if (const Status written = writeStandardOutput(*drawn); !written) {
      std::cerr << "kelvo-widget: " << written.error().message << "\n";
      return kExitFailure;
    }
    return kExitOk;
  }
  if (const Status written = writeOutputFile(options.output, *drawn); !written) {
    std::cerr << "kelvo-widget: " << written.error().message << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

void addRenderCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* command = app.add_subcommand(
      "render", "Draw the current entry (or with --preview the gallery's) at the family's size");
  addRequestOptions(*command, options->request);
  addDrawingOptions(*command, options->drawing);
  command->add_flag("--preview", options->preview,
                    "Draw the gallery snapshot (no data shows the sample car)");
  command
      ->add_option("--format", options->format, "png, svg, pdf or json (the laid-out view tree); default png")
      ->option_text("FORMAT")
      ->check(CLI::IsMember({"png", "svg", "pdf", "json"}));
  command
      ->add_option("-o,--output", options->output,
                   "Write to FILE (a regular file is replaced whole, a link is followed, a FIFO or device is "
                   "written to); - or none for stdout")
      ->option_text("FILE");
  command->callback([&action, options] { action = [options] { return render(*options); }; });
}

}  // namespace kelvo::host
