#include "graphics/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace slidesaver {
namespace {

constexpr std::uint32_t kBackground = 0xD0E0F0;  // 0x00BBGGRR
const std::string kSample = "Hello, World!";

TTextFont Font(const std::string& name, std::int32_t size, TColor color = 0xCC6633) {
  TTextFont font;
  font.Name = name;
  font.Size = size;
  font.Color = color;
  return font;
}

Bitmap Canvas(int width, int height, std::uint32_t fill = kBackground) {
  Bitmap bitmap(width, height);
  bitmap.Fill(fill);
  return bitmap;
}

// The smallest rectangle holding every pixel that differs from `fill`.
TRect Touched(const Bitmap& bitmap, std::uint32_t fill = kBackground) {
  TRect box;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.Pixel(x, y) != fill) box = UnionRect(box, Rect(x, y, x + 1, y + 1));
    }
  }
  return box;
}

std::uint8_t Channel(std::uint32_t rgb, int shift) { return (rgb >> shift) & 0xFF; }

TEST(TextExtent, LineHeightIsFixedAndWidthGrowsWithTextAndSize) {
  for (const char* name : {"MS Sans Serif", "Arial"}) {
    SCOPED_TRACE(name);
    const TTextFont small = Font(name, 8);
    const TSize empty = MeasureText(small, "");
    const TSize a = MeasureText(small, "Hello");
    const TSize b = MeasureText(small, kSample);
    EXPECT_EQ(empty.cx, 0);
    EXPECT_GT(empty.cy, 0);
    EXPECT_EQ(a.cy, empty.cy);
    EXPECT_EQ(b.cy, empty.cy);
    EXPECT_GT(a.cx, 0);
    EXPECT_GT(b.cx, a.cx);

    const TSize big = MeasureText(Font(name, 16), kSample);
    EXPECT_GT(big.cx, b.cx);
    EXPECT_GT(big.cy, b.cy);
    // 8 points at 96 pixels per inch are 11 pixels; a negative size is in pixels.
    EXPECT_EQ(MeasureText(Font(name, -11), kSample), b);
  }
}

TEST(TextExtent, InvalidUtf8BecomesReplacementCharacter) {
  const TTextFont font = Font("MS Sans Serif", 12);
  // Letters after the escapes are no hex digits, so every escape is one byte.
  const TSize replaced = MeasureText(font, "a\uFFFDz");
  EXPECT_EQ(MeasureText(font, "a\xFFz"), replaced);
  EXPECT_EQ(MeasureText(font, "a\xE2\x82z"), replaced);  // a cut-off sequence is one U+FFFD
  EXPECT_EQ(MeasureText(font, "a\xED\xA0\x80z"), MeasureText(font, "a\uFFFD\uFFFD\uFFFDz"));
  EXPECT_EQ(MeasureText(font, "a\xC0\xAFz"), MeasureText(font, "a\uFFFD\uFFFDz"));
  EXPECT_NE(MeasureText(font, "a\xE2\x82\xACz"), replaced);  // a valid euro sign
}

TEST(TextExtent, ExtremeSizesStayBounded) {
  for (std::int32_t size : {0, INT32_MIN, INT32_MAX, -1}) {
    const TSize s = MeasureText(Font("Arial", size), "x");
    EXPECT_GT(s.cy, 0);
    EXPECT_LT(s.cy, 4096);
  }
}

TEST(TextDraw, GlyphsStayInsideTheLineBoxAndBackgroundIsKept) {
  for (const char* name : {"MS Sans Serif", "Arial"}) {
    for (bool bold : {false, true}) {
      SCOPED_TRACE(std::string(name) + (bold ? " bold" : ""));
      TTextFont font = Font(name, 14);
      font.Bold = bold;
      font.Italic = bold;
      Bitmap bitmap = Canvas(300, 60);
      DrawText(bitmap, 20, 10, font, kSample);
      const TSize extent = MeasureText(font, kSample);
      const TRect touched = Touched(bitmap);
      ASSERT_FALSE(touched.IsEmpty());
      // Glyph outlines may overhang their advance by a pixel or two sideways
      // (left side bearing of the first glyph, italic slant of the last).
      EXPECT_GE(touched.Left, 20 - 2);
      EXPECT_LE(touched.Right, 20 + extent.cx + 2);
      EXPECT_GE(touched.Top, 10);
      EXPECT_LE(touched.Bottom, 10 + extent.cy);

      bool fullyCovered = false;
      for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) fullyCovered |= bitmap.Pixel(x, y) == font.Color;
      }
      EXPECT_TRUE(fullyCovered);
    }
  }
}

