#include "KelvoWidget/NoData.h"

#include <string>

#include "KelvoShared/Localization.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoUI/Elements.h"

namespace kelvo::widget {

using namespace kelvo::ui;

// Only "nothing polled yet" is localised; the two failures read the same in
// every language.
NoData::Explanation NoData::explain(const WidgetProblem& problem) {
  if (const auto* unreadable = std::get_if<WidgetProblem::Unreadable>(&problem.value)) {
    // Bounded again: a problem can be made without the store.
    return {"exclamationmark.triangle", "Can't read the snapshot",
            SharedStore::boundedMessage(unreadable->message)};
  }
  if (std::holds_alternative<WidgetProblem::NoContainer>(problem.value)) {
    return {"exclamationmark.triangle", "No container", "The App Group didn't resolve"};
  }
  // TRANSLATORS: Title of the widget before the companion app has written any car data.
  return {"bolt.car", L("No data yet"),
          // TRANSLATORS: Hint below "No data yet": the user signs in in the companion app.
          L("Open Kelvo to sign in")};
}

View NoData::body() const {
  const Explanation text = explain(problem);
  return VStack({.alignment = HorizontalAlignment::center, .spacing = 6},
                {
                    Image(SystemImage{text.symbol}).font(Font::title).foregroundStyle(ShapeStyle::secondary),
                    Text(text.title).font(Font::headline),
                    Text(text.subtitle)
                        .font(Font::caption)
                        .foregroundStyle(ShapeStyle::secondary)
                        .multilineTextAlignment(TextAlignment::center)
                        .minimumScaleFactor(0.7),
                })
      .frame({.maxWidth = infinity, .maxHeight = infinity});
}

}  // namespace kelvo::widget
