// Lays out and draws random view trees: no input may crash, hang or make the
// toolkit read out of bounds, whatever the lengths, text and nesting.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/Layout.h"
#include "KelvoUI/WidgetRenderer.h"

using namespace kelvo::ui;

namespace {

constexpr int maxDepth = 6;
constexpr int maxNodes = 80;

class TreeMaker {
 public:
  explicit TreeMaker(FuzzedDataProvider& data) : data_(data) {}

  View view(int depth) {
    if (++nodes_ > maxNodes || depth > maxDepth || data_.remaining_bytes() == 0) return Text("x");
    View v = element(depth);
    const int modifiers = data_.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < modifiers; ++i) v = modify(v);
    return v;
  }

 private:
  double length() {
    switch (data_.ConsumeIntegralInRange(0, 7)) {
      case 0:
        return infinity;
      case 1:
        return -data_.ConsumeFloatingPointInRange(0.0, 50.0);
      case 2:
        return NAN;
      case 3:
        return 0;
      case 4:
        return data_.ConsumeFloatingPoint<double>();
      default:
        return data_.ConsumeFloatingPointInRange(0.0, 400.0);
    }
  }

  std::optional<double> maybeLength() {
    return data_.ConsumeBool() ? std::optional<double>(length()) : std::nullopt;
  }

  std::vector<View> children(int depth) {
    std::vector<View> out;
    const int n = data_.ConsumeIntegralInRange(0, 5);
    for (int i = 0; i < n; ++i)
      out.push_back(data_.ConsumeIntegralInRange(0, 9) == 0 ? View() : view(depth + 1));
    return out;
  }

  ShapeStyle style() {
    switch (data_.ConsumeIntegralInRange(0, 8)) {
      case 0:
        return Color::green;
      case 1:
        return Color::orange;
      case 2:
        return Color::accentColor;
      case 3:
        return Color::secondary;
      case 4:
        return ShapeStyle::secondary;
      case 5:
        return ShapeStyle::tertiary;
      case 6:
        return ShapeStyle::quaternary;
      case 7:
        return ShapeStyle::fill.tertiary;
      default:
        return Color::rgb(data_.ConsumeIntegral<int>(), data_.ConsumeIntegral<int>(),
                          data_.ConsumeIntegral<int>(), data_.ConsumeFloatingPoint<double>());
    }
  }

  Font font() {
    switch (data_.ConsumeIntegralInRange(0, 7)) {
      case 0:
        return Font::title;
      case 1:
        return Font::headline;
      case 2:
        return Font::subheadline;
      case 3:
        return Font::callout;
      case 4:
        return Font::caption;
      case 5:
        return Font::caption2;
      default:
        return Font::system(length(), FontWeight(data_.ConsumeIntegralInRange(0, 8)),
                            FontDesign(data_.ConsumeIntegralInRange(0, 3)));
    }
  }

  std::string symbolName() {
    static const char* const names[] = {"bolt.fill",          "steeringwheel", "powerplug.fill",
                                        "parkingsign.square", "bolt.car",      "exclamationmark.triangle"};
    if (data_.ConsumeBool()) return names[data_.ConsumeIntegralInRange(0, 5)];
    return data_.ConsumeRandomLengthString(20);
  }

