#include "tools/imagegen/imagegen.h"

// clang-format off
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "base/error.h"

namespace slidesaver {
namespace {

// ---------------------------------------------------------------------------------------------
// JPEG encoding

// libjpeg is plain C: fatal errors long-jump back to the guarded call (see Encoder::Run) and are
// thrown from there.
struct ErrorTrap {
  jpeg_error_mgr manager;  // first member: libjpeg hands back a pointer to it
  std::jmp_buf resume;
  int code;
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
  trap->code = cinfo->err->msg_code;
  std::longjmp(trap->resume, 1);
}

void OnMessage(j_common_ptr, int) {}

// The compressor and the memory buffer it writes to, released together.
struct CompressState {
  CompressState() = default;
  CompressState(const CompressState&) = delete;
  CompressState& operator=(const CompressState&) = delete;
  ~CompressState() {
    jpeg_destroy_compress(&cinfo);
    std::free(output);  // allocated (and grown) by libjpeg's memory destination
  }

  ErrorTrap trap{};
  jpeg_compress_struct cinfo{};
  unsigned char* output = nullptr;
  unsigned long output_size = 0;
};

// Calls `step` with the error trap armed. Only objects without destructors live between the
// setjmp here and a long jump out of libjpeg.
template <typename Step>
void Run(CompressState& state, Step&& step) {
  if (setjmp(state.trap.resume) == 0) {
    step();
    return;
  }
  throw Error("JPEG error #" + std::to_string(state.trap.code));
}

enum class Encoding { kColour, kGrayscale, kAdobeCmyk };

// One BGR row as Adobe's inverted CMYK: every channel is the light it lets through, so that
// C * K / 255 gives back the red, M * K / 255 the green and Y * K / 255 the blue.
void ToInvertedCmyk(const std::uint8_t* bgr, int width, JSAMPLE* cmyk) {
  for (int x = 0; x < width; ++x, bgr += 3, cmyk += 4) {
    const int k = std::max({bgr[0], bgr[1], bgr[2]});
    const auto channel = [k](int v) {
      return static_cast<JSAMPLE>(k == 0 ? 0 : (v * 255 + k / 2) / k);
    };
    cmyk[0] = channel(bgr[2]);
    cmyk[1] = channel(bgr[1]);
    cmyk[2] = channel(bgr[0]);
    cmyk[3] = static_cast<JSAMPLE>(k);
  }
}

std::vector<std::uint8_t> Compress(const Bitmap& bitmap, int quality, Encoding encoding,
                                   bool progressive) {
  if (bitmap.Empty()) throw Error("Cannot encode an empty picture as JPEG");
  if (quality < 1 || quality > 100) {
    throw Error("JPEG quality must be 1 to 100, not " + std::to_string(quality));
  }
  const bool cmyk = encoding == Encoding::kAdobeCmyk;
  std::vector<JSAMPLE> cmyk_row(cmyk ? static_cast<std::size_t>(bitmap.Width()) * 4 : 0);
  CompressState state;
  jpeg_compress_struct& cinfo = state.cinfo;
  cinfo.err = jpeg_std_error(&state.trap.manager);
  state.trap.manager.error_exit = OnFatalError;
  state.trap.manager.emit_message = OnMessage;
  Run(state, [&] {
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &state.output, &state.output_size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    cinfo.input_components = cmyk ? 4 : 3;
    cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    if (encoding == Encoding::kGrayscale) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (cmyk) jpeg_set_colorspace(&cinfo, JCS_YCCK);  // writes the Adobe marker
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      const std::uint8_t* bgr = bitmap.ScanLine(static_cast<int>(cinfo.next_scanline));
      // libjpeg takes non-const rows but only reads them.
      JSAMPROW row = const_cast<JSAMPROW>(bgr);
      if (cmyk) {
        ToInvertedCmyk(bgr, bitmap.Width(), cmyk_row.data());
        row = cmyk_row.data();
      }
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
  });
  return std::vector<std::uint8_t>(state.output, state.output + state.output_size);
}

// ---------------------------------------------------------------------------------------------
// Drawing helpers

struct Rgb {
  double r, g, b;  // 0..1
};

Rgb Mix(Rgb a, Rgb b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Hue in turns (any real number), saturation and value 0..1.
Rgb FromHsv(double hue, double saturation, double value) {
  hue = (hue - std::floor(hue)) * 6.0;
  const int sector = static_cast<int>(hue) % 6;
  const double f = hue - std::floor(hue);
  const double p = value * (1 - saturation);
  const double q = value * (1 - saturation * f);
  const double t = value * (1 - saturation * (1 - f));
  switch (sector) {
    case 0:
      return {value, t, p};
    case 1:
      return {q, value, p};
    case 2:
      return {p, value, t};
    case 3:
      return {p, q, value};
    case 4:
      return {t, p, value};
    default:
      return {value, p, q};
  }
}

std::uint8_t ToByte(double v) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

void PutPixel(Bitmap& bitmap, int x, int y, Rgb c) {
  std::uint8_t* p = bitmap.ScanLine(y) + 3 * static_cast<std::size_t>(x);
  p[0] = ToByte(c.b);
  p[1] = ToByte(c.g);
  p[2] = ToByte(c.r);
}

void FillRect(Bitmap& bitmap, int left, int top, int right, int bottom, Rgb c) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, bitmap.Width());
  bottom = std::min(bottom, bitmap.Height());
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) PutPixel(bitmap, x, y, c);
  }
}

