#include "KelvoUI/PngImage.h"

#include "PngEncoder.h"

namespace kelvo::ui {

Result<std::string> encodePng(cairo_surface_t* surface) {
  std::string png;
  const auto append = [](void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  };
  const cairo_status_t status = writePngStream(surface, append, &png);
  if (status != CAIRO_STATUS_SUCCESS)
    return Error{std::string("writing the PNG failed: ") + cairo_status_to_string(status)};
  return png;
}

}  // namespace kelvo::ui
