#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/font.h"
#include "payload/persistent.h"

namespace slidesaver {

// The show configuration record: caption and font, slideshow and music
// options, the lines the setup dialog shows, and the comma lists that locate
// the picture streams and sound blocks (absolute file offsets).
class TSSFileLocations : public TComponent {
 public:
  std::string_view ClassName() const override { return "TSSFileLocations"; }
  std::span<const PropInfo> Properties() const override;

  std::string Text() const { return text_; }
  void SetText(const std::string& v) { text_ = v; }
  TFont& TextFont() { return textFont_; }
  const TFont& TextFont() const { return textFont_; }
  // Copies the font's attributes; the record keeps its own font object.
  void SetTextFont(const TFont& font) { textFont_.Assign(font); }
  bool lRandomStyle = false;
  bool lRandomPic = false;
  bool lClearOldImage = false;
  std::int32_t Interval() const { return interval_; }
  void SetInterval(std::int32_t v) { interval_ = v; }
  std::int32_t SoundRandom() const { return soundRandom_; }
  void SetSoundRandom(std::int32_t v) { soundRandom_ = v; }
  bool lSoundLoop = false;
  bool lMute = false;
  std::string Title() const { return title_; }
  void SetTitle(const std::string& v) { title_ = v; }
  std::string Author() const { return author_; }
  void SetAuthor(const std::string& v) { author_ = v; }
  std::string Email() const { return email_; }
  void SetEmail(const std::string& v) { email_ = v; }
  std::string Web() const { return web_; }
  void SetWeb(const std::string& v) { web_ = v; }
  // How pictures meet the screen: kFitAsAuthored (centred, unscaled),
  // kFitShrink (larger ones shrunk to fit), kFitScale (every one scaled to
  // fit); aspect kept. Written only when not kFitAsAuthored, so that records
  // without it stay as they were.
  std::int32_t PictureFit() const { return pictureFit_; }
  void SetPictureFit(std::int32_t v) { pictureFit_ = v; }
  static constexpr std::int32_t kFitAsAuthored = 0;
  static constexpr std::int32_t kFitShrink = 1;
  static constexpr std::int32_t kFitScale = 2;
  // Where the show runs on a desktop of several monitors: kScreensPrimary (the
  // show on the primary one, the others black) or kScreensEvery (a show of
  // its own on each). Written only when not kScreensPrimary.
  std::int32_t Screens() const { return screens_; }
  void SetScreens(std::int32_t v) { screens_ = v; }
  static constexpr std::int32_t kScreensPrimary = 0;
  static constexpr std::int32_t kScreensEvery = 1;
  // What surrounds a picture that leaves part of the screen empty: kFillBlack, or kFillBlur
  // (the same picture covering the screen, blurred and darkened). Written only when not
  // kFillBlack.
  std::int32_t PictureFill() const { return pictureFill_; }
  void SetPictureFill(std::int32_t v) { pictureFill_ = v; }
  static constexpr std::int32_t kFillBlack = 0;
  static constexpr std::int32_t kFillBlur = 1;
  // Every picture once, in a random order, before any comes again; the place in the deal is
  // kept per user and saver between runs. Before lRandomPic. Written only when true.
  bool lShuffle = false;
  // Each picture's own text from DescriptCommaList is drawn on it, centred at the bottom edge
  // (above the Text caption where both are on one picture). Written only when true.
  bool lPictureCaptions = false;

  // Each comma-list property is backed by a list of strings: setting parses,
  // getting gives the canonical text.
  std::string PicCommaList() const;
  void SetPicCommaList(const std::string& v);
  std::string PicFileNamesCommaList() const;
  void SetPicFileNamesCommaList(const std::string& v);
  std::string SndCommaList() const;
  void SetSndCommaList(const std::string& v);
  std::string SndFileNamesCommaList() const;
  void SetSndFileNamesCommaList(const std::string& v);
  std::string SndSizesCommaList() const;
  void SetSndSizesCommaList(const std::string& v);
  std::string DescriptCommaList() const;
  void SetDescriptCommaList(const std::string& v);

  std::vector<std::string> pictureOffsets, pictureFileNames, soundOffsets, soundFileNames,
      soundSizes, descriptions;

  // List accessors; an index outside the list read raises "Index is out of bounds".
  int GetPicCount() const { return static_cast<int>(pictureOffsets.size()); }
  std::int32_t GetPicOffset(int index) const;
  int GetSndCount() const { return static_cast<int>(soundOffsets.size()); }
  std::int32_t GetSndOffset(int index) const;
  std::string GetSndFileName(int index) const;
  std::int32_t GetSndSize(int index) const;

 private:
  TPersistent* TextFontObject() { return &textFont_; }

  std::string text_;
  TFont textFont_;
  std::int32_t interval_ = 0;
  std::int32_t soundRandom_ = 0;
  std::int32_t pictureFit_ = kFitAsAuthored;
  std::int32_t screens_ = kScreensPrimary;
  std::int32_t pictureFill_ = kFillBlack;
  std::string title_, author_, email_, web_;
};

}  // namespace slidesaver
