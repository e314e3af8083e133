#include "graphics/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "base/error.h"
#include "base/muldiv.h"
#include "graphics/coverage.h"

namespace slidesaver {
namespace {

constexpr char32_t kReplacementChar = 0xFFFD;
// Pixel heights are kept within what FreeType and memory handle comfortably.
constexpr std::int64_t kMaxPixelHeight = 2048;
// A size of 0 takes the height of the default 8-point font.
constexpr std::int32_t kDefaultPoints = 8;
constexpr std::size_t kMaxFaces = 8;
constexpr std::size_t kMaxFontFiles = 64;

// ---------------------------------------------------------------------------
// UTF-8

// The inclusive range the byte after `lead` must lie in, for the leads that
// start multi-byte sequences; this rules out overlong forms, surrogates and
// code points above U+10FFFF.
struct LeadInfo {
  int continuationBytes;
  std::uint8_t secondLow;
  std::uint8_t secondHigh;
};

bool ClassifyLead(std::uint8_t lead, LeadInfo& info) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    info = {1, 0x80, 0xBF};
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    info = {2, static_cast<std::uint8_t>(lead == 0xE0 ? 0xA0 : 0x80),
            static_cast<std::uint8_t>(lead == 0xED ? 0x9F : 0xBF)};
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    info = {3, static_cast<std::uint8_t>(lead == 0xF0 ? 0x90 : 0x80),
            static_cast<std::uint8_t>(lead == 0xF4 ? 0x8F : 0xBF)};
  } else {
    return false;
  }
  return true;
}

// The code point that starts at `text[i]`, moving `i` past it; every invalid
// byte, and every cut-off sequence as a whole, becomes U+FFFD.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<std::uint8_t>(text[i++]);
  if (lead < 0x80) return lead;
  LeadInfo info{};
  if (!ClassifyLead(lead, info)) return kReplacementChar;
  char32_t cp = lead & (0x3F >> info.continuationBytes);
  for (int k = 0; k < info.continuationBytes; ++k) {
    const std::uint8_t low = k == 0 ? info.secondLow : 0x80;
    const std::uint8_t high = k == 0 ? info.secondHigh : 0xBF;
    if (i >= text.size()) return kReplacementChar;
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < low || byte > high) return kReplacementChar;
    cp = (cp << 6) | (byte & 0x3F);
    ++i;
  }
  return cp;
}

// ---------------------------------------------------------------------------
// Font lookup and the face cache

// A font file as fontconfig picked it, with the styles the file lacks and
// that have to be synthesised.
struct FontFile {
  std::string path;
  int index = 0;
  bool embolden = false;
  bool oblique = false;
};

struct ScaledFace {
  FT_Face face = nullptr;
  bool embolden = false;
  bool oblique = false;
};

std::int32_t PixelHeight(std::int32_t size, std::int32_t pixelsPerInch) {
  const std::int32_t ppi = pixelsPerInch > 0 ? pixelsPerInch : 96;
  // In 64 bits: the size may be any 32-bit value, the most negative one too.
  const std::int64_t magnitude = size < 0 ? -static_cast<std::int64_t>(size) : size;
  std::int64_t px = (magnitude * ppi + (size < 0 ? 48 : 36)) / (size < 0 ? 96 : 72);
  if (px <= 0) px = MulDiv(kDefaultPoints, ppi, 72);
  return static_cast<std::int32_t>(std::min(px, kMaxPixelHeight));
}

std::string FontLabel(const std::string& name) { return "\"" + name + "\""; }

FontFile MatchFont(FcConfig* config, const TTextFont& font) {
  std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(),
                                                                  &FcPatternDestroy);
  if (!pattern) throw Error("Font " + FontLabel(font.Name) + " not found");
  if (!font.Name.empty()) {
    FcPatternAddString(pattern.get(), FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(font.Name.c_str()));
  }
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, font.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, font.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());

  FcResult result = FcResultNoMatch;
  std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(
      FcFontMatch(config, pattern.get(), &result), &FcPatternDestroy);
  FcChar8* file = nullptr;
  if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || !file) {
    throw Error("Font " + FontLabel(font.Name) + " not found");
  }
  FontFile found;
  found.path = reinterpret_cast<const char*>(file);
  FcPatternGetInteger(match.get(), FC_INDEX, 0, &found.index);

  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  FcBool embolden = FcFalse;
  FcPatternGetInteger(match.get(), FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(match.get(), FC_SLANT, 0, &slant);
  FcPatternGetBool(match.get(), FC_EMBOLDEN, 0, &embolden);
  found.embolden = font.Bold && (embolden || weight < FC_WEIGHT_DEMIBOLD);
  found.oblique = font.Italic && slant == FC_SLANT_ROMAN;
  return found;
}

