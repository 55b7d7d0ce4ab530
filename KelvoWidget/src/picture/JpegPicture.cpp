// JPEG car pictures: libjpeg, scaled by its DCT while decoding, row by row
// into the downscaler. libjpeg reports errors by calling back; ours jumps
// back with longjmp, so the frame that calls setjmp holds no C++ objects of
// its own: all state lives in a JpegJob owned by the caller.

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AreaDownscaler.h"
#include "KelvoWidget/ExifOrientation.h"
#include "PictureDecoding.h"

namespace kelvo::widget::picture {

namespace {

constexpr std::uint8_t kExifPrefix[] = {'E', 'x', 'i', 'f', 0, 0};

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

struct JpegSourceManager {
  jpeg_source_mgr pub;
  PictureInput* input;
};

struct JpegJob {
  jpeg_decompress_struct cinfo{};
  JpegErrorManager error{};
  JpegSourceManager source{};
  jpeg_progress_mgr progress{};
  const CarPictureLimits* limits = nullptr;
  bool created = false;
  bool tooManyScans = false;
  std::optional<Error> refusal;  // our own reason to stop, set before returning false
  // The first EXIF segment's payload, prefix included.
  std::array<std::uint8_t, 65536> exif{};
  std::size_t exifLength = 0;
  std::optional<AreaDownscaler> scaler;
  std::vector<std::uint8_t> samples;  // one output row as libjpeg writes it
  std::vector<std::uint8_t> rgba;     // the same row turned into RGBA, for CMYK

  ~JpegJob() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

JpegJob& jobOf(j_decompress_ptr cinfo) { return *static_cast<JpegJob*>(cinfo->client_data); }

[[noreturn]] void onError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt or truncated data) are counted, never printed; the
// picture decodes as far as it can.
void onMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}

void onOutputMessage(j_common_ptr /*cinfo*/) {}

// libjpeg calls this at least once per row of blocks it reads and per scan:
// a file repeating scans is stopped here before it costs more work.
void onProgress(j_common_ptr common) {
  auto cinfo = reinterpret_cast<j_decompress_ptr>(common);
  JpegJob& job = jobOf(cinfo);
  if (cinfo->input_scan_number > job.limits->maxJpegScans) {
    job.tooManyScans = true;
    common->err->error_exit(common);
  }
}

void initSource(j_decompress_ptr /*cinfo*/) {}
void termSource(j_decompress_ptr /*cinfo*/) {}

// At the end of the input, an end-of-image marker: libjpeg then finishes
// with what it has (a truncated picture shows grey below the cut).
void endInput(jpeg_source_mgr& source) {
  static const JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};
  source.next_input_byte = kEndOfImage;
  source.bytes_in_buffer = sizeof kEndOfImage;
}

boolean fillInput(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<JpegSourceManager*>(cinfo->src);
  const std::span<const std::uint8_t> bytes = source->input->next();
  if (bytes.empty()) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    endInput(source->pub);
  } else {
    source->pub.next_input_byte = bytes.data();
    source->pub.bytes_in_buffer = bytes.size();
  }
  return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
  auto* source = reinterpret_cast<JpegSourceManager*>(cinfo->src);
  if (count <= 0) return;
  const auto wanted = static_cast<std::size_t>(count);
  if (wanted <= source->pub.bytes_in_buffer) {
    source->pub.next_input_byte += wanted;
    source->pub.bytes_in_buffer -= wanted;
    return;
  }
  const std::size_t rest = wanted - source->pub.bytes_in_buffer;
  source->pub.bytes_in_buffer = 0;
  if (!source->input->skip(rest)) endInput(source->pub);
}

int nextByte(j_decompress_ptr cinfo) {
  if (cinfo->src->bytes_in_buffer == 0) cinfo->src->fill_input_buffer(cinfo);
  --cinfo->src->bytes_in_buffer;
  return *cinfo->src->next_input_byte++;
}

// APP1: the first segment holding EXIF data is kept (64 KiB at most, the
// segment's own limit); every other is skipped, so no number of segments
// costs memory.
boolean readApp1(j_decompress_ptr cinfo) {
  JpegJob& job = jobOf(cinfo);
  const int high = nextByte(cinfo);
  const int length = (high << 8 | nextByte(cinfo)) - 2;
  if (length <= 0) return TRUE;
  if (job.exifLength > 0) {
    skipInput(cinfo, length);
    return TRUE;
  }
  for (int i = 0; i < length; ++i)
    job.exif[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(nextByte(cinfo));
  const bool exif = static_cast<std::size_t>(length) >= sizeof kExifPrefix &&
                    std::memcmp(job.exif.data(), kExifPrefix, sizeof kExifPrefix) == 0;
  job.exifLength = exif ? static_cast<std::size_t>(length) : 0;
  return TRUE;
}

// libjpeg scales by 1/2, 1/4 or 1/8 while decoding. The smallest of those
// not below the thumbnail; the area averaging does the rest.
unsigned scaleDenominator(Size declared, Size target) {
  for (unsigned denominator : {8u, 4u, 2u}) {
    const auto scaled = [&](int side) {
      return (side + static_cast<int>(denominator) - 1) / static_cast<int>(denominator);
    };
    if (scaled(declared.width) >= target.width && scaled(declared.height) >= target.height)
      return denominator;
  }
  return 1;
}

// After the header: refuses what may not be decoded and sets up scaling and
// the output colour space. False with job.refusal set when refused.
bool prepare(JpegJob& job) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (Status size = checkDeclaredSize(cinfo.image_width, cinfo.image_height, *job.limits); !size) {
    job.refusal = size.error();
    return false;
  }
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo.out_color_space = JCS_EXT_RGBA;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      job.refusal = Error{"The picture has an unsupported colour layout."};
      return false;
  }
  const Size declared{static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height)};
  cinfo.scale_num = 1;
  cinfo.scale_denom = scaleDenominator(
      declared, thumbnailSize(cinfo.image_width, cinfo.image_height, job.limits->maxPixelSize));
  return true;
}

