#pragma once

// The widget for an e-ink panel: painted into the panel's pixels (fitted,
// centred, turned), turned grey, reduced to the panel's grey levels with
// error diffusion, and written as PNG or as an uncompressed BMP that
// firmware can read row by row.

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>

#include "KelvoBase/Result.h"
#include "KelvoUI/WidgetRenderer.h"
#include "ServeRequest.h"

namespace kelvo::serve {

struct PixelSize {
  int width = 0;
  int height = 0;
};

// The image's size: the panel's, else the widget's at the query's scale
// (its sides swapped when turned a quarter).
PixelSize panelSize(ui::Size widget, const WidgetQuery& query);

// Widget points to image pixels: the widget as large as fits (aspect kept)
// or at `scale` when given, centred, turned `rotate` degrees clockwise.
cairo_matrix_t panelMatrix(ui::Size widget, PixelSize image, int rotate, std::optional<double> scale);

// An opaque row of ARGB32 pixels as grey: Rec. 709 luma of the sRGB values.
// `grey` may be `argb` itself: each pixel is read before its grey is written.
void greyRow(const unsigned char* argb, int width, std::uint8_t* grey);

// Reduces `height` rows of `width` greys, one after another, to `levels`
// evenly spaced greys (black and white among them), spreading each
// pixel's error to its neighbours by `dither`, in place. With `vectors`
// eight rows go at once in SSE2 lanes where the machine has them, to the
// same greys; drawImage does that.
void quantise(std::uint8_t* greys, int width, int height, int levels, Dither dither, bool vectors);

// Drawings larger than this get pages of their own from malloc, mapped
// and cleared by the kernel for each drawing, and given back after it (the
// server sets malloc's threshold to it): drawImage stays within it.
inline constexpr std::size_t kHeapDrawingBytes = 4u << 20;

// Sets up for drawing: the memory that one drawing's bands are drawn in,
// made and touched now, and the thread that paints bands ahead, which runs
// `warmUp` first. Drawings beyond the first at a time, and all without
// it, take their memory as they go.
void prepareDrawing(std::function<void()> warmUp = {});

// The laid-out widget as the query's image: PNG or BMP, in colour or in
// the panel's greys (a PNG then of their bit depth: 1 bit a pixel for 2
// levels, 2 for 4, 4 for 16, a fraction of RGBA's data to send and inflate);
// without panel options the same PNG as renderLayout's. It is drawn in
// bands of 1 MiB, so its surface comes from the heap.
Result<std::string> drawImage(const ui::WidgetLayout& layout, const WidgetQuery& query);

}  // namespace kelvo::serve
