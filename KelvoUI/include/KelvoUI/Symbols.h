#pragma once

#include <optional>
#include <string>

namespace kelvo::ui {

// Drawn around the glyph, for symbols the icon fonts only have in part.
enum class SymbolDecoration {
  none,
  roundedSquare,  // an outlined rounded square, the glyph shrunk inside it
};

// Where a system symbol name is drawn from: a glyph of an icon font.
struct SymbolGlyph {
  const char* fontFamily;       // fontconfig family name
  char32_t codepoint;           // the glyph's code point in that font
  const char* glyphName;        // the icon's own name in its font, for the tree dump
  SymbolDecoration decoration;  // drawn around the glyph
};

// "bolt.fill", "steeringwheel", "powerplug.fill", "parkingsign.square",
// "bolt.car", "exclamationmark.triangle"; nullopt for any other name.
std::optional<SymbolGlyph> lookupSymbol(const std::string& systemName);

// Icon font families the symbols come from, for checks that they are installed.
inline constexpr const char* materialIconsFamily = "Material Icons";  // fonts-material-design-icons-iconfont
inline constexpr const char* materialDesignIconsFamily =
    "Material Design Icons";  // fonts-materialdesignicons-webfont

}  // namespace kelvo::ui
