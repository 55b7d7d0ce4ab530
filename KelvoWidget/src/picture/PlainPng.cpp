// The common PNG, 8-bit RGB or RGBA without interlacing, decoded on two
// threads: one reads the chunks, checks their CRCs and inflates with ISA-L
// (several times zlib's speed, adler32 checked at the end of the stream);
// the other undoes the row filters and feeds the downscaler. Every other
// PNG goes through libspng (PngPicture.cpp).

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "AreaDownscaler.h"
#include "KelvoWidget/ExifOrientation.h"
#include "PictureDecoding.h"

namespace kelvo::widget::picture {

namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr int kRingRows = 32;  // inflated rows in flight between the threads

std::uint32_t bigEndian(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct Header {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int channels = 0;  // 3 for RGB, 4 for RGBA
};

// The signature and IHDR, as the first 33 bytes hold them, when this is a
// picture for this decoder.
std::optional<Header> plainHeader(std::span<const std::uint8_t> head) {
  if (head.size() < 33 || bigEndian(&head[8]) != 13 || std::memcmp(&head[12], "IHDR", 4) != 0) return {};
  const std::uint8_t* ihdr = &head[16];
  const std::uint8_t depth = ihdr[8], colour = ihdr[9];
  if (depth != 8 || (colour != 2 && colour != 6) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0)
    return {};
  return Header{bigEndian(ihdr), bigEndian(ihdr + 4), colour == 6 ? 4 : 3};
}

// Walks the chunks of the input, checking each one's CRC.
class ChunkReader {
 public:
  explicit ChunkReader(PictureInput& input) : input_(input) {}

  // The next chunk's type, its data still unread; nothing at a damaged or
  // missing chunk, with error() saying why.
  std::optional<std::string> nextChunk() {
    if (!skipRest()) return {};
    std::uint8_t head[8];
    if (!input_.readExactly(head, sizeof head)) return fail("PNG: the file ends before its last chunk.");
    left_ = bigEndian(head);
    if (left_ > 0x7FFFFFFFu) return fail("PNG: a chunk declares an impossible length.");
    // Image data may come in any number of chunks; the others are counted.
    if (std::memcmp(head + 4, "IDAT", 4) != 0 && ++count_ > kMaxPngChunkCount)
      return fail("PNG: more chunks than a car picture may have.");
    crc_ = crc32_gzip_refl(0, head + 4, 4);
    inChunk_ = true;
    return std::string(reinterpret_cast<const char*>(head + 4), 4);
  }
  // Up to `max` bytes of the current chunk's data, valid until the next
  // call; empty at its end (where the CRC is checked) or at a failure.
  std::span<const std::uint8_t> take(std::size_t max) {
    if (left_ == 0) {
      if (inChunk_) checkCrc();
      return {};
    }
    std::span<const std::uint8_t> bytes = input_.next(std::min<std::size_t>(max, left_));
    if (bytes.empty()) {
      fail("PNG: the file ends inside a chunk.");
      return {};
    }
    crc_ = crc32_gzip_refl(crc_, bytes.data(), bytes.size());
    left_ -= static_cast<std::uint32_t>(bytes.size());
    return bytes;
  }
  // Exactly the current chunk's (small) data, CRC checked.
  bool readAll(std::vector<std::uint8_t>& out) {
    out.clear();
    while (left_ > 0) {
      const std::span<const std::uint8_t> bytes = take(left_);
      if (bytes.empty()) return false;
      out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return !inChunk_ || checkCrc();
  }
  // Skips what is left of the current chunk, checking its CRC.
  bool skipRest() {
    while (left_ > 0)
      if (take(left_).empty()) return false;
    return !inChunk_ || checkCrc();
  }
  std::uint32_t left() const { return left_; }
  const std::optional<Error>& error() const { return error_; }

 private:
  std::nullopt_t fail(const char* message) {
    if (!error_) error_ = Error{message};
    return std::nullopt;
  }
  bool checkCrc() {
    inChunk_ = false;
    std::uint8_t stored[4];
    if (!input_.readExactly(stored, sizeof stored)) return fail("PNG: the file ends inside a chunk."), false;
    if (bigEndian(stored) != crc_) return fail("PNG: a chunk's CRC does not match its contents."), false;
    return true;
  }

  PictureInput& input_;
  std::uint32_t left_ = 0;
  std::uint32_t crc_ = 0;
  bool inChunk_ = false;
  int count_ = 0;
  std::optional<Error> error_;
};

struct ChunksBeforeData {
  std::vector<std::uint8_t> exif;
  std::optional<std::array<std::uint8_t, 3>> colourKey;  // tRNS of an RGB picture
};

bool isCritical(const std::string& type) { return type[0] >= 'A' && type[0] <= 'Z'; }

// Step 2: the chunks up to the first IDAT, keeping eXIf and tRNS.
Result<ChunksBeforeData> readChunksBeforeData(ChunkReader& chunks, const Header& header) {
  ChunksBeforeData out;
  std::vector<std::uint8_t> data;
  for (bool first = true;; first = false) {
    const std::optional<std::string> type = chunks.nextChunk();
    if (!type) return *chunks.error();
    if (first != (*type == "IHDR")) return Error{"PNG: misplaced IHDR chunk."};
    if (*type == "IDAT") return out;
    if (*type == "IEND") return Error{"PNG: no image data."};
    const bool keep = *type == "IHDR" || *type == "tRNS" || (*type == "eXIf" && out.exif.empty());
    if (keep && chunks.left() > kMaxPngChunkBytes) return Error{"PNG: a chunk is too large."};
    if (!(keep ? chunks.readAll(data) : chunks.skipRest())) return *chunks.error();
    if (*type == "eXIf") out.exif = data;
    if (*type == "tRNS") {
      if (header.channels != 3 || data.size() != 6) return Error{"PNG: invalid tRNS chunk."};
      out.colourKey = {data[1], data[3], data[5]};
      if (data[0] != 0 || data[2] != 0 || data[4] != 0) out.colourKey.reset();  // matches no 8-bit pixel
    }
    if (isCritical(*type) && *type != "IHDR" && *type != "PLTE") {
      return Error{"PNG: unknown critical chunk " + *type + "."};
    }
  }
}

// Rows inflated by one thread and taken by the other, through a ring.
class RowRing {
 public:
  explicit RowRing(std::size_t rowBytes) : rowBytes_(rowBytes), rows_(rowBytes * kRingRows) {}
  std::uint8_t* slot(std::uint64_t row) { return rows_.data() + (row % kRingRows) * rowBytes_; }

  // Producer: waits until row `row` has a free slot; false when the consumer stopped.
  bool waitForSpace(std::uint64_t row) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || row < taken_ + kRingRows; });
    return !stopped_;
  }
  // Producer: rows before `count` are filled; `last` when no more come.
  void publish(std::uint64_t count, bool last = false) {
    {
      const std::lock_guard lock(mutex_);
      filled_ = count;
      done_ = done_ || last;
    }
    changed_.notify_all();
  }
  void finish() {
    std::uint64_t filled;
    {
      const std::lock_guard lock(mutex_);
      filled = filled_;
    }
    publish(filled, true);
  }
  // Consumer: waits for row `row`; false when the producer ended before it.
  bool waitForRow(std::uint64_t row) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return row < filled_ || done_; });
    return row < filled_;
  }
  // Consumer: rows before `count` are done with; `stop` when no more are wanted.
  void release(std::uint64_t count, bool stop = false) {
    {
      const std::lock_guard lock(mutex_);
      taken_ = count;
      stopped_ = stopped_ || stop;
    }
    changed_.notify_all();
  }

 private:
  std::size_t rowBytes_;
  std::vector<std::uint8_t> rows_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t filled_ = 0;
  std::uint64_t taken_ = 0;
  bool done_ = false;
  bool stopped_ = false;
};

