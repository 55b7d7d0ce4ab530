#include "WidgetService.h"

#include <time.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "KelvoShared/CurrentLocale.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/TextLanguage.h"
#include "KelvoUI/Environment.h"
#include "KelvoWidget/CarSummary.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"
#include "Languages.h"
#include "Page.h"
#include "PanelImage.h"
#include "StatusLine.h"

namespace kelvo::serve {

namespace {

// A new Kelvo may draw the same data differently: its ETags differ.
constexpr std::string_view kProgramVersion = KELVO_VERSION;

// The texts and numbers of one answer: a language of its own for lang=,
// else the process's environment, as `render` has it.
struct Speaking {
  explicit Speaking(const std::optional<std::string>& language) {
    if (language) scope.emplace(*language);
  }
  std::optional<ScopedTextLanguage> scope;
};

icu::Locale numbersLocale(const std::optional<std::string>& language) {
  return language ? icu::Locale(language->c_str()) : currentLocale();
}
icu::Locale agesLocale(const std::optional<std::string>& language) {
  return language ? icu::Locale(language->c_str()) : relativeTimeLocale();
}

std::string contentType(const WidgetQuery& query) {
  switch (query.format) {
    case ui::OutputFormat::png:
      return query.panel.bmp ? "image/bmp" : "image/png";
    case ui::OutputFormat::svg:
      return "image/svg+xml";
    case ui::OutputFormat::pdf:
      return "application/pdf";
    case ui::OutputFormat::json:
      return "application/json";
  }
  return "application/octet-stream";
}

// Times making an answer.
template <class Make>
Rendered timed(std::string contentType, Make make) {
  const auto threadTime = [] {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
  };
  const auto start = std::chrono::steady_clock::now();
  const double startCpu = threadTime();
  Result<std::string> made = make();
  Rendered rendered;
  rendered.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  rendered.cpuMilliseconds = threadTime() - startCpu;
  rendered.contentType = std::move(contentType);
  if (made) {
    rendered.body = std::move(made).value();
  } else {
    rendered.status = 500;
    rendered.contentType = "text/plain; charset=utf-8";
    rendered.body = "cannot draw: " + made.error().message + "\n";
  }
  return rendered;
}

// What a layout depends on: everything but the size it is drawn at.
// A panel of two or four greys gets the colours' increased contrast: a
// half-transparent caption or a light green would dither into noise there,
// or vanish without dithering.
ui::Contrast contrastFor(const WidgetQuery& query) {
  return query.panel.colors && *query.panel.colors <= 4 ? ui::Contrast::increased : ui::Contrast::standard;
}

std::string layoutKey(const Request& request, const std::string& version, const std::string& period) {
  const WidgetQuery& query = request.widget;
  return std::string(ui::familyInfo(query.family).name) +
         (query.appearance == ui::Appearance::dark ? "|dark|" : "|light|") +
         (contrastFor(query) == ui::Contrast::increased ? "increased|" : "") + request.language.value_or("") +
         "|" + version + "|" + period;
}

host::StatusLine statusFor(const widget::CarEntry& entry, Date now,
                           const std::optional<std::string>& language) {
  const Speaking speaking(language);
  return host::statusLine(entry, now, numbersLocale(language), agesLocale(language));
}

struct PageFile {
  std::string_view contentType;
  std::string_view bytes;
};
// The page's own files, as compiled in.
PageFile pageFile(Resource resource) {
  switch (resource) {
    case Resource::script:
      return {"text/javascript; charset=utf-8", kPageScript};
    case Resource::style:
      return {"text/css; charset=utf-8", kPageStyle};
    case Resource::icon:
      return {"image/svg+xml", kPageIcon};
    case Resource::page:
    case Resource::events:
    case Resource::status:
    case Resource::snapshot:
    case Resource::widget:
      break;
  }
  return {};
}

std::string maxAge(int seconds) { return "max-age=" + std::to_string(seconds); }

}  // namespace

Reply textReply(int status, std::string text) {
  Reply reply;
  reply.status = status;
  reply.contentType = "text/plain; charset=utf-8";
  reply.body = std::make_shared<const std::string>(std::move(text) + "\n");
  return reply;
}

struct WidgetService::Current {
  std::shared_ptr<const Document> document;  // keeps the entry alive
  const widget::CarEntry* entry;
  Date now;
  Freshness fresh;
};

WidgetService::WidgetService(SnapshotSource& source, widget::CarProvider::Clock clock)
    : source_(source), clock_(std::move(clock)), languages_(textLanguages()) {}

WidgetService::Current WidgetService::current(ui::WidgetFamily family) {
  Current current{source_.current(), nullptr, clock_(), {}};
  current.entry = &current.document->entry(family);
  current.fresh = freshness(*current.entry, current.now);
  return current;
}

Reply WidgetService::cached(const Request& request, const RequestHeaders& headers, const std::string& key,
                            const std::string& cacheControl, const std::function<Rendered()>& make) {
  Reply reply;
  reply.etag = etagFor(std::string(kProgramVersion) + "|" + key);
  reply.cacheControl = cacheControl;
  if (request.resource == Resource::page) reply.headers.emplace_back("Vary", "Accept-Language");
  // libmicrohttpd sends a Content-Length with a 304 too, taken from its
  // (unsent) body. The representation's length would be the right value,
  // but clients that read that many bytes after a 304 (wrk, simple
  // embedded HTTP libraries) then wait for a body that never comes; with an
  // empty body they do not, and caches ignore a 304's length anyway.
  if (headers.ifNoneMatch && etagMatches(*headers.ifNoneMatch, reply.etag)) {
    reply.status = 304;
    reply.body = std::make_shared<const std::string>();
    return reply;
  }
  const RenderCache::Lookup found = cache_.get(key, [&] { return std::make_shared<const Rendered>(make()); });
  const Rendered& rendered = *found.value;
  reply.status = rendered.status;
  reply.contentType = rendered.contentType;
  // The body stays alive with the kept answer as long as the reply needs it.
  reply.body = std::shared_ptr<const std::string>(found.value, &rendered.body);
  if (rendered.status != 200) {
    reply.etag.clear();
    reply.cacheControl = "no-store";
  }
  char timing[64];
  if (found.made) {
    std::snprintf(timing, sizeof timing, "render;dur=%.2f, cpu;dur=%.2f", rendered.milliseconds,
                  rendered.cpuMilliseconds);
  } else {
    std::snprintf(timing, sizeof timing, "cache;desc=hit");
  }
  reply.headers.emplace_back("Server-Timing", timing);
  return reply;
}

Reply WidgetService::answer(const Request& request, const RequestHeaders& headers) {
  const std::optional<std::string>& language = request.language;
  switch (request.resource) {
    case Resource::widget: {
      const WidgetQuery& query = request.widget;
      Current now = current(query.family);
      const std::string key =
          request.canonical() + "|" + now.document->version().text() + "|" + now.fresh.period;
      return cached(request, headers, key, maxAge(now.fresh.maxAge),
                    [&] { return timed(contentType(query), [&] { return drawWidget(now, request); }); });
    }
    case Resource::status: {
      Current now = current(ui::WidgetFamily::systemSmall);
      const std::string key =
          request.canonical() + "|" + now.document->version().text() + "|" + now.fresh.period;
      return cached(request, headers, key, maxAge(now.fresh.maxAge), [&] {
        return timed("application/json", [&]() -> Result<std::string> {
          return host::formatStatus(statusFor(*now.entry, now.now, language), host::StatusFormat::waybar,
                                    host::StatusOutput::once);
        });
      });
    }
    case Resource::snapshot: {
      const std::shared_ptr<const Document> document = source_.current();
      return cached(request, headers, request.canonical() + "|" + document->version().text(), "no-cache",
                    [&] {
                      return timed("application/json",
                                   [&]() -> Result<std::string> { return document->showJson() + "\n"; });
                    });
    }
    case Resource::page: {
      const std::optional<std::string> chosen =
          language ? language : negotiateLanguage(headers.acceptLanguage.value_or(""), languages_);
      Current now = current(ui::WidgetFamily::systemSmall);
      const std::string token = headers.queryToken ? "token=" + urlEncoded(*headers.queryToken) : "";
      std::string query = chosen ? "lang=" + *chosen : "";
      if (!token.empty()) query += (query.empty() ? "" : "&") + token;
      const std::string key = "/?lang=" + chosen.value_or("") + "&query=" + query + "|" +
                              now.document->version().text() + "|" + now.fresh.period;
      return cached(request, headers, key, "no-cache", [&] {
        return timed("text/html; charset=utf-8", [&]() -> Result<std::string> {
          const Speaking speaking(chosen);
          PageContent page;
          std::string tag = textLanguage().getName();
          for (char& c : tag) c = c == '_' ? '-' : c;
          page.language = tag;
          page.rightToLeft = ui::layoutDirectionFor(textLanguage()) == ui::LayoutDirection::rightToLeft;
          page.title = widget::KelvoCarWidget::body().configurationDisplayName;
          page.query = query;
          page.tokenQuery = token;
          page.status = host::statusLine(*now.entry, now.now, numbersLocale(chosen), agesLocale(chosen));
          return pageHtml(page);
        });
      });
    }
    case Resource::script:
    case Resource::style:
    case Resource::icon:
      return cached(request, headers, request.canonical(), "no-cache", [&] {
        return timed(std::string(pageFile(request.resource).contentType),
                     [&]() -> Result<std::string> { return std::string(pageFile(request.resource).bytes); });
      });
    case Resource::events:
      break;
  }
  return textReply(404, "not found");
}

// A warm text measurer, when one is free, lent to this thread while the
// object lives and then given back.
class WidgetService::Borrowed {
 public:
  explicit Borrowed(FreeList<std::shared_ptr<ui::PangoTextMeasurer>>& measurers)
      : measurers_(measurers), measurer_(measurers.take()) {
    if (measurer_) lent_.emplace(measurer_);
  }
  ~Borrowed() {
    if (!measurer_) return;
    lent_.reset();
    measurers_.give(std::move(measurer_));
  }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;

