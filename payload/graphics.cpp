#include "payload/graphics.h"

#include "base/error.h"
#include "payload/reader.h"
#include "payload/registry.h"
#include "payload/stream.h"
#include "payload/textcodec.h"
#include "payload/writer.h"
#include "system/signals.h"

namespace slidesaver {

TJPEGImage::TJPEGImage(std::vector<std::uint8_t> jpeg) : data_(std::move(jpeg)) {
  if (!data_.empty()) info_ = ReadJpegInfo(data_);
}

void TJPEGImage::ReadData(InputStream& block) {
  *this = TJPEGImage(block.ReadBytes(block.ReadInt32()));
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
  auto copy = std::make_unique<TJPEGImage>();
  copy->data_ = data_;
  copy->info_ = info_;
  copy->pixels_ = pixels_;
  return copy;
}

const Bitmap& TJPEGImage::Pixels() {
  if (!pixels_) pixels_ = data_.empty() ? Bitmap() : DecodeJpeg(data_, TerminationRequested);
  return *pixels_;
}

Bitmap TJPEGImage::PixelsIn(const TRect& area) {
  if (pixels_ || data_.empty()) return TStreamableGraphic::PixelsIn(area);
  return DecodeJpegArea(data_, area, TerminationRequested);
}

Bitmap TJPEGImage::PixelsScaled(int width, int height) {
  if (pixels_ || data_.empty()) return TStreamableGraphic::PixelsScaled(width, height);
  int eighths = 1;
  const auto scaled = [](int side, int n) { return (side * n + 7) / 8; };
  while (eighths < 8 &&
         (scaled(info_.width, eighths) < width || scaled(info_.height, eighths) < height)) {
    ++eighths;
  }
  return ResampleBitmap(DecodeJpegScaled(data_, eighths, TerminationRequested), width, height);
}

bool TPictureData::ReadDefined(std::string_view name, ComponentReader& reader) {
  if (!SameText(name, "Data")) return false;
  if (reader.ReadValueKind() != vaBinary) throw Error("Invalid property value");
  ReadDataBlock(reader.ReadBinaryBody());
  return true;
}

void TPictureData::ReadDataBlock(std::span<const std::uint8_t> block) {
  InputStream in(block);
  const std::uint8_t length = in.ReadByte();
  std::string className(length, '\0');
  in.ReadBuffer(className.data(), length);
  std::unique_ptr<TStreamableGraphic> graphic = CreateGraphicClass(className);
  if (graphic) graphic->ReadData(in);  // bytes behind the graphic's data are ignored
  picture_.SetGraphic(std::move(graphic));
}

void TPictureData::WriteDefined(ComponentWriter& writer, const std::string& prefix) const {
  const auto* jpeg = dynamic_cast<const TJPEGImage*>(picture_.Graphic());
  if (jpeg == nullptr) return;
  std::vector<std::uint8_t> block;
  block.push_back(static_cast<std::uint8_t>(jpeg->ClassName().size()));
  block.insert(block.end(), jpeg->ClassName().begin(), jpeg->ClassName().end());
  const auto size = static_cast<std::uint32_t>(jpeg->Data().size());
  for (int i = 0; i < 4; ++i) block.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  block.insert(block.end(), jpeg->Data().begin(), jpeg->Data().end());
  writer.WritePropertyName(prefix + "Data");
  writer.WriteBinary(block);
}

std::span<const PropInfo> TImage::Properties() const {
  static const std::vector<PropInfo> props = {
      IntegerProperty<TImage>("Left", &TImage::Left, &TImage::SetLeft),
      IntegerProperty<TImage>("Top", &TImage::Top, &TImage::SetTop),
      IntegerProperty<TImage>("Width", &TImage::Width, &TImage::SetWidth),
      IntegerProperty<TImage>("Height", &TImage::Height, &TImage::SetHeight),
      ObjectProperty<TImage>("Picture", &TImage::PictureObject),
  };
  return props;
}

}  // namespace slidesaver
