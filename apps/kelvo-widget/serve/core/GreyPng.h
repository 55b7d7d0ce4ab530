#pragma once

// A panel's grey image as a PNG of its own bit depth: 1 bit a pixel for 2
// levels, 2 for 4, 4 for 16, 8 for 256. The renderer's encoder writes 8-bit
// RGBA, 32 times the data of a black-and-white panel: slower to compress,
// larger to send, and heavier for the microcontroller that inflates it.

#include <string>

#include "KelvoBase/Result.h"
#include "PanelImage.h"

namespace kelvo::serve {

// The image's values must be the levels' greys (as quantise leaves them).
Result<std::string> encodeGreyPng(const GreyImage& image, int levels);

}  // namespace kelvo::serve