 private:
  FreeList<std::shared_ptr<ui::PangoTextMeasurer>>& measurers_;
  std::shared_ptr<ui::PangoTextMeasurer> measurer_;
  std::optional<ui::PangoTextMeasurer::Lent> lent_;
};

void WidgetService::drawSample(bool largeImage) {
  const widget::CarProvider provider;
  for (const ui::WidgetFamily family :
       {ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium, ui::WidgetFamily::systemLarge}) {
    const widget::CarEntry entry = provider.placeholder({family});
    const Result<ui::WidgetLayout> layout =
        ui::layoutWidget(widget::KelvoCarWidget::entryContent()(entry),
                         widget::hostEnvironment(family, entry.date, ui::Appearance::light));
    if (!layout) continue;
    (void)ui::renderLayout(*layout, ui::OutputFormat::png, 1);
    if (largeImage && family == ui::WidgetFamily::systemLarge) {
      // A large image's memory, touched once: its bands, its PNG and the
      // encoder's buffers.
      WidgetQuery large;
      large.family = family;
      large.scale = 3;
      (void)drawImage(*layout, large);
    }
  }
}

void WidgetService::warmUp(unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    Result<std::shared_ptr<ui::PangoTextMeasurer>> made = ui::PangoTextMeasurer::create();
    if (!made) return;  // the drawings will say why
    {
      const ui::PangoTextMeasurer::Lent lent(*made);
      drawSample(i == 0);  // the one heap's pages need touching once
    }
    measurers_.give(std::move(made).value());
  }
}