// Paints every pixel with shade(u, v): v runs from 0 to 1 down the picture and u across it at
// the same scale, from 0 to about the aspect ratio.
template <typename Shade>
void Paint(Bitmap& bitmap, Shade shade) {
  const double scale = 1.0 / std::max(1, bitmap.Height() - 1);
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) PutPixel(bitmap, x, y, shade(x * scale, y * scale));
  }
}

// 5 x 7 digits, one row per byte, bit 4 is the leftmost column.
constexpr std::array<std::array<std::uint8_t, 7>, 10> kDigitFont = {{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1E, 0x01, 0x01, 0x0E, 0x01, 0x01, 0x1E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
}};

void DrawDigits(Bitmap& bitmap, const std::string& digits, int left, int top, int block, Rgb c) {
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const auto& glyph = kDigitFont[static_cast<std::size_t>(digits[i] - '0')];
    const int glyph_left = left + static_cast<int>(i) * 6 * block;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if ((glyph[static_cast<std::size_t>(row)] >> (4 - col) & 1) == 0) continue;
        const int x = glyph_left + col * block;
        const int y = top + row * block;
        FillRect(bitmap, x, y, x + block, y + block, c);
      }
    }
  }
}

// The number, about a third of the picture high, white on a soft dark shadow.
void DrawIndexNumber(Bitmap& bitmap, int index) {
  const std::string digits = std::to_string(index);
  const int columns = static_cast<int>(digits.size()) * 6 - 1;
  const int block =
      std::max(1, std::min(bitmap.Height() / 3 / 7, bitmap.Width() * 2 / 3 / columns));
  const int left = (bitmap.Width() - columns * block) / 2;
  const int top = (bitmap.Height() - 7 * block) / 2;
  const int shadow = std::max(1, block / 4);
  DrawDigits(bitmap, digits, left + shadow, top + shadow, block, {0.08, 0.08, 0.12});
  DrawDigits(bitmap, digits, left, top, block, {1.0, 1.0, 0.97});
}

void PaintGradient(Bitmap& bitmap, double hue, double aspect) {
  const Rgb sky = FromHsv(hue + 0.6, 0.7, 0.35);
  const Rgb glow = FromHsv(hue + 0.05, 0.8, 1.0);
  Paint(bitmap, [&](double u, double v) {
    const Rgb base = Mix(sky, glow, v);
    const double dx = u - aspect / 2, dy = v - 0.75;
    const double sun = std::exp(-(dx * dx + dy * dy) * 18.0);
    return Mix(base, {1.0, 0.95, 0.7}, sun);
  });
}

