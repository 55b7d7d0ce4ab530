#include "KelvoUI/PngImage.h"

#include "PngEncoder.h"

namespace kelvo::ui {

namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

Result<std::string> written(cairo_status_t status, std::string png) {
  if (status != CAIRO_STATUS_SUCCESS)
    return Error{std::string("writing the PNG failed: ") + cairo_status_to_string(status)};
  return png;
}

}  // namespace

Result<std::string> encodePng(cairo_surface_t* surface) {
  std::string png;
  const cairo_status_t status = writePngStream(surface, append, &png);
  return written(status, std::move(png));
}

Result<std::string> encodePng(int width, int height, const std::function<const unsigned char*(int y)>& row,
                              RowPixels pixels) {
  std::string png;
  const cairo_status_t status = writePngStream(width, height, row, pixels, append, &png);
  return written(status, std::move(png));
}

Result<std::string> encodeGreyPng(int width, int height, int bits,
                                  const std::function<const std::uint8_t*(int y)>& greyRow) {
  std::string png;
  const cairo_status_t status = writeGreyPngStream(width, height, bits, greyRow, append, &png);
  return written(status, std::move(png));
}

}  // namespace kelvo::ui