Result<std::string> WidgetService::drawWidget(const Current& now, const Request& request) {
  // A measurer whose fonts are loaded, when one is free, for the layout and
  // the part of the drawing done on this thread.
  const Borrowed measurer(measurers_);

  const WidgetQuery& query = request.widget;
  const Speaking speaking(request.language);
  const std::string key = layoutKey(request, now.document->version().text(), now.fresh.period);
  std::shared_ptr<const ui::WidgetLayout> layout;
  {
    const std::lock_guard lock(layoutsMutex_);
    for (auto kept = layouts_.begin(); kept != layouts_.end(); ++kept) {
      if (kept->first != key) continue;
      layout = kept->second;
      layouts_.splice(layouts_.begin(), layouts_, kept);
      break;
    }
  }
  if (!layout) {
    ui::Environment environment = widget::hostEnvironment(query.family, now.now, query.appearance);
    environment.host.containerBackground = ui::ContainerBackgroundSupport::supported;
    environment.contrast = contrastFor(query);
    if (request.language)
      environment.locale = environment.relativeTimeLocale = icu::Locale(request.language->c_str());
    Result<ui::WidgetLayout> made =
        ui::layoutWidget(widget::KelvoCarWidget::entryContent()(*now.entry), environment);
    if (!made) return made.error();
    ui::WidgetLayout laid = std::move(made).value();
    laid.accessibilityLabel =
        widget::spokenSummary(*now.entry, widget::CarPresentation::Context::of(environment));
    layout = std::make_shared<const ui::WidgetLayout>(std::move(laid));
    const std::lock_guard lock(layoutsMutex_);
    layouts_.emplace_front(key, layout);
    if (layouts_.size() > kLayouts) layouts_.pop_back();
  }
  if (query.format == ui::OutputFormat::png) return drawImage(*layout, query);
  return ui::renderLayout(*layout, query.format, query.scale);
}

std::string WidgetService::eventData(const std::optional<std::string>& language) {
  Current now = current(ui::WidgetFamily::systemSmall);
  const std::string key =
      "/events?lang=" + language.value_or("") + "|" + now.document->version().text() + "|" + now.fresh.period;
  const RenderCache::Lookup found = cache_.get(key, [&] {
    return std::make_shared<const Rendered>(timed("text/event-stream", [&]() -> Result<std::string> {
      const host::StatusLine line = statusFor(*now.entry, now.now, language);
      nlohmann::ordered_json json{{"text", line.text}, {"tooltip", line.tooltip}, {"class", line.cssClass}};
      if (line.percentage) json["percentage"] = *line.percentage;
      json["version"] = etagFor(std::string(kProgramVersion) + "|" + key);
      return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }));
  });
  return found.value->body;
}

double WidgetService::secondsToNextChange() {
  Current now = current(ui::WidgetFamily::systemSmall);
  return nextDrawnChange(*now.entry, now.now).timeIntervalSince(now.now);
}

void WidgetService::dropCaches() {
  source_.forget();
  cache_.clear();
  const std::lock_guard lock(layoutsMutex_);
  layouts_.clear();
}

}  // namespace kelvo::serve
