#include "payload/builder.h"

#include <cstring>

#include "base/error.h"
#include "payload/graphics.h"
#include "payload/payload.h"
#include "payload/writer.h"

namespace slidesaver {
namespace {

constexpr std::int64_t kMaxFileSize = 2147483647;

void CheckSize(std::int64_t size) {
  if (size > kMaxFileSize) {
    throw Error("The screen saver would be " + std::to_string(size) +
                " bytes long; it can hold at most 2147483647 bytes");
  }
}

std::string TrailerField(std::int64_t value) {
  std::string text = std::to_string(value);
  text.resize(kTrailerFieldSize, ' ');
  return text;
}

}  // namespace

std::vector<std::uint8_t> BuildPayload(std::int64_t playerSize, const std::vector<PayloadPicture>& pictures,
                                       const std::vector<PayloadSound>& sounds, TSSFileLocations& config) {
  std::int64_t total = playerSize + kTrailerSize;
  for (const auto& p : pictures) total += static_cast<std::int64_t>(p.jpeg.size()) + kPictureStreamOverhead;
  for (const auto& s : sounds) total += static_cast<std::int64_t>(s.bytes.size());
  CheckSize(total);
  for (const auto& s : sounds) {
    if (!IsPlainFileName(s.fileName)) {
      throw Error("The sound name \"" + s.fileName + "\" is not a plain file name");
    }
  }

  std::vector<std::uint8_t> payload;
  config.pictureOffsets.clear();
  config.pictureFileNames.clear();
  for (const auto& p : pictures) {
    config.pictureOffsets.push_back(std::to_string(playerSize + static_cast<std::int64_t>(payload.size())));
    config.pictureFileNames.push_back(p.fileName);
    TImage image;
    image.SetLeft(0);
    image.SetTop(0);
    image.SetWidth(105);
    image.SetHeight(105);
    image.Picture().SetGraphic(std::make_unique<TJPEGImage>(p.jpeg));
    ComponentWriter(payload).WriteComponent(image);
  }
  config.soundOffsets.clear();
  config.soundFileNames.clear();
  config.soundSizes.clear();
  for (const auto& s : sounds) {
    config.soundOffsets.push_back(std::to_string(playerSize + static_cast<std::int64_t>(payload.size())));
    config.soundFileNames.push_back(s.fileName);
    config.soundSizes.push_back(std::to_string(s.bytes.size()));
    payload.insert(payload.end(), s.bytes.begin(), s.bytes.end());
  }
  const std::int64_t configOffset = playerSize + static_cast<std::int64_t>(payload.size());
  ComponentWriter(payload).WriteComponent(config);
  CheckSize(playerSize + static_cast<std::int64_t>(payload.size()) + kTrailerSize);

  const std::string trailer =
      TrailerField(static_cast<std::int64_t>(payload.size())) + TrailerField(configOffset);
  payload.insert(payload.end(), trailer.begin(), trailer.end());
  return payload;
}

}  // namespace slidesaver