void PaintRings(Bitmap& bitmap, double hue, double aspect) {
  Paint(bitmap, [&](double u, double v) {
    const double distance = std::hypot(u - aspect / 2, v - 0.5);
    const double wave = 0.5 + 0.5 * std::cos(distance * 40.0);
    return FromHsv(hue + distance * 0.6, 0.65, 0.45 + 0.5 * wave);
  });
}

void PaintStripes(Bitmap& bitmap, double hue, double) {
  Paint(bitmap, [&](double u, double v) {
    const int stripe = static_cast<int>(std::floor((u + v) * 8.0));
    const double shade = 0.15 * std::sin(v * std::numbers::pi);
    return FromHsv(hue + (stripe % 4) * 0.08, 0.6, 0.75 + shade);
  });
}

void PaintWaves(Bitmap& bitmap, double hue, double) {
  Paint(bitmap, [&](double u, double v) {
    const double s = std::sin(u * 9.0) + std::sin(v * 7.0 + u * 3.0) + std::sin((u + v) * 5.0);
    return FromHsv(hue + s * 0.06, 0.7, 0.6 + 0.12 * s);
  });
}

void PaintTiles(Bitmap& bitmap, double hue, double) {
  Paint(bitmap, [&](double u, double v) {
    const int tile = static_cast<int>(std::floor(u * 6.0)) + static_cast<int>(std::floor(v * 6.0));
    const Rgb light = FromHsv(hue + u * 0.3, 0.45, 0.95);
    const Rgb dark = FromHsv(hue + 0.5 + v * 0.3, 0.7, 0.55);
    return tile % 2 == 0 ? light : dark;
  });
}

void PaintRays(Bitmap& bitmap, double hue, double aspect) {
  Paint(bitmap, [&](double u, double v) {
    const double turn = std::atan2(v - 0.5, u - aspect / 2) / (2 * std::numbers::pi) + 0.5;
    const double distance = std::hypot(u - aspect / 2, v - 0.5);
    const bool light = static_cast<int>(std::floor(turn * 16.0)) % 2 == 0;
    return FromHsv(hue + std::abs(turn - 0.5) * 0.5, light ? 0.5 : 0.75,
                   std::max(0.3, 0.95 - distance * 0.6));
  });
}

// ---------------------------------------------------------------------------------------------
// WAV writing

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, int quality, bool grayscale,
                                     bool progressive) {
  return Compress(bitmap, quality, grayscale ? Encoding::kGrayscale : Encoding::kColour,
                  progressive);
}

std::vector<std::uint8_t> EncodeAdobeCmykJpeg(const Bitmap& bitmap, int quality) {
  return Compress(bitmap, quality, Encoding::kAdobeCmyk, false);
}

std::vector<std::uint8_t> PadJpegTo(std::vector<std::uint8_t> jpeg, std::size_t exactSize) {
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
    throw Error("Cannot pad: the data is not a JPEG file");
  }
  if (exactSize < jpeg.size()) {
    throw Error("Cannot pad a JPEG file of " + std::to_string(jpeg.size()) + " bytes to " +
                std::to_string(exactSize) + " bytes");
  }
  const std::size_t extra = exactSize - jpeg.size();
  std::vector<std::uint8_t> padding;
  padding.reserve(extra);
  constexpr std::size_t kMaxSegment = 4 + 65533;  // marker, length and the longest payload
  if (extra < 4) {
    padding.assign(extra, 0xFF);  // fill bytes, allowed before any marker
  } else {
    // Spread the bytes evenly so that no segment is shorter than its own marker and length.
    const std::size_t segments = (extra + kMaxSegment - 1) / kMaxSegment;
    for (std::size_t i = 0; i < segments; ++i) {
      const std::size_t size = extra / segments + (i < extra % segments ? 1 : 0);
      const std::size_t length = size - 2;  // the length field counts itself
      padding.insert(padding.end(), {0xFF, 0xFE, static_cast<std::uint8_t>(length >> 8),
                                     static_cast<std::uint8_t>(length & 0xFF)});
      for (std::size_t j = 0; j < size - 4; ++j) padding.push_back(" padding"[j % 8]);
    }
  }
  jpeg.insert(jpeg.begin() + 2, padding.begin(), padding.end());
  return jpeg;
}

