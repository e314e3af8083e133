#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/geometry.h"
#include "base/muldiv.h"
#include "graphics/bitmap.h"
#include "graphics/color.h"
#include "graphics/region.h"

namespace slidesaver {

// How text is drawn: font by family name, size in points, colour and style.
struct TTextFont {
  std::string Name = "MS Sans Serif";
  // Points; a negative size is the character height in pixels at 96 pixels per inch.
  std::int32_t Size = 8;
  // The screen's pixels per inch, at which points become pixels.
  std::int32_t PixelsPerInch = 96;
  TColor Color = clWindowText;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
};

// A length of a layout made for 96 pixels per inch, at `pixelsPerInch` (96 when not positive):
// how dialogs and boxes grow with the screen's scale.
constexpr std::int32_t ScaleToDpi(std::int32_t length, std::int32_t pixelsPerInch) {
  return MulDiv(length, pixelsPerInch > 0 ? pixelsPerInch : 96, 96);
}

// The copy between bitmaps every stretched or mirrored copy goes through:
// nearest neighbour, no blending. Column i of the normalised destination
// (counted from the mirrored side when the signs of the source and destination
// widths differ) takes source column min(sx0, sx1) + floor((2i + 1)|sw| / (2|dw|));
// rows alike. Destination pixels outside `dst` or outside `clip` (when given,
// in destination coordinates) are cut; those whose source pixel lies outside
// `src` are left unchanged. An empty source or destination copies nothing.
void StretchCopy(Bitmap& dst, const TRect& dstRect, const Bitmap& src, const TRect& srcRect,
                 const Region* clip = nullptr);

// Every pixel of `dst` (within the size the three bitmaps share) from `inside`
// where it lies in `where`, else from `outside`, all unscaled at (0, 0): the
// same as drawing `outside` whole and then `inside` clipped to `where`, but
// writing each pixel once.
void SelectCopy(Bitmap& dst, const Bitmap& inside, const Bitmap& outside, const Region& where);

// A drawing surface over a bitmap. Coordinates are those of the bitmap moved
// by the origin; every operation is cut to the bitmap and to the clip region.
class TCanvas {
 public:
  explicit TCanvas(Bitmap& target) : target_(&target) {}
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  Bitmap& Target() { return *target_; }
  void SetTarget(Bitmap& target) { target_ = &target; }

  // Moves the canvas's coordinate system: a point (x, y) lands on pixel
  // (x + origin.X, y + origin.Y) of the bitmap.
  void SetOrigin(TPoint origin) { origin_ = origin; }
  TPoint Origin() const { return origin_; }

  TColor BrushColor() const { return brushColor_; }
  void SetBrushColor(TColor color) { brushColor_ = color; }
  TTextFont& Font() { return font_; }

  void FillRect(const TRect& r);  // with the brush colour
  // Draws a whole bitmap at natural size with its top-left corner at (x, y).
  void Draw(std::int32_t x, std::int32_t y, const Bitmap& src);
  // Draws a whole bitmap scaled to exactly `dest` (a negative extent mirrors).
  void StretchDraw(const TRect& dest, const Bitmap& src);
  // Copies `srcRect` of a bitmap to `dest` by the stretch-copy rule.
  void CopyRect(const TRect& dest, const Bitmap& src, const TRect& srcRect);

  TSize TextExtent(std::string_view utf8);
  // One line of text with its top-left corner at (x, y), background transparent.
  void TextOut(std::int32_t x, std::int32_t y, std::string_view utf8);

  // Clipping, in canvas coordinates.
  void IntersectClip(const Region& region);
  void IntersectClipRect(const TRect& r);
  void RemoveClip();
  bool HasClip() const { return clip_.has_value(); }

  // The surface lock held around composition and final copies.
  void Lock() { mutex_.lock(); }
  bool TryLock() { return mutex_.try_lock(); }
  void Unlock() { mutex_.unlock(); }

 private:
  TRect ToTarget(TRect r) const;
  const Region* ClipInTarget() const { return clip_ ? &*clip_ : nullptr; }

  Bitmap* target_;
  TPoint origin_;
  TColor brushColor_ = clWhite;
  TTextFont font_;
  std::optional<Region> clip_;  // in bitmap coordinates
  std::recursive_mutex mutex_;
};

}  // namespace slidesaver
