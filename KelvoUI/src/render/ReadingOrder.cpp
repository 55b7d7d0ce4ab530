#include "KelvoUI/ReadingOrder.h"

#include "text/Utf8.h"

namespace kelvo::ui {
namespace {

void collect(const LaidOutNode& node, std::vector<ReadText>& out) {
  if (node.decorations.accessibilityHidden) return;
  if (const auto* text = std::get_if<TextDrawing>(&node.drawing); text && !text->request.text.empty())
    out.push_back({validUtf8(text->request.text), node.frame});
  for (const LaidOutNode& child : node.children) collect(child, out);
}

}  // namespace

std::vector<ReadText> readingOrder(const LaidOutNode& root) {
  std::vector<ReadText> texts;
  collect(root, texts);
  return texts;
}

std::string joinedText(const std::vector<ReadText>& texts, const std::string& separator) {
  std::string line;
  for (const ReadText& t : texts) line += (line.empty() ? "" : separator) + t.text;
  return line;
}

}  // namespace kelvo::ui
