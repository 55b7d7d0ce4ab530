#include "KelvoWidget/CarPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PictureDecoding.h"

namespace kelvo::widget {

namespace picture {

namespace {

// Bytes read from the source at a time.
constexpr std::size_t kInputBufferBytes = 64u << 10;

}  // namespace

Size thumbnailSize(std::uint32_t width, std::uint32_t height, int maxPixelSize) {
  const std::uint32_t longer = std::max(width, height);
  const auto limit = static_cast<std::uint32_t>(std::max(maxPixelSize, 1));
  if (longer <= limit) return {static_cast<int>(width), static_cast<int>(height)};
  const double scale = static_cast<double>(limit) / longer;
  const auto scaled = [&](std::uint32_t side) {
    return side == longer ? static_cast<int>(limit)
                          : std::max(1, static_cast<int>(std::lround(side * scale)));
  };
  return {scaled(width), scaled(height)};
}

Status checkDeclaredSize(std::uint64_t width, std::uint64_t height, const CarPictureLimits& limits) {
  if (width == 0 || height == 0) return Error{"The picture declares no pixels."};
  if (width > limits.maxSourceSide || height > limits.maxSourceSide ||
      width * height > limits.maxSourcePixels) {
    return Error{"The picture declares " + std::to_string(width) + " × " + std::to_string(height) +
                 " pixels, more than a car picture may have."};
  }
  return {};
}

PictureInput::PictureInput(PictureSource& source) : source_(source), buffer_(kInputBufferBytes) {}

bool PictureInput::fill() {
  if (ended_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) return true;
  Result<std::size_t> read = source_.read(buffer_.data() + end_, buffer_.size() - end_);
  if (!read) {
    failure_ = read.error();
    ended_ = true;
    return false;
  }
  if (*read == 0) {
    ended_ = true;
    return false;
  }
  end_ += *read;
  return true;
}

std::span<const std::uint8_t> PictureInput::peek(std::size_t count) {
  count = std::min(count, buffer_.size());
  while (end_ - begin_ < count && fill()) {
  }
  return {buffer_.data() + begin_, std::min(count, end_ - begin_)};
}

std::span<const std::uint8_t> PictureInput::next(std::size_t max) {
  if (begin_ == end_) {
    begin_ = end_ = 0;
    fill();
  }
  const std::span<const std::uint8_t> bytes(buffer_.data() + begin_, std::min(max, end_ - begin_));
  begin_ += bytes.size();
  return bytes;
}

bool PictureInput::readExactly(std::uint8_t* out, std::size_t count) {
  while (count > 0) {
    if (begin_ == end_ && !fill()) return false;
    const std::size_t n = std::min(count, end_ - begin_);
    std::memcpy(out, buffer_.data() + begin_, n);
    begin_ += n;
    out += n;
    count -= n;
  }
  return true;
}

bool PictureInput::skip(std::size_t count) {
  while (count > 0) {
    if (begin_ == end_ && !fill()) return false;
    const std::size_t n = std::min(count, end_ - begin_);
    begin_ += n;
    count -= n;
  }
  return true;
}

}  // namespace picture

namespace {

bool startsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

class SpanSource : public PictureSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, rest_.size());
    if (n > 0) std::memcpy(buffer, rest_.data(), n);
    rest_ = rest_.subspan(n);
    return n;
  }

 private:
  std::span<const std::uint8_t> rest_;
};

// Which decoder a picture's first bytes call for: the common PNG has a
// faster one of its own.
enum class PictureFormat { plainPng, png, jpeg };

Result<PictureFormat> sniffFormat(picture::PictureInput& input) {
  const std::span<const std::uint8_t> head = input.peek(33);
  if (input.failure()) return *input.failure();
  if (head.empty()) return Error{"The picture file is empty."};
  if (startsWith(head, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
    return picture::isPlainPng(head) ? PictureFormat::plainPng : PictureFormat::png;
  if (startsWith(head, {0xFF, 0xD8, 0xFF})) return PictureFormat::jpeg;
  return Error{"The picture is neither PNG nor JPEG."};
}

Result<ui::Bitmap> decodeAs(PictureFormat format, picture::PictureInput& input,
                            const CarPictureLimits& limits) {
  switch (format) {
    case PictureFormat::plainPng:
      return picture::decodePlainPng(input, limits);
    case PictureFormat::png:
      return picture::decodePng(input, limits);
    case PictureFormat::jpeg:
      return picture::decodeJpeg(input, limits);
  }
  std::abort();  // every format is handled above
}

}  // namespace

Result<ui::Bitmap> decodeCarPicture(PictureSource& source, const CarPictureLimits& limits) {
  picture::PictureInput input(source);
  const Result<PictureFormat> format = sniffFormat(input);
  if (!format) return format.error();
  Result<ui::Bitmap> decoded = decodeAs(*format, input, limits);
  // A source that failed half-way (a read error, a file grown past the
  // store's limit) leaves a picture that cannot be trusted, whatever the
  // decoder made of the bytes it got; its reason says more than the decoder's.
  if (input.failure()) return *input.failure();
  return decoded;
}

Result<ui::Bitmap> decodeCarPicture(std::span<const std::uint8_t> bytes, const CarPictureLimits& limits) {
  SpanSource source(bytes);
  return decodeCarPicture(source, limits);
}

}  // namespace kelvo::widget