// The FreeType library, a fontconfig configuration of our own, the fonts it
// has picked and a few open faces at their pixel sizes. FreeType faces are not
// thread-safe, so every use of a face happens while `mutex` is held. The
// configuration is our own so that all of it is released at exit; fontconfig's
// shared default one never is.
class FontCache {
 public:
  static FontCache& Instance() {
    static FontCache cache;
    return cache;
  }

  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;

  ~FontCache() {
    std::lock_guard lock(mutex_);
    for (auto& entry : faces_) FT_Done_Face(entry.second);
    FT_Done_FreeType(library_);
    FcConfigDestroy(config_);
  }

  std::mutex& Mutex() { return mutex_; }

  // The face for the font at its pixel height; the caller holds the mutex.
  ScaledFace Get(const TTextFont& font) {
    const FontFile& file = Resolve(font);
    const std::int32_t px = PixelHeight(font.Size, font.PixelsPerInch);
    FT_Face face = Open(file, px, font.Name);
    return ScaledFace{face, file.embolden, file.oblique};
  }

 private:
  using StyleKey = std::tuple<std::string, bool, bool>;
  using FaceKey = std::tuple<std::string, int, std::int32_t>;

  FontCache() {
    config_ = FcInitLoadConfigAndFonts();
    if (!config_) throw Error("The font configuration cannot be loaded");
    if (FT_Init_FreeType(&library_) != 0) {
      FcConfigDestroy(config_);
      throw Error("The font engine cannot be started");
    }
  }

  const FontFile& Resolve(const TTextFont& font) {
    StyleKey key{font.Name, font.Bold, font.Italic};
    auto it = files_.find(key);
    if (it != files_.end()) return it->second;
    if (files_.size() >= kMaxFontFiles) files_.clear();
    return files_.emplace(std::move(key), MatchFont(config_, font)).first->second;
  }

  FT_Face Open(const FontFile& file, std::int32_t px, const std::string& name) {
    const FaceKey key{file.path, file.index, px};
    for (auto it = faces_.begin(); it != faces_.end(); ++it) {
      if (it->first == key) {
        faces_.splice(faces_.begin(), faces_, it);  // most recently used first
        return faces_.front().second;
      }
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library_, file.path.c_str(), file.index, &face) != 0) {
      throw Error("Font " + FontLabel(name) + " cannot be loaded");
    }
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px)) != 0 &&
        (face->num_fixed_sizes == 0 || FT_Select_Size(face, 0) != 0)) {
      FT_Done_Face(face);
      throw Error("Font " + FontLabel(name) + " cannot be scaled");
    }
    if (faces_.size() >= kMaxFaces) {
      FT_Done_Face(faces_.back().second);
      faces_.pop_back();
    }
    faces_.emplace_front(key, face);
    return face;
  }

  std::mutex mutex_;
  FcConfig* config_ = nullptr;
  FT_Library library_ = nullptr;
  std::map<StyleKey, FontFile> files_;
  std::list<std::pair<FaceKey, FT_Face>> faces_;
};

// ---------------------------------------------------------------------------
// Layout

std::int32_t CeilPixels(FT_Pos v) { return static_cast<std::int32_t>((v + 63) >> 6); }
std::int64_t RoundPixels(std::int64_t v) { return (v + 32) >> 6; }

struct LineMetrics {
  std::int32_t ascent = 0;
  std::int32_t descent = 0;
};

LineMetrics MetricsOf(FT_Face face) {
  const FT_Size_Metrics& m = face->size->metrics;
  return LineMetrics{std::max(0, CeilPixels(m.ascender)), std::max(0, CeilPixels(-m.descender))};
}

