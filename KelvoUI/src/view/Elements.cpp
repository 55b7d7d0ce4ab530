#include "KelvoUI/Elements.h"

#include <utility>

#include "view/Node.h"

namespace kelvo::ui {
namespace {

View make(Element element, std::vector<View> children = {}) {
  return View(std::make_shared<const Node>(Node{std::move(element), std::move(children)}));
}

}  // namespace

View VStack(std::vector<View> children) { return VStack(VStackOptions{}, std::move(children)); }
View VStack(VStackOptions options, std::vector<View> children) {
  return make(VStackElement{options}, std::move(children));
}

View HStack(std::vector<View> children) { return HStack(HStackOptions{}, std::move(children)); }
View HStack(HStackOptions options, std::vector<View> children) {
  return make(HStackElement{options}, std::move(children));
}

View ZStack(std::vector<View> children) { return ZStack(ZStackOptions{}, std::move(children)); }
View ZStack(ZStackOptions options, std::vector<View> children) {
  return make(ZStackElement{options}, std::move(children));
}

View Spacer(std::optional<double> minLength) { return make(SpacerElement{minLength}); }

View Group(View content) { return make(GroupElement{}, {std::move(content)}); }
View Group(std::vector<View> children) { return make(GroupElement{}, std::move(children)); }

View GeometryReader(std::function<View(const GeometryProxy&)> content) {
  return make(GeometryReaderElement{std::move(content)});
}

View LazyVGrid(LazyVGridOptions options, std::vector<View> children) {
  return make(GridElement{std::move(options.columns), options.spacing}, std::move(children));
}

View Text(std::string verbatim) { return make(TextElement{std::move(verbatim)}); }
View Text(double instantSecondsSince1970, RelativeUnitsStyle unitsStyle) {
  return make(RelativeTextElement{instantSecondsSince1970, unitsStyle});
}

View Image(SystemImage symbol) { return make(SymbolElement{std::move(symbol.systemName)}); }
View Image(const Bitmap& picture) { return make(PictureElement{picture}); }

View Label(std::string title, SystemImage icon) {
  return make(LabelElement{}, {Image(std::move(icon)), Text(std::move(title))});
}

View Capsule(RoundedCornerStyle style) { return make(ShapeElement{ShapeDrawing::Kind::capsule, style}); }
View Rectangle() { return make(ShapeElement{ShapeDrawing::Kind::rectangle, RoundedCornerStyle::continuous}); }

View makeForEach(std::vector<std::string> ids, std::vector<View> views) {
  return make(ForEachElement{std::move(ids)}, std::move(views));
}

}  // namespace kelvo::ui
