// The system's photo library on Linux: libvips.

#include <vips/vips.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "graphics/photo.h"
#include "system/file_io.h"
#include "system/files.h"

namespace slidesaver {
namespace {

// libvips reports through a process-wide buffer; its text ends in a newline.
Error VipsFailure(const std::string& path) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return Error("\"" + path + "\": " + (text.empty() ? "cannot be read as a picture" : text));
}

// Owns one VipsImage reference.
struct Image {
  VipsImage* image = nullptr;
  Image() = default;
  explicit Image(VipsImage* i) : image(i) {}
  Image(const Image&) = delete;
  Image& operator=(Image&& other) noexcept {
    std::swap(image, other.image);
    return *this;
  }
  ~Image() {
    if (image != nullptr) g_object_unref(image);
  }
};

void InitVips() {
  static const bool ready = [] {
    if (VIPS_INIT("slidesaver-pack") != 0) throw Error("The photo library cannot start");
    // No operation cache: every photo is read once, so cached operations
    // would only hold memory.
    vips_cache_set_max(0);
    // Its warnings (a truncated file, say) would only repeat what its errors say.
    g_log_set_handler("VIPS", G_LOG_LEVEL_WARNING,
                      [](const char*, GLogLevelFlags, const char*, void*) {}, nullptr);
    return true;
  }();
  (void)ready;
}

// Colours the player shows as they are: the JPEG's own YCbCr or gray, not CMYK.
bool IsRgbOrGray(VipsImage* header) {
  const VipsInterpretation kind = vips_image_get_interpretation(header);
  return kind == VIPS_INTERPRETATION_sRGB || kind == VIPS_INTERPRETATION_B_W;
}

// The metadata blocks libvips read with the picture, in any format that carries them.
PhotoMetadata Metadata(VipsImage* header) {
  const auto blob = [&](const char* name) -> std::span<const std::uint8_t> {
    const void* data = nullptr;
    std::size_t length = 0;
    if (vips_image_get_typeof(header, name) == 0 ||
        vips_image_get_blob(header, name, &data, &length) != 0) {
      return {};
    }
    return {static_cast<const std::uint8_t*>(data), length};
  };
  const std::span<const std::uint8_t> xmp = blob("xmp-data");
  return ReadPhotoMetadata({blob("exif-data"),
                            std::string_view(reinterpret_cast<const char*>(xmp.data()), xmp.size()),
                            blob("iptc-data")});
}

}  // namespace

PreparedPhoto PreparePhoto(const std::string& path, const PhotoOptions& options) {
  InitVips();
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  Image header(vips_image_new_from_buffer(bytes.data(), bytes.size(), "", nullptr));
  if (header.image == nullptr) throw VipsFailure(path);
  // Before anything is decoded: the picture cannot end up larger than this.
  const auto bound = [](std::int64_t side, int box) {
    return box > 0 ? std::min<std::int64_t>(side, box) : side;
  };
  CheckPictureSize(path, bound(vips_image_get_width(header.image), options.maxWidth),
                   bound(vips_image_get_height(header.image), options.maxHeight));
  PreparedPhoto photo;
  photo.metadata = Metadata(header.image);
  if (KeepsItsBytes(bytes, vips_image_get_orientation(header.image), options) &&
      IsRgbOrGray(header.image)) {
    photo.name = FileNamePart(path);
    photo.width = vips_image_get_width(header.image);
    photo.height = vips_image_get_height(header.image);
    photo.jpeg = bytes;
    return photo;
  }
  // Shrunk while loading where the format allows, turned upright, never enlarged.
  const int width = options.maxWidth > 0 ? options.maxWidth : VIPS_MAX_COORD;
  const int height = options.maxHeight > 0 ? options.maxHeight : VIPS_MAX_COORD;
  Image picture;
  VipsImage* out = nullptr;
  // A picture with a colour profile of its own is converted through it to sRGB; one without
  // is sRGB already (colour-managing it would only shift its colours).
  const char* exportProfile =
      vips_image_get_typeof(header.image, VIPS_META_ICC_NAME) != 0 ? "srgb" : nullptr;
  if (vips_thumbnail_buffer(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), &out, width,
                            "height", height, "size", VIPS_SIZE_DOWN, "export_profile",
                            exportProfile, nullptr) != 0) {
    throw VipsFailure(path);
  }
  picture = Image(out);
  // Transparent parts show the saver's black; then 8 bits per channel of sRGB.
  if (vips_image_hasalpha(picture.image)) {
    VipsArrayDouble* black = vips_array_double_newv(1, 0.0);
    const int failed = vips_flatten(picture.image, &out, "background", black, nullptr);
    vips_area_unref(VIPS_AREA(black));
    if (failed != 0) throw VipsFailure(path);
    picture = Image(out);
  }
  if (vips_colourspace(picture.image, &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0) {
    throw VipsFailure(path);
  }
  picture = Image(out);
  if (vips_cast_uchar(picture.image, &out, nullptr) != 0) throw VipsFailure(path);
  picture = Image(out);
  void* buffer = nullptr;
  std::size_t length = 0;
  if (vips_jpegsave_buffer(picture.image, &buffer, &length, "Q", options.quality, "strip", TRUE,
                           "interlace", FALSE, nullptr) != 0) {
    throw VipsFailure(path);
  }
  photo.jpeg.assign(static_cast<std::uint8_t*>(buffer), static_cast<std::uint8_t*>(buffer) + length);
  g_free(buffer);
  photo.name = ConvertedPhotoName(path);
  photo.width = vips_image_get_width(picture.image);
  photo.height = vips_image_get_height(picture.image);
  photo.converted = true;
  CheckPictureSize(path, photo.width, photo.height);
  return photo;
}

}  // namespace slidesaver