// What a layout needs of the glyph at a pen position.
enum class Need {
  kAdvance,  // only its advance: the glyph is not drawn
  kGlyph,    // the glyph itself, loaded into the face's slot
  kStop,     // nothing more: the rest of the line is not wanted
};

// Loads a glyph with the styles the face has to synthesise; false when it
// cannot be loaded.
bool LoadGlyph(const ScaledFace& sf, FT_UInt index) {
  if (FT_Load_Glyph(sf.face, index, FT_LOAD_DEFAULT) != 0) return false;
  if (sf.oblique) FT_GlyphSlot_Oblique(sf.face->glyph);
  if (sf.embolden) FT_GlyphSlot_Embolden(sf.face->glyph);
  return true;
}

// Lays out the first kMaxLineCodePoints code points of the text. For each
// glyph, `need(pen)` tells from the glyph's origin (26.6 from the line start)
// what is wanted of it; `onGlyph(slot, pen)` gets the glyphs loaded for
// drawing. Returns the pen position after the last glyph laid out (26.6).
// Each glyph is loaded once for its advance, which is kept for its next
// occurrences; glyphs to be drawn are loaded again each time.
template <typename NeedOf, typename OnGlyph>
std::int64_t Layout(const ScaledFace& sf, std::string_view utf8, NeedOf&& need,
                    OnGlyph&& onGlyph) {
  FT_Face face = sf.face;
  const bool kerning = FT_HAS_KERNING(face);
  std::unordered_map<FT_UInt, std::optional<FT_Pos>> advances;  // none: cannot be loaded
  std::int64_t pen = 0;
  FT_UInt previous = 0;
  std::size_t i = 0;
  for (std::size_t count = 0; count < kMaxLineCodePoints && i < utf8.size(); ++count) {
    const FT_UInt index = FT_Get_Char_Index(face, NextCodePoint(utf8, i));
    if (kerning && previous != 0 && index != 0) {
      FT_Vector delta{};
      if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &delta) == 0) pen += delta.x;
    }
    previous = index;
    const Need wanted = need(pen);
    if (wanted == Need::kStop) break;
    std::optional<FT_Pos> advance;
    if (wanted == Need::kGlyph) {
      if (LoadGlyph(sf, index)) {
        advance = face->glyph->advance.x;
        onGlyph(face->glyph, pen);
      }
      advances.try_emplace(index, advance);
    } else {
      const auto [known, added] = advances.try_emplace(index);
      if (added && LoadGlyph(sf, index)) known->second = face->glyph->advance.x;
      advance = known->second;
    }
    if (advance) pen += *advance;
  }
  return pen;
}

// How far in pixels a glyph of the face may reach from its origin in any
// direction, with room for synthetic oblique and bold and for hinting: twice
// the largest of the em, the line height, the widest advance and (scalable
// faces) the font's bounding box.
std::int64_t GlyphReach(FT_Face face) {
  const FT_Size_Metrics& m = face->size->metrics;
  std::int64_t reach = std::max<std::int64_t>({m.x_ppem, m.y_ppem, CeilPixels(m.height),
                                               CeilPixels(m.max_advance)});
  if (FT_IS_SCALABLE(face)) {
    const FT_BBox& box = face->bbox;  // font units
    const FT_Pos extent = std::max({std::abs(box.xMin), std::abs(box.xMax), std::abs(box.yMin),
                                    std::abs(box.yMax)});
    reach = std::max<std::int64_t>(
        reach, CeilPixels(FT_MulFix(extent, std::max(m.x_scale, m.y_scale))));
  }
  return 2 * reach + 4;
}

// ---------------------------------------------------------------------------
// Painting

void BlendPixel(Bitmap& dst, int x, int y, Bgr color, std::uint8_t coverage) {
  if (coverage == 0) return;
  std::uint8_t* p = dst.ScanLine(y) + 3 * static_cast<std::size_t>(x);
  p[0] = BlendCoverage(p[0], color.b, coverage);
  p[1] = BlendCoverage(p[1], color.g, coverage);
  p[2] = BlendCoverage(p[2], color.r, coverage);
}

