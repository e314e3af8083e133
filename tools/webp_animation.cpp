#include "tools/webp_animation.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/error.h"
#include "system/replacement_file.h"

namespace slidesaver {
namespace {

struct EncoderDeleter {
  void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};

struct PictureDeleter {
  void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

[[noreturn]] void Fail(WebPAnimEncoder* encoder, const std::string& what) {
  const char* reason = encoder != nullptr ? WebPAnimEncoderGetError(encoder) : nullptr;
  throw Error("WebP encoder: " + what +
              (reason != nullptr && *reason != '\0' ? std::string(": ") + reason : ""));
}

// libwebp's animation encoder takes a pixel whose channels each moved by at
// most this much since the previous frame it was given as unchanged, and lets
// the decoder keep what it showed. Measured against the previous input rather
// than against what the decoder shows, such small moves add up unseen: a slow
// cross-fade would never arrive. (The encoder's own rule, for lossy quality q.)
int UnchangedTolerance(float quality) {
  const double root = std::sqrt(quality / 100.0);
  return static_cast<int>(31 * (1 - root) + root + 0.5);
}

// Moves `shown` (what the decoder will show) towards `frame`: a pixel within
// the tolerance of what is shown stays as it is, any other takes the frame's
// value. The encoder then sees only pixels that are exactly unchanged or
// clearly changed, and what it shows never strays further than the tolerance
// from the real frame.
void Settle(Bitmap& shown, const Bitmap& frame, int tolerance) {
  for (int y = 0; y < frame.Height(); ++y) {
    const std::uint8_t* in = frame.ScanLine(y);
    std::uint8_t* out = shown.ScanLine(y);
    for (int x = 0; x < frame.Width() * 3; x += 3) {
      const bool near = std::abs(in[x] - out[x]) <= tolerance &&
                        std::abs(in[x + 1] - out[x + 1]) <= tolerance &&
                        std::abs(in[x + 2] - out[x + 2]) <= tolerance;
      if (!near) std::memcpy(out + x, in + x, 3);
    }
  }
}

}  // namespace

std::vector<std::uint8_t> EncodeWebpAnimation(const std::vector<AnimationFrame>& frames,
                                              float quality) {
  if (frames.empty() || frames.front().picture.Empty()) Fail(nullptr, "no picture to encode");
  const int width = frames.front().picture.Width();
  const int height = frames.front().picture.Height();

  WebPAnimEncoderOptions options;
  if (!WebPAnimEncoderOptionsInit(&options)) Fail(nullptr, "library version mismatch");
  options.anim_params.loop_count = 0;  // for ever
  options.allow_mixed = 0;
  const std::unique_ptr<WebPAnimEncoder, EncoderDeleter> encoder(
      WebPAnimEncoderNew(width, height, &options));
  if (!encoder) Fail(nullptr, "cannot start an animation");

  WebPConfig config;
  if (!WebPConfigInit(&config)) Fail(nullptr, "library version mismatch");
  config.lossless = 0;
  config.quality = quality;
  config.thread_level = 0;

  const int tolerance = UnchangedTolerance(quality);
  Bitmap shown = frames.front().picture;
  int timestamp = 0;
  for (const AnimationFrame& frame : frames) {
    if (frame.picture.Width() != width || frame.picture.Height() != height) {
      Fail(nullptr, "the frames differ in size");
    }
    Settle(shown, frame.picture, tolerance);
    const Bitmap& bitmap = shown;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) Fail(nullptr, "library version mismatch");
    picture.use_argb = 1;
    picture.width = width;
    picture.height = height;
    const std::unique_ptr<WebPPicture, PictureDeleter> owned(&picture);
    if (!WebPPictureImportBGR(&picture, bitmap.ScanLine(0), static_cast<int>(bitmap.Stride()))) {
      Fail(nullptr, "out of memory");
    }
    if (!WebPAnimEncoderAdd(encoder.get(), &picture, timestamp, &config)) {
      Fail(encoder.get(), "cannot add a frame");
    }
    timestamp += frame.durationMs;
  }
  if (!WebPAnimEncoderAdd(encoder.get(), nullptr, timestamp, nullptr)) {
    Fail(encoder.get(), "cannot end the animation");
  }
  WebPData data;
  WebPDataInit(&data);
  if (!WebPAnimEncoderAssemble(encoder.get(), &data)) Fail(encoder.get(), "cannot assemble");
  std::vector<std::uint8_t> bytes(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  return bytes;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  ReplacementFile file;
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!file.Create(path, 0666) || !file.Write(view) || !file.Commit(false)) {
    throw Error("Cannot write " + path + ": " + std::strerror(errno));
  }
}

}  // namespace slidesaver
