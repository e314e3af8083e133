#include "payload/config.h"

#include "base/error.h"
#include "payload/commalist.h"
#include "payload/inttext.h"

namespace slidesaver {
namespace {

const std::string& ItemAt(const std::vector<std::string>& list, int index) {
  if (index < 0 || index >= static_cast<int>(list.size())) throw Error("Index is out of bounds");
  return list[static_cast<std::size_t>(index)];
}

}  // namespace

std::span<const PropInfo> TSSFileLocations::Properties() const {
  using T = TSSFileLocations;
  static const std::vector<PropInfo> props = {
      TextProperty<T>("Text", &T::Text, &T::SetText),
      ObjectProperty<T>("TextFont", &T::TextFontObject),
      BooleanProperty<T>("lRandomStyle", &T::lRandomStyle),
      BooleanProperty<T>("lRandomPic", &T::lRandomPic),
      BooleanProperty<T>("lClearOldImage", &T::lClearOldImage),
      IntegerProperty<T>("Interval", &T::Interval, &T::SetInterval),
      IntegerProperty<T>("SoundRandom", &T::SoundRandom, &T::SetSoundRandom),
      BooleanProperty<T>("lSoundLoop", &T::lSoundLoop),
      BooleanProperty<T>("lMute", &T::lMute),
      TextProperty<T>("Title", &T::Title, &T::SetTitle),
      TextProperty<T>("Author", &T::Author, &T::SetAuthor),
      TextProperty<T>("Email", &T::Email, &T::SetEmail),
      TextProperty<T>("Web", &T::Web, &T::SetWeb),
      TextProperty<T>("PicCommaList", &T::PicCommaList, &T::SetPicCommaList),
      TextProperty<T>("PicFileNamesCommaList", &T::PicFileNamesCommaList, &T::SetPicFileNamesCommaList),
      TextProperty<T>("SndCommaList", &T::SndCommaList, &T::SetSndCommaList),
      TextProperty<T>("SndFileNamesCommaList", &T::SndFileNamesCommaList, &T::SetSndFileNamesCommaList),
      TextProperty<T>("SndSizesCommaList", &T::SndSizesCommaList, &T::SetSndSizesCommaList),
      TextProperty<T>("DescriptCommaList", &T::DescriptCommaList, &T::SetDescriptCommaList),
      IntegerProperty<T>("PictureFit", &T::PictureFit, &T::SetPictureFit, {}, T::kFitAsAuthored),
      IntegerProperty<T>("Screens", &T::Screens, &T::SetScreens, {}, T::kScreensPrimary),
      IntegerProperty<T>("PictureFill", &T::PictureFill, &T::SetPictureFill, {}, T::kFillBlack),
      BooleanProperty<T>("lShuffle", &T::lShuffle, 0),
      BooleanProperty<T>("lPictureCaptions", &T::lPictureCaptions, 0),
  };
  return props;
}

std::string TSSFileLocations::PicCommaList() const { return FormatCommaList(pictureOffsets); }
void TSSFileLocations::SetPicCommaList(const std::string& v) { pictureOffsets = ParseCommaList(v); }
std::string TSSFileLocations::PicFileNamesCommaList() const { return FormatCommaList(pictureFileNames); }
void TSSFileLocations::SetPicFileNamesCommaList(const std::string& v) { pictureFileNames = ParseCommaList(v); }
std::string TSSFileLocations::SndCommaList() const { return FormatCommaList(soundOffsets); }
void TSSFileLocations::SetSndCommaList(const std::string& v) { soundOffsets = ParseCommaList(v); }
std::string TSSFileLocations::SndFileNamesCommaList() const { return FormatCommaList(soundFileNames); }
void TSSFileLocations::SetSndFileNamesCommaList(const std::string& v) { soundFileNames = ParseCommaList(v); }
std::string TSSFileLocations::SndSizesCommaList() const { return FormatCommaList(soundSizes); }
void TSSFileLocations::SetSndSizesCommaList(const std::string& v) { soundSizes = ParseCommaList(v); }
std::string TSSFileLocations::DescriptCommaList() const { return FormatCommaList(descriptions); }
void TSSFileLocations::SetDescriptCommaList(const std::string& v) { descriptions = ParseCommaList(v); }

std::int32_t TSSFileLocations::GetPicOffset(int index) const {
  return ListItemValue(ItemAt(pictureOffsets, index));
}
std::int32_t TSSFileLocations::GetSndOffset(int index) const {
  return ListItemValue(ItemAt(soundOffsets, index));
}
std::string TSSFileLocations::GetSndFileName(int index) const { return ItemAt(soundFileNames, index); }
std::int32_t TSSFileLocations::GetSndSize(int index) const {
  return ListItemValue(ItemAt(soundSizes, index));
}

}  // namespace slidesaver
