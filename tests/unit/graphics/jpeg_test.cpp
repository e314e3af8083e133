#include "graphics/jpeg.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "graphics/graphic.h"
#include "tests/support/error_of.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::ErrorOf;

std::string LibraryError(int code) { return "JPEG error #" + std::to_string(code); }

double MeanAbsoluteDifference(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (std::size_t i = 0; i < a.Stride(); ++i)
      sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
  }
  return sum / (static_cast<double>(a.Stride()) * a.Height());
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), a.Stride()) != 0) return false;
  }
  return true;
}

// Left half pure red, right half pure blue.
Bitmap RedAndBlue(int width, int height) {
  Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.ScanLine(y)[3 * x + (x < width / 2 ? 2 : 0)] = 255;
  }
  return bitmap;
}

// Writes width and height into the first SOF0 segment of a baseline file.
Bytes WithClaimedSize(Bytes jpeg, int width, int height) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no SOF0 marker";
  return jpeg;
}

TEST(JpegTest, HeaderTellsSizeColourAndProgression) {
  const Bitmap picture = MakeTestPattern(100, 60, 1);
  const JpegInfo colour = ReadJpegInfo(EncodeJpeg(picture));
  EXPECT_EQ(colour.width, 100);
  EXPECT_EQ(colour.height, 60);
  EXPECT_FALSE(colour.grayscale);
  EXPECT_FALSE(colour.progressive);

  const JpegInfo gray = ReadJpegInfo(EncodeJpeg(picture, 90, true));
  EXPECT_TRUE(gray.grayscale);
  EXPECT_FALSE(gray.progressive);

  const JpegInfo progressive = ReadJpegInfo(EncodeJpeg(picture, 90, false, true));
  EXPECT_FALSE(progressive.grayscale);
  EXPECT_TRUE(progressive.progressive);
}

TEST(JpegTest, ColourPicturesDecodeCloseToTheOriginalInBgrOrder) {
  const Bitmap pattern = MakeTestPattern(96, 64, 7);
  for (bool progressive : {false, true}) {
    const Bitmap decoded = DecodeJpeg(EncodeJpeg(pattern, 95, false, progressive));
    ASSERT_EQ(decoded.Width(), 96);
    ASSERT_EQ(decoded.Height(), 64);
    EXPECT_LT(MeanAbsoluteDifference(pattern, decoded), 6.0) << "progressive " << progressive;
  }

  const Bitmap decoded = DecodeJpeg(EncodeJpeg(RedAndBlue(64, 32)));
  const std::uint8_t* red = decoded.ScanLine(16) + 3 * 16;
  const std::uint8_t* blue = decoded.ScanLine(16) + 3 * 48;
  EXPECT_GT(red[2], 230);
  EXPECT_LT(red[0], 25);
  EXPECT_GT(blue[0], 230);
  EXPECT_LT(blue[2], 25);
}

TEST(JpegTest, AdobeCmykPicturesShowInTheirColours) {
  const Bitmap pattern = MakeTestPattern(64, 48, 3);
  EXPECT_LT(MeanAbsoluteDifference(pattern, DecodeJpeg(EncodeAdobeCmykJpeg(pattern, 95))), 8.0);

  const Bitmap decoded = DecodeJpeg(EncodeAdobeCmykJpeg(RedAndBlue(64, 32)));
  EXPECT_GT(decoded.ScanLine(16)[3 * 16 + 2], 230);
  EXPECT_LT(decoded.ScanLine(16)[3 * 16 + 0], 25);
}

TEST(JpegTest, GrayscaleIsQuantisedTo236LevelsAndExpanded) {
  Bitmap ramp(512, 16);  // all 256 gray levels, two columns each
  for (int y = 0; y < ramp.Height(); ++y) {
    for (int x = 0; x < ramp.Width(); ++x) std::fill_n(ramp.ScanLine(y) + 3 * x, 3, x / 2);
  }
  const Bitmap decoded = DecodeJpeg(EncodeJpeg(ramp, 100, true));
  std::set<int> levels;
  for (int y = 0; y < decoded.Height(); ++y) {
    for (int x = 0; x < decoded.Width(); ++x) {
      const std::uint8_t* p = decoded.ScanLine(y) + 3 * x;
      ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << "at " << x << "," << y;
      levels.insert(p[0]);
    }
  }
  EXPECT_LE(levels.size(), 236u);
  EXPECT_GT(levels.size(), 200u);
  EXPECT_LT(MeanAbsoluteDifference(ramp, decoded), 3.0);
}