// Inflates the IDAT stream into the ring, row by row, then to the end of the
// zlib stream so its adler32 is checked. Nothing when all went well.
std::optional<Error> inflateRows(ChunkReader& chunks, RowRing& ring, std::size_t rowBytes,
                                 std::uint32_t rows) {
  auto state = std::make_unique<inflate_state>();
  isal_inflate_init(state.get());
  state->crc_flag = ISAL_ZLIB;
  const auto moreInput = [&]() -> std::optional<Error> {
    while (true) {
      std::span<const std::uint8_t> bytes = chunks.take(64u << 10);
      if (!bytes.empty()) {
        state->next_in = const_cast<std::uint8_t*>(bytes.data());
        state->avail_in = static_cast<std::uint32_t>(bytes.size());
        return std::nullopt;
      }
      if (chunks.error()) return *chunks.error();
      const std::optional<std::string> type = chunks.nextChunk();
      if (!type) return *chunks.error();
      if (*type != "IDAT") return Error{"PNG: the image data ends early."};
    }
  };
  // One step of inflating into next_out; input is fetched only when ISA-L
  // has nothing more to give without it.
  const auto step = [&]() -> std::optional<Error> {
    const std::uint32_t room = state->avail_out;
    if (isal_inflate(state.get()) != ISAL_DECOMP_OK) return Error{"PNG: the image data is damaged."};
    if (state->avail_out == room && state->avail_in == 0 && state->block_state != ISAL_BLOCK_FINISH)
      return moreInput();
    return std::nullopt;
  };
  for (std::uint64_t row = 0; row < rows; ++row) {
    if (!ring.waitForSpace(row)) return std::nullopt;
    state->next_out = ring.slot(row);
    state->avail_out = static_cast<std::uint32_t>(rowBytes);
    while (state->avail_out > 0) {
      if (state->block_state == ISAL_BLOCK_FINISH) return Error{"PNG: the image data ends early."};
      if (std::optional<Error> error = step()) return error;
    }
    ring.publish(row + 1);
  }
  std::uint8_t extra = 0;
  while (state->block_state != ISAL_BLOCK_FINISH) {
    state->next_out = &extra;
    state->avail_out = 1;
    if (std::optional<Error> error = step()) return error;
    if (state->avail_out == 0) return Error{"PNG: more image data than the picture's rows."};
  }
  return std::nullopt;
}

