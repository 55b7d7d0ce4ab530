#include "KelvoUI/Symbols.h"

#include <array>
#include <utility>

namespace kelvo::ui {

std::optional<SymbolGlyph> lookupSymbol(const std::string& systemName) {
  // Google's Material Icons have no steering wheel; the community Material
  // Design Icons do. Neither has a parking sign in a square, so the "P" is
  // drawn inside a rounded square outline.
  static const std::array<std::pair<const char*, SymbolGlyph>, 6> table{{
      {"bolt.fill", {materialIconsFamily, 0xe3e7, "flash_on", SymbolDecoration::none}},
      {"steeringwheel", {materialDesignIconsFamily, 0xf4d4, "steering", SymbolDecoration::none}},
      {"powerplug.fill", {materialIconsFamily, 0xe63c, "power", SymbolDecoration::none}},
      {"parkingsign.square", {materialIconsFamily, 0xe54f, "local_parking", SymbolDecoration::roundedSquare}},
      {"bolt.car", {materialIconsFamily, 0xeb1c, "electric_car", SymbolDecoration::none}},
      {"exclamationmark.triangle", {materialIconsFamily, 0xf083, "warning_amber", SymbolDecoration::none}},
  }};
  for (const auto& [name, glyph] : table) {
    if (systemName == name) return glyph;
  }
  return std::nullopt;
}

}  // namespace kelvo::ui