Bitmap MakeDemoPicture(int index, int width, int height) {
  Bitmap bitmap(width, height);
  if (bitmap.Empty()) return bitmap;
  index = std::max(index, 0);
  const double hue = index * 0.37;  // golden-ish steps keep neighbours apart
  const double aspect = static_cast<double>(width) / height;
  using Painter = void (*)(Bitmap&, double, double);
  constexpr std::array<Painter, 6> kStyles = {PaintGradient, PaintRings, PaintStripes,
                                              PaintWaves,    PaintTiles, PaintRays};
  kStyles[static_cast<std::size_t>(index) % kStyles.size()](bitmap, hue, aspect);
  DrawIndexNumber(bitmap, index);
  return bitmap;
}

Bitmap MakeTestPattern(int width, int height, std::uint32_t seed) {
  Bitmap bitmap(width, height);
  constexpr int kBlock = 16;
  const int columns = (bitmap.Width() + kBlock - 1) / kBlock;
  const int rows = (bitmap.Height() + kBlock - 1) / kBlock;
  std::uint32_t state = seed * 2654435761u + 0x9E3779B9u;  // xorshift32 must not start at 0
  if (state == 0) state = 1;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const Rgb colour = {(state & 0xFF) / 255.0, (state >> 8 & 0xFF) / 255.0,
                          (state >> 16 & 0xFF) / 255.0};
      const int x = column * kBlock, y = row * kBlock;
      FillRect(bitmap, x, y, x + kBlock, y + kBlock, colour);
    }
  }
  return bitmap;
}

std::vector<std::uint8_t> MakeWav(double seconds, int sampleRate) {
  if (!(seconds > 0 && seconds <= 600)) throw Error("Melody length must be 0 to 600 seconds");
  if (sampleRate < 8000 || sampleRate > 192000) {
    throw Error("Sample rate must be 8000 to 192000, not " + std::to_string(sampleRate));
  }
  // A C major phrase, a quarter of a second per note, repeated as long as needed.
  constexpr std::array<double, 8> kNotes = {523.25, 659.26, 783.99, 1046.50,
                                            783.99, 659.26, 587.33, 523.25};
  constexpr double kNoteSeconds = 0.25, kFadeSeconds = 0.01, kAmplitude = 0.3 * 32767;
  const auto samples = static_cast<std::uint32_t>(std::lround(seconds * sampleRate));
  const std::uint32_t data_bytes = samples * 2;

  std::vector<std::uint8_t> wav;
  wav.reserve(44 + data_bytes);
  PutTag(wav, "RIFF");
  PutLe(wav, 36 + data_bytes, 4);
  PutTag(wav, "WAVE");
  PutTag(wav, "fmt ");
  PutLe(wav, 16, 4);  // chunk size
  PutLe(wav, 1, 2);   // PCM
  PutLe(wav, 1, 2);   // mono
  PutLe(wav, static_cast<std::uint32_t>(sampleRate), 4);
  PutLe(wav, static_cast<std::uint32_t>(sampleRate) * 2, 4);  // bytes per second
  PutLe(wav, 2, 2);                                           // bytes per frame
  PutLe(wav, 16, 2);                                          // bits per sample
  PutTag(wav, "data");
  PutLe(wav, data_bytes, 4);
  for (std::uint32_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const auto note = static_cast<std::size_t>(t / kNoteSeconds);
    const double in_note = t - note * kNoteSeconds;
    const double to_end = std::min(kNoteSeconds - in_note, seconds - t);
    const double envelope = std::clamp(std::min(in_note, to_end) / kFadeSeconds, 0.0, 1.0);
    const double value =
        kAmplitude * envelope * std::sin(2 * std::numbers::pi * kNotes[note % kNotes.size()] * t);
    PutLe(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value))), 2);
  }
  return wav;
}

}  // namespace slidesaver
