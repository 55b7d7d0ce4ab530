#pragma once

// The server's answers, without the network: a typed request and the
// headers that matter in, status, body and caching headers out. Safe to
// call from several threads at once.

#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FreeList.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoWidget/CarProvider.h"
#include "RenderCache.h"
#include "ServeRequest.h"
#include "SnapshotSource.h"

namespace kelvo::serve {

// What a request sent beyond its path and parameters.
struct RequestHeaders {
  std::optional<std::string> ifNoneMatch;
  std::optional<std::string> acceptLanguage;
  std::optional<std::string> queryToken;  // ?token= as given: the page's own links carry it on
};

struct Reply {
  int status = 200;
  std::string contentType;
  std::shared_ptr<const std::string> body;                   // never null
  std::string etag;                                          // "" for none
  std::string cacheControl;                                  // "max-age=37", "no-cache"; "" for none
  std::vector<std::pair<std::string, std::string>> headers;  // more: Vary, Server-Timing, ...
};

// A reply with a one-line text body: errors, 404, ...
Reply textReply(int status, std::string text);

class WidgetService {
 public:
  // Keeps at most this many bytes of made answers: a few dozen large
  // widgets, while the whole server stays small.
  static constexpr std::size_t kCacheBytes = 8u << 20;
  static constexpr std::size_t kCacheEntries = 256;

  WidgetService(SnapshotSource& source, widget::CarProvider::Clock clock);

  // The accepted lang= values: "en" and the installed catalogs.
  const std::vector<std::string>& languages() const { return languages_; }

  // The answer to a GET (or HEAD) for anything but /events.
  Reply answer(const Request& request, const RequestHeaders& headers);

  // What /events sends now for `language`: the status line as JSON with
  // the version of what is drawn, one line.
  std::string eventData(const std::optional<std::string>& language);

  // Seconds until what is drawn can change by the clock alone (the host's clock).
  double secondsToNextChange();

  // Forgets every made answer and what was read (SIGHUP).
  void dropCaches();

  // Makes `count` text measurers and loads their fonts by drawing the
  // sample car, for drawings to borrow: a thread's first drawing would
  // otherwise look all its fonts up (several milliseconds). Call it once,
  // on a thread of its own; drawings meanwhile use their thread's own.
  void warmUp(unsigned count);

  // Lays out and draws the sample car in every size with this thread's
  // text measurer, which loads the fonts the widget uses; with
  // `largeImage` also as a 3x image, which touches the memory that large
  // drawings use.
  static void drawSample(bool largeImage);

 private:
  struct Current;
  class Borrowed;
  Current current(ui::WidgetFamily family);
  Reply cached(const Request& request, const RequestHeaders& headers, const std::string& key,
               const std::string& cacheControl, const std::function<Rendered()>& make);
  Result<std::string> drawWidget(const Current& now, const Request& request);

  SnapshotSource& source_;
  widget::CarProvider::Clock clock_;
  std::vector<std::string> languages_;
  RenderCache cache_{kCacheBytes, kCacheEntries};
  // The last few laid-out widgets: another size of one is drawn without
  // laying it out again.
  static constexpr std::size_t kLayouts = 8;
  std::mutex layoutsMutex_;
  std::list<std::pair<std::string, std::shared_ptr<const ui::WidgetLayout>>> layouts_;  // most recent first
  // Text measurers with their fonts loaded, not lent out now.
  FreeList<std::shared_ptr<ui::PangoTextMeasurer>> measurers_;
};

}  // namespace kelvo::serve