std::uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes one row's filter in place; `previous` is the row above, unfiltered
// (zeros for the first). False for an unknown filter.
bool unfilter(std::uint8_t* row, const std::uint8_t* previous, std::size_t length, int bpp) {
  const std::uint8_t filter = row[0];
  std::uint8_t* x = row + 1;
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = bpp; i < length; ++i) x[i] = static_cast<std::uint8_t>(x[i] + x[i - bpp]);
      return true;
    case 2:
      for (std::size_t i = 0; i < length; ++i) x[i] = static_cast<std::uint8_t>(x[i] + previous[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < length; ++i) {
        const int left = i >= static_cast<std::size_t>(bpp) ? x[i - bpp] : 0;
        x[i] = static_cast<std::uint8_t>(x[i] + ((left + previous[i]) >> 1));
      }
      return true;
    case 4:
      for (std::size_t i = 0; i < length; ++i) {
        const bool first = i < static_cast<std::size_t>(bpp);
        x[i] = static_cast<std::uint8_t>(
            x[i] + paeth(first ? 0 : x[i - bpp], previous[i], first ? 0 : previous[i - bpp]));
      }
      return true;
    default:
      return false;
  }
}

// Takes the rows from the ring: unfilters, adds the colour key's alpha and
// feeds the downscaler. Nothing when all went well.
std::optional<Error> downscaleRows(RowRing& ring, const Header& header, const ChunksBeforeData& chunks,
                                   AreaDownscaler& scaler) {
  const std::size_t length = static_cast<std::size_t>(header.width) * header.channels;
  std::vector<std::uint8_t> previous(length, 0);
  std::vector<std::uint8_t> keyed(chunks.colourKey ? static_cast<std::size_t>(header.width) * 4 : 0);
  for (std::uint64_t y = 0; y < header.height; ++y) {
    if (!ring.waitForRow(y)) return std::nullopt;  // the producer says why
    std::uint8_t* row = ring.slot(y);
    if (!unfilter(row, previous.data(), length, header.channels)) {
      ring.release(y, true);
      return Error{"PNG: unknown row filter."};
    }
    std::memcpy(previous.data(), row + 1, length);
    ring.release(y + 1);
    const auto width = static_cast<int>(header.width);
    if (chunks.colourKey) {
      const auto& key = *chunks.colourKey;
      for (std::size_t x = 0; x < header.width; ++x) {
        const std::uint8_t* p = &previous[x * 3];
        std::memcpy(&keyed[x * 4], p, 3);
        keyed[x * 4 + 3] = p[0] == key[0] && p[1] == key[1] && p[2] == key[2] ? 0 : 255;
      }
      scaler.addPixels(static_cast<int>(y), 0, 1, keyed.data(), width, AreaDownscaler::Layout::rgba);
    } else {
      scaler.addPixels(static_cast<int>(y), 0, 1, previous.data(), width,
                       header.channels == 4 ? AreaDownscaler::Layout::rgba : AreaDownscaler::Layout::rgb);
    }
  }
  return std::nullopt;
}

