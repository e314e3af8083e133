#include "graphics/text.h"

#include <windows.h>
// The system's DrawText macro would rename the function this file defines.
#undef DrawText

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/color.h"
#include "graphics/coverage.h"
#include "os/windows/system_error.h"

namespace slidesaver {
namespace {

// The line as UTF-16, cut after kMaxLineCodePoints code points.
std::wstring LineOf(std::string_view utf8) {
  std::size_t codePoints = 0;
  std::size_t end = 0;
  for (; end < utf8.size(); ++end) {
    if ((static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) continue;
    if (codePoints++ == kMaxLineCodePoints) break;
  }
  return Widen(utf8.substr(0, end));
}

// A memory device context with the font selected; GDI finds the face by name
// and stands in a similar one where it has none of that name.
class FontContext {
 public:
  explicit FontContext(const TTextFont& font) : dc_(CreateCompatibleDC(nullptr)) {
    font_ = CreateFontW(-MulDiv(font.Size, font.PixelsPerInch > 0 ? font.PixelsPerInch : 96, 72),
                        0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL,
                        font.Italic, font.Underline, font.StrikeOut, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, Widen(font.Name).c_str());
    previous_ = SelectObject(dc_, font_);
  }
  ~FontContext() {
    SelectObject(dc_, previous_);
    DeleteObject(font_);
    DeleteDC(dc_);
  }
  FontContext(const FontContext&) = delete;
  FontContext& operator=(const FontContext&) = delete;

  HDC Dc() const { return dc_; }
  TSize Extent(const std::wstring& line) const {
    SIZE size{};
    GetTextExtentPoint32W(dc_, line.data(), static_cast<int>(line.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc_, &metrics);
    return TSize{size.cx, metrics.tmHeight};
  }

 private:
  HDC dc_;
  HFONT font_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace

TSize MeasureText(const TTextFont& font, std::string_view utf8) {
  const FontContext context(font);
  return context.Extent(LineOf(utf8));
}

// GDI draws the line white on black into a bitmap of its own, anti-aliased
// but not in colour; its grey levels are the coverage with which the font's
// colour is blended over the target.
void DrawText(Bitmap& dst, std::int32_t x, std::int32_t y, const TTextFont& font,
              std::string_view utf8, const Region* clip) {
  const std::vector<TRect> areas = PaintableRects(dst, clip);
  if (areas.empty()) return;
  const std::wstring line = LineOf(utf8);
  const FontContext context(font);
  const TSize extent = context.Extent(line);
  // Italic and overhanging glyphs reach past the advance by up to a line height.
  TRect box = Rect(x - extent.cy, y, x + extent.cx + extent.cy, y + extent.cy);
  TRect reach{};
  for (const TRect& area : areas) reach = reach.IsEmpty() ? area : UnionRect(reach, area);
  box = IntersectRect(box, reach);
  if (box.IsEmpty()) return;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = box.Width();
  info.bmiHeader.biHeight = -box.Height();  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP mask = CreateDIBSection(context.Dc(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (mask == nullptr) return;
  const HGDIOBJ previous = SelectObject(context.Dc(), mask);
  std::memset(bits, 0, static_cast<std::size_t>(box.Width()) * box.Height() * 4);
  SetBkMode(context.Dc(), TRANSPARENT);
  SetTextColor(context.Dc(), RGB(255, 255, 255));
  TextOutW(context.Dc(), x - box.Left, y - box.Top, line.data(), static_cast<int>(line.size()));
  GdiFlush();

  const Bgr color = ToBgr(font.Color);
  const auto* pixels = static_cast<const std::uint8_t*>(bits);
  for (const TRect& area : areas) {
    const TRect part = IntersectRect(area, box);
    for (int row = part.Top; row < part.Bottom; ++row) {
      const std::uint8_t* in =
          pixels + (static_cast<std::size_t>(row - box.Top) * box.Width() + (part.Left - box.Left)) * 4;
      std::uint8_t* out = dst.ScanLine(row) + static_cast<std::size_t>(part.Left) * 3;
      for (int column = part.Left; column < part.Right; ++column, in += 4, out += 3) {
        const std::uint8_t coverage = std::max({in[0], in[1], in[2]});
        if (coverage == 0) continue;
        out[0] = BlendCoverage(out[0], color.b, coverage);
        out[1] = BlendCoverage(out[1], color.g, coverage);
        out[2] = BlendCoverage(out[2], color.r, coverage);
      }
    }
  }
  SelectObject(context.Dc(), previous);
  DeleteObject(mask);
}

}  // namespace slidesaver
