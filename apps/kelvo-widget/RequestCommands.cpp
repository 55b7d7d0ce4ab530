#include "Commands.h"

namespace kelvo::host {

int placeholderCommand(const WidgetCommandLine& options) {
  const RequestOptions request(options);
  printJson(entryJson(request.provider().placeholder({request.widgetFamily(), false})));
  return apps::kExitOk;
}

int snapshotCommand(const WidgetCommandLine& options) {
  const RequestOptions request(options);
  printJson(entryJson(request.provider().snapshot({request.widgetFamily(), options.preview})));
  return apps::kExitOk;
}

int timelineCommand(const WidgetCommandLine& options) {
  const RequestOptions request(options);
  printJson(timelineJson(request.provider().timeline({request.widgetFamily(), false})));
  return apps::kExitOk;
}

}  // namespace kelvo::host