TEST(TextDraw, CoverageBlendsTowardsTheColour) {
  TTextFont font = Font("Arial", 12, clWhite);
  Bitmap coverage = Canvas(200, 40, clBlack);  // white over black: each channel is the coverage
  DrawText(coverage, 5, 5, font, kSample);

  font.Color = 0x30F00A;  // blue 0x30, green 0xF0, red 0x0A
  Bitmap blended = Canvas(200, 40);
  DrawText(blended, 5, 5, font, kSample);
  for (int y = 0; y < coverage.Height(); ++y) {
    for (int x = 0; x < coverage.Width(); ++x) {
      const int alpha = Channel(coverage.Pixel(x, y), 0);
      for (int shift : {0, 8, 16}) {
        const int bg = Channel(kBackground, shift);
        const int t = (Channel(font.Color, shift) - bg) * alpha;
        const int expected = bg + (t >= 0 ? (t + 127) / 255 : -((-t + 127) / 255));
        ASSERT_EQ(Channel(blended.Pixel(x, y), shift), expected) << x << "," << y;
      }
    }
  }
}

TEST(TextDraw, ClipAndBitmapEdgesCutWithoutMovingGlyphs) {
  const TTextFont font = Font("MS Sans Serif", 12);
  Bitmap full = Canvas(160, 40);
  DrawText(full, 10, 8, font, kSample);

  const Region clip =
      Region::FromRect(Rect(30, 0, 70, 40)).Union(Region::FromRect(Rect(0, 20, 160, 23)));
  Bitmap clipped = Canvas(160, 40);
  DrawText(clipped, 10, 8, font, kSample, &clip);
  for (int y = 0; y < full.Height(); ++y) {
    for (int x = 0; x < full.Width(); ++x) {
      ASSERT_EQ(clipped.Pixel(x, y), clip.Contains(x, y) ? full.Pixel(x, y) : kBackground);
    }
  }

  // A small bitmap looking at part of the large one, the text reaching past
  // its top-left and bottom-right corners.
  for (const TPoint& view : {TPoint{14, 12}, TPoint{-30, -20}, TPoint{60, 0}}) {
    Bitmap part = Canvas(40, 12);
    DrawText(part, 10 - view.X, 8 - view.Y, font, kSample);
    for (int y = 0; y < part.Height(); ++y) {
      for (int x = 0; x < part.Width(); ++x) {
        const int fx = x + view.X;
        const int fy = y + view.Y;
        const bool inside = fx >= 0 && fy >= 0 && fx < full.Width() && fy < full.Height();
        ASSERT_EQ(part.Pixel(x, y), inside ? full.Pixel(fx, fy) : kBackground);
      }
    }
  }

  Bitmap untouched = Canvas(40, 12);
  for (std::int32_t c : {INT32_MIN, INT32_MAX, -1000}) DrawText(untouched, c, c, font, kSample);
  const Region empty;
  DrawText(untouched, 0, 0, font, kSample, &empty);
  DrawText(untouched, 0, 0, font, "");
  EXPECT_TRUE(Touched(untouched).IsEmpty());
  Bitmap none;
  DrawText(none, 0, 0, font, kSample);
}

TEST(TextDraw, UnderlineAndStrikeOutSpanTheAdvance) {
  TTextFont font = Font("Arial", 16);
  const std::string spaces = "    ";
  const TSize extent = MeasureText(font, spaces);
  auto strokeRows = [&](bool underline) {
    font.Underline = underline;
    font.StrikeOut = !underline;
    Bitmap bitmap = Canvas(100, 40);
    DrawText(bitmap, 7, 5, font, spaces);
    const TRect touched = Touched(bitmap);
    EXPECT_EQ(touched.Left, 7);
    EXPECT_EQ(touched.Right, 7 + extent.cx);
    EXPECT_GE(touched.Top, 5);
    EXPECT_LE(touched.Bottom, 5 + extent.cy);
    for (int y = touched.Top; y < touched.Bottom; ++y) {
      for (int x = touched.Left; x < touched.Right; ++x) EXPECT_EQ(bitmap.Pixel(x, y), font.Color);
    }
    return touched;
  };
  const TRect under = strokeRows(true);
  const TRect strike = strokeRows(false);
  EXPECT_LE(strike.Bottom, under.Top);
  EXPECT_GE(under.Top, 5 + extent.cy / 2);  // below the baseline, in the lower half of the box
}

TEST(TextDraw, VeryLongLinesAreLaidOutUpToTheCap) {
  TTextFont font = Font("Arial", 12);
  font.Underline = true;
  for (const std::string unit : {"x", "\u00e9"}) {  // the cap counts code points, not bytes
    std::string capped;
    for (std::size_t i = 0; i < kMaxLineCodePoints; ++i) capped += unit;
    const std::string longer = capped + std::string(300000, 'W');
    const TSize extent = MeasureText(font, capped);
    EXPECT_EQ(MeasureText(font, longer), extent);
    EXPECT_LT(MeasureText(font, capped.substr(unit.size())).cx, extent.cx);

    // Drawn so that the cap falls inside the bitmap, the line and its underline end there.
    Bitmap bitmap = Canvas(100, 30);
    DrawText(bitmap, 50 - extent.cx, 5, font, longer);
    const TRect touched = Touched(bitmap);
    EXPECT_EQ(touched.Left, 0);
    EXPECT_GE(touched.Right, 48);
    EXPECT_LE(touched.Right, 52);
  }
}

}  // namespace
}  // namespace slidesaver