// A coverage mask placed in bitmap coordinates.
class Mask {
 public:
  virtual ~Mask() = default;
  virtual TRect Bounds() const = 0;
  virtual std::uint8_t At(int x, int y) const = 0;  // bitmap coordinates inside Bounds()
};

// A rendered glyph: 8-bit grey or 1-bit coverage.
class GlyphMask : public Mask {
 public:
  GlyphMask(const FT_Bitmap& bitmap, std::int32_t left, std::int32_t top)
      : bitmap_(bitmap), left_(left), top_(top) {}
  TRect Bounds() const override {
    return slidesaver::Bounds(left_, top_, static_cast<std::int32_t>(bitmap_.width),
                              static_cast<std::int32_t>(bitmap_.rows));
  }
  std::uint8_t At(int x, int y) const override {
    const int col = x - left_;
    const int row = y - top_;
    const int pitch = bitmap_.pitch;
    const std::uint8_t* line =
        bitmap_.buffer + (pitch >= 0
                              ? static_cast<std::ptrdiff_t>(row) * pitch
                              : static_cast<std::ptrdiff_t>(bitmap_.rows - 1 - row) * -pitch);
    if (bitmap_.pixel_mode == FT_PIXEL_MODE_MONO) {
      return (line[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
    }
    const int levels = bitmap_.num_grays > 1 ? bitmap_.num_grays - 1 : 255;
    return static_cast<std::uint8_t>(std::min(255, line[col] * 255 / levels));
  }

 private:
  const FT_Bitmap& bitmap_;
  std::int32_t left_;
  std::int32_t top_;
};

// A solid bar, used for underline and strike-out.
class BarMask : public Mask {
 public:
  explicit BarMask(const TRect& r) : rect_(r) {}
  TRect Bounds() const override { return rect_; }
  std::uint8_t At(int, int) const override { return 255; }

 private:
  TRect rect_;
};

void Paint(Bitmap& dst, const std::vector<TRect>& areas, const Mask& mask, Bgr color) {
  const TRect bounds = mask.Bounds();
  for (const TRect& area : areas) {
    const TRect r = IntersectRect(area, bounds);
    for (int y = r.Top; y < r.Bottom; ++y) {
      for (int x = r.Left; x < r.Right; ++x) BlendPixel(dst, x, y, color, mask.At(x, y));
    }
  }
}

// Clamps a 64-bit coordinate into int32 range; anything beyond lies outside
// every bitmap anyway.
std::int32_t Clamp32(std::int64_t v) {
  constexpr std::int64_t kLimit = INT32_MAX / 4;
  return static_cast<std::int32_t>(std::clamp(v, -kLimit, kLimit));
}

// True when a glyph with this origin cannot reach the bitmap; decided from the
// loaded glyph before rendering, with a margin for rendering spill.
bool GlyphMissesBitmap(const FT_GlyphSlot slot, std::int64_t originX, std::int64_t baseline,
                       const Bitmap& dst) {
  constexpr std::int64_t kMargin = 2;
  FT_BBox box{};  // 26.6, y upwards from the baseline
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Outline_Get_CBox(&slot->outline, &box);
  } else {
    box.xMin = static_cast<FT_Pos>(slot->bitmap_left) * 64;
    box.xMax = box.xMin + static_cast<FT_Pos>(slot->bitmap.width) * 64;
    box.yMax = static_cast<FT_Pos>(slot->bitmap_top) * 64;
    box.yMin = box.yMax - static_cast<FT_Pos>(slot->bitmap.rows) * 64;
  }
  const std::int64_t left = originX + (box.xMin >> 6) - kMargin;
  const std::int64_t right = originX + ((box.xMax + 63) >> 6) + kMargin;
  const std::int64_t top = baseline - ((box.yMax + 63) >> 6) - kMargin;
  const std::int64_t bottom = baseline - (box.yMin >> 6) + kMargin;
  return right <= 0 || left >= dst.Width() || bottom <= 0 || top >= dst.Height();
}

struct Stroke {
  std::int32_t offset;  // top of the stroke, pixels below the baseline (negative: above)
  std::int32_t thickness;
};

std::int32_t ScaledPixels(FT_Face face, FT_Short units) {
  return static_cast<std::int32_t>(RoundPixels(FT_MulFix(units, face->size->metrics.y_scale)));
}

Stroke UnderlineStroke(FT_Face face, const LineMetrics& line) {
  std::int32_t thickness = 1;
  std::int32_t centre = std::max(1, line.descent / 2);
  if (FT_IS_SCALABLE(face)) {
    thickness = std::max(1, ScaledPixels(face, face->underline_thickness));
    centre = -ScaledPixels(face, face->underline_position);
  }
  std::int32_t offset = std::max(1, centre - thickness / 2);
  // Keep the underline inside the line box wherever the box allows.
  offset = std::max(1, std::min(offset, line.descent - thickness));
  return Stroke{offset, thickness};
}

Stroke StrikeOutStroke(FT_Face face, const LineMetrics& line) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && FT_IS_SCALABLE(face) && os2->yStrikeoutSize > 0) {
    return Stroke{-ScaledPixels(face, os2->yStrikeoutPosition),
                  std::max(1, ScaledPixels(face, os2->yStrikeoutSize))};
  }
  const Stroke under = UnderlineStroke(face, line);
  return Stroke{-std::max(1, line.ascent / 3), under.thickness};
}

