// The copy styles 1..57: every frame is one to four pieces, each a rectangle of
// the new picture copied (stretched, squeezed or mirrored) into a rectangle of
// the screen image. All pieces but the last are drawn here; the last is left
// in DestRect and SourceRect for the frame routine to finish. Pieces that all
// lie in their own place are left as the frame's Clip instead.
//
// A piece is the product of one span along the width and one along the height,
// so each style is a short row of span kinds. Along the width a span sees the
// extent e = X and the side N = W, along the height e = Y and N = H; the
// vertical styles 18..34 are the horizontal ones 1..17 with the axes swapped.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "transition/primitives.h"
#include "transition/style_families.h"

namespace slidesaver {
namespace {

// The destination [d0, d1) and source [s0, s1) of a piece along one axis.
struct Span {
  std::int32_t d0, d1, s0, s1;
};

enum class SpanKind : std::uint8_t {
  kWhole,          // [0, N) onto itself
  kStretchFar,     // all of N squeezed into [N - e, N)
  kStretchNear,    // all of N squeezed into [0, e)
  kSlideFar,       // all of N moved to start at N - e
  kSlideNear,      // all of N moved to end at e
  kWipeNear,       // [0, e) in place
  kWipeFar,        // [N - e, N) in place
  kZoomNear,       // [0, e) spread over [0, 2N - e)
  kZoomFar,        // [N - e, N) spread over [e - N, N)
  kZoomCentre,     // the centred e spread over [e - N, 2N - e)
  kStretchCentre,  // all of N squeezed into the centred e
  kSplitCentre,    // the centred e in place
  kRevealNear,     // [0, e div 2 + 1) in place
  kRevealFar,      // [N - e div 2 - 1, N) in place
  kSqueezeNear,    // the first half and a pixel squeezed into [0, e div 2 + 1)
  kSqueezeFar,     // the second half squeezed into [N - e div 2 - 1, N)
  kQuarterFar,     // the second half less its first pixel squeezed into [N - e div 2, N)
  kSmearNear,      // a twentieth just past e smeared over [e, N)
  kSmearFar,       // a twentieth just before N - e smeared over [0, N - e)
  kBandNear,       // [0, e div 2) in place
  kBandFar,        // [N - e div 2, N) in place
  kHalfNear,       // [0, N div 2 + 1) in place
  kHalfFar,        // [N div 2 - 1, N) in place
  kTurnNear,       // the first half and a pixel sliding in to end at e div 2 + 1
  kTurnFar,        // the second half less a pixel sliding in from N + (N - e) div 2
  kFoldNear,       // the F pixels past e + F turned over onto [e, e + F)
  kFoldFar,        // the F pixels before N - e - F turned over onto [N - e - F, N - e)
};

bool IsFold(SpanKind k) { return k == SpanKind::kFoldNear || k == SpanKind::kFoldFar; }

// The width of the folded strip: it grows to a tenth of the side during the
// first fifth of the run and shrinks back during the last fifth.
std::int32_t FoldWidth(std::int32_t e, std::int32_t n) {
  if (n / 5 > e) return e / 2;
  if (n / 5 > n - e) return (n - e) / 2;
  return n / 10;
}

Span SpanOf(SpanKind kind, std::int32_t e, std::int32_t n) {
  switch (kind) {
    case SpanKind::kWhole:
      return {0, n, 0, n};
    case SpanKind::kStretchFar:
      return {n - e, n, 0, n};
    case SpanKind::kStretchNear:
      return {0, e, 0, n};
    case SpanKind::kSlideFar:
      return {n - e, 2 * n - e, 0, n};
    case SpanKind::kSlideNear:
      return {e - n, e, 0, n};
    case SpanKind::kWipeNear:
      return {0, e, 0, e};
    case SpanKind::kWipeFar:
      return {n - e, n, n - e, n};
    case SpanKind::kZoomNear:
      return {0, 2 * n - e, 0, e};
    case SpanKind::kZoomFar:
      return {e - n, n, n - e, n};
    case SpanKind::kZoomCentre:
      return {e - n, 2 * n - e, (n - e) / 2, (n + e) / 2};
    case SpanKind::kStretchCentre:
      return {(n - e) / 2, (n + e) / 2, 0, n};
    case SpanKind::kSplitCentre:
      return {(n - e) / 2, (n + e) / 2, (n - e) / 2, (n + e) / 2};
    case SpanKind::kRevealNear:
      return {0, e / 2 + 1, 0, e / 2 + 1};
    case SpanKind::kRevealFar:
      return {n - e / 2 - 1, n, n - e / 2 - 1, n};
    case SpanKind::kSqueezeNear:
      return {0, e / 2 + 1, 0, n / 2 + 1};
    case SpanKind::kSqueezeFar:
      return {n - e / 2 - 1, n, n / 2, n};
    case SpanKind::kQuarterFar:
      return {n - e / 2, n, n / 2 + 1, n};
    case SpanKind::kSmearNear:
      return {e, n, e, e + n / 20};
    case SpanKind::kSmearFar:
      return {0, n - e, n - e - n / 20, n - e};
    case SpanKind::kBandNear:
      return {0, e / 2, 0, e / 2};
    case SpanKind::kBandFar:
      return {n - e / 2, n, n - e / 2, n};
    case SpanKind::kHalfNear:
      return {0, n / 2 + 1, 0, n / 2 + 1};
    case SpanKind::kHalfFar:
      return {n / 2 - 1, n, n / 2 - 1, n};
    case SpanKind::kTurnNear:
      return {(e - n) / 2, e / 2 + 1, 0, n / 2 + 1};
    case SpanKind::kTurnFar:
      return {n - e / 2, n + (n - e) / 2, n / 2 + 1, n};
    case SpanKind::kFoldNear: {
      const std::int32_t f = FoldWidth(e, n);
      return {e, e + f, e + f, e + 2 * f};
    }
    case SpanKind::kFoldFar: {
      const std::int32_t f = FoldWidth(e, n);
      return {n - e - f, n - e, n - e - 2 * f, n - e - f};
    }
  }
  return {0, n, 0, n};
}

struct PieceKinds {
  SpanKind across;  // along the width
  SpanKind down;    // along the height
};

struct CopyLayout {
  std::uint8_t count = 0;
  std::array<PieceKinds, 4> pieces{};
};

constexpr CopyLayout One(SpanKind across, SpanKind down) { return {1, {{{across, down}}}}; }

constexpr CopyLayout Two(PieceKinds first, PieceKinds last) { return {2, {{first, last}}}; }

constexpr CopyLayout Four(PieceKinds a, PieceKinds b, PieceKinds c, PieceKinds last) {
  return {4, {{a, b, c, last}}};
}

// The horizontal styles 1..17 as rows along the width; the vertical styles
// 18..34 are the same rows turned to run along the height.
constexpr CopyLayout Turned(CopyLayout layout) {
  for (std::uint8_t i = 0; i < layout.count; ++i) {
    layout.pieces[i] = {layout.pieces[i].down, layout.pieces[i].across};
  }
  return layout;
}

constexpr std::array<CopyLayout, 58> MakeLayouts() {
  using K = SpanKind;
  constexpr K W = K::kWhole;
  std::array<CopyLayout, 58> t{};
  t[1] = One(K::kStretchFar, W);
  t[2] = One(K::kStretchNear, W);
  t[3] = One(K::kSlideFar, W);
  t[4] = One(K::kSlideNear, W);
  t[5] = One(K::kWipeNear, W);
  t[6] = One(K::kWipeFar, W);
  t[7] = One(K::kZoomNear, W);
  t[8] = One(K::kZoomFar, W);
  t[9] = One(K::kZoomCentre, W);
  t[10] = One(K::kStretchCentre, W);
  t[11] = One(K::kSplitCentre, W);
  t[12] = Two({K::kRevealNear, W}, {K::kRevealFar, W});
  t[13] = Two({K::kSqueezeNear, W}, {K::kSqueezeFar, W});
  t[14] = Two({K::kFoldNear, W}, {K::kWipeNear, W});
  t[15] = Two({K::kFoldFar, W}, {K::kWipeFar, W});
  t[16] = Two({K::kWipeNear, W}, {K::kSmearNear, W});
  t[17] = Two({K::kWipeFar, W}, {K::kSmearFar, W});
  for (int style = 18; style <= 34; ++style) t[style] = Turned(t[style - 17]);

  // From a corner: a span of the same family along each axis.
  constexpr K kNear[] = {K::kStretchNear, K::kSlideNear, K::kWipeNear, K::kZoomNear};
  constexpr K kFar[] = {K::kStretchFar, K::kSlideFar, K::kWipeFar, K::kZoomFar};
  // 35..42 start bottom-right, top-right, top-left, bottom-left; 43..50 start
  // top-left, bottom-left, bottom-right, top-right.
  for (int family = 0; family < 4; ++family) {
    const int first = 35 + 4 * family;
    const bool fromBottomRight = family < 2;
    const K a = fromBottomRight ? kFar[family] : kNear[family];
    const K b = fromBottomRight ? kNear[family] : kFar[family];
    t[first] = One(a, a);
    t[first + 1] = One(a, b);
    t[first + 2] = One(b, b);
    t[first + 3] = One(b, a);
  }
  t[51] = One(K::kZoomCentre, K::kZoomCentre);
  t[52] = One(K::kStretchCentre, K::kStretchCentre);
  t[53] = One(K::kSplitCentre, K::kSplitCentre);
  t[54] = Four({W, K::kBandNear}, {W, K::kBandFar}, {K::kBandNear, W}, {K::kBandFar, W});
  t[55] = Four({K::kRevealNear, K::kRevealNear}, {K::kRevealNear, K::kRevealFar},
               {K::kRevealFar, K::kRevealFar}, {K::kRevealFar, K::kRevealNear});
  t[56] = Four({K::kSqueezeNear, K::kSqueezeNear}, {K::kSqueezeNear, K::kQuarterFar},
               {K::kQuarterFar, K::kQuarterFar}, {K::kQuarterFar, K::kSqueezeNear});
  t[57] = Four({K::kTurnNear, K::kHalfNear}, {K::kHalfFar, K::kTurnNear},
               {K::kTurnFar, K::kHalfFar}, {K::kHalfNear, K::kTurnFar});
  return t;
}

constexpr std::array<CopyLayout, 58> kLayouts = MakeLayouts();

void RunLayout(StyleFrame& f, const CopyLayout& layout) {
  std::array<TRect, 4> dests, sources;
  bool allFill = true;  // every piece writes its destination whole
  for (std::uint8_t i = 0; i < layout.count; ++i) {
    const PieceKinds kinds = layout.pieces[i];
    const Span across = SpanOf(kinds.across, f.X, f.W);
    const Span down = SpanOf(kinds.down, f.Y, f.H);
    dests[i] = TRect{across.d0, down.d0, across.d1, down.d1};
    sources[i] = TRect{across.s0, down.s0, across.s1, down.s1};
    // A turned copy reaches a pixel beyond its rectangle: leave those to the whole old picture.
    const bool fold = IsFold(kinds.across) || IsFold(kinds.down);
    allFill = allFill && !fold && FillsDestination(sources[i], f.W, f.H);
  }
  const std::uint8_t last = layout.count - 1;
  // The frame routine draws the last piece only between progress 0 and 100.
  const std::size_t pieces = f.p > 0 && f.p < 100 ? layout.count : last;
  if (std::equal(dests.begin(), dests.begin() + layout.count, sources.begin())) {
    // Every piece shows the new picture in its own place: the frame is the new picture in their
    // union and the old one around, which the frame routine composes as it does a region's.
    const TRect frame{0, 0, f.W, f.H};
    std::array<TRect, 4> cut;
    for (std::size_t i = 0; i < pieces; ++i) cut[i] = IntersectRect(dests[i], frame);
    f.Clip = Region::FromRects(std::span<const TRect>(cut.data(), pieces));
    return;
  }
  f.DestRect = dests[last];
  f.SourceRect = sources[last];
  if (last == 0) return;
  // The earlier pieces are drawn here, over the old picture where no piece lands.
  f.PrepareScreen(allFill ? std::span<const TRect>(dests.data(), pieces)
                          : std::span<const TRect>());
  for (std::uint8_t i = 0; i < last; ++i) {
    const PieceKinds kinds = layout.pieces[i];
    TRect drawn = dests[i];
    if (IsFold(kinds.across) || IsFold(kinds.down)) {
      // The turned copy covers a pixel more on each side of its rectangle;
      // repaint all of it, or a stale column would stay on screen.
      drawn = MirrorCopy(*f.Screen, dests[i], *f.NewImage, IsFold(kinds.across),
                         IsFold(kinds.down), sources[i]);
    } else {
      f.Screen->CopyRect(dests[i], *f.NewImage, sources[i]);
    }
    f.InvalidateArea(drawn);
  }
}

template <int kStyle>
void CopyStyle(StyleFrame& f) {
  RunLayout(f, kLayouts[kStyle]);
}

template <int... kStyles>
void AddAll(StyleSteps& table, std::integer_sequence<int, kStyles...>) {
  ((table[kStyles + 1] = CopyStyle<kStyles + 1>), ...);
}

}  // namespace

void AddCopyStyles(StyleSteps& table) { AddAll(table, std::make_integer_sequence<int, 57>{}); }

}  // namespace slidesaver
