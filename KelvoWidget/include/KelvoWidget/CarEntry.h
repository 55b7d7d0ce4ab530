#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/Bitmap.h"
#include "KelvoWidget/WidgetProblem.h"

namespace kelvo::widget {

// One timeline entry: the car's state (with its picture, when there is one)
// or why there is none; never both, never neither.
struct CarEntry {
  // What an entry with data shows.
  struct Car {
    WidgetSnapshot snapshot;             // the car's state, or the sample car's
    std::optional<ui::Bitmap> carImage;  // the upright thumbnail, longer side <= 800 px
  };

  Date date;  // when the entry was built; its timeline date
  std::variant<Car, WidgetProblem> content;

  // Nothing polled yet.
  CarEntry() : content(WidgetProblem{WidgetProblem::NothingPolledYet{}}) {}
  CarEntry(Date date, WidgetSnapshot snapshot, std::optional<ui::Bitmap> carImage = std::nullopt)
      : date(date), content(Car{std::move(snapshot), std::move(carImage)}) {}
  CarEntry(Date date, WidgetProblem problem) : date(date), content(std::move(problem)) {}

  // The alternative that is there; null for the other.
  const WidgetSnapshot* snapshot() const {
    const Car* car = std::get_if<Car>(&content);
    return car ? &car->snapshot : nullptr;
  }
  const ui::Bitmap* carImage() const {
    const Car* car = std::get_if<Car>(&content);
    return car && car->carImage ? &*car->carImage : nullptr;
  }
  const WidgetProblem* problem() const { return std::get_if<WidgetProblem>(&content); }
};

// What the entry shows, for a log line: "snapshot STATUS[ with picture]" or
// "no data (CASE)". The status key is whatever the snapshot's writer put
// there; `quote`, when given, makes it fit for the log the line goes to.
std::string describe(const CarEntry& entry, std::string (*quote)(std::string_view) = nullptr);

}  // namespace kelvo::widget
