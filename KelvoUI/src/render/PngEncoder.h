#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>

#include "KelvoUI/PngImage.h"

namespace kelvo::ui {

// Writes an ARGB32 image surface as an RGBA PNG, like
// cairo_surface_write_to_png_stream and decoding to the same pixels
// (straight alpha rounded as Cairo rounds it), but through ISA-L's deflate
// at level 1 without row filters: the widget is written on every refresh,
// where time counts more than bytes.
cairo_status_t writePngStream(cairo_surface_t* surface, cairo_write_func_t write, void* closure);
// The same for an image whose rows `row(y)` hands over top to bottom (each
// valid until the next call), as `pixels` says; a null row stops it with
// CAIRO_STATUS_READ_ERROR.
cairo_status_t writePngStream(int width, int height, const std::function<const unsigned char*(int y)>& row,
                              RowPixels pixels, cairo_write_func_t write, void* closure);

// Writes greys as a grey PNG of `bits` per pixel, by the same writer:
// `greyRow(y)` hands over row y's `width` greys as `row` does above.
cairo_status_t writeGreyPngStream(int width, int height, int bits,
                                  const std::function<const std::uint8_t*(int y)>& greyRow,
                                  cairo_write_func_t write, void* closure);

}  // namespace kelvo::ui
