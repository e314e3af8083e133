#include "tools/imageio.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "graphics/jpeg.h"
#include "tests/support/error_of.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

// A string literal with its embedded zero bytes.
template <std::size_t N>
std::string Bin(const char (&bytes)[N]) {
  return std::string(bytes, N - 1);
}

using test::ErrorOf;

// A PNG file of `width` x `height` pixels from packed sample rows, written by libpng itself.
std::string EncodePng(int width, int height, int colorType, int bitDepth,
                      const std::vector<std::uint8_t>& samples,
                      const std::vector<png_color>& palette = {},
                      int interlace = PNG_INTERLACE_NONE) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, std::size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, bitDepth, colorType, interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  const std::size_t rowBytes = samples.size() / height;
  std::vector<png_bytep> rows;
  for (int y = 0; y < height; ++y) rows.push_back(const_cast<png_bytep>(&samples[y * rowBytes]));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(ImageIo, PngAndPpmRoundTripsAreExact) {
  test::ScratchFolder folder("imageio");
  const Bitmap picture = MakeTestPattern(37, 21, 5);
  for (const char* name : {"a.png", "b.PPM"}) {
    WriteImage(folder.Path(name), picture);
    EXPECT_EQ(ReadImage(folder.Path(name)), picture) << name;
  }
  // Red, green, blue on disk; overwriting leaves no temporary file behind.
  Bitmap pixel(1, 1);
  pixel.SetPixel(0, 0, 0x0000FF);
  WriteImage(folder.Path("b.PPM"), pixel);
  EXPECT_EQ(test::ScratchFolder::Read(folder.Path("b.PPM")), Bin("P6\n1 1\n255\n\xFF\0\0"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 2);

  // Comments in a PPM header; an interlaced PNG.
  EXPECT_EQ(ReadImage(folder.Write("c.ppm", Bin("P6 # two\n1 # one\n1\n255\n\xFF\0\0"))), pixel);
  const std::vector<std::uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
  const Bitmap read = ReadImage(
      folder.Write("i.png", EncodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, rgb, {}, PNG_INTERLACE_ADAM7)));
  EXPECT_EQ(read.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(read.Pixel(1, 1), 0x090909u);
}

TEST(ImageIo, JpegIsDecodedByTheProjectDecoder) {
  test::ScratchFolder folder("imageio");
  const auto jpeg = EncodeJpeg(MakeTestPattern(64, 48, 2), 95);
  const Bitmap read = ReadImage(folder.Write("p.jpg", jpeg));
  EXPECT_EQ(read.Width(), 64);
  EXPECT_EQ(read, DecodeJpeg(jpeg));
}

TEST(ImageIo, EveryPngKindBecomesEightBitRgb) {
  test::ScratchFolder folder("imageio");
  struct Case {
    const char* name;
    int colorType, bitDepth;
    std::vector<std::uint8_t> samples;  // two pixels
    std::uint32_t first, second;        // 0x00BBGGRR
  };
  const std::vector<png_color> palette = {{10, 20, 30}, {200, 100, 50}}, NoPalette;
  for (const Case& c : {
           Case{"gray8", PNG_COLOR_TYPE_GRAY, 8, {0x40, 0xC0}, 0x404040, 0xC0C0C0},
           Case{"gray1", PNG_COLOR_TYPE_GRAY, 1, {0x80}, 0xFFFFFF, 0x000000},
           Case{"palette", PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, 0x3264C8, 0x1E140A},
           Case{"rgb16",
                PNG_COLOR_TYPE_RGB,
                16,
                {0x12, 0x34, 0, 0xFF, 0xAB, 0xCD, 1, 2, 3, 4, 5, 6},
                0xAB0012,
                0x050301},
           Case{"rgba",
                PNG_COLOR_TYPE_RGB_ALPHA,
                8,
                {10, 20, 30, 0, 40, 50, 60, 128},
                0x1E140A,
                0x3C3228},
           Case{"grayalpha16",
                PNG_COLOR_TYPE_GRAY_ALPHA,
                16,
                {0x7F, 0xFF, 0, 0, 1, 0, 0xFF, 0xFF},
                0x7F7F7F,
                0x010101},
       }) {
    const Bitmap read = ReadImage(folder.Write(
        c.name, EncodePng(2, 1, c.colorType, c.bitDepth, c.samples,
                          c.colorType == PNG_COLOR_TYPE_PALETTE ? palette : NoPalette)));
    EXPECT_EQ(read.Pixel(0, 0), c.first) << c.name;
    EXPECT_EQ(read.Pixel(1, 0), c.second) << c.name;
  }
}

TEST(ImageIo, FailuresNameTheFile) {
  test::ScratchFolder folder("imageio");
  auto read = [&](const std::string& name, const std::string& bytes) {
    return ErrorOf([&] { ReadImage(folder.Write(name, bytes)); });
  };
  const std::string missing = folder.Path("none.png");
  EXPECT_EQ(ErrorOf([&] { ReadImage(missing); }),
            "Cannot read " + missing + ": No such file or directory");
  EXPECT_EQ(read("x.png", "GIF89a"),
            "Cannot read " + folder.Path("x.png") + ": not a PNG, PPM or JPEG file");

  const std::string png = EncodePng(2, 1, PNG_COLOR_TYPE_GRAY, 8, {1, 2});
  EXPECT_EQ(read("t.png", png.substr(0, png.size() - 20)),
            "Cannot read " + folder.Path("t.png") + ": damaged PNG file (unexpected end of file)");
  EXPECT_EQ(read("t.ppm", "P6\n2 1\n255\nabcde"),
            "Cannot read " + folder.Path("t.ppm") + ": PPM pixel data is truncated");
  EXPECT_EQ(read("h.ppm", "P6\n2 "),
            "Cannot read " + folder.Path("h.ppm") + ": PPM header is truncated");
  EXPECT_EQ(
      read("m.ppm", "P6\n1 1\n65535\n"),
      "Cannot read " + folder.Path("m.ppm") + ": PPM maxval 65535 is not supported (only 255)");
  EXPECT_EQ(
      read("big.ppm", "P6\n40000 1\n255\n"),
      "Cannot read " + folder.Path("big.ppm") + ": the picture of 40000 x 1 pixels is too large");
  EXPECT_EQ(read("j.jpg", "\xFF\xD8\xFF")
                .rfind("Cannot read " + folder.Path("j.jpg") + ": JPEG error #", 0),
            0u);

  const std::string bmp = folder.Path("out.bmp");
  EXPECT_EQ(ErrorOf([&] { WriteImage(bmp, Bitmap(2, 2)); }),
            "Cannot write " + bmp + ": unknown image type (use .png or .ppm)");
  EXPECT_EQ(ErrorOf([&] { WriteImage(folder.Path("no/such.png"), Bitmap(2, 2)); }),
            "Cannot write " + folder.Path("no/such.png") + ": No such file or directory");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 7);
}

}  // namespace
}  // namespace slidesaver
