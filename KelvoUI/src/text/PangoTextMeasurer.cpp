#include "KelvoUI/PangoTextMeasurer.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>
#include <unicode/ubidi.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "KelvoBase/Unreachable.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/Symbols.h"

namespace kelvo::ui {
namespace {

// Whether fontconfig resolves `family` to a face of that family (and not to a
// fallback).
bool familyInstalled(const char* family) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  if (!pattern) return false;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  bool found = false;
  if (match) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
      if (strcasecmp(reinterpret_cast<const char*>(name), family) == 0) found = true;
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return found;
}

PangoWeight pangoWeight(FontWeight w, FontDesign design) {
  // The rounded face comes in regular and bold only; its bold has the stroke
  // of a semibold in the text face.
  if (design == FontDesign::rounded) {
    return w >= FontWeight::semibold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL;
  }
  switch (w) {
    case FontWeight::ultraLight:
      return PANGO_WEIGHT_ULTRALIGHT;
    case FontWeight::thin:
      return PANGO_WEIGHT_THIN;
    case FontWeight::light:
      return PANGO_WEIGHT_LIGHT;
    case FontWeight::regular:
      return PANGO_WEIGHT_NORMAL;
    case FontWeight::medium:
      return PANGO_WEIGHT_MEDIUM;
    case FontWeight::semibold:
      return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold:
      return PANGO_WEIGHT_BOLD;
    case FontWeight::heavy:
      return PANGO_WEIGHT_ULTRABOLD;
    case FontWeight::black:
      return PANGO_WEIGHT_HEAVY;
  }
  unreachable(__func__);
}

const char* familyFor(FontDesign design) {
  switch (design) {
    case FontDesign::standard:
      return textFontFamily;
    case FontDesign::rounded:
      return roundedFontFamily;
    case FontDesign::monospaced:
      return "monospace";
    case FontDesign::serif:
      return "serif";
  }
  unreachable(__func__);
}

int pangoUnits(double points) {
  const double v = std::round(points * PANGO_SCALE);
  if (!(v > 0)) return 0;
  return v > INT_MAX / 4 ? INT_MAX / 4 : int(v);
}

std::string utf8(char32_t cp) {
  gchar buffer[8] = {};
  const gint n = g_unichar_to_utf8(gunichar(cp), buffer);
  return std::string(buffer, size_t(n));
}

// Whether `c` continues the character before it (a combining mark, a
// joiner, a variation selector, an emoji modifier).
bool extendsCharacter(UChar32 c) {
  const auto kind = UGraphemeClusterBreak(u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK));
  return kind == U_GCB_EXTEND || kind == U_GCB_ZWJ || kind == U_GCB_SPACING_MARK;
}

// `text` with each space that begins a longer character (" \u0301", " \u200d")
// made a no-break space. Line breaking may split such a character after its
// space, where shaping keeps it whole, and Pango 1.50 then fails an assertion
// (process_line: result == BREAK_SOME_FIT || result == BREAK_EMPTY_FIT) and
// ends the process, in wraps at the narrow widths layout probes. A no-break
// space, which allows no break, draws the same, and is how Unicode
// recommends showing a mark on its own.
std::string noBreakSpacesUnderMarks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = std::int32_t(std::min<std::size_t>(text.size(), INT32_MAX));
  for (std::int32_t i = 0; i < length; ++i) {
    if (bytes[i] == ' ' && i + 1 < length) {
      std::int32_t next = i + 1;
      UChar32 c = 0;
      U8_NEXT(bytes, next, length, c);
      if (c >= 0 && extendsCharacter(c)) {
        out += "\u00a0";
        continue;
      }
    }
    out += char(bytes[i]);
  }
  return out;
}

// Leading is the left edge left to right and the right edge right to left,
// whatever the text's own direction. Pango swaps left and right for a
// paragraph that runs right to left, so those get the other one.
PangoAlignment pangoAlignment(const TextRequest& r) {
  if (r.alignment == TextAlignment::center) return PANGO_ALIGN_CENTER;
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(r.text);
  const bool rightToLeftText = ubidi_getBaseDirection(text.getBuffer(), text.length()) == UBIDI_RTL;
  const bool left = (r.alignment == TextAlignment::leading) == (r.direction == LayoutDirection::leftToRight);
  return left != rightToLeftText ? PANGO_ALIGN_LEFT : PANGO_ALIGN_RIGHT;
}

// Loads the font configuration and checks that the needed families are
// installed: once per process, on a thread of its own, so that whatever a
// caller does before its first text overlaps it.
class FontSetup {
 public:
  static FontSetup& instance() {
    static FontSetup setup;
    return setup;
  }
  void start() {
    std::call_once(started_, [this] {
      // The thread takes no signals: a process that waits for some with
      // sigwait (run's SIGHUP, SIGINT and SIGTERM) blocks them on its own
      // thread only, and one delivered here would end the process instead.
      sigset_t all, previous;
      sigfillset(&all);
      pthread_sigmask(SIG_BLOCK, &all, &previous);
      checked_ = std::async(std::launch::async | std::launch::deferred, checkFamilies).share();
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    });
  }
  Status result() {
    start();
    return checked_.get();
  }

