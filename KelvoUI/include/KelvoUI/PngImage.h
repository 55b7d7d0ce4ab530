#pragma once

#include <cairo.h>

#include <string>

#include "KelvoBase/Result.h"

namespace kelvo::ui {

// The PNG file of an ARGB32 image surface, written by the same encoder as
// renderLayout's PNGs, for hosts that paint the widget into a surface of
// their own and change its pixels afterwards (a panel's grey levels).
Result<std::string> encodePng(cairo_surface_t* surface);

}  // namespace kelvo::ui