// After libjpeg has sized its output: the row buffers and the downscaler.
void startOutput(JpegJob& job) {
  const jpeg_decompress_struct& cinfo = job.cinfo;
  const int width = static_cast<int>(cinfo.output_width);
  const int height = static_cast<int>(cinfo.output_height);
  Size target = thumbnailSize(cinfo.image_width, cinfo.image_height, job.limits->maxPixelSize);
  target.width = std::min(target.width, width);
  target.height = std::min(target.height, height);
  job.samples.resize(static_cast<std::size_t>(width) * 4);
  if (cinfo.out_color_space == JCS_CMYK) job.rgba.resize(job.samples.size());
  job.scaler.emplace(width, height, target.width, target.height, AreaDownscaler::RowOrder::sequential);
}

void addRow(JpegJob& job, int y) {
  const jpeg_decompress_struct& cinfo = job.cinfo;
  const int width = static_cast<int>(cinfo.output_width);
  const std::uint8_t* rgba = job.samples.data();
  if (cinfo.out_color_space == JCS_CMYK) {
    // Adobe's files store the inks inverted (0 = full ink).
    const bool inverted = cinfo.saw_Adobe_marker;
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* ink = &job.samples[static_cast<std::size_t>(x) * 4];
      const int k = inverted ? ink[3] : 255 - ink[3];
      for (int c = 0; c < 3; ++c) {
        const int amount = inverted ? ink[c] : 255 - ink[c];
        job.rgba[static_cast<std::size_t>(x) * 4 + c] = static_cast<std::uint8_t>((amount * k + 127) / 255);
      }
      job.rgba[static_cast<std::size_t>(x) * 4 + 3] = 255;
    }
    rgba = job.rgba.data();
  }
  job.scaler->addPixels(y, 0, 1, rgba, width, AreaDownscaler::Layout::rgba);
}

// The one frame libjpeg may jump back to: nothing here has a destructor.
bool runDecoder(JpegJob& job) {
  if (setjmp(job.error.jump) != 0) return false;
  jpeg_decompress_struct* cinfo = &job.cinfo;
  jpeg_create_decompress(cinfo);
  job.created = true;
  cinfo->client_data = &job;
  cinfo->mem->max_memory_to_use = static_cast<long>(job.limits->maxJpegMemory);
  cinfo->src = &job.source.pub;
  cinfo->progress = &job.progress;
  jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, readApp1);

  jpeg_read_header(cinfo, TRUE);
  if (!prepare(job)) return false;
  jpeg_start_decompress(cinfo);
  startOutput(job);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = job.samples.data();
    const auto y = static_cast<int>(cinfo->output_scanline);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    addRow(job, y);
  }
  return true;
}

Error describeFailure(const JpegJob& job) {
  if (job.refusal) return *job.refusal;
  if (job.tooManyScans) {
    return Error{"The picture has more than " + std::to_string(job.limits->maxJpegScans) +
                 " scans, more than a car picture may have."};
  }
  if (!job.created) return Error{"Out of memory for the JPEG decoder."};
  if (job.error.pub.msg_code == JERR_NO_BACKING_STORE) {
    return Error{"The picture needs more memory to decode than a car picture may use."};
  }
  char message[JMSG_LENGTH_MAX] = {};
  job.error.pub.format_message(
      reinterpret_cast<j_common_ptr>(const_cast<jpeg_decompress_struct*>(&job.cinfo)), message);
  return Error{std::string("JPEG: ") + message};
}

}  // namespace

Result<ui::Bitmap> decodeJpeg(PictureInput& input, const CarPictureLimits& limits) {
  auto job = std::make_unique<JpegJob>();
  job->limits = &limits;
  job->cinfo.err = jpeg_std_error(&job->error.pub);
  job->error.pub.error_exit = onError;
  job->error.pub.emit_message = onMessage;
  job->error.pub.output_message = onOutputMessage;
  job->progress.progress_monitor = onProgress;
  job->source.input = &input;
  job->source.pub.init_source = initSource;
  job->source.pub.fill_input_buffer = fillInput;
  job->source.pub.skip_input_data = skipInput;
  job->source.pub.resync_to_restart = jpeg_resync_to_restart;
  job->source.pub.term_source = termSource;

  if (!runDecoder(*job)) return describeFailure(*job);
  const int orientation =
      job->exifLength > 0 ? exifOrientation({job->exif.data(), job->exifLength}).value_or(1) : 1;
  return applyOrientation(job->scaler->finish(), orientation);
}

}  // namespace kelvo::widget::picture
