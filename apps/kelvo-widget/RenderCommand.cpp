#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Drawing.h"
#include "KelvoBase/Unreachable.h"
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

// The entry the host would show: the timeline's one entry, or the gallery's
// snapshot with --preview.
widget::CarEntry currentEntry(const RenderOptions& options) {
  const widget::CarProvider provider = options.request.provider();
  const widget::TimelineProviderContext context{options.request.widgetFamily(), options.preview};
  if (options.preview) return provider.snapshot(context);
  return std::move(provider.timeline(context).entries.front());
}

// A few words on what a format gives, for --help.
const char* formatWords(ui::OutputFormat format) {
  switch (format) {
    case ui::OutputFormat::png:
      return "pixels at --scale";
    case ui::OutputFormat::svg:
    case ui::OutputFormat::pdf:
      return "vector, in points";
    case ui::OutputFormat::json:
      return "the laid-out view tree";
  }
  unreachable(__func__);
}

std::string formatHelp() {
  std::string help;
  for (const ui::OutputFormatInfo& row : ui::kOutputFormats) {
    help += (help.empty() ? "" : ", ") + std::string(row.name) + " (" + formatWords(row.format) + ")";
  }
  return help;
}

std::vector<std::string> formatNames() {
  std::vector<std::string> names;
  for (const ui::OutputFormatInfo& row : ui::kOutputFormats) names.emplace_back(row.name);
  return names;
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

void addRenderCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* command = app.add_subcommand(
      kRenderCommand, "Draw the current entry (or with --preview the gallery's) at the family's size");
  addRequestOptions(*command, options->request);
  addDrawingOptions(*command, options->drawing);
  command->add_flag("--preview", options->preview,
                    "Draw the gallery snapshot (no data shows the sample car)");
  command->add_option("--format", options->format, formatHelp() + "; default png")
      ->option_text("FORMAT")
      ->check(CLI::IsMember(formatNames()));
  command
      ->add_option("-o,--output", options->output,
                   "Write to FILE (a regular file is replaced whole, a link is followed, a FIFO or device is "
                   "written to); - or none for stdout")
      ->option_text("FILE");
  command->callback([&action, options] { action = [options] { return render(*options); }; });
}

}  // namespace kelvo::host
