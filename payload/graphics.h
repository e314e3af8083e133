#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/graphic.h"
#include "graphics/jpeg.h"
#include "payload/persistent.h"
#include "payload/stream.h"

namespace slidesaver {

// A graphic whose data a picture data block carries.
class TStreamableGraphic : public TGraphic {
 public:
  // Reads the graphic's own data from the rest of a picture data block.
  virtual void ReadData(InputStream& block) = 0;
};

// A JPEG picture, decoded when its pixels are first asked for. Every decode gives up with
// Error("Picture decoding was interrupted") once the process is asked to end
// (TerminationRequested), so that a large picture never delays the end of the program.
class TJPEGImage : public TStreamableGraphic {
 public:
  TJPEGImage() = default;
  // Takes a JPEG file's bytes and reads its header at once.
  explicit TJPEGImage(std::vector<std::uint8_t> jpeg);

  std::string_view ClassName() const override { return "TJPEGImage"; }
  bool Empty() const override { return data_.empty(); }
  int Width() const override { return info_.width; }
  int Height() const override { return info_.height; }
  bool Grayscale() const { return info_.grayscale; }
  bool ProgressiveEncoding() const { return info_.progressive; }
  // A signed 32-bit size, then that many bytes of JPEG data.
  void ReadData(InputStream& block) override;
  const Bitmap& Pixels() override;
  // Cut from the pixels when they are decoded already; otherwise decodes only what the area
  // needs (DecodeJpegArea) and keeps nothing of it.
  Bitmap PixelsIn(const TRect& area) override;
  // Decodes at the smallest of the library's scales (eighths) that still gives at least
  // width x height, then resamples; keeps nothing of it.
  Bitmap PixelsScaled(int width, int height) override;
  std::unique_ptr<TGraphic> Clone() const override;

  const std::vector<std::uint8_t>& Data() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  JpegInfo info_;
  std::optional<Bitmap> pixels_;
};

// Streams a picture as the defined value "Data": the graphic's class name as
// a short string, then the graphic's own data.
class TPictureData : public TPersistent {
 public:
  explicit TPictureData(TPicture& picture) : picture_(picture) {}
  std::string_view ClassName() const override { return "TPicture"; }
  std::span<const PropInfo> Properties() const override { return {}; }
  bool ReadDefined(std::string_view name, ComponentReader& reader) override;
  void WriteDefined(ComponentWriter& writer, const std::string& prefix) const override;

 private:
  void ReadDataBlock(std::span<const std::uint8_t> block);
  TPicture& picture_;
};

// The picture record of a picture stream.
class TImage : public TComponent {
 public:
  std::string_view ClassName() const override { return "TImage"; }
  std::span<const PropInfo> Properties() const override;

  std::int32_t Left() const { return left_; }
  void SetLeft(std::int32_t v) { left_ = v; }
  std::int32_t Top() const { return top_; }
  void SetTop(std::int32_t v) { top_ = v; }
  std::int32_t Width() const { return width_; }
  void SetWidth(std::int32_t v) { width_ = v; }
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t v) { height_ = v; }
  TPicture& Picture() { return picture_; }
  const TPicture& Picture() const { return picture_; }

 private:
  TPersistent* PictureObject() { return &pictureData_; }
  std::int32_t left_ = 0;
  std::int32_t top_ = 0;
  std::int32_t width_ = 105;
  std::int32_t height_ = 105;
  TPicture picture_;
  TPictureData pictureData_{picture_};
};

}  // namespace slidesaver
