#include "payload/font.h"

#include <array>
#include <cstdlib>

#include "payload/inttext.h"

namespace slidesaver {
namespace {

constexpr std::int32_t Sys(std::uint32_t index) {
  return static_cast<std::int32_t>(0x80000000u + index);
}

constexpr IdentEntry kColors[] = {
    {"clBlack", 0x000000},   {"clMaroon", 0x000080},   {"clGreen", 0x008000},
    {"clOlive", 0x008080},   {"clNavy", 0x800000},     {"clPurple", 0x800080},
    {"clTeal", 0x808000},    {"clGray", 0x808080},     {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},     {"clLime", 0x00FF00},     {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},    {"clFuchsia", 0xFF00FF},  {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},   {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},   {"clMedGray", 0xA4A0A0},
    {"clScrollBar", Sys(0)}, {"clBackground", Sys(1)}, {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)}, {"clMenu", Sys(4)}, {"clWindow", Sys(5)},
    {"clWindowFrame", Sys(6)}, {"clMenuText", Sys(7)}, {"clWindowText", Sys(8)},
    {"clCaptionText", Sys(9)}, {"clActiveBorder", Sys(10)}, {"clInactiveBorder", Sys(11)},
    {"clAppWorkSpace", Sys(12)}, {"clHighlight", Sys(13)}, {"clHighlightText", Sys(14)},
    {"clBtnFace", Sys(15)},  {"clBtnShadow", Sys(16)}, {"clGrayText", Sys(17)},
    {"clBtnText", Sys(18)},  {"clInactiveCaptionText", Sys(19)}, {"clBtnHighlight", Sys(20)},
    {"cl3DDkShadow", Sys(21)}, {"cl3DLight", Sys(22)}, {"clInfoText", Sys(23)},
    {"clInfoBk", Sys(24)},   {"clGradientActiveCaption", Sys(27)},
    {"clGradientInactiveCaption", Sys(28)},
    {"clNone", 0x1FFFFFFF},  {"clDefault", 0x20000000},
};
static_assert(std::size(kColors) == 49);

constexpr IdentEntry kCharsets[] = {
    {"ANSI_CHARSET", 0},        {"DEFAULT_CHARSET", 1},    {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},        {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},     {"GB2312_CHARSET", 134},   {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},     {"TURKISH_CHARSET", 162},  {"HEBREW_CHARSET", 177},
    {"ARABIC_CHARSET", 178},    {"BALTIC_CHARSET", 186},   {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},      {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

constexpr std::string_view kPitchNames[] = {"fpDefault", "fpVariable", "fpFixed"};
constexpr std::string_view kStyleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

std::vector<PropInfo> MakeFontProperties() {
  std::vector<PropInfo> props;
  props.push_back(IntegerProperty<TFont>("Charset", &TFont::Charset, &TFont::SetCharset, kCharsets));
  props.push_back(IntegerProperty<TFont>("Color", &TFont::Color, &TFont::SetColor, kColors));
  props.push_back(IntegerProperty<TFont>("Height", &TFont::Height, &TFont::SetHeight));
  props.push_back(TextProperty<TFont>("Name", &TFont::Name, &TFont::SetName));
  props.push_back(PropInfo{
      "Pitch", PropType::Enumeration, {}, kPitchNames, true, {},
      [](const TPersistent& o) {
        return PropValue{static_cast<std::int64_t>(static_cast<const TFont&>(o).Pitch())};
      },
      [](TPersistent& o, const PropValue& v) {
        static_cast<TFont&>(o).SetPitch(static_cast<TFontPitch>(std::get<std::int64_t>(v)));
      }});
  PropInfo size = IntegerProperty<TFont>("Size", &TFont::Size, &TFont::SetSize);
  size.stored = false;  // follows from Height
  props.push_back(size);
  props.push_back(PropInfo{
      "Style", PropType::Set, {}, kStyleNames, true, {},
      [](const TPersistent& o) { return PropValue{std::int64_t{static_cast<const TFont&>(o).Style()}}; },
      [](TPersistent& o, const PropValue& v) {
        static_cast<TFont&>(o).SetStyle(static_cast<std::uint32_t>(std::get<std::int64_t>(v)));
      }});
  return props;
}

}  // namespace

std::span<const IdentEntry> ColorIdents() { return kColors; }
std::span<const IdentEntry> CharsetIdents() { return kCharsets; }
std::span<const std::string_view> FontPitchNames() { return kPitchNames; }
std::span<const std::string_view> FontStyleNames() { return kStyleNames; }

std::span<const PropInfo> TFont::Properties() const {
  static const std::vector<PropInfo> props = MakeFontProperties();
  return props;
}

bool ParseColor(std::string_view text, std::int32_t& color) {
  if (const IdentEntry* e = FindIdent(kColors, text)) {
    color = e->value;
    return true;
  }
  if (auto v = StrToIntStrict(text)) {
    color = *v;
    return true;
  }
  // Colours are often written as unsigned numbers (clWindowText is 2147483656).
  if (!text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == text.npos) {
    const unsigned long long v = std::strtoull(std::string(text).c_str(), nullptr, 10);
    if (v <= 0xFFFFFFFFull) {
      color = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      return true;
    }
  }
  return false;
}

}  // namespace slidesaver