 private:
  static Status checkFamilies() {
    static const struct {
      const char* family;
      const char* package;
    } required[] = {
        {textFontFamily, "fonts-inter"},
        {roundedFontFamily, "fonts-quicksand"},
        {materialIconsFamily, "fonts-material-design-icons-iconfont"},
        {materialDesignIconsFamily, "fonts-materialdesignicons-webfont"},
    };
    for (const auto& r : required) {
      if (!familyInstalled(r.family)) {
        return Error{std::string("font family \"") + r.family + "\" is not installed (Debian package " +
                     r.package + ")"};
      }
    }
    return {};
  }

  std::once_flag started_;
  std::shared_future<Status> checked_;
};

}  // namespace

struct PangoTextMeasurer::State {
  PangoFontMap* fontMap = nullptr;
  PangoContext* context = nullptr;
  ~State() {
    if (context) g_object_unref(context);
    if (fontMap) g_object_unref(fontMap);
  }
};

void PangoTextMeasurer::prepare() { FontSetup::instance().start(); }

Result<std::shared_ptr<PangoTextMeasurer>> PangoTextMeasurer::create() {
  if (Status fonts = FontSetup::instance().result(); !fonts) return fonts.error();
  auto state = std::make_unique<State>();
  state->fontMap = pango_cairo_font_map_new();
  state->context = pango_font_map_create_context(state->fontMap);
  // Unhinted metrics and unrounded positions: a layout in points is the same
  // at every pixel density.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(state->context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(state->context, FALSE);
  return std::shared_ptr<PangoTextMeasurer>(new PangoTextMeasurer(std::move(state)));
}

namespace {
thread_local std::shared_ptr<PangoTextMeasurer> lentHere;
}  // namespace

PangoTextMeasurer::Lent::Lent(std::shared_ptr<PangoTextMeasurer> measurer)
    : earlier_(std::exchange(lentHere, std::move(measurer))) {}

PangoTextMeasurer::Lent::~Lent() { lentHere = std::move(earlier_); }

Result<std::shared_ptr<PangoTextMeasurer>> PangoTextMeasurer::threadLocal() {
  if (lentHere) return lentHere;
  thread_local std::shared_ptr<PangoTextMeasurer> measurer;
  if (measurer) return measurer;
  auto made = create();
  if (made) measurer = *made;
  return made;
}

PangoTextMeasurer::PangoTextMeasurer(std::unique_ptr<State> state) : state_(std::move(state)) {}
PangoTextMeasurer::~PangoTextMeasurer() = default;

PangoLayout* PangoTextMeasurer::makeLayout(const TextRequest& r, bool* cut) {
  PangoLayout* layout = pango_layout_new(state_->context);
  const std::string text = noBreakSpacesUnderMarks(r.text);
  pango_layout_set_text(layout, text.data(), int(text.size()));

  const double scale = std::isfinite(r.scale) && r.scale > 0 ? r.scale : 1;
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, familyFor(r.font.design));
  pango_font_description_set_weight(desc, pangoWeight(r.font.weight, r.font.design));
  pango_font_description_set_absolute_size(desc, std::max(1, pangoUnits(r.font.size * scale)));
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);

  PangoAttrList* attrs = pango_attr_list_new();
  // Words split to fit a line are split without a hyphen, as the platform does.
  pango_attr_list_insert(attrs, pango_attr_insert_hyphens_new(FALSE));
  if (r.font.lineHeight > 0) {
    pango_attr_list_insert(attrs, pango_attr_line_height_new_absolute(pangoUnits(r.font.lineHeight * scale)));
  }
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);

  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, pangoAlignment(r));
  double width = r.wrapWidth;
  if (!std::isfinite(width) && r.maxLines > 0) {
    // Pango only cuts lines of a layout with a width: use the natural one.
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    width = double(logical.width) / PANGO_SCALE;
  }
  if (std::isfinite(width)) pango_layout_set_width(layout, std::max(0, pangoUnits(width)));
  if (r.maxLines > 0) {
    pango_layout_set_height(layout, -r.maxLines);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    limitLines(layout, r.maxLines, cut);
  }
  return layout;
}

