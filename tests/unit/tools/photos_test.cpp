#include "tools/photos.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "graphics/jpeg.h"
#include "tests/unit/tools/photo_fixture.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

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

using Photos = test::PhotoFixture;
using test::Blocks;
using test::MeanDifference;

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

TEST_F(Photos, JpegsShrinkToTheBoxNeverEnlargeAndCmykIsConverted) {
  const Bitmap upright = Blocks(64, 48);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    PhotoOptions options;
    int width, height;
    bool converted;
  } cases[] = {
      {"c.jpg", EncodeAdobeCmykJpeg(upright), {}, 64, 48, true},
      {"d.jpg", EncodeJpeg(upright), {.maxWidth = 100, .maxHeight = 100}, 64, 48, false},
      {"e.jpg", EncodeJpeg(upright), {.maxWidth = 32, .maxHeight = 32}, 32, 24, true},
      {"f.jpg", EncodeJpeg(upright), {.maxWidth = 16, .maxHeight = 100}, 16, 12, true},
  };
  for (const auto& c : cases) {
    const PreparedPhoto photo = PreparePhoto(Put(c.name, c.bytes), c.options);
    EXPECT_EQ(photo.converted, c.converted) << c.name;
    const Bitmap shown = DecodeJpeg(photo.jpeg);
    EXPECT_EQ(std::pair(shown.Width(), shown.Height()), std::pair(c.width, c.height)) << c.name;
    EXPECT_FALSE(ReadJpegInfo(photo.jpeg).progressive) << c.name;
  }
  EXPECT_THROW(PreparePhoto(Put("broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 4}), {}), Error);
}

TEST_F(Photos, FoldersGiveTheirPicturesInNameOrder) {
  const std::vector<std::uint8_t> jpeg = EncodeJpeg(Blocks(8, 8));
  for (const char* name : {"b.JPG", "a.png", "notes.txt", "sub/c.jpg", "sub/deeper/d.webp"}) {
    Put(name, jpeg);
  }
  const auto names = [&](bool recursive) {
    std::vector<std::string> found;
    for (const std::string& path : PhotoFiles({scratch.Path()}, recursive)) {
      found.push_back(fs::relative(path, scratch.Path()).generic_string());
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
