// The bar and grid styles: 5-pixel bars on a period of 10, horizontal ones
// growing sideways, vertical ones growing up or down, or both forming a grid.

#include "transition/primitives.h"
#include "transition/style_families.h"

namespace slidesaver {
namespace {

void Bars(StyleFrame& f, std::int32_t rowExtent, std::int32_t columnExtent, int rowMode,
          int columnMode, std::int32_t snap) {
  f.Clip = CreateBarRegion(rowExtent, columnExtent, f.W, f.H, rowMode, columnMode, snap);
}

// Two grids, rows from the right with columns from the bottom and rows from
// the left with columns from the top: only where both have grown.
void CrossedGrids(StyleFrame& f) {
  std::optional<Region> a = CreateBarRegion(2 * f.X, 2 * f.Y, f.W, f.H, 1, 1, f.StepPx);
  std::optional<Region> b = CreateBarRegion(2 * f.X, 2 * f.Y, f.W, f.H, 2, 2, f.StepPx);
  if (a && b) f.Clip = b->Intersect(*a);
}

}  // namespace

void AddBarStyles(StyleSteps& t) {
  // Rows: the extent runs to twice the width, even bars first, then odd bars.
  t[60] = [](StyleFrame& f) { Bars(f, 2 * f.X, 0, 1, 0, f.StepPx); };
  t[61] = [](StyleFrame& f) { Bars(f, 2 * f.X, 0, 2, 0, f.StepPx); };
  t[62] = [](StyleFrame& f) { Bars(f, 2 * f.X, 0, 4, 0, f.StepPx); };
  t[63] = [](StyleFrame& f) { Bars(f, 2 * f.X, 0, 5, 0, f.StepPx); };
  t[64] = [](StyleFrame& f) { Bars(f, f.X, 0, 3, 0, 0); };
  // Columns.
  t[71] = [](StyleFrame& f) { Bars(f, 0, 2 * f.Y, 0, 1, f.StepPx); };
  t[72] = [](StyleFrame& f) { Bars(f, 0, 2 * f.Y, 0, 2, f.StepPx); };
  t[73] = [](StyleFrame& f) { Bars(f, 0, 2 * f.Y, 0, 4, f.StepPx); };
  t[74] = [](StyleFrame& f) { Bars(f, 0, 2 * f.Y, 0, 5, f.StepPx); };
  t[75] = [](StyleFrame& f) { Bars(f, 0, f.Y, 0, 3, 0); };
  // Grids.
  t[86] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 1, 1, f.StepPx); };
  t[87] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 1, 2, f.StepPx); };
  t[88] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 2, 1, f.StepPx); };
  t[89] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 2, 2, f.StepPx); };
  t[90] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 4, 4, f.StepPx); };
  t[91] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 4, 5, f.StepPx); };
  t[92] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 5, 4, f.StepPx); };
  t[93] = [](StyleFrame& f) { Bars(f, 2 * f.X, 2 * f.Y, 5, 5, f.StepPx); };
  // Even bars of one direction over a comb of the other.
  t[94] = [](StyleFrame& f) { Bars(f, f.X, f.Y, 1, 3, f.StepPx); };
  t[95] = [](StyleFrame& f) { Bars(f, f.X, f.Y, 2, 3, f.StepPx); };
  t[96] = [](StyleFrame& f) { Bars(f, f.X, f.Y, 3, 1, f.StepPx); };
  t[97] = [](StyleFrame& f) { Bars(f, f.X, f.Y, 3, 2, f.StepPx); };
  t[98] = [](StyleFrame& f) { Bars(f, f.X, f.Y, 3, 3, 0); };
  t[99] = CrossedGrids;
}

}  // namespace slidesaver