TEST(JpegTest, BadInputRaisesTheLibraryErrorNumber) {
  const Bytes empty;
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  for (const auto& read : std::vector<std::function<void(const Bytes&)>>{
           [](const Bytes& data) { ReadJpegInfo(data); },
           [](const Bytes& data) { DecodeJpeg(data); }}) {
    EXPECT_EQ(ErrorOf([&] { read(empty); }), LibraryError(JERR_INPUT_EMPTY));
    EXPECT_EQ(ErrorOf([&] { read(garbage); }), LibraryError(JERR_NO_SOI));
  }

  // Cut anywhere, a file either fails with a library error or still gives a whole bitmap
  // (damage inside the picture data is only a warning). Cut before the picture data, it fails.
  const Bytes jpeg = EncodeJpeg(MakeTestPattern(48, 32, 5), 90, false, true);
  for (std::size_t size = 1; size < jpeg.size(); size += 7) {
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(size));
    try {
      const Bitmap decoded = DecodeJpeg(cut);
      EXPECT_EQ(decoded.Width(), 48);
      EXPECT_EQ(decoded.Height(), 32);
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()).rfind("JPEG error #", 0), 0u) << error.what();
    }
  }
  EXPECT_EQ(ErrorOf([&] { ReadJpegInfo(Bytes(jpeg.begin(), jpeg.begin() + 40)); }),
            LibraryError(JERR_NO_IMAGE));
}

TEST(JpegTest, HugeOrEndlessPicturesAreRefusedBeforeDecoding) {
  const Bytes jpeg = EncodeJpeg(MakeTestPattern(32, 16, 2));
  const Bytes wide = WithClaimedSize(jpeg, 40000, 8);
  EXPECT_EQ(ReadJpegInfo(wide).width, 40000);
  const std::string side = "; at most 32768 pixels wide and high";
  const std::string pixels = "; at most 67108864 pixels";
  EXPECT_EQ(ErrorOf([&] { DecodeJpeg(wide); }), "JPEG image is too large (40000 x 8)" + side);
  EXPECT_EQ(ErrorOf([&] { DecodeJpeg(WithClaimedSize(jpeg, 20000, 20000)); }),
            "JPEG image is too large (20000 x 20000)" + pixels);
  struct Limit {
    int width, height;
    std::string error;
  };
  for (const Limit& c : {Limit{8193, 8192, "JPEG image is too large (8193 x 8192)" + pixels},
                         Limit{32768, 2049, "JPEG image is too large (32768 x 2049)" + pixels},
                         Limit{32769, 1, "JPEG image is too large (32769 x 1)" + side},
                         Limit{8192, 8192, ""}, Limit{32768, 2048, ""}}) {
    // The file holds next to no data: what is missing decodes as gray, cheaply.
    const Bytes claimed = WithClaimedSize(jpeg, c.width, c.height);
    const TRect corner{c.width - 1, c.height - 1, c.width, c.height};
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(DecodeJpegArea(claimed, corner).Width(), 1); }), c.error);
  }

  // Repeating the last scan of a progressive file gives a tiny file with endless work.
  const Bytes progressive = EncodeJpeg(MakeTestPattern(32, 16, 2), 90, false, true);
  std::size_t last_scan = 0;
  for (std::size_t i = 0; i + 1 < progressive.size(); ++i) {
    if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA) last_scan = i;
  }
  const Bytes scan(progressive.begin() + static_cast<std::ptrdiff_t>(last_scan),
                   progressive.end() - 2);
  Bytes endless(progressive.begin(), progressive.end() - 2);
  for (int i = 0; i < kMaxJpegScans; ++i) endless.insert(endless.end(), scan.begin(), scan.end());
  endless.insert(endless.end(), {0xFF, 0xD9});
  EXPECT_EQ(ErrorOf([&] { DecodeJpeg(endless); }),
            "JPEG image has too many scans (more than " + std::to_string(kMaxJpegScans) + ")");
}

TEST(JpegTest, PaddingGivesTheExactSizeAndTheSamePixels) {
  const Bytes jpeg = EncodeJpeg(MakeDemoPicture(3, 80, 60));
  const Bitmap original = DecodeJpeg(jpeg);
  for (std::size_t extra : {0, 1, 3, 4, 1000, 65537, 65538, 200000}) {
    const Bytes padded = PadJpegTo(jpeg, jpeg.size() + extra);
    ASSERT_EQ(padded.size(), jpeg.size() + extra);
    EXPECT_TRUE(SamePixels(DecodeJpeg(padded), original)) << "extra " << extra;
    if (extra >= 4) {
      EXPECT_EQ(padded[3], 0xFE) << "comment segment first, extra " << extra;
    }
  }
  EXPECT_FALSE(ErrorOf([&] { PadJpegTo(jpeg, jpeg.size() - 1); }).empty());
  EXPECT_FALSE(ErrorOf([&] { PadJpegTo(Bytes{1, 2, 3}, 100); }).empty());
}

