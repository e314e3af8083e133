#include "tools/photos.h"

#include <gtest/gtest.h>
#include <vips/vips.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "graphics/jpeg.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

// Blocks of 8 x 8 pixels in colours that tell every block from the others.
Bitmap Blocks(int width, int height) {
  Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bitmap.SetPixel(x, y, std::uint32_t((x / 8) * 40) | std::uint32_t((y / 8) * 60) << 8 | 0x800000);
    }
  }
  return bitmap;
}

// The stored pixel that EXIF orientation `o` shows at (x, y) of the upright picture.
std::pair<int, int> StoredAt(int o, int x, int y, int sw, int sh) {
  switch (o) {
    case 2: return {sw - 1 - x, y};
    case 3: return {sw - 1 - x, sh - 1 - y};
    case 4: return {x, sh - 1 - y};
    case 5: return {y, x};
    case 6: return {y, sh - 1 - x};
    case 7: return {sw - 1 - y, sh - 1 - x};
    case 8: return {sw - 1 - y, x};
    default: return {x, y};
  }
}

// A JPEG of `stored` with an EXIF block that holds only the orientation.
std::vector<std::uint8_t> WithOrientation(const Bitmap& stored, int orientation) {
  std::vector<std::uint8_t> jpeg = EncodeJpeg(stored, 95);
  const std::uint8_t exif[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,  // APP1, its length
                               'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,           // TIFF header, 1 entry
                               0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, std::uint8_t(orientation), 0, 0,
                               0, 0, 0, 0};  // no next IFD
  jpeg.insert(jpeg.begin() + 2, std::begin(exif), std::end(exif));
  return jpeg;
}

int MeanDifference(const Bitmap& a, const Bitmap& b) {
  long long sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        sum += std::abs(int((a.Pixel(x, y) >> shift) & 255) - int((b.Pixel(x, y) >> shift) & 255));
      }
    }
  }
  return static_cast<int>(sum / (3LL * a.Width() * a.Height()));
}

struct Photos : ::testing::Test {
  test::ScratchFolder scratch{"photos_test"};
  std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(fs::path(scratch.Path(name)).parent_path());
    std::ofstream(scratch.Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return scratch.Path(name);
  }
  // `upright` saved by the photo library in a format of its own ("png", "webp").
  std::vector<std::uint8_t> Saved(const Bitmap& upright, const char* format, bool alpha = false) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < upright.Height(); ++y) {
      for (int x = 0; x < upright.Width(); ++x) {
        const std::uint32_t p = upright.Pixel(x, y);
        pixels.insert(pixels.end(), {std::uint8_t(p), std::uint8_t(p >> 8), std::uint8_t(p >> 16)});
        if (alpha) pixels.push_back(x < upright.Width() / 2 ? 0 : 255);  // left half clear
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
};

TEST_F(Photos, EveryExifOrientationEndsUpUpright) {
  const Bitmap upright = Blocks(48, 32);
  for (int o = 1; o <= 8; ++o) {
    const int sw = o <= 4 ? 48 : 32, sh = o <= 4 ? 32 : 48;
    Bitmap stored(sw, sh);
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 48; ++x) {
        const auto [sx, sy] = StoredAt(o, x, y, sw, sh);
        stored.SetPixel(sx, sy, upright.Pixel(x, y));
      }
    }
    const std::vector<std::uint8_t> jpeg = WithOrientation(stored, o);
    const PreparedPhoto photo = PreparePhoto(Put("o" + std::to_string(o) + ".jpeg", jpeg), {});
    EXPECT_EQ(photo.converted, o != 1) << o;
    if (o == 1) {
      EXPECT_EQ(photo.jpeg, jpeg);  // kept byte for byte
    }
    EXPECT_EQ(photo.name, "o" + std::to_string(o) + (o == 1 ? ".jpeg" : ".jpg"));
    const Bitmap shown = DecodeJpeg(photo.jpeg);
    ASSERT_EQ(std::pair(shown.Width(), shown.Height()), std::pair(48, 32)) << o;
    EXPECT_LT(MeanDifference(shown, upright), 10) << "orientation " << o;
  }
}

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
      {"c.jpg", EncodeAdobeCmykJpeg(upright), {}, 64, 48, true},
      {"d.jpg", EncodeJpeg(upright), {.maxWidth = 100, .maxHeight = 100}, 64, 48, false},
      {"e.jpg", EncodeJpeg(upright), {.maxWidth = 32, .maxHeight = 32}, 32, 24, true},
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

TEST_F(Photos, FoldersGiveTheirPicturesInNameOrder) {
  const std::vector<std::uint8_t> jpeg = EncodeJpeg(Blocks(8, 8));
  for (const char* name : {"b.JPG", "a.png", "notes.txt", "sub/c.jpg", "sub/deeper/d.webp"}) {
    Put(name, jpeg);
  }
  const auto names = [&](bool recursive) {
    std::vector<std::string> found;
    for (const std::string& path : PhotoFiles({scratch.Path()}, recursive)) {
      found.push_back(fs::relative(path, scratch.Path()).string());
    }
    return found;
  };
  EXPECT_EQ(names(false), (std::vector<std::string>{"a.png", "b.JPG"}));
  EXPECT_EQ(names(true), (std::vector<std::string>{"a.png", "b.JPG", "sub/c.jpg", "sub/deeper/d.webp"}));
  fs::create_directory(scratch.Path("empty"));
  EXPECT_THROW(PhotoFiles({scratch.Path("empty")}, true), Error);
  EXPECT_THROW(PhotoFiles({scratch.Path("missing.jpg")}, false), Error);
}

}  // namespace
}  // namespace slidesaver
