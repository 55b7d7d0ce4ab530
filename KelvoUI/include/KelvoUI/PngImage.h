#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>

#include "KelvoBase/Result.h"

namespace kelvo::ui {

// The PNG file of an ARGB32 image surface, written by the same encoder as
// renderLayout's PNGs, for hosts that paint the widget into a surface of
// their own and change its pixels afterwards (a panel's grey levels).
Result<std::string> encodePng(cairo_surface_t* surface);
// What a row handed to the encoder holds: Cairo's premultiplied ARGB32
// pixels, or the straight RGBA bytes that the PNG keeps, as straightenRow
// makes them.
enum class RowPixels { premultipliedArgb, straightRgba };

// The same for an image handed over a row at a time, for hosts that draw a
// large one in bands: `row(y)` gives row y's pixels, asked for top to
// bottom, valid until the next call; null ends it with an error.
Result<std::string> encodePng(int width, int height, const std::function<const unsigned char*(int y)>& row,
                              RowPixels pixels = RowPixels::premultipliedArgb);

// A row of `width` premultiplied ARGB32 pixels made the straight RGBA that
// a PNG holds, in place (alpha unchanged, colour rounded as Cairo rounds
// it), for a host that does it on another thread than the encoder's.
void straightenRow(unsigned char* pixels, int width);

// Greys, 0 black to 255 white, as a grey PNG of `bits` per pixel (1, 2, 4
// or 8), each the nearest sample: the greys evenly spaced between black and
// white at that depth stay exact. `greyRow(y)` gives row y's `width` greys,
// asked for as encodePng's rows are. A panel of few greys gets a file and an
// inflate a fraction of RGBA's.
Result<std::string> encodeGreyPng(int width, int height, int bits,
                                  const std::function<const std::uint8_t*(int y)>& greyRow);

}  // namespace kelvo::ui