  View element(int depth) {
    switch (data_.ConsumeIntegralInRange(0, 15)) {
      case 0:
        return VStack(
            {.alignment = HorizontalAlignment(data_.ConsumeIntegralInRange(0, 2)), .spacing = maybeLength()},
            children(depth));
      case 1:
        return HStack(
            {.alignment = VerticalAlignment(data_.ConsumeIntegralInRange(0, 4)), .spacing = maybeLength()},
            children(depth));
      case 2:
        return ZStack({.alignment = {HorizontalAlignment(data_.ConsumeIntegralInRange(0, 2)),
                                     VerticalAlignment(data_.ConsumeIntegralInRange(0, 4))}},
                      children(depth));
      case 3:
        return Spacer(maybeLength());
      case 4:
        return Group(children(depth));
      case 5: {
        struct Item {
          std::string key;
          View content;
          std::string id() const { return key; }
        };
        std::vector<Item> items;
        for (auto& c : children(depth)) items.push_back({data_.ConsumeRandomLengthString(8), c});
        return ForEach(items, [](const Item& i) { return i.content; });
      }
      case 6: {
        const View content = view(depth + 1);
        const double f = data_.ConsumeFloatingPoint<double>();
        return GeometryReader(
            [content, f](const GeometryProxy& geo) { return content.frame({.width = geo.size.width * f}); });
      }
      case 7: {
        std::vector<GridItem> columns;
        const int n = data_.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < n; ++i) {
          columns.push_back(
              GridItem{.size = data_.ConsumeBool() ? GridItemSize::fixed(length())
                                                   : GridItemSize::flexible(length(), length()),
                       .spacing = maybeLength(),
                       .alignment = Alignment{HorizontalAlignment(data_.ConsumeIntegralInRange(0, 2)),
                                              VerticalAlignment(data_.ConsumeIntegralInRange(0, 4))}});
        }
        return LazyVGrid({.columns = columns, .spacing = maybeLength()}, children(depth));
      }
      case 8:
        return Text(data_.ConsumeFloatingPoint<double>(),
                    data_.ConsumeBool() ? RelativeUnitsStyle::narrow : RelativeUnitsStyle::abbreviated);
      case 9:
        return Label(data_.ConsumeRandomLengthString(30), {.systemName = symbolName()});
      case 10:
        return Image({.systemName = symbolName()});
      case 11: {
        const int w = data_.ConsumeIntegralInRange(0, 8), h = data_.ConsumeIntegralInRange(0, 8);
        auto pixels = std::make_shared<std::vector<std::uint32_t>>(size_t(w) * size_t(h), 0xff336699u);
        Bitmap b{w, h, pixels};
        View image = Image(b);
        if (data_.ConsumeBool()) image = image.resizable();
        if (data_.ConsumeBool()) image = data_.ConsumeBool() ? image.scaledToFit() : image.scaledToFill();
        return image;
      }
      case 12:
        return Capsule(data_.ConsumeBool() ? RoundedCornerStyle::continuous : RoundedCornerStyle::circular);
      case 13:
        return Rectangle();
      default:
        return Text(data_.ConsumeRandomLengthString(60));
    }
  }

  View modify(const View& v) {
    switch (data_.ConsumeIntegralInRange(0, 16)) {
      case 0:
        return v.font(font());
      case 1:
        return v.fontWeight(FontWeight(data_.ConsumeIntegralInRange(0, 8)));
      case 2:
        return v.foregroundStyle(style());
      case 3:
        return v.lineLimit(data_.ConsumeBool() ? std::optional<int>(data_.ConsumeIntegralInRange(-2, 5))
                                               : std::nullopt);
      case 4:
        return v.minimumScaleFactor(data_.ConsumeFloatingPoint<double>());
      case 5:
        return v.multilineTextAlignment(TextAlignment(data_.ConsumeIntegralInRange(0, 2)));
      case 6:
        return v.frame({.width = maybeLength(),
                        .height = maybeLength(),
                        .minWidth = maybeLength(),
                        .idealWidth = maybeLength(),
                        .maxWidth = maybeLength(),
                        .minHeight = maybeLength(),
                        .idealHeight = maybeLength(),
                        .maxHeight = maybeLength(),
                        .alignment = {HorizontalAlignment(data_.ConsumeIntegralInRange(0, 2)),
                                      VerticalAlignment(data_.ConsumeIntegralInRange(0, 4))}});
      case 7:
        return data_.ConsumeBool() ? v.padding()
                                   : v.padding(Edges(data_.ConsumeIntegralInRange(0, 15)), maybeLength());
      case 8:
        return v.layoutPriority(data_.ConsumeFloatingPoint<double>());
      case 9:
        return v.fill(style());
      case 10:
        return v.accessibilityHidden(data_.ConsumeBool());
      case 11:
        return v.widgetURL(data_.ConsumeRandomLengthString(40));
      case 12:
        return v.containerBackground(style());
      case 13:
        return v.labelStyle(LabelStyle(data_.ConsumeIntegralInRange(0, 3)));
      case 14:
        return v.resizable();
      case 15:
        return v.scaledToFit();
      default:
        return v;
    }
  }

  FuzzedDataProvider& data_;
  int nodes_ = 0;
};

}  // namespace

// Fontconfig keeps the patterns of fonts it has matched for the life of the
// process, out of LeakSanitizer's sight; those are not ours to find.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  Environment env;
  env.widgetFamily =
      kWidgetFamilies[data.ConsumeIntegralInRange<std::size_t>(0, kWidgetFamilies.size() - 1)].family;
  env.appearance = data.ConsumeBool() ? Appearance::dark : Appearance::light;
  env.host.containerBackground =
      data.ConsumeBool() ? ContainerBackgroundSupport::supported : ContainerBackgroundSupport::unsupported;
  env.now = data.ConsumeFloatingPoint<double>();
  static const char* const locales[] = {"en_US", "de_DE", "ar_EG", "ja_JP", "xx_INVALID"};
  env.locale = icu::Locale(locales[data.ConsumeIntegralInRange(0, 4)]);
  const bool draw = data.ConsumeBool();

  TreeMaker maker(data);
  const View tree = maker.view(0);
  // Read after the tree, so the corpus made before it still makes its trees.
  env.host.contentMargin = data.remaining_bytes() > 0 ? data.ConsumeFloatingPoint<double>() : 16;

  FixedAdvanceTextMeasurer fixed;
  const WidgetLayout fixedLayout = layoutWidget(tree, env, fixed);
  (void)dumpWidget(fixedLayout).dump();

  if (draw) {
    auto png = renderWidget(tree, env, OutputFormat::png, 1);
    if (!png) __builtin_trap();  // the fonts are installed where the fuzzer runs
  }
  return 0;
}
