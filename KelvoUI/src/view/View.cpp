#include "KelvoUI/View.h"

#include <utility>

#include "view/Node.h"

namespace kelvo::ui {
namespace {

const std::shared_ptr<const Node>& emptyNode() {
  static const std::shared_ptr<const Node> node = std::make_shared<const Node>(Node{Element{}, {}});
  return node;
}

View make(Node node) { return View(std::make_shared<const Node>(std::move(node))); }

}  // namespace

View::View() : node_(emptyNode()) {}
View::View(std::shared_ptr<const Node> node) : node_(node ? std::move(node) : emptyNode()) {}

bool View::isEmpty() const {
  const auto* element = std::get_if<Element>(&node_->payload);
  return element && std::holds_alternative<EmptyElement>(*element);
}

View View::makeNamed(const char* name, std::function<View(const Environment&)> body) {
  return make({Element{NamedElement{name ? name : "", std::move(body)}}, {}});
}

View View::wrappedIn(Modifier modifier) const { return make({std::move(modifier), {*this}}); }

View EmptyView() { return View(); }

View EnvironmentReader(std::function<View(const Environment&)> content) {
  return make({Element{EnvironmentReaderElement{std::move(content)}}, {}});
}

}  // namespace kelvo::ui
