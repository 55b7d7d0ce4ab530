#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "KelvoUI/Bitmap.h"

namespace kelvo::widget {

// The orientation tag (0x0112) of IFD0 in a TIFF-structured EXIF block, as a
// PNG's eXIf chunk holds it (an "Exif\0\0" prefix is tolerated). Nothing when
// the block is malformed, has no such tag, or the value is not 1...8.
std::optional<int> exifOrientation(std::span<const std::uint8_t> exif);

// The picture turned upright for an EXIF orientation (1 = already upright,
// 6 = stored turned 90° counter-clockwise, ...). Unknown values leave it as is.
ui::Bitmap applyOrientation(const ui::Bitmap& stored, int orientation);

}  // namespace kelvo::widget