// Step 3: the rows, inflated on a thread of their own while this one
// unfilters them into the downscaler.
Result<ui::Bitmap> decodeRowsIntoThumbnail(ChunkReader& chunks, const Header& header,
                                           const ChunksBeforeData& found, const CarPictureLimits& limits) {
  const Size target = thumbnailSize(header.width, header.height, limits.maxPixelSize);
  AreaDownscaler scaler(static_cast<int>(header.width), static_cast<int>(header.height), target.width,
                        target.height, AreaDownscaler::RowOrder::sequential);
  const std::size_t rowBytes = 1 + static_cast<std::size_t>(header.width) * header.channels;
  RowRing ring(rowBytes);
  std::optional<Error> inflated;
  std::thread inflater;
  try {
    inflater = std::thread([&] {
      inflated = inflateRows(chunks, ring, rowBytes, header.height);
      ring.finish();
    });
  } catch (const std::system_error&) {
    return Error{"No thread for the PNG decoder."};
  }
  std::optional<Error> downscaled = downscaleRows(ring, header, found, scaler);
  inflater.join();
  // Damaged data shows as a bad filter before its chunk's CRC is reached:
  // the CRC, when it fails, names the cause.
  if (downscaled) return !chunks.skipRest() && chunks.error() ? *chunks.error() : *downscaled;
  if (inflated) return *inflated;
  return scaler.finish();
}

// Step 4: after the image data, an eXIf there; a damaged tail after complete
// pixels only costs the orientation. Nothing after IEND is read.
void readChunksAfterData(ChunkReader& chunks, ChunksBeforeData& found) {
  std::vector<std::uint8_t> data;
  while (std::optional<std::string> type = chunks.nextChunk()) {
    if (*type == "IEND") return;
    if (*type == "eXIf" && found.exif.empty() && chunks.left() <= kMaxPngChunkBytes) {
      if (!chunks.readAll(data)) return;
      found.exif = data;
    }
  }
}

// Step 1: the header the first bytes hold, its size checked before anything
// is allocated for it.
Result<Header> readHeader(PictureInput& input, const CarPictureLimits& limits) {
  const std::optional<Header> header = plainHeader(input.peek(33));
  if (!header) return Error{"PNG: not a plain 8-bit picture."};
  if (Status size = checkDeclaredSize(header->width, header->height, limits); !size) return size.error();
  input.skip(kSignatureBytes);
  return *header;
}

}  // namespace

bool isPlainPng(std::span<const std::uint8_t> head) { return plainHeader(head).has_value(); }

Result<ui::Bitmap> decodePlainPng(PictureInput& input, const CarPictureLimits& limits) {
  const Result<Header> header = readHeader(input, limits);
  if (!header) return header.error();
  ChunkReader chunks(input);
  Result<ChunksBeforeData> found = readChunksBeforeData(chunks, *header);
  if (!found) return found.error();
  Result<ui::Bitmap> thumbnail = decodeRowsIntoThumbnail(chunks, *header, *found, limits);
  if (!thumbnail) return thumbnail;
  readChunksAfterData(chunks, found.value());
  return applyOrientation(*thumbnail, found->exif.empty() ? 1 : exifOrientation(found->exif).value_or(1));
}

}  // namespace kelvo::widget::picture