void PangoTextMeasurer::limitLines(PangoLayout* layout, int maxLines, bool* cut) {
  // A negative height limits the lines of each paragraph; the whole text
  // gets no more lines with a height that ends half a line below the last.
  if (pango_layout_get_line_count(layout) <= maxLines) return;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  for (int i = 1; i < maxLines; ++i) pango_layout_iter_next_line(iter);
  int top = 0, bottom = 0;
  pango_layout_iter_get_line_yrange(iter, &top, &bottom);
  pango_layout_iter_free(iter);
  pango_layout_set_height(layout, bottom + (bottom - top) / 2);

  // Lines dropped after a paragraph's end are not ellipsized by Pango: the
  // last line shown gets the "…" of its own.
  if (pango_layout_is_ellipsized(layout)) return;
  const std::string text = pango_layout_get_text(layout);
  PangoLayoutLine* last = pango_layout_get_line_readonly(layout, pango_layout_get_line_count(layout) - 1);
  if (!last) return;
  std::size_t end = std::size_t(last->start_index + last->length);
  if (end >= text.size()) return;
  std::string shown = text.substr(0, end);
  while (!shown.empty()) {  // the paragraph separators after the last line
    if (shown.back() == '\n' || shown.back() == '\r') {
      shown.pop_back();
    } else if (shown.ends_with("\u2029")) {
      shown.resize(shown.size() - 3);
    } else {
      break;
    }
  }
  shown += "\u2026";
  pango_layout_set_text(layout, shown.data(), int(shown.size()));
  if (cut) *cut = true;
}

TextMetrics PangoTextMeasurer::measure(const TextRequest& request) {
  bool cut = false;
  PangoLayout* layout = makeLayout(request, &cut);
  TextMetrics m;
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  m.size = {double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
  m.lineCount = pango_layout_get_line_count(layout);
  m.truncated = cut || pango_layout_is_ellipsized(layout);
  m.firstBaseline = double(pango_layout_get_baseline(layout)) / PANGO_SCALE;
  m.unknownGlyphs = pango_layout_get_unknown_glyphs_count(layout);

  // The last baseline, and whether a line starts where no break is allowed
  // (a word split to fit the width).
  int attrCount = 0;
  const PangoLogAttr* attrs = pango_layout_get_log_attrs_readonly(layout, &attrCount);
  const char* text = pango_layout_get_text(layout);
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  int lastBaseline = 0;
  bool first = true;
  do {
    lastBaseline = pango_layout_iter_get_baseline(iter);
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
    if (!first && line && line->length > 0) {
      const long offset = g_utf8_pointer_to_offset(text, text + line->start_index);
      if (offset > 0 && offset < attrCount && !attrs[offset].is_line_break &&
          !attrs[offset].is_mandatory_break) {
        m.brokeWord = true;
      }
    }
    first = false;
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  m.lastBaseline = double(lastBaseline) / PANGO_SCALE;
  g_object_unref(layout);
  return m;
}

void PangoTextMeasurer::draw(cairo_t* cr, const TextRequest& request, double x, double y, double width,
                             const Rgba& color) {
  TextRequest r = request;
  if (std::isfinite(width) && width > 0 &&
      (std::isfinite(r.wrapWidth) || r.alignment != TextAlignment::leading ||
       r.direction == LayoutDirection::rightToLeft)) {
    r.wrapWidth = width;
  }
  PangoLayout* layout = makeLayout(r);
  cairo_save(cr);
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

void PangoTextMeasurer::drawGlyph(cairo_t* cr, const std::string& family, char32_t codepoint, double x,
                                  double y, double size, const Rgba& color) {
  if (!(size > 0) || !std::isfinite(size)) return;
  // Itemized and shaped as a layout would, but drawn as glyphs: a layout
  // also measures each new font's line metrics on a sample sentence, which
  // for an icon font costs more than the icon itself.
  const std::string text = utf8(codepoint);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, std::max(1, pangoUnits(size)));
  PangoAttrList* attrs = pango_attr_list_new();
  pango_attr_list_insert(attrs, pango_attr_font_desc_new(desc));
  pango_font_description_free(desc);
  GList* items = pango_itemize(state_->context, text.data(), 0, int(text.size()), attrs, nullptr);
  pango_attr_list_unref(attrs);
  if (items != nullptr && items->next == nullptr) {
    auto* item = static_cast<PangoItem*>(items->data);
    PangoGlyphString* glyphs = pango_glyph_string_new();
    pango_shape_with_flags(text.data() + item->offset, item->length, text.data(), int(text.size()),
                           &item->analysis, glyphs, PANGO_SHAPE_NONE);
    // Icon fonts differ in where the glyph sits on the line; centre its ink
    // in the em square instead. The ink is relative to the baseline, where
    // the glyphs are drawn from.
    PangoRectangle ink;
    pango_glyph_string_extents(glyphs, item->analysis.font, &ink, nullptr);
    const double inkX = double(ink.x) / PANGO_SCALE, inkY = double(ink.y) / PANGO_SCALE;
    const double inkW = double(ink.width) / PANGO_SCALE, inkH = double(ink.height) / PANGO_SCALE;
    cairo_save(cr);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_move_to(cr, x + (size - inkW) / 2 - inkX, y + (size - inkH) / 2 - inkY);
    pango_cairo_show_glyph_string(cr, item->analysis.font, glyphs);
    cairo_restore(cr);
    pango_glyph_string_free(glyphs);
  }
  g_list_free_full(items, [](gpointer item) { pango_item_free(static_cast<PangoItem*>(item)); });
}

}  // namespace kelvo::ui
