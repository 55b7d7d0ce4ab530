#include "KelvoWidget/WidgetProblem.h"

namespace kelvo::widget {

std::string_view WidgetProblem::caseName() const {
  struct Name {
    std::string_view operator()(const Unreadable&) const { return "unreadable"; }
    std::string_view operator()(const NothingPolledYet&) const { return "nothingPolledYet"; }
    std::string_view operator()(const NoContainer&) const { return "noContainer"; }
  };
  return std::visit(Name{}, value);
}

const std::string* WidgetProblem::message() const {
  const auto* unreadable = std::get_if<Unreadable>(&value);
  return unreadable != nullptr ? &unreadable->message : nullptr;
}

}  // namespace kelvo::widget