void PaintStroke(Bitmap& dst, const std::vector<TRect>& areas, std::int64_t x,
                 std::int64_t baseline, std::int64_t width, const Stroke& stroke, Bgr color) {
  const std::int64_t top = baseline + stroke.offset;
  const BarMask bar(
      Rect(Clamp32(x), Clamp32(top), Clamp32(x + width), Clamp32(top + stroke.thickness)));
  Paint(dst, areas, bar, color);
}

}  // namespace

TSize MeasureText(const TTextFont& font, std::string_view utf8) {
  FontCache& cache = FontCache::Instance();
  std::lock_guard lock(cache.Mutex());
  const ScaledFace face = cache.Get(font);
  const LineMetrics line = MetricsOf(face.face);
  const std::int64_t advance = Layout(
      face, utf8, [](std::int64_t) { return Need::kAdvance; }, [](FT_GlyphSlot, std::int64_t) {});
  return TSize{Clamp32(RoundPixels(advance)), line.ascent + line.descent};
}

void DrawText(Bitmap& dst, std::int32_t x, std::int32_t y, const TTextFont& font,
              std::string_view utf8, const Region* clip) {
  const std::vector<TRect> areas = PaintableRects(dst, clip);
  if (areas.empty()) return;
  const Bgr color = ToBgr(font.Color);

  FontCache& cache = FontCache::Instance();
  std::lock_guard lock(cache.Mutex());
  const ScaledFace face = cache.Get(font);
  const LineMetrics line = MetricsOf(face.face);
  const std::int64_t baseline = static_cast<std::int64_t>(y) + line.ascent;

  // Only glyphs that may touch the bitmap are loaded and rendered; past its
  // right edge the layout stops, the strokes below then reach that edge.
  const std::int64_t reach = GlyphReach(face.face);
  const bool lineMisses = baseline + reach <= 0 || baseline - reach >= dst.Height();
  const auto need = [&](std::int64_t pen) {
    const std::int64_t originX = x + RoundPixels(pen);
    if (originX - reach >= dst.Width()) return Need::kStop;
    return lineMisses || originX + reach <= 0 ? Need::kAdvance : Need::kGlyph;
  };
  const std::int64_t advance = Layout(face, utf8, need, [&](FT_GlyphSlot slot, std::int64_t pen) {
    const std::int64_t originX = x + RoundPixels(pen);
    if (GlyphMissesBitmap(slot, originX, baseline, dst)) return;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return;
    const GlyphMask mask(bitmap, Clamp32(originX + slot->bitmap_left),
                         Clamp32(baseline - slot->bitmap_top));
    Paint(dst, areas, mask, color);
  });

  const std::int64_t width = RoundPixels(advance);
  if (font.Underline) {
    PaintStroke(dst, areas, x, baseline, width, UnderlineStroke(face.face, line), color);
  }
  if (font.StrikeOut) {
    PaintStroke(dst, areas, x, baseline, width, StrikeOutStroke(face.face, line), color);
  }
}

}  // namespace slidesaver
