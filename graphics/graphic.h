#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

#include "base/error.h"
#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/resample.h"

namespace slidesaver {

// A picture in some encoding that can give its pixels as a 24-bit bitmap.
class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual std::string_view ClassName() const = 0;
  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The pixels, decoded on first use.
  virtual const Bitmap& Pixels() = 0;
  // The pixels of `area` (picture coordinates, inside the picture) as a bitmap of the area's
  // size, the same as cut out of Pixels(). A graphic that can decode a part of itself overrides
  // this to spare the work and memory of the whole picture. Raises Error for an area reaching
  // outside the picture.
  virtual Bitmap PixelsIn(const TRect& area) {
    if (area.IsEmpty()) return Bitmap();
    if (area.Left < 0 || area.Top < 0 || area.Right > Width() || area.Bottom > Height()) {
      throw Error("The area lies outside the picture");
    }
    const Bitmap& pixels = Pixels();
    Bitmap part(area.Width(), area.Height());
    for (int y = 0; y < part.Height(); ++y) {
      std::memcpy(part.ScanLine(y),
                  pixels.ScanLine(area.Top + y) + 3 * static_cast<std::size_t>(area.Left),
                  part.Stride());
    }
    return part;
  }
  // The whole picture scaled to width x height (ResampleBitmap). A graphic that can decode
  // itself at a smaller size first overrides this.
  virtual Bitmap PixelsScaled(int width, int height) {
    return ResampleBitmap(Pixels(), width, height);
  }
  virtual std::unique_ptr<TGraphic> Clone() const = 0;
};

// A graphic that is a bitmap already.
class TBitmapGraphic : public TGraphic {
 public:
  TBitmapGraphic() = default;
  explicit TBitmapGraphic(Bitmap pixels) : pixels_(std::move(pixels)) {}
  std::string_view ClassName() const override { return "TBitmap"; }
  bool Empty() const override { return pixels_.Empty(); }
  int Width() const override { return pixels_.Width(); }
  int Height() const override { return pixels_.Height(); }
  const Bitmap& Pixels() override { return pixels_; }
  std::unique_ptr<TGraphic> Clone() const override {
    return std::make_unique<TBitmapGraphic>(pixels_);
  }

 private:
  Bitmap pixels_;
};

// Holds at most one graphic and tells its owner when the content changes.
class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) {
    if (OnChanging) OnChanging();
    graphic_ = std::move(graphic);
    Changed();
  }
  // Copies the other picture's graphic; none clears this one.
  void Assign(const TPicture* other) {
    SetGraphic(other && other->graphic_ ? other->graphic_->Clone() : nullptr);
  }
  // True when there is no graphic or the graphic has no pixels.
  bool Empty() const { return !graphic_ || graphic_->Empty(); }
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  std::function<void()> OnChange;
  // Runs before the graphic is replaced, while the old one still exists.
  std::function<void()> OnChanging;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace slidesaver
