#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/muldiv.h"
#include "payload/persistent.h"

namespace slidesaver {

// Colour values: 0x00BBGGRR, or 0x80000000 plus a system colour index.
constexpr std::int32_t kClWindowText = static_cast<std::int32_t>(0x80000008u);
constexpr std::int32_t kDefaultCharset = 1;

std::span<const IdentEntry> ColorIdents();
std::span<const IdentEntry> CharsetIdents();

// Resolves "clYellow" (any letter case) or a number (decimal, or hexadecimal
// with $ or 0x; unsigned values up to 0xFFFFFFFF allowed). False when neither.
bool ParseColor(std::string_view text, std::int32_t& color);

enum class TFontPitch { fpDefault, fpVariable, fpFixed };
enum TFontStyle : std::uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

std::span<const std::string_view> FontPitchNames();
std::span<const std::string_view> FontStyleNames();

class TFont : public TPersistent {
 public:
  static constexpr int kPixelsPerInch = 96;

  std::string_view ClassName() const override { return "TFont"; }
  std::span<const PropInfo> Properties() const override;

  std::int32_t Charset() const { return charset_; }
  void SetCharset(std::int32_t v) { charset_ = v & 0xFF; }
  std::int32_t Color() const { return color_; }
  void SetColor(std::int32_t v) { color_ = v; }
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t v) { height_ = v; }
  std::string Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch v) { pitch_ = v; }
  // Size in points at 96 pixels per inch, derived from Height.
  std::int32_t Size() const { return -MulDiv(height_, 72, kPixelsPerInch); }
  void SetSize(std::int32_t points) { height_ = -MulDiv(points, kPixelsPerInch, 72); }
  std::uint32_t Style() const { return style_; }
  void SetStyle(std::uint32_t v) { style_ = v & 0xF; }

  void Assign(const TFont& other) { *this = other; }

 private:
  std::int32_t charset_ = kDefaultCharset;
  std::int32_t color_ = kClWindowText;
  std::int32_t height_ = -11;  // 8 points
  std::string name_ = "MS Sans Serif";
  TFontPitch pitch_ = TFontPitch::fpDefault;
  std::uint32_t style_ = 0;
};

}  // namespace slidesaver
