// The formats only libvips reads and writes here: each becomes an upright JPEG.

#include <gtest/gtest.h>
#include <vips/vips.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/jpeg.h"
#include "graphics/photo.h"
#include "tests/unit/tools/photo_fixture.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

using test::Blocks;
using test::MeanDifference;

// `upright` saved by libvips in a format of its own ("png", "webp"); `alpha` clears the left half.
std::vector<std::uint8_t> Saved(const Bitmap& upright, const char* format, bool alpha = false) {
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < upright.Height(); ++y) {
    for (int x = 0; x < upright.Width(); ++x) {
      const std::uint32_t p = upright.Pixel(x, y);
      pixels.insert(pixels.end(), {std::uint8_t(p), std::uint8_t(p >> 8), std::uint8_t(p >> 16)});
      if (alpha) pixels.push_back(x < upright.Width() / 2 ? 0 : 255);
    }
  }
  VipsImage* image = vips_image_new_from_memory_copy(pixels.data(), pixels.size(), upright.Width(),
                                                     upright.Height(), alpha ? 4 : 3, VIPS_FORMAT_UCHAR);
  void* buffer = nullptr;
  std::size_t length = 0;
  EXPECT_EQ(vips_image_write_to_buffer(image, ("." + std::string(format)).c_str(), &buffer, &length,
                                       nullptr), 0);
  g_object_unref(image);
  std::vector<std::uint8_t> bytes(static_cast<std::uint8_t*>(buffer), static_cast<std::uint8_t*>(buffer) + length);
  g_free(buffer);
  return bytes;
}

using Photos = test::PhotoFixture;

TEST_F(Photos, OtherFormatsBecomeJpegsAndMaxSizeNeverEnlarges) {
  const Bitmap upright = Blocks(64, 48);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    PhotoOptions options;
    int width, height;
    bool converted;
  } cases[] = {
      {"a.png", Saved(upright, "png"), {}, 64, 48, true},
      {"b.webp", Saved(upright, "webp"), {}, 64, 48, true},
      {"b.heic", Saved(upright, "heic"), {}, 64, 48, true},
      {"b.avif", Saved(upright, "avif"), {}, 64, 48, true},
      {"b.tif", Saved(upright, "tif"), {}, 64, 48, true},
      {"b.gif", Saved(upright, "gif"), {}, 64, 48, true},
      {"f.png", Saved(upright, "png"), {.maxWidth = 16, .maxHeight = 100}, 16, 12, true},
  };
  for (const auto& c : cases) {
    const PreparedPhoto photo = PreparePhoto(Put(c.name, c.bytes), c.options);
    EXPECT_EQ(photo.converted, c.converted) << c.name;
    const Bitmap shown = DecodeJpeg(photo.jpeg);
    EXPECT_EQ(std::pair(shown.Width(), shown.Height()), std::pair(c.width, c.height)) << c.name;
    // CMYK goes through a colour profile, not the simple formula that made the file.
    if (c.width == 64 && c.bytes[0] != 0xFF) {
      EXPECT_LT(MeanDifference(shown, upright), 10) << c.name;
    }
  }
  // A picture without a colour profile keeps its colours (no profile conversion shifts them).
  Bitmap flat(16, 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) flat.SetPixel(x, y, 0xC83C3C);  // red 60, green 60, blue 200
  }
  const PreparedPhoto plain = PreparePhoto(Put("flat.png", Saved(flat, "png")), {});
  const std::uint32_t kept = DecodeJpeg(plain.jpeg).Pixel(8, 8);
  EXPECT_LT(std::abs(int(kept & 255) - 60) + std::abs(int((kept >> 8) & 255) - 60) +
                std::abs(int(kept >> 16) - 200), 6) << std::hex << kept;
  // Clear parts show the saver's black.
  const Bitmap clear = DecodeJpeg(PreparePhoto(Put("g.png", Saved(upright, "png", true)), {}).jpeg);
  EXPECT_LT((clear.Pixel(4, 4) & 0xFF) + (clear.Pixel(4, 4) >> 16), 16u);
  EXPECT_EQ(ReadJpegInfo(PreparePhoto(Put("h.png", Saved(upright, "png")), {.quality = 40}).jpeg).progressive,
            false);
}

}  // namespace
}  // namespace slidesaver