// A colour JPEG with the luma sampling factors given (chroma 1 x 1): 2 x 2 is 4:2:0, 2 x 1 4:2:2.
Bytes EncodeSampled(const Bitmap& bitmap, int h, int v, bool progressive) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
  cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  cinfo.comp_info[0].h_samp_factor = h;
  cinfo.comp_info[0].v_samp_factor = v;
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.ScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes jpeg(out, out + size);
  std::free(out);
  return jpeg;
}

TEST(JpegTest, AreaDecodesAsTheCutOutOfTheWholePicture) {
  const Bitmap picture = MakeDemoPicture(2, 203, 157);
  const Bytes progressive = EncodeSampled(picture, 2, 2, true);
  // Scans cut short leave coefficients unknown, which block smoothing then estimates.
  Bytes truncated(progressive.begin(), progressive.begin() + progressive.size() / 4);
  truncated.insert(truncated.end(), {0xFF, 0xD9});
  const std::vector<std::pair<const char*, Bytes>> files = {
      {"4:2:0", EncodeSampled(picture, 2, 2, false)},
      {"4:2:0 progressive", progressive},
      {"4:2:0 progressive truncated", truncated},
      {"4:2:2", EncodeSampled(picture, 2, 1, false)},
      {"4:2:2 progressive", EncodeSampled(picture, 2, 1, true)},
      {"4:4:4", EncodeSampled(picture, 1, 1, false)},
      {"4:4:4 progressive", EncodeSampled(picture, 1, 1, true)},
      {"grayscale", EncodeJpeg(picture, 90, true)},
      {"grayscale progressive", EncodeJpeg(picture, 90, true, true)},
      {"CMYK", EncodeAdobeCmykJpeg(picture)}};
  const std::vector<TRect> areas = {{0, 0, 203, 157},  {0, 0, 40, 30},     {150, 120, 203, 157},
                                    {0, 130, 25, 157}, {180, 0, 203, 17},  {61, 77, 139, 101},
                                    {97, 35, 98, 36},  {33, 49, 170, 150}, {202, 156, 203, 157}};
  for (const auto& [name, jpeg] : files) {
    TBitmapGraphic whole(DecodeJpeg(jpeg));
    for (const TRect& area : areas) {
      EXPECT_TRUE(SamePixels(DecodeJpegArea(jpeg, area), whole.PixelsIn(area)))
          << name << " at " << area.Left << "," << area.Top << "-" << area.Right << ","
          << area.Bottom;
    }
  }
  EXPECT_TRUE(DecodeJpegArea(Bytes{1, 2, 3}, TRect{5, 5, 5, 9}).Empty());  // data not read
  EXPECT_FALSE(ErrorOf([&] { DecodeJpegArea(progressive, TRect{-1, 0, 10, 10}); }).empty());
  EXPECT_FALSE(ErrorOf([&] { DecodeJpegArea(progressive, TRect{0, 0, 10, 158}); }).empty());
}

TEST(JpegTest, StopRequestInterruptsDecoding) {
  const DecodeStop stop = [] { return true; };
  const DecodeStop goOn = [] { return false; };
  const Bitmap pattern = MakeTestPattern(64, 48, 4);
  for (const Bytes& jpeg : {EncodeJpeg(pattern), EncodeJpeg(pattern, 90, false, true),
                            EncodeJpeg(pattern, 90, true)}) {
    EXPECT_EQ(ErrorOf([&] { DecodeJpeg(jpeg, stop); }), "Picture decoding was interrupted");
    EXPECT_EQ(ErrorOf([&] { DecodeJpegArea(jpeg, TRect{8, 8, 20, 20}, stop); }),
              "Picture decoding was interrupted");
    EXPECT_EQ(ErrorOf([&] { DecodeJpegScaled(jpeg, 4, stop); }),
              "Picture decoding was interrupted");
    EXPECT_EQ(DecodeJpeg(jpeg, goOn).Width(), 64);
  }
}

}  // namespace
}  // namespace slidesaver
